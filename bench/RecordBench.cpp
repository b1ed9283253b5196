// Layer Save / Load of a 4096 x 4096 colour layer through a temporary file, against
// compress2 / uncompress at level 4 on the same surface bytes in memory. Rates are in MB
// of surface bytes a second; "layer/zlib" is the speed ratio (1: as fast as zlib alone).
// Load includes making the layer and its mip refresh, as a document load pays them.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "common/FakeSystem.h"
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

// kind 0: one flat colour; 1: opaque pixels of random colour.
GCompRef<OLayer> MakeLayer(int kind) {
  GCompRef<OLayer> l = NewLayer();
  l->Initialize(nullptr, kSide, kSide, OLayer::myFORMAT_C32, 1);
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

void Report(benchmark::State& state, double bytes, double layerSec, double zlibSec, double packed) {
  state.counters["layer_MBps"] = bytes / layerSec / 1e6;
  state.counters["zlib_MBps"] = bytes / zlibSec / 1e6;
  state.counters["layer/zlib"] = zlibSec / layerSec;
  state.counters["packed_%"] = 100.0 * packed / bytes;
}

void BM_Save(benchmark::State& state) {
  GCompRef<OLayer> l = MakeLayer(int(state.range(0)));
  const Bytes src = Surface(l);
  Bytes packed(compressBound(uLong(src.size())));
  double layerSec = 0, zlibSec = 0, size = 0;
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
    layerSec += Seconds(t0, t1);
    zlibSec += Seconds(t1, t2);
    size = double(n);
  }
  Report(state, double(src.size()), layerSec, zlibSec, size);
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
  double layerSec = 0, zlibSec = 0, mipSec = 0;
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
    if (n <= 0 || rc != Z_OK || Surface(back) != src) {
      state.SkipWithError("load failed");
      return;
    }
    state.SetIterationTime(Seconds(t0, t1));
    layerSec += Seconds(t0, t1);
    zlibSec += Seconds(t1, t2);
    // The share of the load that is the mip refresh, timed once more on its own.
    auto t3 = Clock::now();
    back->MipRefresh(nullptr);
    mipSec += Seconds(t3, Clock::now());
  }
  Report(state, double(src.size()), layerSec, zlibSec, double(pn));
  state.counters["mip_%"] = 100.0 * mipSec / layerSec;
  plat::DeleteFile(TempPath());
}

void Cases(benchmark::internal::Benchmark* b) {
  b->Arg(0)->Arg(1)->ArgName("noisy")->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Save)->Apply(Cases);
BENCHMARK(BM_Load)->Apply(Cases);

}  // namespace

BENCHMARK_MAIN();
