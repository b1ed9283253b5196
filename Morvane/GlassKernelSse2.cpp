// The glass merge with SSE2, eight pixels or values a step, bit-exact to the scalar
// reference. Every product below stays under 65,536, so 16-bit lanes carry it.
#include <emmintrin.h>

#include "GlassKernels.h"
#include "SseQuotients.h"

namespace glass {
namespace {

// Each of eight per-pixel values (16-bit lanes) over the four channel lanes of its pixel.
inline void Spread(__m128i v, __m128i& v01, __m128i& v23, __m128i& v45, __m128i& v67) {
  const __m128i lo = _mm_unpacklo_epi16(v, v), hi = _mm_unpackhi_epi16(v, v);
  v01 = _mm_unpacklo_epi32(lo, lo);
  v23 = _mm_unpackhi_epi32(lo, lo);
  v45 = _mm_unpacklo_epi32(hi, hi);
  v67 = _mm_unpackhi_epi32(hi, hi);
}

// (d * (256 - w) + x * w) >> 8 per 16-bit lane, as d + floor((x - d) * w / 256), given
// w64 = w << 6 (w <= 256): the signed high half of 4 (x - d) * w64 is exactly that floor.
inline __m128i Mix(__m128i d, __m128i x, __m128i w64) {
  return _mm_add_epi16(d, _mm_mulhi_epi16(_mm_slli_epi16(_mm_sub_epi16(x, d), 2), w64));
}

// The channel rule of modes 1..7 on two pixels (16-bit lanes), f64 = f << 6 and zero on the
// alpha lanes, which so keep the destination's alpha.
template <int Mode>
inline __m128i Channels(__m128i d, __m128i s, __m128i f, __m128i f64) {
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
    return Mix(d, x, f64);
  }
}

// Normal mode on eight pixels (d0: 0-3, d1: 4-7) at coverages a (16-bit lanes).
inline void Normal8(uint32_t* dest, __m128i d0, __m128i d1, __m128i s, __m128i a) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i da1 = _mm_add_epi16(_mm_packs_epi32(_mm_srli_epi32(d0, 24), _mm_srli_epi32(d1, 24)),
                                    _mm_set1_epi16(1));
  // (da + 1) * (255 - a) is at most 256 * 255: an unsigned 16-bit product.
  const __m128i alpha =
      _mm_add_epi16(a, _mm_srli_epi16(_mm_mullo_epi16(da1, _mm_sub_epi16(_mm_set1_epi16(255), a)), 8));
  __m128i w = QuotientsU16(_mm_slli_epi16(a, 8), _mm_add_epi16(alpha, _mm_set1_epi16(1)));
  w = _mm_slli_epi16(_mm_add_epi16(w, _mm_srli_epi16(w, 7)), 6);
  __m128i w01, w23, w45, w67;
  Spread(w, w01, w23, w45, w67);
  __m128i out0 = _mm_packus_epi16(Mix(_mm_unpacklo_epi8(d0, zero), s, w01), Mix(_mm_unpackhi_epi8(d0, zero), s, w23));
  __m128i out1 = _mm_packus_epi16(Mix(_mm_unpacklo_epi8(d1, zero), s, w45), Mix(_mm_unpackhi_epi8(d1, zero), s, w67));
  const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
  out0 = _mm_or_si128(_mm_and_si128(out0, colour), _mm_slli_epi32(_mm_unpacklo_epi16(alpha, zero), 24));
  out1 = _mm_or_si128(_mm_and_si128(out1, colour), _mm_slli_epi32(_mm_unpackhi_epi16(alpha, zero), 24));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), out0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + 4), out1);
}

// Modes 1..7 on eight pixels at coverages a.
template <int Mode>
inline void Blend8(uint32_t* dest, __m128i d0, __m128i d1, __m128i s, __m128i a) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i colourLanes = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
  __m128i f[4], f64[4];
  Spread(a, f[0], f[1], f[2], f[3]);
  for (int k = 0; k < 4; ++k) {
    f[k] = _mm_and_si128(f[k], colourLanes);
    f64[k] = _mm_slli_epi16(f[k], 6);
  }
  const __m128i out0 = _mm_packus_epi16(Channels<Mode>(_mm_unpacklo_epi8(d0, zero), s, f[0], f64[0]),
                                        Channels<Mode>(_mm_unpackhi_epi8(d0, zero), s, f[1], f64[1]));
  const __m128i out1 = _mm_packus_epi16(Channels<Mode>(_mm_unpacklo_epi8(d1, zero), s, f[2], f64[2]),
                                        Channels<Mode>(_mm_unpackhi_epi8(d1, zero), s, f[3], f64[3]));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), out0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + 4), out1);
}

// Eight pixels a step. Without coverage every mode leaves a pixel exactly as it is, so eight
// such pixels are skipped without reading the destination; in the normal mode full coverage
// (a = 255) gives alpha 255 and weight 256, the glass colour whole, so eight of those are
// stored without reading it either.
template <int Mode>
void RowC32(uint32_t* dest, const uint16_t* glass, size_t n, const Params& p) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i opacity = _mm_set1_epi16(short(p.opacity));
  const __m128i high = _mm_set1_epi16(short(0xFF00));
  const __m128i full = _mm_set1_epi16(255);
  const uint32_t c = p.color;
  const short cb = short(c & 255), cg = short((c >> 8) & 255), cr = short((c >> 16) & 255);
  const __m128i s = _mm_set_epi16(0, cr, cg, cb, 0, cr, cg, cb);
  const __m128i solid = _mm_set1_epi32(int((c & 0x00FFFFFFu) | 0xFF000000u));
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    // The destination is asked for 2 KB ahead: without it the loads of a layer not in the
    // cache stall half the time, as the merge's own work is too short to hide them.
    _mm_prefetch(reinterpret_cast<const char*>(dest + i + 512), _MM_HINT_T0);
    const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(glass + i));
    // (opacity * (v >> 8)) >> 8, as the high half of (v & 0xFF00) * opacity.
    const __m128i a = _mm_mulhi_epu16(_mm_and_si128(g, high), opacity);
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(a, zero)) == 0xFFFF) continue;
    if (Mode == 0 && _mm_movemask_epi8(_mm_cmpeq_epi16(a, full)) == 0xFFFF) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + i), solid);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + i + 4), solid);
      continue;
    }
    const __m128i d0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dest + i));
    const __m128i d1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dest + i + 4));
    if constexpr (Mode == 0) {
      Normal8(dest + i, d0, d1, s, a);
    } else {
      Blend8<Mode>(dest + i, d0, d1, s, a);
    }
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
    __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(glass + i));
    __m128i a = _mm_srli_epi16(_mm_mullo_epi16(_mm_srli_epi16(g, 8), o), 8);
    __m128i keep = _mm_cmpeq_epi16(a, zero);  // no coverage: the value stays, low byte too
    if (_mm_movemask_epi8(keep) == 0xFFFF) continue;
    __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dest + i));
    __m128i rest = _mm_srli_epi16(_mm_mullo_epi16(_mm_sub_epi16(c256, a), _mm_srli_epi16(d, 8)), 8);
    __m128i merged = _mm_slli_epi16(_mm_add_epi16(a, rest), 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + i),
                     _mm_or_si128(_mm_and_si128(keep, d), _mm_andnot_si128(keep, merged)));
  }
  for (; i < n; ++i) dest[i] = MergeValueA16(dest[i], glass[i], opacity);
}

}  // namespace glass
