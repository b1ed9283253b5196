// The glass merge with SSE2: four C32 pixels or eight A16 values a step, bit-exact to the
// scalar reference. Every product below stays under 65,536, so 16-bit lanes carry it.
#include <emmintrin.h>

#include "GlassKernels.h"

namespace glass {
namespace {

// Four per-pixel weights (32-bit lanes, each below 32768) spread over the four 16-bit
// channel lanes of their pixel: pixels 0 and 1 into lo, pixels 2 and 3 into hi.
inline void Spread(__m128i w32, __m128i& lo, __m128i& hi) {
  __m128i w16 = _mm_packs_epi32(w32, w32);
  __m128i pairs = _mm_unpacklo_epi16(w16, w16);
  lo = _mm_unpacklo_epi32(pairs, pairs);
  hi = _mm_unpackhi_epi32(pairs, pairs);
}

// (d * (256 - w) + s * w) >> 8 per 16-bit lane.
inline __m128i Mix(__m128i d, __m128i s, __m128i w) {
  const __m128i c256 = _mm_set1_epi16(256);
  return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(d, _mm_sub_epi16(c256, w)), _mm_mullo_epi16(s, w)), 8);
}

// The channel rule of modes 1..7 on two pixels (16-bit lanes), f zero on the alpha lanes.
template <int Mode>
inline __m128i Channels(__m128i d, __m128i s, __m128i f) {
  const __m128i c255 = _mm_set1_epi16(255);
  const __m128i c256 = _mm_set1_epi16(256);
  if constexpr (Mode == 3) {
    return _mm_add_epi16(d, _mm_srli_epi16(_mm_mullo_epi16(s, f), 8));  // packus saturates
  } else if constexpr (Mode == 4) {
    __m128i t = _mm_add_epi16(_mm_mullo_epi16(s, f), _mm_mullo_epi16(_mm_sub_epi16(c256, f), c255));
    return _mm_sub_epi16(_mm_add_epi16(d, _mm_srli_epi16(t, 8)), c255);  // packus clamps
  } else {
    __m128i x;
    if constexpr (Mode == 1) {
      x = _mm_add_epi16(d, _mm_srli_epi16(_mm_mullo_epi16(s, _mm_sub_epi16(c256, d)), 8));
    } else if constexpr (Mode == 2) {
      x = _mm_srli_epi16(_mm_mullo_epi16(d, _mm_add_epi16(s, _mm_set1_epi16(1))), 8);
    } else if constexpr (Mode == 5) {
      x = _mm_max_epi16(d, s);
    } else if constexpr (Mode == 6) {
      x = _mm_min_epi16(d, s);
    } else {
      x = _mm_xor_si128(d, s);
    }
    return Mix(d, x, f);
  }
}

template <int Mode>
void RowC32(uint32_t* dest, const uint16_t* glass, size_t n, const Params& p) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i opacity = _mm_set1_epi32(int(p.opacity));
  const uint32_t c = p.color;
  const short cb = short(c & 255), cg = short((c >> 8) & 255), cr = short((c >> 16) & 255);
  const __m128i s = _mm_set_epi16(0, cr, cg, cb, 0, cr, cg, cb);
  const __m128i colourLanes = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dest + i));
    __m128i g = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(glass + i));
    __m128i s8 = _mm_srli_epi32(_mm_unpacklo_epi16(g, zero), 8);
    __m128i a = _mm_srli_epi32(_mm_mullo_epi16(s8, opacity), 8);
    __m128i dlo = _mm_unpacklo_epi8(d, zero), dhi = _mm_unpackhi_epi8(d, zero);
    __m128i out;
    if constexpr (Mode == 0) {
      const __m128i one = _mm_set1_epi32(1);
      __m128i da1 = _mm_add_epi32(_mm_srli_epi32(d, 24), one);
      __m128i rest = _mm_sub_epi32(_mm_set1_epi32(255), a);
      __m128i alpha = _mm_add_epi32(a, _mm_srli_epi32(_mm_mullo_epi16(da1, rest), 8));
      // a * 256 / (alpha + 1) is exact in float: a quotient that is not whole lies at least
      // 1/256 below the next integer, and rounding moves it by at most 1/512.
      __m128 q = _mm_div_ps(_mm_cvtepi32_ps(_mm_slli_epi32(a, 8)), _mm_cvtepi32_ps(_mm_add_epi32(alpha, one)));
      __m128i w = _mm_cvttps_epi32(q);
      w = _mm_add_epi32(w, _mm_srli_epi32(w, 7));
      __m128i wlo, whi;
      Spread(w, wlo, whi);
      out = _mm_packus_epi16(Mix(dlo, s, wlo), Mix(dhi, s, whi));
      out = _mm_or_si128(_mm_and_si128(out, _mm_set1_epi32(0x00FFFFFF)), _mm_slli_epi32(alpha, 24));
    } else {
      __m128i flo, fhi;
      Spread(a, flo, fhi);
      flo = _mm_and_si128(flo, colourLanes);
      fhi = _mm_and_si128(fhi, colourLanes);
      out = _mm_packus_epi16(Channels<Mode>(dlo, s, flo), Channels<Mode>(dhi, s, fhi));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + i), out);
  }
  for (; i < n; ++i) dest[i] = MergePixelC32(dest[i], glass[i], p);
}

}  // namespace

void MergeRowC32Sse2(uint32_t* dest, const uint16_t* glass, size_t n, const Params& p) {
  switch (p.mode) {
    case 0:
      RowC32<0>(dest, glass, n, p);
      break;
    case 1:
      RowC32<1>(dest, glass, n, p);
      break;
    case 2:
      RowC32<2>(dest, glass, n, p);
      break;
    case 3:
      RowC32<3>(dest, glass, n, p);
      break;
    case 4:
      RowC32<4>(dest, glass, n, p);
      break;
    case 5:
      RowC32<5>(dest, glass, n, p);
      break;
    case 6:
      RowC32<6>(dest, glass, n, p);
      break;
    default:
      RowC32<7>(dest, glass, n, p);
      break;
  }
}

void MergeRowA16Sse2(uint16_t* dest, const uint16_t* glass, size_t n, uint32_t opacity) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i o = _mm_set1_epi16(short(opacity));
  const __m128i c256 = _mm_set1_epi16(256);
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dest + i));
    __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(glass + i));
    __m128i a = _mm_srli_epi16(_mm_mullo_epi16(_mm_srli_epi16(g, 8), o), 8);
    __m128i rest = _mm_srli_epi16(_mm_mullo_epi16(_mm_sub_epi16(c256, a), _mm_srli_epi16(d, 8)), 8);
    __m128i merged = _mm_slli_epi16(_mm_add_epi16(a, rest), 8);
    __m128i keep = _mm_cmpeq_epi16(a, zero);  // no coverage: the value stays, low byte too
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + i),
                     _mm_or_si128(_mm_and_si128(keep, d), _mm_andnot_si128(keep, merged)));
  }
  for (; i < n; ++i) dest[i] = MergeValueA16(dest[i], glass[i], opacity);
}

}  // namespace glass
