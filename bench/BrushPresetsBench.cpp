// The brush presets file with 100 brushes: a save (records, encoder, a new file, rename)
// and a load (file, decoder, checks, records) against compress2 / uncompress of the same
// body at the same level in the same run; the in-memory encode and read are measured apart,
// so the file system's share shows.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "XCoderZlib.h"
#include "common/FakeSystem.h"
#include "panels/BrushPresets.h"
#include "platform/base/Files.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

FakeSystem& System() {
  static FakeSystem* system = [] {
    auto* s = new FakeSystem();
    s->Register(u"XEncoderZlib", GCreateComponent<XEncoderZlib>);
    s->Register(u"XDecoderZlib", GCreateComponent<XDecoderZlib>);
    return s;
  }();
  return *system;
}

// 100 brushes of 24 items each, values spread as a brush's settings are (small ranges,
// presets that mostly repeat the working values).
const BrushPresets& Presets() {
  static const BrushPresets presets = [] {
    BrushPresets p;
    uint32_t x = 0x9E3779B9u;
    for (int b = 0; b < 100; ++b) {
      BrushPresetRecord r{u"XBrush" + plat::Widen(std::to_string(b % 7)), u"Brush " + plat::Widen(std::to_string(b)),
                          u"A brush made for the benchmark", uint32_t(b % 3 ? 0x100 : 0x1E), {}};
      for (int i = 0; i < 24; ++i) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        r.sets[0].push_back(int32_t(x % 501));
      }
      for (int k = 1; k < BRUSH_VALUE_SETS; ++k) {
        r.sets[size_t(k)] = r.sets[0];
        r.sets[size_t(k)][size_t(k)] += k;
      }
      p.brushes.push_back(std::move(r));
    }
    p.selected = 5;
    return p;
  }();
  return presets;
}

std::u16string FilePath() {
  return plat::GetTempFolder() + u"tavrik_presets_bench_" + plat::Widen(std::to_string(::getpid())) + u".cfb";
}

// The body the writer compresses, as direct zlib calls get it.
Bytes Body(const Bytes& file) {
  Bytes body(file[16] | file[17] << 8 | file[18] << 16 | file[19] << 24);
  uLongf n = uLongf(body.size());
  if (uncompress(body.data(), &n, file.data() + 32, uLong(file.size() - 32)) != Z_OK) body.clear();
  return body;
}

// The three timings of each iteration (ours, ours in memory, zlib), summed over the run and
// paired for the ratio lines.
struct Times {
  double ours = 0, memory = 0, zlib = 0;
  RatioTimes file, inMemory;

  // Takes one iteration's four time points; false (the run skipped) when it failed.
  bool Add(benchmark::State& state, bool ok, const Clock::time_point (&t)[4]) {
    if (!ok) {
      state.SkipWithError("the presets or the zlib call failed");
      return false;
    }
    state.SetIterationTime(Seconds(t[0], t[1]));
    ours += Seconds(t[0], t[1]);
    memory += Seconds(t[1], t[2]);
    zlib += Seconds(t[2], t[3]);
    file.Add(Seconds(t[0], t[1]), Seconds(t[2], t[3]));
    inMemory.Add(Seconds(t[1], t[2]), Seconds(t[2], t[3]));
    return true;
  }
  // what: "save" or "load"; the zlib call compresses or inflates the same body.
  void Report(benchmark::State& state, size_t body, const char* what, const char* zlibCall) const {
    if (ours <= 0) return;
    const double n = double(state.iterations());
    state.counters["ours_us"] = 1e6 * ours / n;
    state.counters["memory_us"] = 1e6 * memory / n;
    state.counters["zlib_us"] = 1e6 * zlib / n;
    state.counters["zlib/ours"] = zlib / ours;  // 1 means as fast as the bare zlib call
    state.counters["zlib/memory"] = zlib / memory;
    state.counters["body_bytes"] = double(body);
    const char* note = zlibCall == std::string("zlib_compress2") ? "same body, same level" : "same body";
    file.Print("brush_presets_bench", std::string(what) + " (file)", zlibCall, note);
    inMemory.Print("brush_presets_bench", std::string(what) + " (memory)", zlibCall, note);
  }
};

void BM_Save(benchmark::State& state) {
  const BrushPresets& p = Presets();
  const std::u16string path = FilePath();
  Bytes file;
  EncodePresets(p, &System(), &file);
  const Bytes body = Body(file);
  Bytes packed(compressBound(uLong(body.size())));
  Times times;
  for (auto _ : state) {
    Clock::time_point t[4];
    t[0] = Clock::now();
    const bool saved = SavePresets(path, p, &System()).ok;
    t[1] = Clock::now();
    const bool encoded = EncodePresets(p, &System(), &file).ok;
    t[2] = Clock::now();
    uLongf n = uLongf(packed.size());
    const int rc = compress2(packed.data(), &n, body.data(), uLong(body.size()), 2);
    t[3] = Clock::now();
    if (!times.Add(state, saved && encoded && rc == Z_OK && n + 32 == file.size(), t)) break;
  }
  times.Report(state, body.size(), "save", "zlib_compress2");
  plat::DeleteFile(path);
}

void BM_Load(benchmark::State& state) {
  const BrushPresets& p = Presets();
  const std::u16string path = FilePath();
  Bytes file;
  if (!EncodePresets(p, &System(), &file).ok || !SavePresets(path, p, &System()).ok) {
    state.SkipWithError("saving failed");
    return;
  }
  const Bytes body = Body(file);
  Bytes out(body.size());
  Times times;
  for (auto _ : state) {
    Clock::time_point t[4];
    t[0] = Clock::now();
    const BrushPresetsLoad loaded = LoadPresets(path, &System());
    t[1] = Clock::now();
    const BrushPresetsLoad read = ReadPresets(file.data(), file.size(), &System());
    t[2] = Clock::now();
    uLongf n = uLongf(out.size());
    const int rc = uncompress(out.data(), &n, file.data() + 32, uLong(file.size() - 32));
    t[3] = Clock::now();
    if (!times.Add(state, loaded.presets == p && read.presets == p && rc == Z_OK && out == body, t)) break;
  }
  times.Report(state, body.size(), "load", "zlib_uncompress");
  plat::DeleteFile(path);
}

BENCHMARK(BM_Save)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Load)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
