// A full mip refresh of a 4096 x 4096 colour layer beside memcpy of its level-0 bytes:
// the rate counts level-0 bytes read. Content 0 mixes alphas pixel by pixel (the general
// way throughout), content 1 is opaque (the short way painted areas mostly take).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "BenchRatio.h"
#include "Morvane.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSide = 4096;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

void BM_MipRefresh(benchmark::State& state) {
  const bool opaque = state.range(0) == 1;
  state.SetLabel(opaque ? "opaque" : "mixed alpha");
  auto* l = static_cast<OLayer*>(GCreateComponent<Morvane>(nullptr, nullptr, nullptr)->GetInterface(u"OLayer__"));
  l->AddRef();
  l->Initialize(nullptr, kSide, kSide, OLayer::myFORMAT_C32, 1);
  {
    // Hashed pixels: a quarter transparent, a quarter opaque, the rest anything.
    LayerLock lock;
    lock.Lock(l, 0);
    auto* p = reinterpret_cast<uint32_t*>(lock.pPixels);
    for (size_t i = 0; i < size_t(kSide) * kSide; ++i) {
      uint32_t v = uint32_t(i * 2654435761u);
      uint32_t kind = (v >> 7) & 3;
      p[i] = opaque || kind == 1 ? v | 0xFF000000 : kind == 0 ? v & 0xFFFFFF : v;
    }
  }
  const size_t bytes = size_t(kSide) * kSide * 4;
  std::vector<uint8_t> from(bytes, 1), to(bytes);
  l->MipRefresh(nullptr);  // touch every page once
  double own = 0, copy = 0;
  RatioTimes times;
  for (auto _ : state) {
    auto t0 = Clock::now();
    l->MipRefresh(nullptr);
    auto t1 = Clock::now();
    std::memcpy(to.data(), from.data(), bytes);
    auto t2 = Clock::now();
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
    state.SetIterationTime(Seconds(t0, t1));
    own += Seconds(t0, t1);
    copy += Seconds(t1, t2);
    times.Add(Seconds(t0, t1), Seconds(t1, t2));
  }
  const double total = double(bytes) * double(state.iterations());
  state.counters["mip_GBps"] = total / own / 1e9;
  state.counters["memcpy_GBps"] = total / copy / 1e9;
  state.counters["mip/memcpy"] = copy / own;  // speed ratio: 1 means as fast as memcpy
  state.SetBytesProcessed(int64_t(total));
  times.Print("mip_bench", opaque ? "opaque" : "mixed alpha", "memcpy", "floor: memcpy of the level-0 bytes");
  l->Release();
}

BENCHMARK(BM_MipRefresh)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("content")
    ->Iterations(20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
