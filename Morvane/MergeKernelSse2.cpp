// The layer merge with SSE2, eight pixels a step (the mask four), bit-exact to the scalar
// reference. Every product stays below 65,536, so the multiplies run in 16-bit lanes; the
// one division runs in float. Eight pixels without coverage are skipped, eight at full
// coverage take the painted colour whole: both are the rule's own results, found cheaply.
#include <emmintrin.h>

#include "MergeKernels.h"
#include "SseQuotients.h"

namespace merge {
namespace {

// (d * w + c * (256 - w)) >> 8 per 16-bit lane, as c + floor((d - c) * w / 256): with w7 =
// w << 7 (below 2^15) the signed high half of 2 (d - c) * w7 is exactly that floor.
inline __m128i Mix(__m128i d, __m128i c, __m128i w7) {
  return _mm_add_epi16(c, _mm_mulhi_epi16(_mm_slli_epi16(_mm_sub_epi16(d, c), 1), w7));
}

// Eight destination pixels (d0: 0-3, d1: 4-7) under painted colours given as 16-bit channel
// lanes, two pixels a register (c01 ... c67), at coverages a (16-bit lanes, 0..255).
inline void Paint8(uint32_t* dest, __m128i d0, __m128i d1, __m128i c01, __m128i c23, __m128i c45, __m128i c67,
                   __m128i a) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i keep = _mm_cmpeq_epi16(a, zero);
  if (_mm_movemask_epi8(keep) == 0xFFFF) return;  // nothing painted: the pixels stay
  const __m128i da = _mm_packs_epi32(_mm_srli_epi32(d0, 24), _mm_srli_epi32(d1, 24));
  const __m128i t = _mm_srli_epi16(_mm_mullo_epi16(_mm_sub_epi16(_mm_set1_epi16(256), a), da), 8);
  const __m128i alpha = _mm_add_epi16(a, t);
  const __m128i w7 = _mm_slli_epi16(QuotientsU16(_mm_slli_epi16(t, 8), _mm_add_epi16(alpha, _mm_set1_epi16(1))), 7);
  // Each pixel's weight over its four channel lanes.
  const __m128i wlo = _mm_unpacklo_epi16(w7, w7), whi = _mm_unpackhi_epi16(w7, w7);
  const __m128i w01 = _mm_unpacklo_epi32(wlo, wlo), w23 = _mm_unpackhi_epi32(wlo, wlo);
  const __m128i w45 = _mm_unpacklo_epi32(whi, whi), w67 = _mm_unpackhi_epi32(whi, whi);
  __m128i out0 =
      _mm_packus_epi16(Mix(_mm_unpacklo_epi8(d0, zero), c01, w01), Mix(_mm_unpackhi_epi8(d0, zero), c23, w23));
  __m128i out1 =
      _mm_packus_epi16(Mix(_mm_unpacklo_epi8(d1, zero), c45, w45), Mix(_mm_unpackhi_epi8(d1, zero), c67, w67));
  const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
  out0 = _mm_or_si128(_mm_and_si128(out0, colour), _mm_slli_epi32(_mm_unpacklo_epi16(alpha, zero), 24));
  out1 = _mm_or_si128(_mm_and_si128(out1, colour), _mm_slli_epi32(_mm_unpackhi_epi16(alpha, zero), 24));
  const __m128i k0 = _mm_unpacklo_epi16(keep, keep), k1 = _mm_unpackhi_epi16(keep, keep);
  out0 = _mm_or_si128(_mm_and_si128(k0, d0), _mm_andnot_si128(k0, out0));
  out1 = _mm_or_si128(_mm_and_si128(k1, d1), _mm_andnot_si128(k1, out1));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), out0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + 4), out1);
}

// All eight coverages 255: t is 0, the alpha 255 and the weight 0, so the painted colour
// comes through whole.
inline bool AllOpaque(__m128i a) { return _mm_movemask_epi8(_mm_cmpeq_epi16(a, _mm_set1_epi16(255))) == 0xFFFF; }

}  // namespace

void MergeRowC32Sse2(uint32_t* dest, const uint32_t* src, size_t n, uint32_t opacity) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i o1 = _mm_set1_epi16(short(opacity + 1));
  const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i s0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i s1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 4));
    // Sa * (O + 1) is at most 255 * 256: an unsigned 16-bit product.
    const __m128i sa = _mm_packs_epi32(_mm_srli_epi32(s0, 24), _mm_srli_epi32(s1, 24));
    const __m128i a = _mm_srli_epi16(_mm_mullo_epi16(sa, o1), 8);
    if (AllOpaque(a)) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + i), _mm_or_si128(s0, opaque));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + i + 4), _mm_or_si128(s1, opaque));
      continue;
    }
    const __m128i d0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dest + i));
    const __m128i d1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dest + i + 4));
    Paint8(dest + i, d0, d1, _mm_unpacklo_epi8(s0, zero), _mm_unpackhi_epi8(s0, zero), _mm_unpacklo_epi8(s1, zero),
           _mm_unpackhi_epi8(s1, zero), a);
  }
  for (; i < n; ++i) dest[i] = MergePixel(dest[i], src[i], ((src[i] >> 24) * (opacity + 1)) >> 8);
}

void MergeRowA16Sse2(uint32_t* dest, const uint16_t* src, size_t n, uint32_t colour) {
  const __m128i zero = _mm_setzero_si128();
  const uint32_t opacity = colour >> 24;
  const __m128i o = _mm_set1_epi16(short(opacity));
  const __m128i c = _mm_unpacklo_epi8(_mm_set1_epi32(int(colour)), zero);
  const __m128i solid = _mm_set1_epi32(int(colour | 0xFF000000u));
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    // O * (h + 1) is at most 255 * 256.
    const __m128i a = _mm_srli_epi16(_mm_mullo_epi16(_mm_add_epi16(_mm_srli_epi16(v, 8), _mm_set1_epi16(1)), o), 8);
    if (AllOpaque(a)) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + i), solid);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + i + 4), solid);
      continue;
    }
    const __m128i d0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dest + i));
    const __m128i d1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dest + i + 4));
    Paint8(dest + i, d0, d1, c, c, c, c, a);
  }
  for (; i < n; ++i) dest[i] = MergePixel(dest[i], colour, (opacity * ((src[i] >> 8) + 1u)) >> 8);
}

void MaskRowSse2(uint32_t* dest, const uint16_t* mask, size_t n) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i one = _mm_set1_epi32(1);
  const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dest + i));
    const __m128i v = _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(mask + i)), zero);
    const __m128i h1 = _mm_add_epi32(_mm_srli_epi32(v, 8), one);
    const __m128i alpha = _mm_srli_epi32(_mm_mullo_epi16(_mm_srli_epi32(d, 24), h1), 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + i),
                     _mm_or_si128(_mm_and_si128(d, colour), _mm_slli_epi32(alpha, 24)));
  }
  for (; i < n; ++i) {
    const uint32_t alpha = ((dest[i] >> 24) * ((mask[i] >> 8) + 1u)) >> 8;
    dest[i] = (dest[i] & 0x00FFFFFFu) | alpha << 24;
  }
}

}  // namespace merge
