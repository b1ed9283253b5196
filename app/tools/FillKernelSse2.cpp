// The blend kernels in 16-bit lanes, four colour pixels or eight mask pixels a step. The
// per-pixel weights are formed one lane per pixel and spread over the pixel's channels; every
// product fits its lane, sums of two products are formed by madd in 32 bits, and the one
// division of "填充" has a quotient below 256 that single precision gives exactly. So the
// bits are the scalar definition's; the last few pixels of a row go through it.
#include <emmintrin.h>

#include "FillKernels.h"

namespace fill {
namespace {

// (x0 * w0 + x1 * w1) >> 8 per lane, from the lanes of x0, x1, w0, w1 (all at most 256).
inline __m128i Mix(__m128i x0, __m128i x1, __m128i w0, __m128i w1) {
  const __m128i lo = _mm_srli_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(x0, x1), _mm_unpacklo_epi16(w0, w1)), 8);
  const __m128i hi = _mm_srli_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(x0, x1), _mm_unpackhi_epi16(w0, w1)), 8);
  return _mm_packs_epi32(lo, hi);
}

// One 16-bit lane per pixel (lanes 0..3) spread over the four channel lanes of pixels 0, 1
// (first) and 2, 3 (second).
inline void Spread(__m128i v, __m128i* first, __m128i* second) {
  const __m128i twice = _mm_unpacklo_epi16(v, v);
  *first = _mm_unpacklo_epi32(twice, twice);
  *second = _mm_unpackhi_epi32(twice, twice);
}

// The raster mode's value X per channel lane.
inline __m128i Raster(int mode, __m128i d, __m128i s) {
  const __m128i c256 = _mm_set1_epi16(256);
  switch (mode) {
    case myLIGHTEN: return _mm_add_epi16(d, _mm_srli_epi16(_mm_mullo_epi16(s, _mm_sub_epi16(c256, d)), 8));
    case myDARKEN: return _mm_srli_epi16(_mm_mullo_epi16(d, _mm_add_epi16(s, _mm_set1_epi16(1))), 8);
    case myADD: return _mm_min_epi16(_mm_add_epi16(d, s), _mm_set1_epi16(255));
    case mySUBTRACT: return _mm_subs_epu16(_mm_add_epi16(d, s), _mm_set1_epi16(255));
    case myMAX: return _mm_max_epi16(d, s);
    case myMIN: return _mm_min_epi16(d, s);
    default: return _mm_xor_si128(d, s);
  }
}

}  // namespace

void BlendRowC32Sse2(uint32_t* px, const uint16_t* cov, int n, uint32_t colour, int mode) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i c256 = _mm_set1_epi16(256);
  const __m128i rgbMask = _mm_set1_epi32(0x00FFFFFF);
  const uint32_t a = colour >> 24;
  const __m128i s8 = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(colour)), zero);
  const __m128i s = _mm_unpacklo_epi64(s8, s8);
  const __m128i c = _mm_set1_epi16(int16_t(uint16_t(colour >> 16)));
  const __m128i a1 = _mm_set1_epi16(int16_t(a + 1));
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cov + i));
    const __m128i uncovered = _mm_cmpeq_epi16(k, zero);
    if ((_mm_movemask_epi8(uncovered) & 0xFF) == 0xFF) continue;
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(px + i));
    // Per pixel, lanes 0..3: the pixel's alpha.
    const __m128i pa = _mm_packs_epi32(_mm_srli_epi32(p, 24), zero);
    __m128i out;
    if (mode == myERASE) {
      const __m128i na = _mm_sub_epi16(pa, _mm_mulhi_epu16(_mm_slli_epi16(pa, 2), _mm_mullo_epi16(k, a1)));
      out = _mm_or_si128(_mm_and_si128(p, rgbMask), _mm_slli_epi32(_mm_unpacklo_epi16(na, zero), 24));
    } else {
      const __m128i e = _mm_mulhi_epu16(c, _mm_slli_epi16(k, 2));
      const __m128i d0 = _mm_unpacklo_epi8(p, zero), d1 = _mm_unpackhi_epi8(p, zero);
      __m128i r0, r1, alpha;
      if (mode == myFILL) {
        const __m128i q = _mm_srli_epi16(_mm_mullo_epi16(_mm_sub_epi16(c256, e), pa), 8);
        const __m128i na = _mm_add_epi16(e, q);
        const __m128 num = _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_slli_epi16(q, 8), zero));
        const __m128 den = _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_add_epi16(na, _mm_set1_epi16(1)), zero));
        const __m128i w32 = _mm_cvttps_epi32(_mm_div_ps(num, den));
        // The old colour has no share when nothing of it is left.
        const __m128i wd = _mm_andnot_si128(_mm_cmpeq_epi16(q, zero),
                                            _mm_add_epi16(_mm_packs_epi32(w32, zero), _mm_set1_epi16(1)));
        __m128i w0, w1;
        Spread(wd, &w0, &w1);
        r0 = Mix(d0, s, w0, _mm_sub_epi16(c256, w0));
        r1 = Mix(d1, s, w1, _mm_sub_epi16(c256, w1));
        alpha = _mm_slli_epi32(_mm_unpacklo_epi16(na, zero), 24);
      } else {
        __m128i e0, e1;
        Spread(e, &e0, &e1);
        r0 = Mix(d0, Raster(mode, d0, s), _mm_sub_epi16(c256, e0), e0);
        r1 = Mix(d1, Raster(mode, d1, s), _mm_sub_epi16(c256, e1), e1);
        alpha = _mm_andnot_si128(rgbMask, p);
      }
      out = _mm_or_si128(_mm_and_si128(_mm_packus_epi16(r0, r1), rgbMask), alpha);
    }
    // Uncovered pixels stay as they were.
    const __m128i keep = _mm_unpacklo_epi16(uncovered, uncovered);
    out = _mm_or_si128(_mm_and_si128(keep, p), _mm_andnot_si128(keep, out));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(px + i), out);
  }
  BlendRowC32Scalar(px + i, cov + i, n - i, colour, mode);
}

void BlendRowA16Sse2(uint16_t* px, const uint16_t* cov, int n, uint32_t alpha, int op) {
  const int16_t a = int16_t(alpha & 255u);
  const __m128i zero = _mm_setzero_si128();
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cov + i));
    const __m128i keep = _mm_cmpeq_epi16(k, zero);
    if (_mm_movemask_epi8(keep) == 0xFFFF) continue;
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(px + i));
    const __m128i v = _mm_srli_epi16(p, 8);
    __m128i nv;
    if (op == myMASK_ERASE) {
      const __m128i t = _mm_srli_epi16(_mm_mullo_epi16(k, _mm_set1_epi16(int16_t(a + 1))), 6);
      nv = _mm_sub_epi16(v, _mm_srli_epi16(_mm_mullo_epi16(t, v), 8));
    } else {
      const __m128i e = _mm_srli_epi16(_mm_mullo_epi16(k, _mm_set1_epi16(a)), 6);
      nv = op == myMASK_FILL ? _mm_add_epi16(_mm_srli_epi16(_mm_mullo_epi16(v, _mm_sub_epi16(_mm_set1_epi16(256), e)), 8), e)
                             : _mm_max_epi16(v, e);
    }
    const __m128i out = _mm_or_si128(_mm_and_si128(keep, p), _mm_andnot_si128(keep, _mm_slli_epi16(nv, 8)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(px + i), out);
  }
  // The last few pixels by the definition itself.
  BlendRowA16Scalar(px + i, cov + i, n - i, alpha, op);
}

}  // namespace fill
