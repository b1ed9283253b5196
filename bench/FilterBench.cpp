// The layer filters on a 2048 x 2048 layer beside memcpy of the same bytes (the filter reads
// the backup and writes the pixels; memcpy moves that many bytes once). The blur runs at
// WIDTH = HEIGHT = 1, 4 and 100: its running sums should make the three alike. The kernel
// cases set the SSE2 rows the filters run beside their scalar references.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "BlurKernels.h"
#include "HueKernels.h"
#include "Morvane.h"
#include "MorvaneFilterBlur.h"
#include "MorvaneFilterBright.h"
#include "MorvaneFilterHue.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSide = 2048;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

template <class T>
T* Make() {
  auto* c = GCreateComponent<T>(nullptr, nullptr, nullptr);
  c->AddRef();
  return static_cast<T*>(c);
}

// A layer of random pixels (a quarter of them transparent) with its backup taken.
OLayer* NewLayer(int format) {
  auto* l = static_cast<OLayer*>(Make<Morvane>()->GetInterface(u"OLayer__"));
  l->Initialize(nullptr, kSide, kSide, format, 1);
  {
    LayerLock lock;
    lock.Lock(l, 0);
    std::mt19937 rng(1);
    for (int y = 0; y < kSide; ++y) {
      BYTE* row = lock.Row(y);
      for (int x = 0; x < kSide * format; x += 4) {
        uint32_t v = rng();
        if ((v & 3) == 0) v &= 0x00FFFFFF;
        std::memcpy(row + x, &v, 4);
      }
    }
  }
  l->PAT_PrepareActivate(PAT_F_BACKUP, nullptr);
  return l;
}

void Report(benchmark::State& state, double pixels, double bytes, double ownSec, double copySec) {
  pixels *= double(state.iterations());
  bytes *= double(state.iterations());
  state.counters["own_Mpx/s"] = pixels / ownSec / 1e6;
  state.counters["memcpy_Mpx/s"] = pixels / copySec / 1e6;
  state.counters["own/memcpy"] = copySec / ownSec;  // speed ratio: 1 means as fast as memcpy
  state.SetBytesProcessed(int64_t(bytes));
}

// Times the filter and memcpy of the surface's pixel bytes in turn.
void RunFilter(benchmark::State& state, OLayerFilter* filter, OLayer* layer, const std::string& caseName) {
  const size_t bytes = size_t(kSide) * kSide * size_t(layer->GetPixelSize());
  std::vector<uint8_t> from(bytes, 1), to(bytes);
  double own = 0, copy = 0;
  RatioTimes times;
  for (auto _ : state) {
    auto t0 = Clock::now();
    if (filter->Filter(layer, 0, nullptr) != 1) state.SkipWithError("filter stopped");
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
  Report(state, double(kSide) * kSide, double(bytes), own, copy);
  times.Print("filter_bench", caseName, "memcpy", "floor: memcpy of the pixel bytes");
}

void BM_Blur(benchmark::State& state) {
  const int format = int(state.range(0));
  const int value = int(state.range(1));
  OLayer* l = NewLayer(format);
  MorvaneFilterBlur* f = Make<MorvaneFilterBlur>();
  f->Properties().SetValue(0, value);
  f->Properties().SetValue(1, value);
  const std::string caseName = std::string(format == 4 ? "blur colour, window " : "blur mask, window ") +
                               std::to_string(2 * MorvaneFilterBlur::Radius(value, kSide) - 1);
  state.SetLabel(caseName);
  RunFilter(state, f, l, caseName);
  f->Release();
  l->Release();
}

void BM_Bright(benchmark::State& state) {
  OLayer* l = NewLayer(4);
  MorvaneFilterBright* f = Make<MorvaneFilterBright>();
  f->Properties().SetValue(0, 20);
  f->Properties().SetValue(1, -30);
  RunFilter(state, f, l, "brightness");
  f->Release();
  l->Release();
}

void BM_Hue(benchmark::State& state) {
  OLayer* l = NewLayer(4);
  MorvaneFilterHue* f = Make<MorvaneFilterHue>();
  f->Properties().SetValue(0, 40);
  f->Properties().SetValue(1, 25);
  RunFilter(state, f, l, "hue");
  f->Release();
  l->Release();
}

// One row kernel, scalar beside SSE2, over the same rows.
template <class Scalar, class Sse2>
void KernelPair(benchmark::State& state, const char* caseName, size_t pixels, Scalar&& scalar, Sse2&& sse2) {
  double s = 0, v = 0;
  RatioTimes times;
  for (auto _ : state) {
    auto t0 = Clock::now();
    scalar();
    auto t1 = Clock::now();
    sse2();
    auto t2 = Clock::now();
    benchmark::ClobberMemory();
    state.SetIterationTime(Seconds(t1, t2));
    s += Seconds(t0, t1);
    v += Seconds(t1, t2);
    times.Add(Seconds(t1, t2), Seconds(t0, t1));
  }
  const double px = double(pixels) * double(state.iterations());
  state.counters["sse2_Mpx/s"] = px / v / 1e6;
  state.counters["scalar_Mpx/s"] = px / s / 1e6;
  state.counters["sse2/scalar"] = s / v;
  // Our own scalar definition, not an outside reference: how much the SSE2 rows gain on it.
  times.Print("filter_bench", caseName, "own_scalar", "not an outside reference: our scalar definition");
}

void BM_BlurRowsC32(benchmark::State& state) {
  const size_t n = kSide, rows = 64, radius = 4;
  std::mt19937 rng(2);
  std::vector<uint32_t> src(n * rows), dest(n);
  for (auto& p : src) p = rng();
  std::vector<int32_t> sums(4 * n, 0), weighted(4 * n);
  auto pass = [&](auto vertical, auto horizontal) {
    for (size_t r = 0; r < rows; ++r) {
      vertical(sums.data(), &src[r * n], r ? &src[(r - 1) * n] : nullptr, weighted.data(), n, uint32_t(2 * radius - 1));
      horizontal(dest.data(), weighted.data(), n, radius);
    }
  };
  KernelPair(
      state, "blur rows C32 SSE2", n * rows, [&] { pass(blur::VerticalC32Scalar, blur::HorizontalC32Scalar); },
      [&] { pass(blur::VerticalC32Sse2, blur::HorizontalC32Sse2); });
}

void BM_HueRows(benchmark::State& state) {
  const size_t n = size_t(kSide) * 64;
  std::mt19937 rng(3);
  std::vector<uint32_t> src(n), dest(n);
  for (auto& p : src) p = rng();
  static hue::RingEntry ring[hue::kRingSize];
  hue::BuildRing(ring);
  const hue::Params params{ring, 40 * 766 / 100, 25 * 256 / 100};
  KernelPair(
      state, "hue rows SSE2", n, [&] { hue::RowScalar(dest.data(), src.data(), n, params); },
      [&] { hue::RowSse2(dest.data(), src.data(), n, params); });
}

BENCHMARK(BM_Blur)
    ->ArgsProduct({{4, 2}, {1, 4, 100}})
    ->ArgNames({"format", "WIDTH"})
    ->Iterations(11)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bright)->Iterations(11)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Hue)->Iterations(11)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlurRowsC32)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HueRows)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
