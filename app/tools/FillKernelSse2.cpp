// The blend kernels in 16-bit lanes: two colour pixels or eight mask pixels a step. Every
// product fits its lane, sums of two products are formed by madd in 32 bits and the one
// division of "填充" is done in double precision, where its quotient is exact; so the bits
// are the scalar definition's.
#include <emmintrin.h>

#include <cstring>

#include "FillKernels.h"

namespace fill {
namespace {

// Sub-results of one step of two colour pixels, each pixel's four channels in four lanes.
struct Pair {
  __m128i p;  // the pixels: b g r a of pixel 0, then of pixel 1
  __m128i k;  // the coverage in all four lanes of its pixel
};

inline __m128i AlphaLanes(__m128i v) {
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
}

// (x0 * w0 + x1 * w1) >> 8 per lane, from the lanes of x0, x1, w0, w1 (all at most 256).
inline __m128i Mix(__m128i x0, __m128i x1, __m128i w0, __m128i w1) {
  const __m128i lo = _mm_srli_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(x0, x1), _mm_unpacklo_epi16(w0, w1)), 8);
  const __m128i hi = _mm_srli_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(x0, x1), _mm_unpackhi_epi16(w0, w1)), 8);
  return _mm_packs_epi32(lo, hi);
}

// The first lane of each pixel's four as a 32-bit value: [pixel 0, pixel 1, 0, 0].
inline __m128i PerPixel32(__m128i v) {
  const __m128i low = _mm_and_si128(v, _mm_set_epi64x(0xFFFF, 0xFFFF));
  return _mm_shuffle_epi32(low, _MM_SHUFFLE(3, 1, 2, 0));
}

// A 32-bit value per pixel [pixel 0, pixel 1, ...] spread over the pixel's four lanes.
inline __m128i Spread(__m128i v32) {
  const __m128i w = _mm_packs_epi32(v32, v32);
  const __m128i twice = _mm_unpacklo_epi16(w, w);
  return _mm_unpacklo_epi32(twice, twice);
}

__m128i BlendPair(const Pair& in, __m128i s, __m128i c, uint32_t a, int mode) {
  const __m128i alphaMask = _mm_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0);
  const __m128i c256 = _mm_set1_epi16(256);
  const __m128i pa = AlphaLanes(in.p);
  if (mode == myERASE) {
    const __m128i w = _mm_mullo_epi16(in.k, _mm_set1_epi16(int16_t(a + 1)));
    const __m128i na = _mm_sub_epi16(pa, _mm_mulhi_epu16(_mm_slli_epi16(pa, 2), w));
    return _mm_or_si128(_mm_andnot_si128(alphaMask, in.p), _mm_and_si128(alphaMask, na));
  }
  const __m128i e = _mm_mulhi_epu16(c, _mm_slli_epi16(in.k, 2));
  if (mode == myFILL) {
    const __m128i q = _mm_srli_epi16(_mm_mullo_epi16(_mm_sub_epi16(c256, e), pa), 8);
    const __m128i na = _mm_add_epi16(e, q);
    const __m128i q32 = PerPixel32(q);
    const __m128d num = _mm_cvtepi32_pd(_mm_slli_epi32(q32, 8));
    const __m128d den = _mm_cvtepi32_pd(_mm_add_epi32(PerPixel32(na), _mm_set1_epi32(1)));
    __m128i wd32 = _mm_add_epi32(_mm_cvttpd_epi32(_mm_div_pd(num, den)), _mm_set1_epi32(1));
    wd32 = _mm_andnot_si128(_mm_cmpeq_epi32(q32, _mm_setzero_si128()), wd32);
    const __m128i wd = Spread(wd32);
    const __m128i rgb = Mix(in.p, s, wd, _mm_sub_epi16(c256, wd));
    return _mm_or_si128(_mm_andnot_si128(alphaMask, rgb), _mm_and_si128(alphaMask, na));
  }
  const __m128i d = in.p;
  __m128i x;
  switch (mode) {
    case myLIGHTEN: x = _mm_add_epi16(d, _mm_srli_epi16(_mm_mullo_epi16(s, _mm_sub_epi16(c256, d)), 8)); break;
    case myDARKEN: x = _mm_srli_epi16(_mm_mullo_epi16(d, _mm_add_epi16(s, _mm_set1_epi16(1))), 8); break;
    case myADD: x = _mm_min_epi16(_mm_add_epi16(d, s), _mm_set1_epi16(255)); break;
    case mySUBTRACT: x = _mm_subs_epu16(_mm_add_epi16(d, s), _mm_set1_epi16(255)); break;
    case myMAX: x = _mm_max_epi16(d, s); break;
    case myMIN: x = _mm_min_epi16(d, s); break;
    default: x = _mm_xor_si128(d, s); break;
  }
  const __m128i rgb = Mix(d, x, _mm_sub_epi16(c256, e), e);
  return _mm_or_si128(_mm_andnot_si128(alphaMask, rgb), _mm_and_si128(alphaMask, d));
}

inline __m128i LoadPixels(const uint32_t* px, int count) {
  uint64_t v = 0;
  std::memcpy(&v, px, size_t(count) * 4);
  return _mm_unpacklo_epi8(_mm_cvtsi64_si128(int64_t(v)), _mm_setzero_si128());
}

}  // namespace

void BlendRowC32Sse2(uint32_t* px, const uint16_t* cov, int n, uint32_t colour, int mode) {
  const uint32_t a = colour >> 24;
  const __m128i s = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(colour)), _mm_setzero_si128());
  const __m128i sPair = _mm_unpacklo_epi64(s, s);
  const __m128i c = _mm_set1_epi16(int16_t(uint16_t(colour >> 16)));
  for (int i = 0; i < n; i += 2) {
    const int count = n - i >= 2 ? 2 : 1;
    const uint16_t k0 = cov[i], k1 = count == 2 ? cov[i + 1] : 0;
    if ((k0 | k1) == 0) continue;
    Pair in{LoadPixels(px + i, count), _mm_set_epi16(k1, k1, k1, k1, k0, k0, k0, k0)};
    const __m128i out = BlendPair(in, sPair, c, a, mode);
    // Uncovered pixels stay as they were.
    const __m128i keep = _mm_cmpeq_epi16(in.k, _mm_setzero_si128());
    const __m128i mixed = _mm_or_si128(_mm_and_si128(keep, in.p), _mm_andnot_si128(keep, out));
    const uint64_t bytes = uint64_t(_mm_cvtsi128_si64(_mm_packus_epi16(mixed, mixed)));
    std::memcpy(px + i, &bytes, size_t(count) * 4);
  }
}

void BlendRowA16Sse2(uint16_t* px, const uint16_t* cov, int n, uint32_t alpha, int op) {
  const int16_t a = int16_t(alpha & 255u);
  const __m128i zero = _mm_setzero_si128();
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cov + i));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(k, zero)) == 0xFFFF) continue;
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
    const __m128i keep = _mm_cmpeq_epi16(k, zero);
    const __m128i out = _mm_or_si128(_mm_and_si128(keep, p), _mm_andnot_si128(keep, _mm_slli_epi16(nv, 8)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(px + i), out);
  }
  // The last few pixels by the definition itself.
  BlendRowA16Scalar(px + i, cov + i, n - i, alpha, op);
}

}  // namespace fill
