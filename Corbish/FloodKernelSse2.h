// The colour tests with SSE2, four colour pairs or eight mask pairs a step; the tail goes
// through the scalar rule, so no load reaches past the last pair. Inline, so that the fill's
// tests of a fixed few pixels come out as straight code.
#pragma once
#include <emmintrin.h>

#include <algorithm>

#include "FloodKernels.h"

namespace flood {

inline uint32_t PassC32Sse2(const BYTE* from, const BYTE* to, int n, uint32_t tolerance) {
  // Distances are at most 1020, so any tolerance above 1021 passes everything alike.
  const __m128i tol = _mm_set1_epi32(int32_t(std::min<uint32_t>(tolerance, 1021)));
  const __m128i lowBytes = _mm_set1_epi16(0x00FF);
  const __m128i ones = _mm_set1_epi16(1);
  uint32_t bits = 0;
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 4 * i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(to + 4 * i));
    __m128i d = _mm_or_si128(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a));
    __m128i pairs = _mm_add_epi16(_mm_and_si128(d, lowBytes), _mm_srli_epi16(d, 8));
    __m128i sums = _mm_madd_epi16(pairs, ones);
    __m128i pass = _mm_cmplt_epi32(sums, tol);
    bits |= uint32_t(_mm_movemask_ps(_mm_castsi128_ps(pass))) << i;
  }
  if (i < n) bits |= PassC32Scalar(from + 4 * i, to + 4 * i, n - i, tolerance) << i;
  return bits;
}

// One colour pixel against four others (t0 .. t3): bit k set when tk passes.
inline uint32_t PassC32FourSse2(uint32_t from, uint32_t t0, uint32_t t1, uint32_t t2, uint32_t t3, uint32_t tolerance) {
  const __m128i tol = _mm_set1_epi32(int32_t(std::min<uint32_t>(tolerance, 1021)));
  const __m128i a = _mm_set1_epi32(int32_t(from));
  const __m128i b = _mm_set_epi32(int32_t(t3), int32_t(t2), int32_t(t1), int32_t(t0));
  const __m128i d = _mm_or_si128(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a));
  const __m128i pairs = _mm_add_epi16(_mm_and_si128(d, _mm_set1_epi16(0x00FF)), _mm_srli_epi16(d, 8));
  const __m128i sums = _mm_madd_epi16(pairs, _mm_set1_epi16(1));
  return uint32_t(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmplt_epi32(sums, tol))));
}

inline uint32_t PassA16Sse2(const BYTE* from, const BYTE* to, int n, uint32_t tolerance) {
  // from - to <= t as a saturating difference that t wipes out; t of 65535 passes all.
  const uint64_t t = std::min<uint64_t>(uint64_t(tolerance) * 128, 0xFFFF);
  const __m128i tv = _mm_set1_epi16(int16_t(uint16_t(t)));
  const __m128i zero = _mm_setzero_si128();
  uint32_t bits = 0;
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 2 * i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(to + 2 * i));
    __m128i over = _mm_subs_epu16(_mm_subs_epu16(a, b), tv);
    __m128i pass = _mm_cmpeq_epi16(over, zero);
    bits |= uint32_t(_mm_movemask_epi8(_mm_packs_epi16(pass, zero))) << i;
  }
  if (i < n) bits |= PassA16Scalar(from + 2 * i, to + 2 * i, n - i, tolerance) << i;
  return bits;
}

}  // namespace flood
