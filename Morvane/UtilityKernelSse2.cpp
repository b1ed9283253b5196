// The layer utility rows with SSE2; same bits as the scalar reference in
// UtilityKernelScalar.cpp.
//
// Sampling works on four destination pixels a step: the sums are integers below 2^24 (in
// integer lanes, or in float where that is exact), and only the colour division is done
// in float, which truncates like the integer one (see SampleRowC32Sse2). The scale passes
// keep the reference's order of float operations lane by lane.
#include <emmintrin.h>

#include <cstring>

#include "UtilityKernels.h"

namespace xform {
namespace {

// Two C32 pixels (the low eight bytes) premultiplied, as 16-bit lanes
// (b a, g a, r a, a) for each: every product is at most 65025.
inline __m128i PremulPair(__m128i bytes) {
  const __m128i z = _mm_setzero_si128();
  const __m128i keep = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
  const __m128i oneA = _mm_set_epi16(1, 0, 0, 0, 1, 0, 0, 0);
  const __m128i v = _mm_unpacklo_epi8(bytes, z);
  __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xFF), 0xFF);
  a = _mm_or_si128(_mm_and_si128(a, keep), oneA);
  return _mm_mullo_epi16(v, a);
}
inline __m128 Low4(__m128i pair) { return _mm_cvtepi32_ps(_mm_unpacklo_epi16(pair, _mm_setzero_si128())); }
inline __m128 High4(__m128i pair) { return _mm_cvtepi32_ps(_mm_unpackhi_epi16(pair, _mm_setzero_si128())); }

// The four corners of a sample, transparent outside the source.
struct Corners {
  uint32_t p[4];
};
template <class T>
inline Corners Gather(const SampleLine& line, const SamplePoint& s) {
  const T* src = static_cast<const T*>(line.src);
  Corners c;
  if (uint64_t(s.ix) < uint64_t(line.width - 1) && uint64_t(s.iy) < uint64_t(line.height - 1)) {
    const T* r0 = src + size_t(s.iy) * line.pitch + size_t(s.ix);
    const T* r1 = r0 + line.pitch;
    c.p[0] = r0[0];
    c.p[1] = r0[1];
    c.p[2] = r1[0];
    c.p[3] = r1[1];
    return c;
  }
  for (int k = 0; k < 4; ++k) {
    const int64_t x = s.ix + (k & 1), y = s.iy + (k >> 1);
    const bool inside = uint64_t(x) < uint64_t(line.width) && uint64_t(y) < uint64_t(line.height);
    c.p[k] = inside ? src[size_t(y) * line.pitch + size_t(x)] : 0;
  }
  return c;
}

// The 32-bit products of lanes holding values below 2^16 (the high halves zero).
inline __m128i Mul16(__m128i x, __m128i y) {
  return _mm_or_si128(_mm_mullo_epi16(x, y), _mm_slli_epi32(_mm_mulhi_epu16(x, y), 16));
}

}  // namespace

void SampleRowC32Sse2(uint32_t* dst, size_t n, const SampleLine& line) {
  const __m128i low = _mm_set1_epi32(0xFF);
  size_t i = 0;
  // Four destination pixels a step, one in each 32-bit lane.
  for (; i + 4 <= n; i += 4) {
    uint32_t px[4][4];  // [corner][pixel]
    int32_t fx[4], fy[4];
    uint32_t differ = 0;
    for (int k = 0; k < 4; ++k) {
      const SamplePoint s = Locate(line, i + size_t(k));
      const Corners c = Gather<uint32_t>(line, s);
      for (int q = 0; q < 4; ++q) px[q][k] = c.p[q];
      fx[k] = int32_t(s.fx);
      fy[k] = int32_t(s.fy);
      differ |= (c.p[0] ^ c.p[1]) | (c.p[0] ^ c.p[2]) | (c.p[0] ^ c.p[3]);
    }
    // Flat neighbourhoods (filled areas, empty space) keep their pixel.
    if (differ == 0) {
      for (int k = 0; k < 4; ++k) dst[i + size_t(k)] = (px[0][k] >> 24) ? px[0][k] : 0;
      continue;
    }
    const __m128i vx = _mm_set_epi32(fx[3], fx[2], fx[1], fx[0]);
    const __m128i vy = _mm_set_epi32(fy[3], fy[2], fy[1], fy[0]);
    // madd of lanes with zero high halves is the plain product.
    const __m128i w11 = _mm_srli_epi32(_mm_add_epi32(_mm_madd_epi16(vx, vy), _mm_set1_epi32(128)), 8);
    const __m128i w[4] = {_mm_sub_epi32(_mm_add_epi32(_mm_set1_epi32(256), w11), _mm_add_epi32(vx, vy)),
                          _mm_sub_epi32(vx, w11), _mm_sub_epi32(vy, w11), w11};
    __m128i A = _mm_setzero_si128(), B = A, G = A, R = A;
    for (int q = 0; q < 4; ++q) {
      const __m128i p = _mm_set_epi32(int(px[q][3]), int(px[q][2]), int(px[q][1]), int(px[q][0]));
      const __m128i wa = _mm_madd_epi16(w[q], _mm_srli_epi32(p, 24));  // at most 65280
      A = _mm_add_epi32(A, wa);
      B = _mm_add_epi32(B, Mul16(wa, _mm_and_si128(p, low)));
      G = _mm_add_epi32(G, Mul16(wa, _mm_and_si128(_mm_srli_epi32(p, 8), low)));
      R = _mm_add_epi32(R, Mul16(wa, _mm_and_si128(_mm_srli_epi32(p, 16), low)));
    }
    const __m128i alpha = _mm_srli_epi32(_mm_add_epi32(A, _mm_set1_epi32(128)), 8);
    // (C + A/2) / A: C + A/2 < 2^24 is exact in float, and the quotient stays at least
    // 1/A >= 1/65280 below the next integer, more than the float rounding near 256 (2^-17),
    // so truncating the rounded quotient gives the integer division. Lanes with A = 0 divide
    // by zero and are dropped with the other transparent ones.
    const __m128i half = _mm_srli_epi32(A, 1);
    const __m128 fa = _mm_cvtepi32_ps(A);
    auto quotient = [&](__m128i C) {
      return _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(_mm_add_epi32(C, half)), fa));
    };
    __m128i v = _mm_or_si128(_mm_or_si128(quotient(B), _mm_slli_epi32(quotient(G), 8)),
                             _mm_or_si128(_mm_slli_epi32(quotient(R), 16), _mm_slli_epi32(alpha, 24)));
    v = _mm_andnot_si128(_mm_cmpeq_epi32(alpha, _mm_setzero_si128()), v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), v);
  }
  if (i < n) {
    SampleLine rest = line;
    rest.x += int64_t(i) * line.dx;
    rest.y += int64_t(i) * line.dy;
    SampleRowC32Scalar(dst + i, n - i, rest);
  }
}

void SampleRowA16Sse2(uint16_t* dst, size_t n, const SampleLine& line) {
  const __m128 round = _mm_set1_ps(128.0f), scale = _mm_set1_ps(1.0f / 256.0f);
  const __m128i bias = _mm_set1_epi32(32768), bias16 = _mm_set1_epi16(-32768);
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    alignas(16) int32_t v[4][4], f[2][4];
    for (int k = 0; k < 4; ++k) {
      const SamplePoint s = Locate(line, i + size_t(k));
      const Corners c = Gather<uint16_t>(line, s);
      for (int q = 0; q < 4; ++q) v[q][k] = int32_t(c.p[q]);
      f[0][k] = int32_t(s.fx);
      f[1][k] = int32_t(s.fy);
    }
    const __m128i fx = _mm_load_si128(reinterpret_cast<const __m128i*>(f[0]));
    const __m128i fy = _mm_load_si128(reinterpret_cast<const __m128i*>(f[1]));
    // Lanes with zero high halves: madd is the plain product.
    const __m128i w11 = _mm_srli_epi32(_mm_add_epi32(_mm_madd_epi16(fx, fy), _mm_set1_epi32(128)), 8);
    const __m128i w01 = _mm_sub_epi32(fx, w11), w10 = _mm_sub_epi32(fy, w11);
    const __m128i w00 = _mm_sub_epi32(_mm_add_epi32(_mm_set1_epi32(256), w11), _mm_add_epi32(fx, fy));
    auto term = [&](__m128i w, int q) {
      return _mm_mul_ps(_mm_cvtepi32_ps(w), _mm_cvtepi32_ps(_mm_load_si128(reinterpret_cast<const __m128i*>(v[q]))));
    };
    __m128 S = _mm_add_ps(_mm_add_ps(term(w00, 0), term(w01, 1)), _mm_add_ps(term(w10, 2), term(w11, 3)));
    __m128i r = _mm_cvttps_epi32(_mm_mul_ps(_mm_add_ps(S, round), scale));
    // Unsigned 16-bit packing through the signed one.
    r = _mm_add_epi16(_mm_packs_epi32(_mm_sub_epi32(r, bias), _mm_sub_epi32(r, bias)), bias16);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + i), r);
  }
  if (i < n) {
    SampleLine rest = line;
    rest.x += int64_t(i) * line.dx;
    rest.y += int64_t(i) * line.dy;
    SampleRowA16Scalar(dst + i, n - i, rest);
  }
}

void ScaleColumnC32Sse2(float* acc, size_t n, const uint32_t* const* rows, const float* weight, int taps) {
  std::memset(acc, 0, 4 * n * sizeof(float));
  for (int t = 0; t < taps; ++t) {
    const __m128 w = _mm_set1_ps(weight[t]);
    const uint32_t* row = rows[t];
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
      const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
      const __m128i lo = PremulPair(px), hi = PremulPair(_mm_unpackhi_epi64(px, px));
      float* a = acc + 4 * i;
      _mm_storeu_ps(a, _mm_add_ps(_mm_loadu_ps(a), _mm_mul_ps(w, Low4(lo))));
      _mm_storeu_ps(a + 4, _mm_add_ps(_mm_loadu_ps(a + 4), _mm_mul_ps(w, High4(lo))));
      _mm_storeu_ps(a + 8, _mm_add_ps(_mm_loadu_ps(a + 8), _mm_mul_ps(w, Low4(hi))));
      _mm_storeu_ps(a + 12, _mm_add_ps(_mm_loadu_ps(a + 12), _mm_mul_ps(w, High4(hi))));
    }
    for (; i < n; ++i) {
      const __m128i one = PremulPair(_mm_cvtsi32_si128(int(row[i])));
      float* a = acc + 4 * i;
      _mm_storeu_ps(a, _mm_add_ps(_mm_loadu_ps(a), _mm_mul_ps(w, Low4(one))));
    }
  }
}

void ScaleColumnA16Sse2(float* acc, size_t n, const uint16_t* const* rows, const float* weight, int taps) {
  std::memset(acc, 0, n * sizeof(float));
  const __m128i z = _mm_setzero_si128();
  for (int t = 0; t < taps; ++t) {
    const __m128 w = _mm_set1_ps(weight[t]);
    const uint16_t* row = rows[t];
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
      float* a = acc + i;
      _mm_storeu_ps(a, _mm_add_ps(_mm_loadu_ps(a), _mm_mul_ps(w, _mm_cvtepi32_ps(_mm_unpacklo_epi16(v, z)))));
      _mm_storeu_ps(a + 4, _mm_add_ps(_mm_loadu_ps(a + 4), _mm_mul_ps(w, _mm_cvtepi32_ps(_mm_unpackhi_epi16(v, z)))));
    }
    for (; i < n; ++i) {
      __m128 a = _mm_load_ss(acc + i);
      a = _mm_add_ss(a, _mm_mul_ss(w, _mm_cvtsi32_ss(a, int(row[i]))));
      _mm_store_ss(acc + i, a);
    }
  }
}

namespace {

// The weighted sum of one output pixel, (C_b, C_g, C_r, A) in the lanes.
template <int kTaps>
inline __m128 SumTaps(const float* at, const float* wt, int taps) {
  const int n = kTaps > 0 ? kTaps : taps;
  __m128 S = _mm_setzero_ps();
  for (int t = 0; t < n; ++t) S = _mm_add_ps(S, _mm_mul_ps(_mm_set1_ps(wt[t]), _mm_loadu_ps(at + 4 * t)));
  return S;
}

// The reference's finish of four sums at once: channel trunc(C * (1 / A) + 0.5) and alpha
// trunc(A + 0.5), each at most 255 (clamping before the truncation is the same thing for
// sums that are never negative), and 0 for a pixel whose alpha is 0; its lanes divide by
// zero and are dropped by the mask.
inline __m128i FinishFour(__m128 s0, __m128 s1, __m128 s2, __m128 s3) {
  _MM_TRANSPOSE4_PS(s0, s1, s2, s3);  // now b, g, r, a of the four pixels
  const __m128 half = _mm_set1_ps(0.5f), top = _mm_set1_ps(255.0f);
  const __m128 inv = _mm_div_ps(_mm_set1_ps(1.0f), s3);
  const __m128i b = _mm_cvttps_epi32(_mm_min_ps(_mm_add_ps(_mm_mul_ps(s0, inv), half), top));
  const __m128i g = _mm_cvttps_epi32(_mm_min_ps(_mm_add_ps(_mm_mul_ps(s1, inv), half), top));
  const __m128i r = _mm_cvttps_epi32(_mm_min_ps(_mm_add_ps(_mm_mul_ps(s2, inv), half), top));
  const __m128i a = _mm_cvttps_epi32(_mm_min_ps(_mm_add_ps(s3, half), top));
  __m128i v =
      _mm_or_si128(_mm_or_si128(b, _mm_slli_epi32(g, 8)), _mm_or_si128(_mm_slli_epi32(r, 16), _mm_slli_epi32(a, 24)));
  return _mm_andnot_si128(_mm_cmpeq_epi32(a, _mm_setzero_si128()), v);
}

template <int kTaps>
void ScaleRowC32Taps(uint32_t* dst, size_t n, const float* acc, const int32_t* start, const float* weight, int taps) {
  const size_t stride = size_t(taps);
  size_t j = 0;
  for (; j + 4 <= n; j += 4) {
    const float* wt = weight + j * stride;
    const __m128 s0 = SumTaps<kTaps>(acc + 4 * size_t(start[j]), wt, taps);
    const __m128 s1 = SumTaps<kTaps>(acc + 4 * size_t(start[j + 1]), wt + stride, taps);
    const __m128 s2 = SumTaps<kTaps>(acc + 4 * size_t(start[j + 2]), wt + 2 * stride, taps);
    const __m128 s3 = SumTaps<kTaps>(acc + 4 * size_t(start[j + 3]), wt + 3 * stride, taps);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + j), FinishFour(s0, s1, s2, s3));
  }
  if (j < n) {
    __m128 s[4] = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
    for (size_t k = 0; j + k < n; ++k)
      s[k] = SumTaps<kTaps>(acc + 4 * size_t(start[j + k]), weight + (j + k) * stride, taps);
    alignas(16) uint32_t out[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(out), FinishFour(s[0], s[1], s[2], s[3]));
    for (size_t k = 0; j + k < n; ++k) dst[j + k] = out[k];
  }
}

}  // namespace

void ScaleRowC32Sse2(uint32_t* dst, size_t n, const float* acc, const int32_t* start, const float* weight, int taps) {
  // Growing axes have one or two taps, shrinking ones a few more: fixed loops for those.
  switch (taps) {
    case 1:
      return ScaleRowC32Taps<1>(dst, n, acc, start, weight, taps);
    case 2:
      return ScaleRowC32Taps<2>(dst, n, acc, start, weight, taps);
    case 3:
      return ScaleRowC32Taps<3>(dst, n, acc, start, weight, taps);
    case 4:
      return ScaleRowC32Taps<4>(dst, n, acc, start, weight, taps);
    default:
      return ScaleRowC32Taps<0>(dst, n, acc, start, weight, taps);
  }
}

void ScaleRowA16Sse2(uint16_t* dst, size_t n, const float* acc, const int32_t* start, const float* weight, int taps) {
  const __m128 half = _mm_set1_ps(0.5f);
  const __m128i bias = _mm_set1_epi32(32768), bias16 = _mm_set1_epi16(-32768);
  const size_t stride = size_t(taps);
  size_t j = 0;
  for (; j + 4 <= n; j += 4) {
    const float* a0 = acc + start[j];
    const float* a1 = acc + start[j + 1];
    const float* a2 = acc + start[j + 2];
    const float* a3 = acc + start[j + 3];
    const float* w0 = weight + j * stride;
    __m128 S = _mm_setzero_ps();
    for (int t = 0; t < taps; ++t) {
      const __m128 v = _mm_set_ps(a3[t], a2[t], a1[t], a0[t]);
      const __m128 w = _mm_set_ps(w0[3 * stride + t], w0[2 * stride + t], w0[stride + t], w0[t]);
      S = _mm_add_ps(S, _mm_mul_ps(w, v));
    }
    __m128i r = _mm_cvttps_epi32(_mm_add_ps(S, half));
    r = _mm_add_epi16(_mm_packs_epi32(_mm_sub_epi32(r, bias), _mm_sub_epi32(r, bias)), bias16);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + j), r);
  }
  if (j < n) ScaleRowA16Scalar(dst + j, n - j, acc, start + j, weight + j * stride, taps);
}

}  // namespace xform
