// The outline tracer on an 8192 x 8192 mask, sparse (scattered discs) and dense (blobs of
// value noise), reading every point out as the paint bucket does. Its raster pass (Begin) is
// set beside, in the same run, a plain cell-by-cell pass of the same case table (four bit
// reads per cell, the same linked vertices) and a popcount scan of the mask words, the floor
// of any one-pass reader. Reading the points out follows the links across the whole mask
// and is reported on its own.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "XCreateShapeFromBitmap.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSide = 8192;
const RECT kBitmap{-32, -1, kSide + 32, kSide + 1};
const RECT kLimit{0, 0, kSide, kSide};
constexpr size_t kWords = (kSide + 64) / 32;  // words per row

struct Mask {
  std::vector<DWORD> bits = std::vector<DWORD>(kWords * (kSide + 2), 0);
  void Set(int x, int y) {
    bits[size_t(y + 1) * kWords + size_t(x + 32) / 32] |= DWORD(1) << ((x + 32) & 31);
  }
  bool Get(int x, int y) const {
    return (bits[size_t(y + 1) * kWords + size_t(x + 32) / 32] >> ((x + 32) & 31)) & 1;
  }
};

Mask Sparse() {
  Mask m;
  std::mt19937 rng(3);
  for (int i = 0; i < 3000; ++i) {
    const int cx = int(rng() % kSide), cy = int(rng() % kSide), r = 2 + int(rng() % 23);
    for (int y = std::max(0, cy - r); y < std::min(kSide, cy + r + 1); ++y)
      for (int x = std::max(0, cx - r); x < std::min(kSide, cx + r + 1); ++x)
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) m.Set(x, y);
  }
  return m;
}

// Value noise on an 8-pixel grid cut at one half: about half the pixels set, in blobs.
Mask Dense() {
  Mask m;
  const int cell = 8, grid = kSide / cell + 2;
  std::mt19937 rng(4);
  std::vector<float> level(size_t(grid) * grid);
  for (float& v : level) v = std::uniform_real_distribution<float>(0, 1)(rng);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const int gx = x / cell, gy = y / cell;
      const float fx = float(x % cell) / cell, fy = float(y % cell) / cell;
      auto at = [&](int i, int j) { return level[size_t(j) * grid + i]; };
      const float v = (at(gx, gy) * (1 - fx) + at(gx + 1, gy) * fx) * (1 - fy) +
                      (at(gx, gy + 1) * (1 - fx) + at(gx + 1, gy + 1) * fx) * fy;
      if (v > 0.5f) m.Set(x, y);
    }
  }
  return m;
}

const Mask& GetMask(int i) {
  static const Mask masks[2] = {Sparse(), Dense()};
  return masks[i];
}

// The reference pass: every cell of the frame, its code from four bit reads, the same links.
size_t PlainTrace(const Mask& m, std::vector<TraceVertex>& q, std::vector<int32_t>& links) {
  q = {};  // a fresh list each time, as the tracer's first trace of this size has
  links.assign(kSide + 2, -1);
  int32_t left = -1;
  auto add = [&q](int x, int y) {
    q.push_back(TraceVertex{x, y, 0, -1});
    return int32_t(q.size() - 1);
  };
  auto link = [&q](int32_t a, int32_t b) {
    if (a >= 0) q[size_t(a)].next = b;
  };
  for (int y = -1; y < kSide; ++y) {
    for (int x = -1; x < kSide; ++x) {
      const int code = m.Get(x, y) | m.Get(x + 1, y) << 1 | m.Get(x, y + 1) << 2 | m.Get(x + 1, y + 1) << 3;
      int32_t& up = links[size_t(x + 1)];
      int32_t n, b;
      switch (code) {
        case 1:
          n = add(x + 1, y + 1);
          link(up, n);
          link(n, left);
          break;
        case 2:
          n = add(x + 1, y + 1);
          link(n, up);
          left = n;
          break;
        case 4:
          n = add(x + 1, y + 1);
          link(left, n);
          up = n;
          break;
        case 7:
        case 8:
          n = add(x + 1, y + 1);
          left = up = n;
          break;
        case 11:
          n = add(x + 1, y + 1);
          link(n, left);
          up = n;
          break;
        case 13:
          n = add(x + 1, y + 1);
          link(up, n);
          left = n;
          break;
        case 14:
          n = add(x + 1, y + 1);
          link(left, n);
          link(n, up);
          break;
        case 6:
          n = add(x + 1, y + 1);
          b = add(x + 1, y + 1);
          link(left, n);
          link(b, up);
          left = b;
          up = n;
          break;
        case 9:
          n = add(x + 1, y + 1);
          b = add(x + 1, y + 1);
          link(up, n);
          link(n, left);
          left = up = b;
          break;
        default:
          break;
      }
    }
  }
  return q.size();
}

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

void BM_Trace(benchmark::State& state) {
  Mask mask = GetMask(int(state.range(0)));  // a copy: Begin clears the frame in place
  state.SetLabel(state.range(0) ? "dense" : "sparse");
  auto* tracer =
      static_cast<OCreateShapeFromBitmap*>(GCreateComponent<XCreateShapeFromBitmap>(nullptr, nullptr, nullptr)
                                               ->GetInterface(u"OCreateShapeFromBitmap"));
  tracer->AddRef();
  std::vector<TraceVertex> q;
  std::vector<int32_t> links;
  double ourSec = 0, passSec = 0, plainSec = 0, scanSec = 0;
  RatioTimes plainTimes, scanTimes;
  int points = 0, contours = 0;
  size_t plainPoints = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    points = tracer->Begin(mask.bits.data(), &kBitmap, &kLimit);
    auto tPass = Clock::now();
    POINT p;
    int fresh = 0;
    int64_t sum = 0;
    contours = 0;
    if (points > 0) {
      while (tracer->GetPoint(&p, &fresh)) {
        contours += fresh;
        sum += p.x ^ p.y;
      }
    }
    tracer->End();
    benchmark::DoNotOptimize(sum);
    auto t1 = Clock::now();
    plainPoints = PlainTrace(mask, q, links);
    auto t2 = Clock::now();
    uint64_t bits = 0;
    for (DWORD w : mask.bits) bits += uint64_t(__builtin_popcount(w));
    benchmark::DoNotOptimize(bits);
    auto t3 = Clock::now();
    state.SetIterationTime(Seconds(t0, t1));
    ourSec += Seconds(t0, t1);
    passSec += Seconds(t0, tPass);
    plainSec += Seconds(t1, t2);
    scanSec += Seconds(t2, t3);
    plainTimes.Add(Seconds(t0, tPass), Seconds(t1, t2));
    scanTimes.Add(Seconds(t0, tPass), Seconds(t2, t3));
  }
  if (size_t(points) != plainPoints) state.SkipWithError("the plain pass found other vertices");
  if (ourSec > 0) {
    const double px = double(kSide) * kSide * double(state.iterations());
    state.counters["tracer_Mpix/s"] = px / ourSec / 1e6;  // pass and read-out
    state.counters["pass_Mpix/s"] = px / passSec / 1e6;
    state.counters["plain_Mpix/s"] = px / plainSec / 1e6;
    state.counters["pass/plain"] = plainSec / passSec;  // speed ratio: above 1 is faster
    state.counters["pass/popcount_scan"] = scanSec / passSec;
    state.counters["readout_ms"] = (ourSec - passSec) * 1e3 / double(state.iterations());
    state.counters["vertices"] = points;
    state.counters["contours"] = contours;
    const std::string caseName = std::string(state.range(0) ? "dense" : "sparse") + " pass";
    plainTimes.Print("trace_bench", caseName, "plain_pass", "same vertex count: " + std::to_string(points));
    scanTimes.Print("trace_bench", caseName, "popcount_scan", "floor: one popcount pass over the mask words");
  }
  tracer->Release();
}

}  // namespace

BENCHMARK(BM_Trace)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(9);

BENCHMARK_MAIN();
