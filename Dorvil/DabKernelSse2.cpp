#include <emmintrin.h>

#include "DabKernels.h"

namespace dab {

void CoverageRowSse2(uint16_t* out, int n, float dx, float dy, const Shape& s) {
  const __m128 sinA = _mm_set1_ps(s.sinA), cosA = _mm_set1_ps(s.cosA), aspect = _mm_set1_ps(s.aspect);
  const __m128 invR2 = _mm_set1_ps(s.invR2), k1 = _mm_set1_ps(s.k1), k2 = _mm_set1_ps(s.k2);
  const __m128 hard = _mm_set1_ps(s.hardness), radius = _mm_set1_ps(s.radius), opacity = _mm_set1_ps(s.opacity);
  const __m128 one = _mm_set1_ps(1.0f), zero = _mm_setzero_ps(), half = _mm_set1_ps(0.5f);
  const __m128 scale = _mm_set1_ps(65535.0f);
  const __m128 yy = _mm_set1_ps(dy);
  const __m128 ysin = _mm_mul_ps(yy, sinA), ycos = _mm_mul_ps(yy, cosA);
  const __m128i bias = _mm_set1_epi32(32768);
  const __m128i flip = _mm_set1_epi16(int16_t(0x8000));
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    __m128i packed[2];
    for (int h = 0; h < 2; ++h) {
      // The same additions the scalar loop makes: dx + float(i).
      const __m128 xx = _mm_add_ps(_mm_set1_ps(dx), _mm_setr_ps(float(i + 4 * h), float(i + 4 * h + 1),
                                                                 float(i + 4 * h + 2), float(i + 4 * h + 3)));
      const __m128 xr = _mm_add_ps(ysin, _mm_mul_ps(xx, cosA));
      const __m128 yr = _mm_mul_ps(_mm_sub_ps(ycos, _mm_mul_ps(xx, sinA)), aspect);
      const __m128 rr = _mm_mul_ps(_mm_add_ps(_mm_mul_ps(xr, xr), _mm_mul_ps(yr, yr)), invR2);
      const __m128 inner = _mm_add_ps(one, _mm_mul_ps(rr, k1));
      const __m128 outer = _mm_mul_ps(_mm_sub_ps(one, rr), k2);
      const __m128 useInner = _mm_cmple_ps(rr, hard);
      __m128 profile = _mm_or_ps(_mm_and_ps(useInner, inner), _mm_andnot_ps(useInner, outer));
      profile = _mm_max_ps(profile, zero);
      __m128 edge = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(one, _mm_sqrt_ps(rr)), radius), half);
      edge = _mm_min_ps(_mm_max_ps(edge, zero), one);
      const __m128 c = _mm_mul_ps(_mm_mul_ps(profile, edge), opacity);
      const __m128i v = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(c, scale), half));
      packed[h] = _mm_sub_epi32(v, bias);
    }
    // 0..65535 through the signed pack: shifted down by 32768 and back.
    const __m128i words = _mm_xor_si128(_mm_packs_epi32(packed[0], packed[1]), flip);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), words);
  }
  CoverageSpanScalar(out, i, n, dx, dy, s);
}

}  // namespace dab
