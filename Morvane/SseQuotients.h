// Whole quotients of eight 16-bit lanes in float, for the merges' weights.
#pragma once
#include <emmintrin.h>

// floor(n / den) per unsigned 16-bit lane, for n below 2^16 and den from 1 to 256. Exact: a
// quotient that is not whole lies at least 1/256 below the next integer, while the rounding
// of a float below 2^16 moves it by at most 1/512.
inline __m128i QuotientsU16(__m128i n, __m128i den) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i q0 = _mm_cvttps_epi32(
      _mm_div_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(n, zero)), _mm_cvtepi32_ps(_mm_unpacklo_epi16(den, zero))));
  const __m128i q1 = _mm_cvttps_epi32(
      _mm_div_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(n, zero)), _mm_cvtepi32_ps(_mm_unpackhi_epi16(den, zero))));
  return _mm_packs_epi32(q0, q1);
}
