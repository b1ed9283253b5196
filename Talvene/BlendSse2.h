// The blend modes of the render's compose and the preview's composition on two pixels at a
// time, as 16-bit lanes (b, g, r, a of the first pixel, then the second). Every product
// stays below 65536, so the unsigned 16-bit arithmetic is exact.
#pragma once
#include <emmintrin.h>

namespace blend {

// (v * m) >> 8 per lane, for products below 65536.
inline __m128i MulShr8(__m128i v, __m128i m) { return _mm_srli_epi16(_mm_mullo_epi16(v, m), 8); }

// Spreads each pixel's alpha lane over its four lanes.
inline __m128i SpreadAlpha(__m128i v) { return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xFF), 0xFF); }

// The lanes that hold alpha.
inline __m128i AlphaLanes() { return _mm_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0); }

// The channels of n (under) after s (over) with weight a (0..255, spread over each pixel's
// lanes): mode 0 the plain mix of s, 1 screen, 2 multiply, 3 add, 4 subtract, 5 lighten,
// 6 darken, 7 xor. Each result X is mixed as (n (256 - a) + X a) / 256, except add and
// subtract of a mask source, which take a themselves. The alpha lanes are left to the caller.
inline __m128i Modes(__m128i n, __m128i s, __m128i a, int mode, bool colourSource) {
  const __m128i k255 = _mm_set1_epi16(255), k256 = _mm_set1_epi16(256);
  const __m128i ia = _mm_sub_epi16(k256, a);
  __m128i x;
  switch (mode) {
    case 0: x = s; break;
    case 1: x = _mm_add_epi16(n, MulShr8(s, _mm_sub_epi16(k256, n))); break;
    case 2: x = MulShr8(n, _mm_add_epi16(s, _mm_set1_epi16(1))); break;
    case 3:
      if (!colourSource) return _mm_min_epi16(_mm_add_epi16(n, MulShr8(s, a)), k255);
      x = _mm_min_epi16(_mm_add_epi16(n, s), k255);
      break;
    case 4:
      if (!colourSource) {
        // s a + (256 - a) 255 <= 65280.
        const __m128i t = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(s, a), _mm_mullo_epi16(ia, k255)), 8);
        return _mm_subs_epu16(_mm_add_epi16(n, t), k255);
      }
      x = _mm_subs_epu16(_mm_add_epi16(n, s), k255);
      break;
    case 5: x = _mm_max_epi16(n, s); break;
    case 6: x = _mm_min_epi16(n, s); break;
    default: x = _mm_xor_si128(n, s); break;
  }
  return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(n, ia), _mm_mullo_epi16(x, a)), 8);
}

}  // namespace blend
