// The production splat of the common strips. A strip of an unturned, unsheared mapping (its
// upper and lower sides start and end at the same x, and both sides are level) puts splat
// (i, j) at column x(i) and row y(j); a strip within one pixel puts every splat on that
// pixel. A splat's colour depends only on its group: the side group i / hPer, the parity of
// i (which j shares) and the step group (j / 2) / (vPer / 2). So an entry takes from one
// group the count of that group's i in its column times the count of its j in its row, all
// at once. Integer sums do not depend on their order, so the bits equal the scalar
// definition's. Other strips are stepped splat by splat.
#include <algorithm>
#include <cstring>

#include "DistortKernels.h"
#include "SplatMix.h"

namespace distort {
namespace {

constexpr int kSpan = 8;   // pixels per axis a counted strip may cover
constexpr int kKeys = 32;  // group keys per axis: group * 2 + parity

// The steps of one axis counted per key and pixel.
struct AxisCounts {
  int64_t first;  // the first pixel
  int span;       // pixels
  int keys;
  uint32_t total[kKeys];
  uint32_t n[kKeys][kSpan];
};

enum class Counted { kDone, kEmpty, kTooWide };

// The k in [a, b) of parity par (0 <= a <= b).
inline int64_t OfParity(int64_t a, int64_t b, int64_t par) { return ((b - par + 1) >> 1) - ((a - par + 1) >> 1); }

// ceil(a / b) for 0 < a, b < 2^53.
inline int64_t CeilQuot(int64_t a, int64_t b) { return Quot(a + b - 1, b); }

// Counts the steps k in [0, steps) at base + trunc(d k / m) that lie in [0, limit) (a
// multiple of 128), keyed by (k / period) * 2 + (k & 1). The positions are monotone in k,
// so each pixel takes one run of k, found from where the position reaches its edge.
Counted CountAxis(AxisCounts& a, int64_t base, int64_t d, int64_t m, int64_t steps, int64_t period, int64_t limit) {
  const int64_t ad = d < 0 ? -d : d;
  const int64_t last = base + (d < 0 ? -1 : 1) * Quot(ad * (steps - 1), m);
  const int64_t lo = std::min(base, last), hi = std::max(base, last);
  if (hi < 0 || lo >= limit) return Counted::kEmpty;
  a.first = std::max<int64_t>(lo, 0) >> 7;
  const int64_t span = (std::min(hi, limit - 1) >> 7) - a.first + 1;
  const int64_t keys = 2 * ((steps + period - 1) / period);
  if (span > kSpan || keys > kKeys) return Counted::kTooWide;
  a.span = int(span), a.keys = int(keys);
  std::memset(a.total, 0, sizeof(uint32_t) * size_t(keys));
  std::memset(a.n, 0, sizeof(a.n[0]) * size_t(keys));
  // The first k whose position has passed the edge e (in 1/128 pixel): reached it going
  // up, or gone below it going down.
  auto firstPast = [&](int64_t e) -> int64_t {
    const int64_t need = d < 0 ? base - e + 1 : e - base;  // trunc(ad k / m) must reach this
    if (need <= 0) return 0;
    if (d < 0 ? e <= lo : e > hi) return steps;
    return std::min(steps, CeilQuot(need * m, ad));
  };
  // Pixel x's run: going up from its left edge to the next one's; going down the reverse.
  int64_t edgeK = d < 0 ? firstPast((a.first + span) * 128) : firstPast(a.first * 128);
  for (int x = 0; x < span; ++x) {
    const int px = d < 0 ? int(span) - 1 - x : x;
    const int64_t nextK = d < 0 ? firstPast((a.first + px) * 128) : firstPast((a.first + px + 1) * 128);
    for (int64_t k0 = edgeK; k0 < nextK;) {
      const int64_t group = k0 / period, k1 = std::min(nextK, (group + 1) * period);
      const uint32_t even = uint32_t(OfParity(k0, k1, 0)), odd = uint32_t(OfParity(k0, k1, 1));
      a.n[2 * group][px] += even, a.total[2 * group] += even;
      a.n[2 * group + 1][px] += odd, a.total[2 * group + 1] += odd;
      k0 = k1;
    }
    edgeK = std::max(edgeK, nextK);
  }
  return Counted::kDone;
}

}  // namespace

void SplatStripCounted(const Strip& s, AccEntry* tile) {
  const int64_t minX = std::min({s.ux0, s.ux1, s.lx0, s.lx1}), maxX = std::max({s.ux0, s.ux1, s.lx0, s.lx1});
  const int64_t minY = std::min({s.uy0, s.uy1, s.ly0, s.ly1}), maxY = std::max({s.uy0, s.uy1, s.ly0, s.ly1});
  if (maxX < 0 || maxY < 0 || minX >= kTileFix || minY >= s.rowsFix) return;
  // Beyond this the step products could leave the doubles' exact range.
  constexpr int64_t kReach = int64_t(1) << 26;
  if (maxX - minX >= kReach || maxY - minY >= kReach || s.count >= kReach || s.end >= kReach) {
    SplatStripSse2(s, tile);
    return;
  }
  const bool onePixel = (minX >> 7) == (maxX >> 7) && (minY >> 7) == (maxY >> 7);
  const bool separable = s.ux0 == s.lx0 && s.ux1 == s.lx1 && s.uy0 == s.uy1 && s.ly0 == s.ly1;
  if (!onePixel && !separable) {
    SplatStripSse2(s, tile);
    return;
  }
  const int64_t half = s.vPer / 2, jPeriod = 2 * half;
  AxisCounts ax, ay;
  // Within one pixel every splat lies on the box's corner pixel.
  const Counted cx = onePixel ? CountAxis(ax, minX, 0, 1, s.count, s.hPer, kTileFix)
                              : CountAxis(ax, s.ux0, s.ux1 - s.ux0, s.count, s.count, s.hPer, kTileFix);
  if (cx == Counted::kEmpty) return;
  const Counted cy = cx == Counted::kTooWide ? Counted::kTooWide
                     : onePixel              ? CountAxis(ay, minY, 0, 1, s.end, jPeriod, s.rowsFix)
                                             : CountAxis(ay, s.uy0, s.ly0 - s.uy0, s.end, s.end, jPeriod, s.rowsFix);
  if (cy == Counted::kEmpty) return;
  if (cy == Counted::kTooWide) {
    SplatStripSse2(s, tile);
    return;
  }
  for (int ib = 0; ib * 2 < ax.keys; ++ib) {
    if (!ax.total[2 * ib] && !ax.total[2 * ib + 1]) continue;
    const int64_t i0 = int64_t(ib) * s.hPer;
    const Mix up = MixSide(s.P, s.Q, i0, s.count), lo = MixSide(s.P2, s.Q2, i0, s.count);
    for (int par = 0; par < 2; ++par) {
      const int ki = 2 * ib + par;
      if (!ax.total[ki]) continue;
      for (int jb = 0; jb * 2 < ay.keys; ++jb) {
        const int kj = 2 * jb + par;
        if (!ay.total[kj]) continue;
        const SplatValue v = MakeValue(up, lo, int64_t(jb) * jPeriod + par, s.end);
        for (int y = 0; y < ay.span; ++y) {
          const uint64_t ny = ay.n[kj][y];
          if (!ny) continue;
          AccEntry* row = tile + (ay.first + y) * kTile + ax.first;
          for (int x = 0; x < ax.span; ++x) {
            const uint64_t n = ny * ax.n[ki][x];
            if (!n) continue;
            AccEntry& e = row[x];
            e.b += n * uint64_t(v.bw);
            e.g += n * uint64_t(v.gw);
            e.r += n * uint64_t(v.rw);
            e.t += n * uint64_t(v.t);
            e.w += n * uint64_t(v.w);
            e.n += n;
          }
        }
      }
    }
  }
}

}  // namespace distort
