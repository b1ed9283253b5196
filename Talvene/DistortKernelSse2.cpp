// The renderer's production kernels. Splat positions are stepped with quotient and remainder
// instead of a division per splat, splats outside the tile are skipped by range instead of
// one by one, the colour mixes are divided in double precision (exact for these integers)
// and cached per step group, and the splats that land on one entry in a row are summed in
// registers, the six sums in three 128-bit lanes, before the entry takes them. The
// coverage adds whole pixels four at a time; the compose divides through reciprocals corrected
// to the exact quotients and blends in 16-bit lanes. Every step is exact, so the bits equal the
// scalar definition's.
#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "BlendSse2.h"
#include "DistortKernels.h"
#include "SplatMix.h"

namespace distort {
namespace {

// The three 128-bit increments of one splat: (b, g), (r, t), (w, n).
struct Inc {
  __m128i bg, rt, wn;
};
inline Inc MakeInc(const Mix& up, const Mix& lo, int64_t j, int64_t end) {
  const SplatValue v = MakeValue(up, lo, j, end);
  return Inc{_mm_set_epi64x(v.gw, v.bw), _mm_set_epi64x(v.t, v.rw), _mm_set_epi64x(1, v.w)};
}

inline void Add(AccEntry* e, const Inc& inc) {
  __m128i* p = reinterpret_cast<__m128i*>(e);
  _mm_store_si128(p, _mm_add_epi64(_mm_load_si128(p), inc.bg));
  _mm_store_si128(p + 1, _mm_add_epi64(_mm_load_si128(p + 1), inc.rt));
  _mm_store_si128(p + 2, _mm_add_epi64(_mm_load_si128(p + 2), inc.wn));
}

// Splats that land on one entry one after another are summed in registers and added to the
// entry once: a chain of adds through memory would wait on each store.
struct Pending {
  AccEntry* tile;
  int64_t index = -1;
  Inc sum{};
  void Take(int64_t at, const Inc& inc) {
    if (at == index) {
      sum.bg = _mm_add_epi64(sum.bg, inc.bg);
      sum.rt = _mm_add_epi64(sum.rt, inc.rt);
      sum.wn = _mm_add_epi64(sum.wn, inc.wn);
      return;
    }
    Flush();
    index = at;
    sum = inc;
  }
  void Flush() {
    if (index >= 0) Add(tile + index, sum);
    index = -1;
  }
};

// Narrows [lo, hi) (real j) to where u + d j / end may lie in [0, limit): outside
// [-1, limit + 1] the truncated position cannot be inside. Returns false when empty.
inline bool ClipAxis(int64_t u, int64_t d, int64_t end, int64_t limit, double& lo, double& hi) {
  if (d == 0) return u >= 0 && u < limit;
  const double a = double(-1 - u) * double(end) / double(d), b = double(limit + 1 - u) * double(end) / double(d);
  lo = std::max(lo, std::min(a, b) - 2);
  hi = std::min(hi, std::max(a, b) + 2);
  return lo < hi;
}

}  // namespace

void SplatStripSse2(const Strip& s, AccEntry* tile) {
  const int64_t count = s.count, end = s.end, half = s.vPer / 2;
  const int64_t minX = std::min({s.ux0, s.ux1, s.lx0, s.lx1}), maxX = std::max({s.ux0, s.ux1, s.lx0, s.lx1});
  const int64_t minY = std::min({s.uy0, s.uy1, s.ly0, s.ly1}), maxY = std::max({s.uy0, s.uy1, s.ly0, s.ly1});
  // Every splat lies in the box of the four corners.
  if (maxX < 0 || maxY < 0 || minX >= kTileFix || minY >= s.rowsFix) return;
  const bool inside = minX >= 0 && minY >= 0 && maxX < kTileFix && maxY < s.rowsFix;

  Walk ux, uy, lx, ly;
  ux.Init(s.ux0, s.ux1 - s.ux0, count, 0, 1);
  uy.Init(s.uy0, s.uy1 - s.uy0, count, 0, 1);
  lx.Init(s.lx0, s.lx1 - s.lx0, count, 0, 1);
  ly.Init(s.ly0, s.ly1 - s.ly0, count, 0, 1);
  int64_t groupEnd = 0;  // the side colours hold for i below this
  const double inv = 1.0 / double(end);
  Pending pending{tile};
  Mix up{}, lo{};
  // One cached increment per parity of i: the colour depends on the side group and j0 only.
  int64_t cachedJ0[2] = {-1, -1};
  Inc cached[2];
  for (int64_t i = 0; i < count; ++i, ux.Next(), uy.Next(), lx.Next(), ly.Next()) {
    const int64_t x0 = ux.Value(), y0 = uy.Value();
    const int64_t dx = lx.Value() - x0, dy = ly.Value() - y0;
    const int64_t par = i & 1;
    int64_t jFirst = par, jEnd = end;
    if (!inside) {
      double lo2 = double(par), hi2 = double(end);
      if (!ClipAxis(x0, dx, end, kTileFix, lo2, hi2) || !ClipAxis(y0, dy, end, s.rowsFix, lo2, hi2)) continue;
      const int64_t a = std::max<int64_t>(par, int64_t(std::floor(lo2)));
      jFirst = a + ((a - par) & 1);
      jEnd = std::min<int64_t>(end, int64_t(std::ceil(hi2)) + 1);
      if (jFirst >= jEnd) continue;
    }
    if (i >= groupEnd) {
      const int64_t i0 = i / s.hPer * s.hPer;
      groupEnd = i0 + s.hPer;
      up = MixSide(s.P, s.Q, i0, count);
      lo = MixSide(s.P2, s.Q2, i0, count);
      cachedJ0[0] = cachedJ0[1] = -1;
    }
    Walk px, py;
    if (jFirst < 2) {
      int64_t q1, r1;
      DivMod(dx < 0 ? -dx : dx, end, inv, q1, r1);
      px.InitPair(x0, dx, end, jFirst, q1, r1);
      DivMod(dy < 0 ? -dy : dy, end, inv, q1, r1);
      py.InitPair(y0, dy, end, jFirst, q1, r1);
    } else {
      px.Init(x0, dx, end, jFirst, 2);
      py.Init(y0, dy, end, jFirst, 2);
    }
    int64_t j = jFirst;
    // Splat m of the line has j = par + 2 m; its colour is recomputed where m % half is 0.
    int64_t m0 = jFirst < 2 ? 0 : j / 2 - (j / 2) % half;
    for (; j < jEnd; m0 += half) {
      // The run of j that shares one colour: up to the next recompute.
      const int64_t j0 = par + 2 * m0;
      const int64_t runEnd = std::min(jEnd, par + 2 * (m0 + half));
      if (cachedJ0[par] != j0) {
        cached[par] = MakeInc(up, lo, j0, end);
        cachedJ0[par] = j0;
      }
      const Inc inc = cached[par];
      if (inside) {
        for (; j < runEnd; j += 2, px.Next(), py.Next()) {
          const int64_t x = px.Value(), y = py.Value();
          pending.Take((y >> 7) * kTile + (x >> 7), inc);
        }
      } else {
        for (; j < runEnd; j += 2, px.Next(), py.Next()) {
          const int64_t x = px.Value(), y = py.Value();
          if (uint64_t(x) >= uint64_t(kTileFix) || uint64_t(y) >= uint64_t(s.rowsFix)) continue;
          pending.Take((y >> 7) * kTile + (x >> 7), inc);
        }
      }
    }
  }
  pending.Flush();
}

void FetchRowSse2(const BYTE* px, int pixelSize, int n, Texel* out) {
  int k = 0;
  if (pixelSize == 4) {
    // Four pixels at a time: bytes to 16-bit lanes, then to 32-bit lanes, one texel each.
    const __m128i zero = _mm_setzero_si128();
    for (; k + 4 <= n; k += 4) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(px + 4 * k));
      const __m128i lo = _mm_unpacklo_epi8(v, zero), hi = _mm_unpackhi_epi8(v, zero);
      __m128i* at = reinterpret_cast<__m128i*>(out + k);
      _mm_storeu_si128(at, _mm_unpacklo_epi16(lo, zero));
      _mm_storeu_si128(at + 1, _mm_unpackhi_epi16(lo, zero));
      _mm_storeu_si128(at + 2, _mm_unpacklo_epi16(hi, zero));
      _mm_storeu_si128(at + 3, _mm_unpackhi_epi16(hi, zero));
    }
  }
  FetchRowScalar(px + size_t(k) * size_t(pixelSize), pixelSize, n - k, out + k);
}

void CoverRunSse2(uint32_t* row, int32_t x0, int32_t x1) {
  if (x0 >= x1) return;
  int32_t p0 = x0 >> 4;
  const int32_t p1 = x1 >> 4;
  if (p0 == p1) {
    row[p0] += uint32_t(x1 - x0);
    return;
  }
  if (x0 & 15) row[p0++] += uint32_t(16 - (x0 & 15));
  // Whole pixels from p0 to p1 take 16 each.
  const __m128i sixteen = _mm_set1_epi32(16);
  int32_t p = p0;
  for (; p + 4 <= p1; p += 4) {
    __m128i* at = reinterpret_cast<__m128i*>(row + p);
    _mm_storeu_si128(at, _mm_add_epi32(_mm_loadu_si128(at), sixteen));
  }
  for (; p < p1; ++p) row[p] += 16;
  if (x1 & 15) row[p1] += uint32_t(x1 & 15);
}

namespace {

// The compose of two pixels in 16-bit lanes: n the destination, s the colour, a the weight
// spread over each pixel's lanes.
__m128i Blend2(__m128i n, __m128i s, __m128i a, int mode, bool colourSource) {
  const __m128i alphaLanes = blend::AlphaLanes();
  if (mode != 0)
    return _mm_or_si128(_mm_andnot_si128(alphaLanes, blend::Modes(n, s, a, mode, colourSource)),
                        _mm_and_si128(alphaLanes, n));
  // Over: g = ((256 - a) na) / 256, r = (g 256) / (a + g + 1) in single precision (exact: the
  // quotient is below 256 and the divisor below 512), channel = (n r + s (256 - r)) / 256.
  const __m128i k256 = _mm_set1_epi16(256), zero = _mm_setzero_si128();
  const __m128i g = blend::MulShr8(_mm_sub_epi16(k256, a), blend::SpreadAlpha(n));
  const __m128i num = _mm_slli_epi16(g, 8);
  const __m128i den = _mm_add_epi16(_mm_add_epi16(a, g), _mm_set1_epi16(1));
  const __m128 q0 = _mm_div_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(num, zero)),
                               _mm_cvtepi32_ps(_mm_unpacklo_epi16(den, zero)));
  const __m128 q1 = _mm_div_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(num, zero)),
                               _mm_cvtepi32_ps(_mm_unpackhi_epi16(den, zero)));
  const __m128i r = _mm_packs_epi32(_mm_cvttps_epi32(q0), _mm_cvttps_epi32(q1));
  const __m128i ch =
      _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(n, r), _mm_mullo_epi16(s, _mm_sub_epi16(k256, r))), 8);
  const __m128i alpha = _mm_min_epi16(_mm_add_epi16(a, g), _mm_set1_epi16(255));
  return _mm_or_si128(_mm_andnot_si128(alphaLanes, ch), _mm_and_si128(alphaLanes, alpha));
}

}  // namespace

void ComposeRowSse2(BYTE* dest, const AccEntry* acc, const uint32_t* cover, int n, const ComposeParams& p) {
  const __m128i zero = _mm_setzero_si128();
  uint64_t lastW = 0, lastN = 0;  // whose reciprocals inv holds (none yet: no entry taken has 0)
  double inv[2] = {};
  for (int k0 = 0; k0 < n; k0 += 2) {
    const int c = std::min(2, n - k0);
    // The weight and colour of each pixel; a pixel with nothing to compose keeps its value.
    uint32_t a[2] = {0, 0}, s[2] = {p.colourPx, p.colourPx};
    bool take[2] = {false, false};
    for (int k = 0; k < c; ++k) {
      const AccEntry& e = acc[k0 + k];
      if (e.n == 0 || e.w == 0) continue;
      take[k] = true;
      // Sums stay far below 2^50: a splat adds t < 4096 and colour x w < 2^16. One division
      // gives both reciprocals; the quotients (below 4096) are corrected to the exact ones.
      // Neighbours mostly hold the same splat count and weight, so the last pair is kept.
      if (e.w != lastW || e.n != lastN) {
        lastW = e.w, lastN = e.n;
        _mm_storeu_pd(inv, _mm_div_pd(_mm_set1_pd(1.0), _mm_set_pd(double(e.w), double(e.n))));
      }
      const int64_t mean = QuotBy(int64_t(e.t), int64_t(e.n), inv[0]);
      const int64_t level = std::min<int64_t>(255, (mean * int64_t(cover[k0 + k])) >> 8);
      a[k] = uint32_t(level) * p.opacity / 128;
      if (p.colourSource) {
        const int64_t w = int64_t(e.w);
        const uint32_t b = uint32_t(QuotBy(int64_t(e.b), w, inv[1])), g = uint32_t(QuotBy(int64_t(e.g), w, inv[1]));
        const uint32_t r = uint32_t(QuotBy(int64_t(e.r), w, inv[1]));
        s[k] = b | g << 8 | r << 16;
      }
    }
    if (!take[0] && !take[1]) continue;
    if (p.destPixelSize == 2) {
      for (int k = 0; k < c; ++k) {
        if (!take[k]) continue;
        uint16_t v;
        std::memcpy(&v, dest + 2 * (k0 + k), 2);
        const uint32_t hi = std::min<uint32_t>(255, a[k] + ((v >> 8) * (256 - a[k])) / 256);
        v = uint16_t(hi << 8);
        std::memcpy(dest + 2 * (k0 + k), &v, 2);
      }
      continue;
    }
    if (p.mode == 0 && (!take[0] || a[0] == 255) && (!take[1] || a[1] == 255)) {
      // Over at full weight: g = 0 and r = 0, so the colour replaces the pixel, opaque.
      for (int k = 0; k < c; ++k) {
        const uint32_t o = s[k] | 0xFF000000u;
        if (take[k]) std::memcpy(dest + 4 * (k0 + k), &o, 4);
      }
      continue;
    }
    uint32_t d[2] = {0, 0};
    std::memcpy(d, dest + 4 * k0, size_t(c) * 4);
    const __m128i nv = _mm_unpacklo_epi8(_mm_cvtsi64_si128(int64_t(d[0]) | int64_t(d[1]) << 32), zero);
    const __m128i sv = _mm_unpacklo_epi8(_mm_cvtsi64_si128(int64_t(s[0]) | int64_t(s[1]) << 32), zero);
    const __m128i av = _mm_set_epi16(int16_t(a[1]), int16_t(a[1]), int16_t(a[1]), int16_t(a[1]), int16_t(a[0]),
                                     int16_t(a[0]), int16_t(a[0]), int16_t(a[0]));
    const __m128i out = _mm_packus_epi16(Blend2(nv, sv, av, p.mode, p.colourSource), zero);
    uint32_t o[2];
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o), out);
    for (int k = 0; k < c; ++k)
      if (take[k]) std::memcpy(dest + 4 * (k0 + k), &o[k], 4);
  }
}

}  // namespace distort
