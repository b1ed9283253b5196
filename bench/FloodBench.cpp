// The flood fill on a 4000 x 4000 colour layer beside two plain fills of the same rule in the
// same run: a uniform area, a slow gradient (neighbours a few steps apart, all within the
// tolerance) and a maze of one-pixel corridors. The references are plain but fair: their own
// copy of the picture inside a one-pixel border, a byte per pixel for "visited" with the border
// preset (no bounds tests), the colour test in one instruction, no divide anywhere. "bfs" takes
// a pixel at a time from a flat queue of indices; "rowwalk" takes runs of a row from a queue,
// widens them along the row and tests the rows above and below, pixel by pixel (our fill's
// method without its word-at-a-time tests). Their queues keep their memory from one fill to
// the next, where ours allocates as it goes: any advantage is the references'. All three apply
// the same rule and must mark the same pixels: the first iteration checks each reference
// against ours. Rates count filled pixels.
#include <benchmark/benchmark.h>
#include <emmintrin.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "BenchRatio.h"
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

// The reference's picture: the layer's pixels inside a one-pixel border, and a visited byte
// per pixel with the border already visited, so no neighbour needs a bounds test.
constexpr size_t kWide = kSide + 2;

struct BfsPicture {
  std::vector<uint32_t> pixels;
  std::vector<uint8_t> fresh;    // visited map before a fill: the border set
  std::vector<uint8_t> visited;  // the fill's map
  BfsPicture(const uint32_t* p, size_t pitch)
      : pixels(kWide * kWide, 0), fresh(kWide * kWide, 1), visited(kWide * kWide) {
    for (int y = 0; y < kSide; ++y) {
      std::memcpy(&pixels[(size_t(y) + 1) * kWide + 1], p + size_t(y) * pitch, size_t(kSide) * 4);
      std::memset(&fresh[(size_t(y) + 1) * kWide + 1], 0, size_t(kSide));
    }
  }
  uint32_t Index(int x, int y) const { return uint32_t((size_t(y) + 1) * kWide + size_t(x) + 1); }
};

// The same colour test as the layer's: the four byte differences add up to less than tol
// (one sum-of-absolute-differences instruction).
inline bool Passes(uint32_t a, uint32_t b, unsigned tol) {
  const __m128i d = _mm_sad_epu8(_mm_cvtsi32_si128(int(a)), _mm_cvtsi32_si128(int(b)));
  return unsigned(_mm_cvtsi128_si32(d)) < tol;
}

// Breadth first from the seed; each reached pixel tests its four neighbours against itself.
// The queue holds every filled pixel once, so it is sized for the whole picture.
int64_t BfsFill(BfsPicture& pic, std::vector<uint32_t>& queue, uint32_t seed, unsigned tol) {
  const uint32_t* px = pic.pixels.data();
  uint8_t* seen = pic.visited.data();
  uint32_t* q = queue.data();
  const ptrdiff_t steps[4] = {-1, 1, -ptrdiff_t(kWide), ptrdiff_t(kWide)};
  size_t head = 0, tail = 0;
  seen[seed] = 1;
  q[tail++] = seed;
  while (head < tail) {
    const uint32_t i = q[head++];
    const uint32_t v = px[i];
    for (ptrdiff_t step : steps) {
      const uint32_t j = uint32_t(ptrdiff_t(i) + step);
      if (seen[j] || !Passes(v, px[j], tol)) continue;
      seen[j] = 1;
      q[tail++] = j;
    }
  }
  return int64_t(tail);
}

// A run of filled pixels of one row, first and last index inclusive.
struct Run {
  uint32_t first, last;
};

// Row walking: a run from the queue widens along its row while the next pixel passes against
// the one before it, then every pixel of the widened run tests the pixel above and below; the
// ones that pass become runs of the queue.
int64_t RowWalkFill(BfsPicture& pic, std::vector<Run>& queue, uint32_t seed, unsigned tol) {
  const uint32_t* px = pic.pixels.data();
  uint8_t* seen = pic.visited.data();
  queue.clear();
  seen[seed] = 1;
  queue.push_back({seed, seed});
  int64_t filled = 1;
  for (size_t head = 0; head < queue.size(); ++head) {
    uint32_t first = queue[head].first, last = queue[head].last;
    while (!seen[first - 1] && Passes(px[first], px[first - 1], tol)) seen[--first] = 1, ++filled;
    while (!seen[last + 1] && Passes(px[last], px[last + 1], tol)) seen[++last] = 1, ++filled;
    for (const uint32_t step : {uint32_t(-int32_t(kWide)), uint32_t(kWide)}) {
      uint32_t open = 0;  // the first pixel of a run still growing, else 0 (always border)
      for (uint32_t i = first; i <= last; ++i) {
        const uint32_t j = i + step;
        if (!seen[j] && Passes(px[i], px[j], tol)) {
          seen[j] = 1;
          ++filled;
          if (!open) open = j;
        } else if (open) {
          queue.push_back({open, j - 1});
          open = 0;
        }
      }
      if (open) queue.push_back({open, last + step});
    }
  }
  return filled;
}

// The first place where the bit box and the visited map disagree, or -1.
int64_t FirstDifference(const std::vector<DWORD>& box, const std::vector<uint8_t>& visited) {
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      const bool bit = (box[(size_t(y) * kSpan + size_t(x)) >> 5] >> (x & 31)) & 1;
      if (bit != (visited[(size_t(y) + 1) * kWide + size_t(x) + 1] != 0)) return int64_t(y) * kSide + x;
    }
  return -1;
}

int64_t CountBits(const std::vector<DWORD>& bits) {
  int64_t n = 0;
  for (DWORD w : bits) n += __builtin_popcount(w);
  return n;
}

void BM_Flood(benchmark::State& state) {
  const Content content = Content(state.range(0));
  const char* label = content == kUniform ? "uniform" : content == kGradient ? "slow gradient" : "one-pixel maze";
  state.SetLabel(label);
  auto* layer = static_cast<OLayer*>(GCreateComponent<Morvane>(nullptr, nullptr, nullptr)->GetInterface(u"OLayer"));
  layer->AddRef();
  layer->Initialize(nullptr, kSide, kSide, OLayer::myFORMAT_C32, 1);
  std::unique_ptr<BfsPicture> pic;
  {
    LayerLock lock;
    lock.Lock(layer, 0);
    const size_t pitch = size_t(lock.nPitch);
    Paint(reinterpret_cast<uint32_t*>(lock.pPixels), pitch, content);
    pic = std::make_unique<BfsPicture>(reinterpret_cast<const uint32_t*>(lock.pPixels), pitch);
  }
  auto* flood = static_cast<OFlood*>(GCreateComponent<XFlood>(nullptr, nullptr, nullptr)->GetInterface(u"OFlood"));
  flood->AddRef();
  const unsigned tol = content == kUniform ? 1 : 10;
  const POINT seed{content == kMaze ? 1 : kSide / 2, content == kMaze ? 1 : kSide / 2};
  const RECT rcEnd{0, 0, kSide, kSide}, rcBox{0, 0, kSpan, kSide};
  std::vector<DWORD> box(size_t(kSpan / 32) * kSide);
  std::vector<uint32_t> bfsQueue(size_t(kSide) * kSide);
  std::vector<Run> runs;
  RatioTimes bfs, rowWalk;
  int64_t filled = 0;
  bool checked = false, same = true;
  // The first iteration compares each reference's pixels with ours.
  auto check = [&](const char* refName, int64_t refFilled) {
    if (checked) return;
    const int64_t differs = FirstDifference(box, pic->visited), ours = CountBits(box);
    if (differs < 0 && ours == refFilled) return;
    same = false;
    std::fprintf(stderr, "flood_bench %s: the flood and %s differ (first at x %lld, y %lld; %lld against %lld)\n",
                 label, refName, (long long)(differs % kSide), (long long)(differs / kSide), (long long)ours,
                 (long long)refFilled);
    state.SkipWithError("the flood and a reference fill differ");
  };
  const uint32_t seedIndex = pic->Index(seed.x, seed.y);
  for (auto _ : state) {
    std::fill(box.begin(), box.end(), 0u);
    pic->visited = pic->fresh;
    RECT out;
    auto t0 = Clock::now();
    flood->Flood(box.data(), &rcBox, &rcEnd, &seed, tol, layer, &out);
    auto t1 = Clock::now();
    filled = BfsFill(*pic, bfsQueue, seedIndex, tol);
    auto t2 = Clock::now();
    check("bfs", filled);
    pic->visited = pic->fresh;
    auto t3 = Clock::now();
    const int64_t walked = RowWalkFill(*pic, runs, seedIndex, tol);
    auto t4 = Clock::now();
    check("rowwalk", walked);
    checked = true;
    state.SetIterationTime(Seconds(t0, t1));
    bfs.Add(Seconds(t0, t1), Seconds(t1, t2));
    rowWalk.Add(Seconds(t0, t1), Seconds(t3, t4));
  }
  const double ownMs = bfs.OursMs();
  state.counters["filled_Mpx"] = double(filled) / 1e6;
  state.counters["flood_Mpx_s"] = double(filled) / ownMs / 1e3;
  state.counters["bfs_Mpx_s"] = double(filled) / bfs.RefMs() / 1e3;
  state.counters["rowwalk_Mpx_s"] = double(filled) / rowWalk.RefMs() / 1e3;
  state.counters["flood/bfs"] = bfs.RefMs() / ownMs;  // speed ratios: above 1 is faster than the plain fill
  state.counters["flood/rowwalk"] = rowWalk.RefMs() / ownMs;
  const std::string note = (same ? "same pixels, " : "PIXELS DIFFER, ") + std::to_string(filled) + " filled";
  bfs.Print("flood_bench", label, "bfs", note);
  rowWalk.Print("flood_bench", label, "rowwalk", note);
  flood->Release();
  layer->Release();
}

BENCHMARK(BM_Flood)
    ->Arg(kUniform)
    ->Arg(kGradient)
    ->Arg(kMaze)
    ->ArgName("content")
    ->Iterations(9)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
