// Hue and saturation with SSE2, four pixels a step, bit-exact to the scalar reference.
//
// The divisions go through floats: every numerator and denominator below is an integer
// under 2^24, so both are exact, the quotient is rounded once (by at most 2^-15 at its
// size), and a quotient that is not whole lies at least 1 / 510 from the next integer;
// truncating it therefore gives the integer division, toward zero for negative numerators
// as in the reference.
#include <emmintrin.h>

#include "HueKernels.h"

namespace hue {
namespace {

inline __m128i Select(__m128i mask, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}
inline __m128 Float(__m128i v) { return _mm_cvtepi32_ps(v); }
inline __m128i Trunc(__m128 v) { return _mm_cvttps_epi32(v); }
inline __m128i Const(int v) { return _mm_set1_epi32(v); }

// The ring components of four entries, each as four int32 lanes.
inline void Fetch(const RingEntry* ring, __m128i k, __m128i& vr, __m128i& vg, __m128i& vb) {
  auto entry = [ring](int i) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(ring + i)); };
  const __m128i e0 = entry(_mm_cvtsi128_si32(k)), e1 = entry(_mm_extract_epi16(k, 2));
  const __m128i e2 = entry(_mm_extract_epi16(k, 4)), e3 = entry(_mm_extract_epi16(k, 6));
  const __m128i a = _mm_unpacklo_epi16(e0, e1);  // r0 r1 g0 g1 b0 b1 - -
  const __m128i b = _mm_unpacklo_epi16(e2, e3);  // r2 r3 g2 g3 b2 b3 - -
  const __m128i rg = _mm_unpacklo_epi32(a, b);   // r0 r1 r2 r3 g0 g1 g2 g3
  const __m128i bb = _mm_unpackhi_epi32(a, b);   // b0 b1 b2 b3 - - - -
  vr = _mm_srai_epi32(_mm_unpacklo_epi16(rg, rg), 16);
  vg = _mm_srai_epi32(_mm_unpackhi_epi16(rg, rg), 16);
  vb = _mm_srai_epi32(_mm_unpacklo_epi16(bb, bb), 16);
}

// One channel from its ring component v; dark marks the lanes with L <= 254.
inline __m128i Channel(__m128i v, __m128 saturation, __m128 lightness, __m128i dark, __m128 denominator) {
  const __m128 c255 = _mm_set1_ps(255.0f);
  const __m128i x = _mm_add_epi32(Trunc(_mm_div_ps(_mm_mul_ps(saturation, Float(v)), _mm_set1_ps(510.0f))), Const(128));
  const __m128 xf = Float(x);
  const __m128 darkf = _mm_castsi128_ps(dark);
  const __m128 num = _mm_or_ps(_mm_and_ps(darkf, _mm_mul_ps(lightness, xf)),
                               _mm_andnot_ps(darkf, _mm_mul_ps(_mm_sub_ps(c255, xf), _mm_sub_ps(lightness, c255))));
  return _mm_add_epi32(Trunc(_mm_div_ps(num, denominator)), _mm_andnot_si128(dark, x));
}

}  // namespace

void RowSse2(uint32_t* dest, const uint32_t* src, size_t n, const Params& params) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i one = Const(1), c255 = Const(255), c510 = Const(510);
  const __m128i offset = Const(params.shift + kRingSize);
  // Both saturation rules are one 16 x 16-bit multiply per lane (madd with zero high halves).
  const bool lower = params.s < 0;
  const __m128i factor = Const(lower ? params.s + 256 : params.s);
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i b = _mm_and_si128(p, c255);
    const __m128i g = _mm_and_si128(_mm_srli_epi32(p, 8), c255);
    const __m128i r = _mm_and_si128(_mm_srli_epi32(p, 16), c255);
    // Values 0..510 in int32 lanes: the 16-bit max and min see zero high halves.
    const __m128i mx = _mm_max_epi16(_mm_max_epi16(r, g), b);
    const __m128i mn = _mm_min_epi16(_mm_min_epi16(r, g), b);
    const __m128i lightness = _mm_add_epi32(mx, mn);
    const __m128i d = _mm_sub_epi32(mx, mn);
    const __m128i grey = _mm_cmpeq_epi32(d, zero);
    const __m128i dark = _mm_cmplt_epi32(lightness, c255);

    // Saturation; a grey pixel divides 0 by at least 1.
    const __m128i side = _mm_max_epi16(Select(dark, lightness, _mm_sub_epi32(c510, lightness)), one);
    const __m128i full = Trunc(_mm_div_ps(_mm_mul_ps(Float(d), _mm_set1_ps(510.0f)), Float(side)));

    // Hue: the sector masks partition the non-grey pixels exactly as the reference does.
    const __m128i gtBR = _mm_cmpgt_epi32(b, r), gtRG = _mm_cmpgt_epi32(r, g), gtGB = _mm_cmpgt_epi32(g, b);
    const __m128i gtRB = _mm_cmpgt_epi32(r, b), gtBG = _mm_cmpgt_epi32(b, g), gtGR = _mm_cmpgt_epi32(g, r);
    const __m128i m0 = _mm_andnot_si128(gtGR, gtBR);  // b > r >= g
    const __m128i m1 = _mm_andnot_si128(gtBR, gtBG);  // r >= b > g
    const __m128i m2 = _mm_andnot_si128(gtBG, gtRG);  // r > g >= b
    const __m128i m3 = _mm_andnot_si128(gtRG, gtRB);  // g >= r > b
    const __m128i m4 = _mm_andnot_si128(gtRB, gtGB);  // g > b >= r
    const __m128i m5 = _mm_andnot_si128(gtGB, gtGR);  // b >= g > r
    __m128i base = _mm_or_si128(_mm_and_si128(m1, Const(256)), _mm_and_si128(m2, Const(512)));
    base = _mm_or_si128(base, _mm_or_si128(_mm_and_si128(m3, Const(768)), _mm_and_si128(m4, Const(1024))));
    base = _mm_or_si128(base, _mm_and_si128(m5, Const(1280)));
    __m128i distance = _mm_or_si128(_mm_and_si128(m0, _mm_sub_epi32(r, g)), _mm_and_si128(m1, _mm_sub_epi32(r, b)));
    distance = _mm_or_si128(
        distance, _mm_or_si128(_mm_and_si128(m2, _mm_sub_epi32(g, b)), _mm_and_si128(m3, _mm_sub_epi32(g, r))));
    distance = _mm_or_si128(
        distance, _mm_or_si128(_mm_and_si128(m4, _mm_sub_epi32(b, r)), _mm_and_si128(m5, _mm_sub_epi32(b, g))));
    const __m128i frac =
        Trunc(_mm_div_ps(_mm_mul_ps(Float(distance), _mm_set1_ps(255.0f)), Float(_mm_max_epi16(d, one))));

    __m128i saturation =
        lower ? _mm_srai_epi32(_mm_madd_epi16(full, factor), 8)
              : _mm_add_epi32(full, _mm_srai_epi32(_mm_madd_epi16(_mm_sub_epi32(c510, full), factor), 8));
    saturation = _mm_andnot_si128(grey, saturation);

    // shift + 1536 + h lies in 770..3837: at most two wraps.
    __m128i k = _mm_add_epi32(_mm_add_epi32(base, frac), offset);
    k = _mm_sub_epi32(k, _mm_and_si128(_mm_cmpgt_epi32(k, Const(kRingSize - 1)), Const(kRingSize)));
    k = _mm_sub_epi32(k, _mm_and_si128(_mm_cmpgt_epi32(k, Const(kRingSize - 1)), Const(kRingSize)));
    __m128i vr, vg, vb;
    Fetch(params.ring, k, vr, vg, vb);

    const __m128 satf = Float(saturation), lightf = Float(lightness);
    const __m128 denominator = Float(_mm_sub_epi32(c255, _mm_and_si128(dark, one)));  // 254 or 255
    const __m128i outR = Channel(vr, satf, lightf, dark, denominator);
    const __m128i outG = Channel(vg, satf, lightf, dark, denominator);
    const __m128i outB = Channel(vb, satf, lightf, dark, denominator);
    __m128i out = _mm_and_si128(p, Const(int(0xFF000000u)));
    out = _mm_or_si128(out, _mm_or_si128(_mm_slli_epi32(outR, 16), _mm_or_si128(_mm_slli_epi32(outG, 8), outB)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + i), out);
  }
  if (i < n) RowScalar(dest + i, src + i, n - i, params);
}

}  // namespace hue
