// The glass merge with AVX2 for the normal mode (what nearly every stroke uses): eight
// pixels a step as in the SSE2 kernel, their 32 channels in two registers instead of four,
// each pixel's weight spread over its channels by one byte shuffle. Bit-exact to the scalar
// reference; the other modes run the SSE2 kernel. Only this file's own functions are built
// for AVX2 (by the pragma after every include); the layer runs them only on a processor that
// has AVX2.
#include <immintrin.h>

#include "GlassKernels.h"
#include "TargetAvx2.h"

AVX2_BEGIN

namespace glass {
namespace {

// Word k of an eight-word register into the four words of pixel k (two registers).
inline __m256i SpreadLow(__m128i v) {
  return _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(v),
                             _mm256_setr_epi8(0, 1, 0, 1, 0, 1, 0, 1, 2, 3, 2, 3, 2, 3, 2, 3,  //
                                              4, 5, 4, 5, 4, 5, 4, 5, 6, 7, 6, 7, 6, 7, 6, 7));
}
inline __m256i SpreadHigh(__m128i v) {
  return _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(v),
                             _mm256_setr_epi8(8, 9, 8, 9, 8, 9, 8, 9, 10, 11, 10, 11, 10, 11, 10, 11,  //
                                              12, 13, 12, 13, 12, 13, 12, 13, 14, 15, 14, 15, 14, 15, 14, 15));
}

// d + floor((s - d) * w / 256) per word, given w64 = w << 6 (w <= 256).
inline __m256i Mix(__m256i d, __m256i s, __m256i w64) {
  return _mm256_add_epi16(d, _mm256_mulhi_epi16(_mm256_slli_epi16(_mm256_sub_epi16(s, d), 2), w64));
}

// Eight destination pixels as two halves of 16 bytes: a layer's rows start 16 bytes past a
// cache line, where every other 32-byte access would split one.
inline __m256i Load(const uint32_t* p) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4)), 1);
}
inline void Store(uint32_t* p, __m256i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(v));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 4), _mm256_extracti128_si256(v, 1));
}

void RowNormal(uint32_t* dest, const uint16_t* glass, size_t n, const Params& p) {
  const __m128i opacity = _mm_set1_epi16(short(p.opacity));
  const __m128i high = _mm_set1_epi16(short(0xFF00));
  const __m128i full = _mm_set1_epi16(255);
  const __m128i one = _mm_set1_epi16(1);
  const uint32_t c = p.color & 0x00FFFFFFu;
  const __m256i s = _mm256_cvtepu8_epi16(_mm_set1_epi32(int(c)));
  const __m256i solid = _mm256_set1_epi32(int(c | 0xFF000000u));
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    // Asked for ahead for the reason the SSE2 kernel gives.
    _mm_prefetch(reinterpret_cast<const char*>(dest + i + 512), _MM_HINT_T0);
    const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(glass + i));
    const __m128i a = _mm_mulhi_epu16(_mm_and_si128(g, high), opacity);
    if (_mm_testz_si128(a, a)) continue;  // no coverage: the pixels stay
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(a, full)) == 0xFFFF) {
      Store(dest + i, solid);
      continue;
    }
    const __m256i d = Load(dest + i);
    const __m256i da32 = _mm256_srli_epi32(d, 24);
    const __m128i da1 =
        _mm_add_epi16(_mm_packs_epi32(_mm256_castsi256_si128(da32), _mm256_extracti128_si256(da32, 1)), one);
    const __m128i alpha =
        _mm_add_epi16(a, _mm_srli_epi16(_mm_mullo_epi16(da1, _mm_sub_epi16(full, a)), 8));
    // a * 256 / (alpha + 1), exact in float as in the SSE2 kernel.
    const __m256 q = _mm256_div_ps(_mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(_mm_slli_epi16(a, 8))),
                                   _mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(_mm_add_epi16(alpha, one))));
    const __m256i q32 = _mm256_cvttps_epi32(q);
    __m128i w = _mm_packs_epi32(_mm256_castsi256_si128(q32), _mm256_extracti128_si256(q32, 1));
    w = _mm_slli_epi16(_mm_add_epi16(w, _mm_srli_epi16(w, 7)), 6);
    const __m256i lo = Mix(_mm256_cvtepu8_epi16(_mm256_castsi256_si128(d)), s, SpreadLow(w));
    const __m256i hi = Mix(_mm256_cvtepu8_epi16(_mm256_extracti128_si256(d, 1)), s, SpreadHigh(w));
    // packus works within halves: pixels 0-1, 4-5, 2-3, 6-7, put back in order.
    __m256i out = _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8);
    out = _mm256_or_si256(_mm256_and_si256(out, _mm256_set1_epi32(0x00FFFFFF)),
                          _mm256_slli_epi32(_mm256_cvtepu16_epi32(alpha), 24));
    Store(dest + i, out);
  }
  for (; i < n; ++i) dest[i] = MergePixelC32(dest[i], glass[i], p);
}

}  // namespace
}  // namespace glass

AVX2_END

namespace glass {

bool HasAvx2() { return CpuHasAvx2(); }

void MergeRowC32Avx2(uint32_t* dest, const uint16_t* glass, size_t n, const Params& p) {
  if (p.mode == 0) {
    RowNormal(dest, glass, n, p);
  } else {
    MergeRowC32Sse2(dest, glass, n, p);
  }
}

}  // namespace glass
