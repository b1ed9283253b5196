// The production splat of the common strips. A strip of an unturned, unsheared mapping (its
// upper and lower sides start and end at the same x, and both sides are level) puts splat
// (i, j) at column x(i) and row y(j); a strip within one pixel puts every splat on that
// pixel. A splat's colour depends only on its group: the side group i / hPer, the parity of
// i (which j shares) and the step group (j / 2) / (vPer / 2). So an entry takes from one
// group the count of that group's i in its column times the count of its j in its row, all
// at once. Integer sums do not depend on their order, so the bits equal the scalar
// definition's. Any other strip within a few pixels has each line i of its splats cut where
// it passes pixel edges and the runs between counted; larger ones are stepped splat by splat.
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

// What n splats of one value add to their entry: the sums wrap as n single adds would.
inline void AddSplats(AccEntry& e, const SplatValue& v, uint64_t n) {
  e.b += n * uint64_t(v.bw);
  e.g += n * uint64_t(v.gw);
  e.r += n * uint64_t(v.rw);
  e.t += n * uint64_t(v.t);
  e.w += n * uint64_t(v.w);
  e.n += n;
}

// The k in [a, b) of parity par (0 <= a <= b).
inline int64_t OfParity(int64_t a, int64_t b, int64_t par) { return ((b - par + 1) >> 1) - ((a - par + 1) >> 1); }

// ceil(a / b) for 0 < a, b < 2^53.
inline int64_t CeilQuot(int64_t a, int64_t b) { return Quot(a + b - 1, b); }

// The first step k >= 0 whose position base -/+ trunc(ad k / m) has passed the edge e:
// reached it going up, or gone below it going down. The caller knows some k passes it.
inline int64_t FirstPast(int64_t base, int64_t ad, bool down, int64_t m, int64_t e) {
  const int64_t need = down ? base - e + 1 : e - base;  // trunc(ad k / m) must reach this
  return need <= 0 ? 0 : CeilQuot(need * m, ad);
}

// Counts the steps k in [0, steps) at base + trunc(d k / m) that lie in [0, limit) (a
// multiple of 128), keyed by (k / period) * 2 + (k & 1). The positions are monotone in k,
// so each pixel takes one run of k, found from where the position reaches its edge.
Counted CountAxis(AxisCounts& a, int64_t base, int64_t d, int64_t m, int64_t steps, int64_t period, int64_t limit) {
  const int64_t ad = d < 0 ? -d : d;
  const int64_t last = d == 0 ? base : base + (d < 0 ? -1 : 1) * Quot(ad * (steps - 1), m);
  const int64_t lo = std::min(base, last), hi = std::max(base, last);
  if (hi < 0 || lo >= limit) return Counted::kEmpty;
  a.first = std::max<int64_t>(lo, 0) >> 7;
  const int64_t span = (std::min(hi, limit - 1) >> 7) - a.first + 1;
  const int64_t keys = 2 * ((steps + period - 1) / period);
  if (span > kSpan || keys > kKeys) return Counted::kTooWide;
  a.span = int(span), a.keys = int(keys);
  for (int k = 0; k < a.keys; ++k) {
    a.total[k] = 0;
    for (int x = 0; x < a.span; ++x) a.n[k][x] = 0;
  }
  // The first k whose position has passed the edge e (in 1/128 pixel): reached it going
  // up, or gone below it going down.
  auto firstPast = [&](int64_t e) -> int64_t {
    if (d < 0 ? e <= lo : e > hi) return steps;
    return std::min(steps, FirstPast(base, ad, d < 0, m, e));
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

// Counts met before: a strip's counts on an axis depend only on where its first position
// lies within its pixel and on its steps, as long as every position lies inside. Neighbouring
// strips of a row repeat a few of them.
struct CountCache {
  static constexpr int kEntries = 16;
  struct Entry {
    int64_t phase = -1, d = 0, m = 0, steps = 0, period = 0;
    int64_t firstFromBase = 0;
    AxisCounts counts;
  };
  Entry e[kEntries];
};

// The counts of CountAxis, from the cache where they can be. first: the first pixel.
Counted CountAxisCached(CountCache& cache, AxisCounts& scratch, const AxisCounts*& out, int64_t& first,
                        int64_t base, int64_t d, int64_t m, int64_t steps, int64_t period, int64_t limit) {
  // All at one position, the counts do not depend on where in its pixel it lies.
  const int64_t phase = d == 0 ? 0 : base & 127;
  CountCache::Entry& e = cache.e[(phase ^ ((d & 15) * 7) ^ steps) & (CountCache::kEntries - 1)];
  if (e.phase == phase && e.d == d && e.m == m && e.steps == steps && e.period == period) {
    // Whether every position lies inside, from the cached first pixel and span.
    const int64_t f = (base >> 7) + e.firstFromBase;
    if (f >= 0 && f + e.counts.span <= (limit >> 7)) {
      out = &e.counts, first = f;
      return Counted::kDone;
    }
  }
  const Counted c = CountAxis(scratch, base, d, m, steps, period, limit);
  out = &scratch, first = scratch.first;
  if (c != Counted::kDone) return c;
  // Cache only counts whose span was not cut by the limits: then they hold wherever the
  // pixels lie inside.
  const int64_t ad = d < 0 ? -d : d;
  const int64_t last = d == 0 ? base : base + (d < 0 ? -1 : 1) * Quot(ad * (steps - 1), m);
  if (std::min(base, last) >= 0 && std::max(base, last) < limit) {
    e.phase = phase, e.d = d, e.m = m, e.steps = steps, e.period = period;
    e.firstFromBase = scratch.first - (base >> 7);
    e.counts.first = scratch.first, e.counts.span = scratch.span, e.counts.keys = scratch.keys;
    std::memcpy(e.counts.total, scratch.total, sizeof(uint32_t) * size_t(scratch.keys));
    std::memcpy(e.counts.n, scratch.n, sizeof(scratch.n[0]) * size_t(scratch.keys));
  }
  return c;
}

// A strip of one side group and one step group (count <= hPer, end <= jPeriod) mixes its
// sides at i = 0 alone, where they take the colours of P and P2: its splats of even i take
// P's colour at j = 0, those of odd i the mix at j = 1, and their weights depend only on the
// alphas of P and P2 and on the steps. Neighbouring strips mostly share those.
struct OneGroupWeights {
  int32_t pa = -1, p2a = -1;
  int64_t count = 0, end = 0;
  int64_t t0 = 0, w0 = 0;        // j = 0
  int64_t t1 = 0, w1 = 0, gu1 = 0, gl1 = 0;  // j = 1
  bool mix1 = false;             // j = 1 mixes P2's colour in
  double invT1 = 0;

  void Make(const Strip& s, double invCount, double invEnd) {
    pa = s.P.a, p2a = s.P2.a, count = s.count, end = s.end;
    const Mix up = MixSide(s.P, s.Q, 0, s.count, invCount), lo = MixSide(s.P2, s.Q2, 0, s.count, invCount);
    // As MakeValue: no lower weight at j = 0; a negative sum of weights counts as none.
    t0 = std::max<int64_t>(0, QuotBy((s.end + 1) * up.d, s.end, invEnd)), w0 = (t0 + 15) / 16;
    gu1 = QuotBy(s.end * up.d, s.end, invEnd), gl1 = QuotBy(lo.d, s.end, invEnd);
    t1 = gu1 + gl1, mix1 = t1 > 0 && gl1 > 0;
    if (t1 < 0) t1 = 0;
    w1 = (t1 + 15) / 16;
    invT1 = mix1 ? 1.0 / double(t1) : 0;
  }
  // The splat values of the strip's even and odd i, from the weights of the last strip with
  // the same alphas and steps.
  static void Values(const Strip& s, SplatValue v[2]) {
    thread_local OneGroupWeights k;
    thread_local Reciprocal ofCount, ofEnd;
    if (k.pa != s.P.a || k.p2a != s.P2.a || k.count != s.count || k.end != s.end)
      k.Make(s, ofCount.Of(s.count), ofEnd.Of(s.end));
    const int64_t up[3] = {s.P.b, s.P.g, s.P.r}, lo[3] = {s.P2.b, s.P2.g, s.P2.r};
    int64_t c1[3];
    for (int c = 0; c < 3; ++c) c1[c] = k.mix1 ? QuotBy(up[c] * k.gu1 + lo[c] * k.gl1, k.t1, k.invT1) : up[c];
    v[0] = SplatValue{up[0] * k.w0, up[1] * k.w0, up[2] * k.w0, k.t0, k.w0};
    v[1] = SplatValue{c1[0] * k.w1, c1[1] * k.w1, c1[2] * k.w1, k.t1, k.w1};
  }
  static uint64_t Splats(int64_t count, int64_t end, int64_t par) {
    return uint64_t(OfParity(0, count, par) * OfParity(0, end, par));
  }
};

constexpr int kGridCells = 512;  // counters of a turned strip: i keys x j groups x pixels

// One line of splats along one axis: positions b + trunc(d (par + 2 m) / end) for m up to
// the line's last splat, relative to the strip's box (b >= 0, so >> 7 gives the pixel). The
// pixel of the first splat, and the splats at which the pixel moves on by step, in order.
struct LineAxis {
  int64_t first;
  int n;
  int step;
  int64_t at[kSpan];
  // The extent trunc(ad par / end) to trunc(ad last / end) of a line, and the reciprocal
  // of ad, for the last ad met by each parity: a strip's lines mostly share them.
  struct Memo {
    int64_t ad[2] = {-1, -1}, qf[2] = {}, ql[2] = {};
    double invAd[2] = {};
  };
  void Cut(int64_t b, int64_t d, int64_t par, int64_t last, int64_t end, double invEnd, Memo& memo) {
    const bool down = d < 0;
    const int64_t ad = down ? -d : d;
    step = down ? -1 : 1;
    n = 0;
    // Every splat lies within ad of b: when that stays in b's pixel, so does the line.
    if ((b >> 7) == ((down ? b - ad : b + ad) >> 7)) {
      first = b >> 7;
      return;
    }
    if (memo.ad[par] != ad) {
      memo.ad[par] = ad, memo.invAd[par] = 1.0 / double(ad);
      memo.qf[par] = par ? QuotBy(ad, end, invEnd) : 0, memo.ql[par] = QuotBy(ad * last, end, invEnd);
    }
    const int64_t qf = memo.qf[par], ql = memo.ql[par];
    const double invAd = memo.invAd[par];
    first = (down ? b - qf : b + qf) >> 7;
    const int64_t lastPixel = (down ? b - ql : b + ql) >> 7;
    for (int64_t p = first; p != lastPixel && n < kSpan; p += step) {
      // The first j past the edge: trunc(ad j / end) reaches need.
      const int64_t need = down ? b - p * 128 + 1 : (p + 1) * 128 - b;
      const int64_t j = QuotBy(need * end + ad - 1, ad, invAd);
      at[n++] = std::max<int64_t>(0, (j - par + 1) >> 1);
    }
  }
};

// A strip of any shape within kSpan pixels each way: each line i of splats is cut where it
// passes pixel edges, the runs between counted per i key, j group and pixel, then each
// counter's entry takes them at once. False when the strip needs more counters.
bool SplatTurned(const Strip& s, AccEntry* tile, int64_t minX, int64_t maxX, int64_t minY, int64_t maxY) {
  const int64_t x0 = minX >> 7, y0 = minY >> 7;
  const int64_t w = (maxX >> 7) - x0 + 1, h = (maxY >> 7) - y0 + 1;
  const int64_t half = s.vPer / 2;
  const int64_t keysI = 2 * ((s.count + s.hPer - 1) / s.hPer);
  const int64_t groupsJ = (((s.end + 1) >> 1) + half - 1) / half;
  if (w > kSpan || h > kSpan || keysI * groupsJ * w * h > kGridCells) return false;
  const int64_t plane = w * h;  // counters of one (i key, j group)
  uint32_t cnt[kGridCells];
  std::memset(cnt, 0, sizeof(uint32_t) * size_t(keysI * groupsJ * plane));
  // The pixels of the box inside the tile.
  const int64_t xa = std::max<int64_t>(0, -x0), xb = std::min<int64_t>(w, kTile - x0);
  const int64_t ya = std::max<int64_t>(0, -y0), yb = std::min<int64_t>(h, (s.rowsFix >> 7) - y0);

  Walk ux, uy, lx, ly;
  thread_local Reciprocal ofSides;
  const double invSides = ofSides.Of(s.count);
  ux.InitBy(s.ux0, s.ux1 - s.ux0, s.count, invSides);
  uy.InitBy(s.uy0, s.uy1 - s.uy0, s.count, invSides);
  lx.InitBy(s.lx0, s.lx1 - s.lx0, s.count, invSides);
  ly.InitBy(s.ly0, s.ly1 - s.ly0, s.count, invSides);
  const bool inside = xa == 0 && ya == 0 && xb == w && yb == h;
  thread_local Reciprocal ofEnd;
  const double inv = ofEnd.Of(s.end);
  LineAxis::Memo memoX, memoY;  // for this strip's end and steps
  int64_t group = 0, inGroup = 0;
  for (int64_t i = 0; i < s.count; ++i, ux.Next(), uy.Next(), lx.Next(), ly.Next()) {
    const int64_t par = i & 1, steps = (s.end - par + 1) >> 1;
    const int64_t key = group * 2 + par;
    if (++inGroup == s.hPer) inGroup = 0, ++group;
    if (steps <= 0) continue;
    // The line's splats m < steps lie at (bx, by) + trunc(d (par + 2 m) / end); the runs
    // between the splats where they pass a pixel edge go to one counter each.
    const int64_t bx = ux.Value() - 128 * x0, by = uy.Value() - 128 * y0, last = par + 2 * (steps - 1);
    LineAxis lx1, ly1;
    lx1.Cut(bx, lx.Value() - ux.Value(), par, last, s.end, inv, memoX);
    ly1.Cut(by, ly.Value() - uy.Value(), par, last, s.end, inv, memoY);
    uint32_t* counts = cnt + key * groupsJ * plane;
    int64_t px = lx1.first, py = ly1.first, m = 0;
    if (inside && groupsJ == 1 && lx1.n <= 1 && ly1.n <= 1) {
      // At most one edge each way: the splats before both crossings, after the x one only,
      // after the y one only and after both, without a branch (no crossing: at steps).
      const int64_t mx = lx1.n ? lx1.at[0] : steps, my = ly1.n ? ly1.at[0] : steps;
      const int64_t sx = lx1.n ? lx1.step : 0, sy = ly1.n ? ly1.step * w : 0;
      uint32_t* at = counts + py * w + px;
      at[0] += uint32_t(std::min(mx, my));
      at[sx] += uint32_t(std::max<int64_t>(0, my - mx));
      at[sy] += uint32_t(std::max<int64_t>(0, mx - my));
      at[sx + sy] += uint32_t(steps - std::max(mx, my));
      continue;
    }
    for (int kx = 0, ky = 0;;) {
      const int64_t mx = kx < lx1.n ? lx1.at[kx] : steps, my = ky < ly1.n ? ly1.at[ky] : steps;
      const int64_t next = std::min(mx, my);
      if (next > m && (inside || (px >= xa && px < xb && py >= ya && py < yb))) {
        uint32_t* at = counts + py * w + px;
        if (groupsJ == 1) {
          *at += uint32_t(next - m);
        } else {
          for (int64_t a = m; a < next;) {
            const int64_t g = a / half, e = std::min(next, (g + 1) * half);
            at[g * plane] += uint32_t(e - a);
            a = e;
          }
        }
      }
      if (next >= steps) break;
      m = next;
      if (mx == next) px += lx1.step, ++kx;
      if (my == next) py += ly1.step, ++ky;
    }
  }

  if (s.count <= s.hPer && groupsJ == 1 && s.end <= 2 * half) {
    // One side group and one step group: a value per parity.
    SplatValue v[2];
    OneGroupWeights::Values(s, v);
    for (int64_t ki = 0; ki < 2; ++ki) {
      const uint32_t* at = cnt + ki * plane;
      for (int64_t y = 0; y < h; ++y)
        for (int64_t x = 0; x < w; ++x)
          if (const uint64_t n = at[y * w + x]) AddSplats(tile[(y0 + y) * kTile + x0 + x], v[ki], n);
    }
    return true;
  }
  thread_local Reciprocal ofCount, ofT;
  const double invCount = ofCount.Of(s.count), invEnd = inv;
  for (int64_t ki = 0; ki < keysI; ++ki) {
    const uint32_t* counts = cnt + ki * groupsJ * plane;
    if (std::all_of(counts, counts + groupsJ * plane, [](uint32_t c) { return c == 0; })) continue;
    const int64_t i0 = (ki / 2) * s.hPer, par = ki & 1;
    const Mix up = MixSide(s.P, s.Q, i0, s.count, invCount), lo = MixSide(s.P2, s.Q2, i0, s.count, invCount);
    for (int64_t g = 0; g < groupsJ; ++g) {
      const uint32_t* at = counts + g * plane;
      if (std::all_of(at, at + plane, [](uint32_t c) { return c == 0; })) continue;
      const SplatValue v = MakeValue(up, lo, 2 * half * g + par, s.end, invEnd, ofT);
      for (int64_t y = 0; y < h; ++y)
        for (int64_t x = 0; x < w; ++x) {
          const uint64_t n = at[y * w + x];
          if (!n) continue;
          AddSplats(tile[(y0 + y) * kTile + x0 + x], v, n);
        }
    }
  }
  return true;
}

// A strip whose splats all land on one entry: each key's splats counted from the key's
// range of steps, their values summed apart and added to the entry at once (the sums wrap
// as the single adds would).
void SplatOnePixel(const Strip& s, AccEntry& entry) {
  const int64_t jPeriod = 2 * (s.vPer / 2);
  thread_local Reciprocal ofCount, ofEnd, ofT;
  if (s.count <= s.hPer && s.end <= jPeriod) {
    SplatValue v[2];
    OneGroupWeights::Values(s, v);
    AddSplats(entry, v[0], OneGroupWeights::Splats(s.count, s.end, 0));
    AddSplats(entry, v[1], OneGroupWeights::Splats(s.count, s.end, 1));
    return;
  }
  const double invCount = ofCount.Of(s.count), invEnd = ofEnd.Of(s.end);
  uint64_t b = 0, g = 0, r = 0, t = 0, w = 0, n = 0;
  for (int64_t i0 = 0; i0 < s.count; i0 += s.hPer) {
    const int64_t i1 = std::min(s.count, i0 + s.hPer);
    const Mix up = MixSide(s.P, s.Q, i0, s.count, invCount), lo = MixSide(s.P2, s.Q2, i0, s.count, invCount);
    for (int64_t par = 0; par < 2; ++par) {
      const uint64_t ni = uint64_t(OfParity(i0, i1, par));
      if (!ni) continue;
      for (int64_t j0 = 0; j0 < s.end; j0 += jPeriod) {
        const uint64_t nj = uint64_t(OfParity(j0, std::min(s.end, j0 + jPeriod), par));
        if (!nj) continue;
        const SplatValue v = MakeValue(up, lo, j0 + par, s.end, invEnd, ofT);
        const uint64_t k = ni * nj;
        b += k * uint64_t(v.bw), g += k * uint64_t(v.gw), r += k * uint64_t(v.rw);
        t += k * uint64_t(v.t), w += k * uint64_t(v.w), n += k;
      }
    }
  }
  entry.b += b, entry.g += g, entry.r += r, entry.t += t, entry.w += w, entry.n += n;
}

// The weights of a strip's side mixes and splat values: they depend on the alphas of its
// four samples and on its steps, not on its colours, and neighbouring strips mostly share
// them. They are kept for the last strip met and made as they are asked for.
class StripWeights {
 public:
  void For(const Strip& s, double invCount, double invEnd) {
    if (s.P.a == key_[0] && s.Q.a == key_[1] && s.P2.a == key_[2] && s.Q2.a == key_[3] && s.count == count_ &&
        s.end == end_ && s.hPer == hPer_ && s.vPer == vPer_)
      return;
    key_[0] = s.P.a, key_[1] = s.Q.a, key_[2] = s.P2.a, key_[3] = s.Q2.a;
    count_ = s.count, end_ = s.end, hPer_ = s.hPer, vPer_ = s.vPer;
    invCount_ = invCount, invEnd_ = invEnd;
    ++gen_;
  }
  // MixSide of side group ib (lower: of P2 and Q2).
  Mix Side(int ib, int lower, const Texel& p, const Texel& q) {
    SideWeights& w = side_[ib][lower];
    if (w.gen != gen_) {
      const int64_t i = int64_t(ib) * hPer_;
      w.u = QuotBy((count_ - i + 1) * p.a, count_, invCount_), w.v = i ? QuotBy(i * q.a, count_, invCount_) : 0;
      w.d = w.u + w.v, w.mixes = w.d > 0 && w.v > 0;
      w.invD = w.mixes ? 1.0 / double(w.d) : 0;
      w.gen = gen_;
    }
    Mix m;
    m.d = w.d;
    const int64_t pc[3] = {p.b, p.g, p.r}, qc[3] = {q.b, q.g, q.r};
    for (int c = 0; c < 3; ++c) m.c[c] = w.mixes ? QuotBy(w.u * pc[c] + w.v * qc[c], w.d, w.invD) : pc[c];
    return m;
  }
  // MakeValue at j = jb jPeriod + par between the side mixes of group ib.
  SplatValue Value(int ib, int jb, int par, const Mix& up, const Mix& lo) {
    ValueWeights& w = value_[ib][jb][par];
    if (w.gen != gen_) {
      const int64_t j = int64_t(jb) * 2 * (vPer_ / 2) + par;
      w.gu = QuotBy((end_ - j + 1) * up.d, end_, invEnd_), w.gl = j ? QuotBy(lo.d * j, end_, invEnd_) : 0;
      w.t = w.gu + w.gl, w.mixes = w.t > 0 && w.gl > 0;
      w.invT = w.mixes ? 1.0 / double(w.t) : 0;
      if (w.t < 0) w.t = 0;
      w.w = (w.t + 15) / 16;
      w.gen = gen_;
    }
    int64_t cm[3];
    for (int c = 0; c < 3; ++c) cm[c] = w.mixes ? QuotBy(up.c[c] * w.gu + lo.c[c] * w.gl, w.t, w.invT) : up.c[c];
    return SplatValue{cm[0] * w.w, cm[1] * w.w, cm[2] * w.w, w.t, w.w};
  }

 private:
  struct SideWeights {
    uint32_t gen = 0;
    bool mixes = false;
    int64_t u = 0, v = 0, d = 0;
    double invD = 0;
  };
  struct ValueWeights {
    uint32_t gen = 0;
    bool mixes = false;
    int64_t gu = 0, gl = 0, t = 0, w = 0;
    double invT = 0;
  };
  int32_t key_[4] = {-1, -1, -1, -1};
  int64_t count_ = 0, end_ = 0, hPer_ = 0, vPer_ = 0;
  double invCount_ = 0, invEnd_ = 0;
  uint32_t gen_ = 0;
  SideWeights side_[kKeys / 2][2];
  ValueWeights value_[kKeys / 2][kKeys / 2][2];
};

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
  const bool separable = s.ux0 == s.lx0 && s.ux1 == s.lx1 && s.uy0 == s.uy1 && s.ly0 == s.ly1;
  const int64_t dx = s.ux1 - s.ux0, dy = s.ly0 - s.uy0;
  if (separable && dx > -4096 && dx < 4096 && dy > -4096 && dy < 4096) {
    // The splats span columns ux0 + trunc(dx i / count) for i < count and rows uy0 +
    // trunc(dy j / end) for j < end: within one pixel of the tile they all go to it.
    thread_local Reciprocal ofCount, ofEnd;
    const int64_t lastX = s.ux0 + TruncBy(dx * (s.count - 1), s.count, ofCount.Of(s.count));
    const int64_t lastY = s.uy0 + TruncBy(dy * (s.end - 1), s.end, ofEnd.Of(s.end));
    const int64_t loX = std::min(s.ux0, lastX), hiX = std::max(s.ux0, lastX);
    const int64_t loY = std::min(s.uy0, lastY), hiY = std::max(s.uy0, lastY);
    if (loX >= 0 && loY >= 0 && hiX < kTileFix && hiY < s.rowsFix && (loX >> 7) == (hiX >> 7) &&
        (loY >> 7) == (hiY >> 7)) {
      SplatOnePixel(s, tile[(loY >> 7) * kTile + (loX >> 7)]);
      return;
    }
  }
  const bool onePixel = (minX >> 7) == (maxX >> 7) && (minY >> 7) == (maxY >> 7);
  if (!onePixel && !separable) {
    if (!SplatTurned(s, tile, minX, maxX, minY, maxY)) SplatStripSse2(s, tile);
    return;
  }
  const int64_t half = s.vPer / 2, jPeriod = 2 * half;
  thread_local CountCache cacheX, cacheY;
  AxisCounts scratchX, scratchY;
  const AxisCounts *ax = nullptr, *ay = nullptr;
  int64_t firstX = 0, firstY = 0;
  // Within one pixel every splat lies on the box's corner pixel.
  const int64_t baseX = onePixel ? minX : s.ux0, dX = onePixel ? 0 : s.ux1 - s.ux0, mX = onePixel ? 1 : s.count;
  const int64_t baseY = onePixel ? minY : s.uy0, dY = onePixel ? 0 : s.ly0 - s.uy0, mY = onePixel ? 1 : s.end;
  const Counted cx = CountAxisCached(cacheX, scratchX, ax, firstX, baseX, dX, mX, s.count, s.hPer, kTileFix);
  if (cx == Counted::kEmpty) return;
  const Counted cy = cx == Counted::kTooWide
                         ? Counted::kTooWide
                         : CountAxisCached(cacheY, scratchY, ay, firstY, baseY, dY, mY, s.end, jPeriod, s.rowsFix);
  if (cy == Counted::kEmpty) return;
  if (cy == Counted::kTooWide) {
    SplatStripSse2(s, tile);
    return;
  }
  thread_local Reciprocal ofCount, ofEnd;
  thread_local StripWeights weights;
  weights.For(s, ofCount.Of(s.count), ofEnd.Of(s.end));
  for (int ib = 0; ib * 2 < ax->keys; ++ib) {
    if (!ax->total[2 * ib] && !ax->total[2 * ib + 1]) continue;
    const Mix up = weights.Side(ib, 0, s.P, s.Q), lo = weights.Side(ib, 1, s.P2, s.Q2);
    for (int par = 0; par < 2; ++par) {
      const int ki = 2 * ib + par;
      if (!ax->total[ki]) continue;
      for (int jb = 0; jb * 2 < ay->keys; ++jb) {
        const int kj = 2 * jb + par;
        if (!ay->total[kj]) continue;
        const SplatValue v = weights.Value(ib, jb, par, up, lo);
        for (int y = 0; y < ay->span; ++y) {
          const uint64_t ny = ay->n[kj][y];
          if (!ny) continue;
          AccEntry* row = tile + (firstY + y) * kTile + firstX;
          for (int x = 0; x < ax->span; ++x) {
            const uint64_t n = ny * ax->n[ki][x];
            if (!n) continue;
            AddSplats(row[x], v, n);
          }
        }
      }
    }
  }
}

}  // namespace distort
