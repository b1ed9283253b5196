// Layer Save / Load of one 4096 x 4096 colour layer through a temporary file (flat, random
// and painted content), against compress2 / uncompress at level 4 of the same surface bytes
// in memory (uncompress into one reused buffer: a fresh one would pay its page faults on every
// run). Load includes making the layer and its mip refresh, as a document load pays them.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "common/FakeSystem.h"
#include "BenchContent.h"
#include "BenchRatio.h"
#include "Morvane.h"
#include "XCoderZlib.h"
#include "odata/GCompRef.h"
#include "odata/GSystem.h"
#include "platform/base/Files.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
constexpr int kSide = 4096;

// The component classes the benchmark makes, created without loading plug-ins.
FakeSystem& MakeSystem() {
  static FakeSystem system;
    system.Register(u"Morvane", GCreateComponent<Morvane>);
    system.Register(u"XEncoderZlib", GCreateComponent<XEncoderZlib>);
    system.Register(u"XDecoderZlib", GCreateComponent<XDecoderZlib>);
  return system;
}
FakeSystem& g_system = MakeSystem();

GCompRef<OLayer> NewLayer() {
  return static_cast<OLayer*>(g_system.NewObj(u"Morvane", nullptr)->GetInterface(u"OLayer"));
}

const char* const kKinds[] = {"flat", "random", "painted"};

// kind 0: one flat colour; 1: opaque pixels of random colour; 2: a painting.
GCompRef<OLayer> MakeLayer(int kind) {
  GCompRef<OLayer> l = NewLayer();
  l->Initialize(nullptr, kSide, kSide, OLayer::myFORMAT_C32, 1);
  if (kind == 2) {
    bench_content::Paint(l, 7);
    return l;
  }
  LayerLock lock;
  lock.Lock(l, 0);
  auto* px = reinterpret_cast<uint32_t*>(lock.pPixels);
  uint64_t x = 0x9E3779B97F4A7C15ull;
  for (size_t i = 0; i < size_t(kSide) * kSide; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    px[i] = kind == 0 ? 0xFF3A6EA5u : uint32_t(x) | 0xFF000000u;
  }
  return l;
}

Bytes Surface(OLayer* l) {
  LayerLock lock;
  lock.Lock(l, 0);
  return Bytes(lock.pPixels, lock.pPixels + size_t(lock.cbRow) * size_t(kSide));
}

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

std::u16string TempPath() { return plat::GetTempFolder() + u"tavrik_record_bench.bin"; }

std::string Case(const char* what, int kind) { return std::string(what) + " " + kKinds[kind] + " 4096x4096"; }

void BM_Save(benchmark::State& state) {
  GCompRef<OLayer> l = MakeLayer(int(state.range(0)));
  const Bytes src = Surface(l);
  Bytes packed(compressBound(uLong(src.size())));
  RatioTimes times;
  double size = 0;
  for (auto _ : state) {
    GCompRef<OFileOut> out = new CFileOut();
    if (!out->Open(TempPath().c_str())) {
      state.SkipWithError("no temporary file");
      return;
    }
    auto t0 = Clock::now();
    const int64_t n = l->Save(out, nullptr);
    const bool closed = out->Close();
    auto t1 = Clock::now();
    uLongf zn = uLongf(packed.size());
    const int rc = compress2(packed.data(), &zn, src.data(), uLong(src.size()), 4);
    auto t2 = Clock::now();
    if (n <= 0 || !closed || rc != Z_OK) {
      state.SkipWithError("save failed");
      return;
    }
    state.SetIterationTime(Seconds(t0, t1));
    times.Add(Seconds(t0, t1), Seconds(t1, t2));
    size = double(n);
  }
  times.Print("record", Case("save", int(state.range(0))), "compress2",
              "record " + std::to_string(int(100.0 * size / double(src.size()))) + " % of surface");
}

void BM_Load(benchmark::State& state) {
  GCompRef<OLayer> l = MakeLayer(int(state.range(0)));
  const Bytes src = Surface(l);
  {
    GCompRef<OFileOut> out = new CFileOut();
    if (!out->Open(TempPath().c_str()) || l->Save(out, nullptr) <= 0 || !out->Close()) {
      state.SkipWithError("save failed");
      return;
    }
  }
  Bytes packed(compressBound(uLong(src.size())));
  uLongf pn = uLongf(packed.size());
  compress2(packed.data(), &pn, src.data(), uLong(src.size()), 4);
  Bytes plain(src.size());
  RatioTimes times;
  double layerSec = 0, mipSec = 0;
  for (auto _ : state) {
    GCompRef<OFileIn> in = new CFileIn();
    GCompRef<OLayer> back = NewLayer();
    if (!in->Open(TempPath().c_str())) {
      state.SkipWithError("no temporary file");
      return;
    }
    auto t0 = Clock::now();
    const int64_t n = back->Load(in, nullptr, nullptr);
    auto t1 = Clock::now();
    uLongf un = uLongf(plain.size());
    const int rc = uncompress(plain.data(), &un, packed.data(), pn);
    auto t2 = Clock::now();
    if (n <= 0 || rc != Z_OK || un != src.size() || plain != src || Surface(back) != src) {
      state.SkipWithError("load failed");
      return;
    }
    state.SetIterationTime(Seconds(t0, t1));
    times.Add(Seconds(t0, t1), Seconds(t1, t2));
    layerSec += Seconds(t0, t1);
    // The share of the load that is the mip refresh, timed once more on its own.
    auto t3 = Clock::now();
    back->MipRefresh(nullptr);
    mipSec += Seconds(t3, Clock::now());
  }
  times.Print("record", Case("load", int(state.range(0))), "uncompress",
              "mip refresh " + std::to_string(int(100.0 * mipSec / layerSec)) + " % of load");
  plat::DeleteFile(TempPath());
}

void Cases(benchmark::internal::Benchmark* b) {
  b->DenseRange(0, 2)->ArgName("content")->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Save)->Apply(Cases);
BENCHMARK(BM_Load)->Apply(Cases);

}  // namespace

BENCHMARK_MAIN();
