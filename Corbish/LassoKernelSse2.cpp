// The mapping's production kernels: sub-samples filtered once per group of equal offsets,
// the four taps read without bounds tests where all lie inside, the channel divisions as
// products with one reciprocal per pixel, two pixels at a time, and the composite four
// pixels a step. Every step is exact, so the bits equal the scalar definition's.
#include <emmintrin.h>

#include <cstring>

#include "LassoKernels.h"

namespace lasso {
namespace {

inline uint32_t Load32(const Source& s, int32_t col, int32_t row) {
  if (uint32_t(col) >= uint32_t(s.width) || uint32_t(row) >= uint32_t(s.height)) return 0;
  uint32_t v;
  std::memcpy(&v, s.pixels + size_t(row) * s.rowBytes + size_t(col) * 4, 4);
  return v;
}

inline uint16_t Load16(const Source& s, int32_t col, int32_t row) {
  if (uint32_t(col) >= uint32_t(s.width) || uint32_t(row) >= uint32_t(s.height)) return 0;
  uint16_t v;
  std::memcpy(&v, s.pixels + size_t(row) * s.rowBytes + size_t(col) * 2, 2);
  return v;
}

inline bool InsideBlock(const Source& s, int32_t c, int32_t r) {
  return c >= 0 && r >= 0 && int64_t(c) + 1 < s.width && int64_t(r) + 1 < s.height;
}

// The taps of one sub-sample: tl, tr, bl, br.
template <class T>
inline void Fetch(const Source& s, int32_t c, int32_t r, T p[4]) {
  if (InsideBlock(s, c, r)) {
    const BYTE* at = s.pixels + size_t(r) * s.rowBytes + size_t(c) * sizeof(T);
    std::memcpy(&p[0], at, sizeof(T));
    std::memcpy(&p[1], at + sizeof(T), sizeof(T));
    std::memcpy(&p[2], at + s.rowBytes, sizeof(T));
    std::memcpy(&p[3], at + s.rowBytes + sizeof(T), sizeof(T));
    return;
  }
  if constexpr (sizeof(T) == 4) {
    p[0] = Load32(s, c, r), p[1] = Load32(s, c + 1, r), p[2] = Load32(s, c, r + 1), p[3] = Load32(s, c + 1, r + 1);
  } else {
    p[0] = Load16(s, c, r), p[1] = Load16(s, c + 1, r), p[2] = Load16(s, c, r + 1), p[3] = Load16(s, c + 1, r + 1);
  }
}

// The alpha-weighted channel sums of one bilinear sub-sample at (x, y); each stays below
// 2^32, since the four weights add up to 65536.
struct ColourSums {
  uint32_t b, g, r, a;
};
inline ColourSums Bilinear(const Source& src, int32_t x, int32_t y) {
  const int32_t vx = x - 128, vy = y - 128;
  const uint32_t fx = uint32_t(vx & 255), fy = uint32_t(vy & 255);
  uint32_t p[4];
  Fetch(src, vx >> 8, vy >> 8, p);
  const uint32_t w[4] = {(256 - fx) * (256 - fy), fx * (256 - fy), (256 - fx) * fy, fx * fy};
  ColourSums s{0, 0, 0, 0};
  for (int k = 0; k < 4; ++k) {
    const uint32_t wa = w[k] * (p[k] >> 24);
    s.b += wa * (p[k] & 0xFF);
    s.g += wa * ((p[k] >> 8) & 0xFF);
    s.r += wa * ((p[k] >> 16) & 0xFF);
    s.a += wa;
  }
  return s;
}

}  // namespace

void SampleSuperC32Sse2(const Source& src, const Footprint& fp, const int32_t* X, const int32_t* Y, int n,
                        uint32_t* out) {
  // First the sums of every pixel, then the divisions two pixels at a time, so that they
  // overlap instead of each waiting for the last. The sums are integers below 2^40, exact in
  // double precision.
  constexpr int kBatch = 64;
  alignas(16) double sums[4][kBatch];  // B, G, R, A
  for (int i0 = 0; i0 < n; i0 += kBatch) {
    const int m = n - i0 < kBatch ? n - i0 : kBatch;
    for (int i = 0; i < m; ++i) {
      if (fp.groups == 1) {
        // No shrink: one bilinear sub-sample counted 16 times.
        const ColourSums s = Bilinear(src, X[i0 + i] + fp.gdx[0], Y[i0 + i] + fp.gdy[0]);
        sums[0][i] = 16.0 * s.b, sums[1][i] = 16.0 * s.g, sums[2][i] = 16.0 * s.r, sums[3][i] = 16.0 * s.a;
        continue;
      }
      uint64_t SB = 0, SG = 0, SR = 0, SA = 0;
      for (int g = 0; g < fp.groups; ++g) {
        const ColourSums s = Bilinear(src, X[i0 + i] + fp.gdx[g], Y[i0 + i] + fp.gdy[g]);
        const uint64_t c = fp.count[g];
        SB += c * s.b, SG += c * s.g, SR += c * s.r, SA += c * s.a;
      }
      sums[0][i] = double(int64_t(SB)), sums[1][i] = double(int64_t(SG));
      sums[2][i] = double(int64_t(SR)), sums[3][i] = double(int64_t(SA));
    }
    if (m & 1)
      for (auto& row : sums) row[m] = 0;
    // q = S / SA truncated, as trunc(S * (1 / SA) + 2^-30): SA is below 2^28, so a quotient
    // that is not whole lies more than 2^-28 below the next integer, while the rounding of
    // the reciprocal and the product stays below 2^-44; a whole one is lifted above the
    // rounding and stays below the next integer.
    const __m128d one = _mm_set1_pd(1.0), lift = _mm_set1_pd(1.0 / (1 << 30)), zero = _mm_setzero_pd();
    const __m128d alphaScale = _mm_set1_pd(1.0 / (1 << 20));
    for (int i = 0; i < m; i += 2) {
      const __m128d sa = _mm_load_pd(&sums[3][i]);
      const __m128d none = _mm_cmpeq_pd(sa, zero);
      const __m128d r = _mm_div_pd(one, _mm_or_pd(sa, _mm_and_pd(none, one)));
      const __m128i b = _mm_cvttpd_epi32(_mm_add_pd(_mm_mul_pd(_mm_load_pd(&sums[0][i]), r), lift));
      const __m128i gg = _mm_cvttpd_epi32(_mm_add_pd(_mm_mul_pd(_mm_load_pd(&sums[1][i]), r), lift));
      const __m128i rr = _mm_cvttpd_epi32(_mm_add_pd(_mm_mul_pd(_mm_load_pd(&sums[2][i]), r), lift));
      const __m128i a = _mm_cvttpd_epi32(_mm_mul_pd(sa, alphaScale));
      // A pixel without weight divides zeros by 1 and comes out 0.
      const __m128i px = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(a, 24), _mm_slli_epi32(rr, 16)),
                                      _mm_or_si128(_mm_slli_epi32(gg, 8), b));
      alignas(16) uint32_t two[4];
      _mm_store_si128(reinterpret_cast<__m128i*>(two), px);
      out[i0 + i] = two[0];
      if (i + 1 < m) out[i0 + i + 1] = two[1];
    }
  }
}

void SampleSuperA16Sse2(const Source& src, const Footprint& fp, const int32_t* X, const int32_t* Y, int n,
                        uint16_t* out) {
  for (int i = 0; i < n; ++i) {
    uint32_t sum = 0;  // below 2^28: 16 sub-samples of at most 255 * 65536
    for (int g = 0; g < fp.groups; ++g) {
      const int32_t vx = X[i] + fp.gdx[g] - 128, vy = Y[i] + fp.gdy[g] - 128;
      const uint32_t fx = uint32_t(vx & 255), fy = uint32_t(vy & 255);
      uint16_t p[4];
      Fetch(src, vx >> 8, vy >> 8, p);
      const uint32_t s = (256 - fx) * (256 - fy) * uint32_t(p[0] >> 8) + fx * (256 - fy) * uint32_t(p[1] >> 8) +
                         (256 - fx) * fy * uint32_t(p[2] >> 8) + fx * fy * uint32_t(p[3] >> 8);
      sum += fp.count[g] * s;
    }
    out[i] = uint16_t((sum >> 20) << 8);
  }
}

void CompositeRowSse2(uint32_t* dst, const uint32_t* src, int n) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i c256 = _mm_set1_epi32(256);
  const __m128i c256w = _mm_set1_epi16(256);
  const __m128i one = _mm_set1_epi32(1);
  const __m128i rgb = _mm_set1_epi32(0x00FFFFFF);
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<__m128i*>(dst + i));
    const __m128i sa = _mm_srli_epi32(s, 24), da = _mm_srli_epi32(d, 24);
    // (256 - sa) * da is below 65536, so the 16-bit product is the whole product.
    const __m128i k = _mm_srli_epi32(_mm_mullo_epi16(_mm_sub_epi32(c256, sa), da), 8);
    const __m128i a = _mm_add_epi32(sa, k);
    const __m128i none = _mm_cmpeq_epi32(a, zero);
    // k * 256 / a in single precision is exact after truncation: the numerator is below
    // 2^16, and a quotient that is not whole lies at least 1/255 below the next integer.
    const __m128 num = _mm_cvtepi32_ps(_mm_slli_epi32(k, 8));
    const __m128 den = _mm_cvtepi32_ps(_mm_or_si128(a, _mm_and_si128(none, one)));
    const __m128i g = _mm_cvttps_epi32(_mm_div_ps(num, den));
    // g over the four 16-bit channel lanes of its pixel.
    const __m128i g16 = _mm_packs_epi32(g, g);
    const __m128i gp = _mm_unpacklo_epi16(g16, g16);
    const __m128i glo = _mm_unpacklo_epi32(gp, gp), ghi = _mm_unpackhi_epi32(gp, gp);
    const __m128i slo = _mm_unpacklo_epi8(s, zero), shi = _mm_unpackhi_epi8(s, zero);
    const __m128i dlo = _mm_unpacklo_epi8(d, zero), dhi = _mm_unpackhi_epi8(d, zero);
    const __m128i rlo =
        _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(dlo, glo), _mm_mullo_epi16(slo, _mm_sub_epi16(c256w, glo))), 8);
    const __m128i rhi =
        _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(dhi, ghi), _mm_mullo_epi16(shi, _mm_sub_epi16(c256w, ghi))), 8);
    __m128i res = _mm_or_si128(_mm_and_si128(_mm_packus_epi16(rlo, rhi), rgb), _mm_slli_epi32(a, 24));
    res = _mm_or_si128(_mm_and_si128(none, d), _mm_andnot_si128(none, res));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), res);
  }
  for (; i < n; ++i) dst[i] = CompositeOver(src[i], dst[i]);
}

void MaxRowSse2(uint16_t* dst, const uint16_t* src, int n) {
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<__m128i*>(dst + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_add_epi16(_mm_subs_epu16(s, d), d));
  }
  for (; i < n; ++i)
    if (src[i] > dst[i]) dst[i] = src[i];
}

}  // namespace lasso
