// The 2 x 2 reduction with SSE2; same bits as the scalar reference in MipKernelScalar.cpp.
#include <emmintrin.h>

#include "MipKernels.h"

namespace mip {
namespace {

// One row's four pixels split into 32-bit lanes and weighted: channel x alpha, and alpha.
struct Weighted {
  __m128i b, g, r, a;
};
inline Weighted Weigh(__m128i p) {
  const __m128i low = _mm_set1_epi32(0xFF);
  __m128i a = _mm_srli_epi32(p, 24);
  // madd of lanes whose high halves are zero is the plain 32-bit product.
  return {_mm_madd_epi16(_mm_and_si128(p, low), a), _mm_madd_epi16(_mm_and_si128(_mm_srli_epi32(p, 8), low), a),
          _mm_madd_epi16(_mm_and_si128(_mm_srli_epi32(p, 16), low), a), a};
}

// Lanes 0+1 and 2+3 of x, then of y: the horizontal pair sums of four outputs.
inline __m128i PairSum(__m128i x, __m128i y) {
  __m128 fx = _mm_castsi128_ps(x), fy = _mm_castsi128_ps(y);
  __m128i even = _mm_castps_si128(_mm_shuffle_ps(fx, fy, _MM_SHUFFLE(2, 0, 2, 0)));
  __m128i odd = _mm_castps_si128(_mm_shuffle_ps(fx, fy, _MM_SHUFFLE(3, 1, 3, 1)));
  return _mm_add_epi32(even, odd);
}

// floor((n + s/2) / s) as trunc((n + s/2) * fl(1/s) + 2^-12), one division for four pixels.
// With n + s/2 < 2^18 the product is within 2^-14 of the true quotient k + f, where f is a
// multiple of 1/s and at most 1 - 1/1020: the bias keeps an exact k from truncating to
// k - 1 and cannot carry k + f up to k + 1. (Also checked for every n <= 255 s, s <= 1020.)
inline __m128i Quotient(__m128i n, __m128i half, __m128 recip) {
  __m128 q = _mm_mul_ps(_mm_cvtepi32_ps(_mm_add_epi32(n, half)), recip);
  return _mm_cvttps_epi32(_mm_add_ps(q, _mm_set1_ps(1.0f / 4096.0f)));
}

// Four opaque outputs: with s = 1020 the rule is (sum of the channel + 2) >> 2, alpha 255.
inline __m128i ReduceOpaque(__m128i p0, __m128i p1, __m128i q0, __m128i q1) {
  const __m128i z = _mm_setzero_si128(), two = _mm_set1_epi16(2);
  // Column sums of pixel pairs in 16-bit lanes, then the two pixels of each output.
  __m128i v0 = _mm_add_epi16(_mm_unpacklo_epi8(p0, z), _mm_unpacklo_epi8(q0, z));
  __m128i v1 = _mm_add_epi16(_mm_unpackhi_epi8(p0, z), _mm_unpackhi_epi8(q0, z));
  __m128i v2 = _mm_add_epi16(_mm_unpacklo_epi8(p1, z), _mm_unpacklo_epi8(q1, z));
  __m128i v3 = _mm_add_epi16(_mm_unpackhi_epi8(p1, z), _mm_unpackhi_epi8(q1, z));
  __m128i s01 = _mm_add_epi16(_mm_unpacklo_epi64(v0, v1), _mm_unpackhi_epi64(v0, v1));
  __m128i s23 = _mm_add_epi16(_mm_unpacklo_epi64(v2, v3), _mm_unpackhi_epi64(v2, v3));
  s01 = _mm_srli_epi16(_mm_add_epi16(s01, two), 2);
  s23 = _mm_srli_epi16(_mm_add_epi16(s23, two), 2);
  return _mm_packus_epi16(s01, s23);
}

// Four output pixels from eight pixels of each row.
inline __m128i ReduceEight(const uint32_t* s0, const uint32_t* s1) {
  const auto* a = reinterpret_cast<const __m128i*>(s0);
  const auto* b = reinterpret_cast<const __m128i*>(s1);
  const __m128i p0 = _mm_loadu_si128(a), p1 = _mm_loadu_si128(a + 1);
  const __m128i q0 = _mm_loadu_si128(b), q1 = _mm_loadu_si128(b + 1);
  // Painted surfaces are mostly opaque or empty: both have a short way.
  const int alphaBytes = 0x8888;
  __m128i all = _mm_and_si128(_mm_and_si128(p0, p1), _mm_and_si128(q0, q1));
  if ((_mm_movemask_epi8(_mm_cmpeq_epi8(all, _mm_set1_epi8(-1))) & alphaBytes) == alphaBytes)
    return ReduceOpaque(p0, p1, q0, q1);
  __m128i any = _mm_or_si128(_mm_or_si128(p0, p1), _mm_or_si128(q0, q1));
  if ((_mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) & alphaBytes) == alphaBytes)
    return _mm_setzero_si128();
  Weighted x0 = Weigh(p0), x1 = Weigh(p1);
  Weighted y0 = Weigh(q0), y1 = Weigh(q1);
  __m128i nb = PairSum(_mm_add_epi32(x0.b, y0.b), _mm_add_epi32(x1.b, y1.b));
  __m128i ng = PairSum(_mm_add_epi32(x0.g, y0.g), _mm_add_epi32(x1.g, y1.g));
  __m128i nr = PairSum(_mm_add_epi32(x0.r, y0.r), _mm_add_epi32(x1.r, y1.r));
  __m128i s = PairSum(_mm_add_epi32(x0.a, y0.a), _mm_add_epi32(x1.a, y1.a));
  // A zero sum divides by 1: its weighted sums are zero as well.
  __m128i den = _mm_sub_epi32(s, _mm_cmpeq_epi32(s, _mm_setzero_si128()));
  __m128 recip = _mm_div_ps(_mm_set1_ps(1.0f), _mm_cvtepi32_ps(den));
  __m128i half = _mm_srli_epi32(s, 1);
  __m128i alpha = _mm_srli_epi32(_mm_add_epi32(s, _mm_set1_epi32(2)), 2);
  __m128i out = _mm_or_si128(Quotient(nb, half, recip), _mm_slli_epi32(Quotient(ng, half, recip), 8));
  out = _mm_or_si128(out, _mm_slli_epi32(Quotient(nr, half, recip), 16));
  return _mm_or_si128(out, _mm_slli_epi32(alpha, 24));
}

}  // namespace

void ReduceRowC32Sse2(uint32_t* dst, const uint32_t* src0, const uint32_t* src1, size_t n) {
  size_t i = 0;
  for (; i + 4 <= n; i += 4)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), ReduceEight(src0 + 2 * i, src1 + 2 * i));
  for (; i < n; ++i) dst[i] = ReducePixelC32(src0[2 * i], src0[2 * i + 1], src1[2 * i], src1[2 * i + 1]);
}

namespace {

// Four sums of coverage pairs of one row, each minus 65536 (madd works on signed values).
inline __m128i PairSumsA16(__m128i v) {
  return _mm_madd_epi16(_mm_xor_si128(v, _mm_set1_epi16(int16_t(0x8000))), _mm_set1_epi16(1));
}

// Four outputs minus 32768 from four pairs of each row.
inline __m128i ReduceA16(__m128i r0, __m128i r1) {
  // (sum - 131072 + 2) >> 2 == ((sum + 2) >> 2) - 32768, as 131072 is a multiple of 4.
  __m128i t = _mm_add_epi32(_mm_add_epi32(PairSumsA16(r0), PairSumsA16(r1)), _mm_set1_epi32(2));
  return _mm_srai_epi32(t, 2);
}

}  // namespace

void ReduceRowA16Sse2(uint16_t* dst, const uint16_t* src0, const uint16_t* src1, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const auto* a = reinterpret_cast<const __m128i*>(src0 + 2 * i);
    const auto* b = reinterpret_cast<const __m128i*>(src1 + 2 * i);
    __m128i lo = ReduceA16(_mm_loadu_si128(a), _mm_loadu_si128(b));
    __m128i hi = ReduceA16(_mm_loadu_si128(a + 1), _mm_loadu_si128(b + 1));
    // Signed packing of the biased values, then the bias back.
    __m128i packed = _mm_xor_si128(_mm_packs_epi32(lo, hi), _mm_set1_epi16(int16_t(0x8000)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), packed);
  }
  for (; i < n; ++i) dst[i] = ReducePixelA16(src0[2 * i], src0[2 * i + 1], src1[2 * i], src1[2 * i + 1]);
}

}  // namespace mip
