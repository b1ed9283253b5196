// The flood fill on a 4000 x 4000 colour layer beside a plain breadth-first fill of the same
// rule (one flat point queue, each neighbour of each pixel tested on its own) in the same
// run: a uniform area, a slow gradient (neighbours a few steps apart, all within the
// tolerance) and a maze of one-pixel corridors. Rates count filled pixels.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Morvane.h"
#include "XFlood.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSide = 4000;
constexpr int kSpan = 4000 / 32 * 32 + 32;  // the bit box's span, a multiple of 32

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

enum Content { kUniform = 0, kGradient = 1, kMaze = 2 };

void Paint(uint32_t* p, size_t pitch, Content c) {
  if (c == kUniform) {
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < kSide; ++x) p[size_t(y) * pitch + x] = 0xFF336699u;
  } else if (c == kGradient) {
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < kSide; ++x)
        p[size_t(y) * pitch + x] =
            0xFF000000u | uint32_t((x + y) / 32 & 255) << 16 | uint32_t(y / 16 & 255) << 8 | uint32_t(x / 16 & 255);
  } else {
    // A perfect maze: cells on odd coordinates, carved depth first; walls black, corridors
    // white, one pixel wide each.
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < kSide; ++x) p[size_t(y) * pitch + x] = 0xFF000000u;
    const int cells = (kSide - 1) / 2;
    std::vector<uint8_t> seen(size_t(cells) * cells, 0);
    std::vector<int> stack{0};
    seen[0] = 1;
    p[pitch + 1] = 0xFFFFFFFFu;
    uint32_t rng = 12345;
    while (!stack.empty()) {
      const int c = stack.back(), cx = c % cells, cy = c / cells;
      int options[4], n = 0;
      const int dx[4] = {1, -1, 0, 0}, dy[4] = {0, 0, 1, -1};
      for (int k = 0; k < 4; ++k) {
        const int nx = cx + dx[k], ny = cy + dy[k];
        if (nx >= 0 && ny >= 0 && nx < cells && ny < cells && !seen[size_t(ny) * cells + nx]) options[n++] = k;
      }
      if (!n) {
        stack.pop_back();
        continue;
      }
      rng ^= rng << 13, rng ^= rng >> 17, rng ^= rng << 5;
      const int k = options[rng % uint32_t(n)];
      const int nx = cx + dx[k], ny = cy + dy[k];
      seen[size_t(ny) * cells + nx] = 1;
      p[size_t(2 * cy + 1 + dy[k]) * pitch + size_t(2 * cx + 1 + dx[k])] = 0xFFFFFFFFu;
      p[size_t(2 * ny + 1) * pitch + size_t(2 * nx + 1)] = 0xFFFFFFFFu;
      stack.push_back(ny * cells + nx);
    }
  }
}

// The reference: the same rule, a pixel at a time.
int64_t PlainFill(std::vector<DWORD>& bits, std::vector<uint32_t>& queue, const uint32_t* p, size_t pitch, int sx,
                  int sy, unsigned tol) {
  auto test = [&](int x, int y) { return (bits[(size_t(y) * kSpan + x) >> 5] >> (x & 31)) & 1; };
  auto set = [&](int x, int y) { bits[(size_t(y) * kSpan + x) >> 5] |= 1u << (x & 31); };
  auto pass = [&](uint32_t a, uint32_t b) {
    uint32_t d = 0;
    for (int s = 0; s < 32; s += 8) d += uint32_t(std::abs(int((a >> s) & 255) - int((b >> s) & 255)));
    return d < tol;
  };
  size_t head = 0, tail = 0;
  set(sx, sy);
  queue[tail++] = uint32_t(sy) * kSide + uint32_t(sx);
  while (head < tail) {
    const uint32_t i = queue[head++];
    const int x = int(i % kSide), y = int(i / kSide);
    const uint32_t v = p[size_t(y) * pitch + x];
    const int nx[4] = {x - 1, x, x + 1, x}, ny[4] = {y, y - 1, y, y + 1};
    for (int k = 0; k < 4; ++k) {
      if (unsigned(nx[k]) >= unsigned(kSide) || unsigned(ny[k]) >= unsigned(kSide) || test(nx[k], ny[k])) continue;
      if (!pass(v, p[size_t(ny[k]) * pitch + nx[k]])) continue;
      set(nx[k], ny[k]);
      queue[tail++] = uint32_t(ny[k]) * kSide + uint32_t(nx[k]);
    }
  }
  return int64_t(tail);
}

int64_t CountBits(const std::vector<DWORD>& bits) {
  int64_t n = 0;
  for (DWORD w : bits) n += __builtin_popcount(w);
  return n;
}

void BM_Flood(benchmark::State& state) {
  const Content content = Content(state.range(0));
  state.SetLabel(content == kUniform ? "uniform" : content == kGradient ? "slow gradient" : "one-pixel maze");
  auto* layer = static_cast<OLayer*>(GCreateComponent<Morvane>(nullptr, nullptr, nullptr)->GetInterface(u"OLayer"));
  layer->AddRef();
  layer->Initialize(nullptr, kSide, kSide, OLayer::myFORMAT_C32, 1);
  size_t pitch;
  std::vector<uint32_t> pixels;
  {
    LayerLock lock;
    lock.Lock(layer, 0);
    pitch = size_t(lock.nPitch);
    Paint(reinterpret_cast<uint32_t*>(lock.pPixels), pitch, content);
    pixels.assign(reinterpret_cast<uint32_t*>(lock.pPixels), reinterpret_cast<uint32_t*>(lock.pPixels) + pitch * kSide);
  }
  auto* flood = static_cast<OFlood*>(GCreateComponent<XFlood>(nullptr, nullptr, nullptr)->GetInterface(u"OFlood"));
  flood->AddRef();
  const unsigned tol = content == kUniform ? 1 : 10;
  const POINT seed{content == kMaze ? 1 : kSide / 2, content == kMaze ? 1 : kSide / 2};
  const RECT rcEnd{0, 0, kSide, kSide}, rcBox{0, 0, kSpan, kSide};
  std::vector<DWORD> box(size_t(kSpan / 32) * kSide), ref(box.size());
  std::vector<uint32_t> queue(size_t(kSide) * kSide);
  double own = 0, plain = 0;
  int64_t filled = 0;
  for (auto _ : state) {
    std::fill(box.begin(), box.end(), 0u);
    std::fill(ref.begin(), ref.end(), 0u);
    RECT out;
    auto t0 = Clock::now();
    flood->Flood(box.data(), &rcBox, &rcEnd, &seed, tol, layer, &out);
    auto t1 = Clock::now();
    const int64_t n = PlainFill(ref, queue, pixels.data(), pitch, seed.x, seed.y, tol);
    auto t2 = Clock::now();
    if (box != ref) state.SkipWithError("the fills differ");
    filled = n;
    state.SetIterationTime(Seconds(t0, t1));
    own += Seconds(t0, t1);
    plain += Seconds(t1, t2);
  }
  if (CountBits(box) != filled) state.SkipWithError("count mismatch");
  const double total = double(filled) * double(state.iterations());
  state.counters["filled_Mpx"] = double(filled) / 1e6;
  state.counters["flood_Mpx_s"] = total / own / 1e6;
  state.counters["bfs_Mpx_s"] = total / plain / 1e6;
  state.counters["flood/bfs"] = plain / own;  // speed ratio: above 1 is faster than the plain fill
  flood->Release();
  layer->Release();
}

BENCHMARK(BM_Flood)
    ->Arg(kUniform)
    ->Arg(kGradient)
    ->Arg(kMaze)
    ->ArgName("content")
    ->Iterations(4)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
