// The box blur's running sums with SSE2, bit-exact to the scalar reference.
//
// A colour window's four sums are one vector. The divisions go through doubles: with
// inv = 1 / d rounded, trunc(n x inv + 2^-30) equals n / d for 0 <= n < 2^31 and
// 0 < d < 2^22 (quotients below 257). The product is off by less than 2^-43, and a quotient
// that is not whole is at least 1 / d >= 2^-22 away from the next integer; the small bias
// lifts a whole quotient that came out just below itself.
#include <emmintrin.h>

#include "BlurKernels.h"

namespace blur {
namespace {

const double kBias = 1.0 / (1 << 30);

// 16-bit lane masks over two pixels [b g r a b g r a], and int32 lane masks over one.
inline __m128i ColourLanes16() { return _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1); }
inline __m128i AlphaOnes16() { return _mm_set_epi16(1, 0, 0, 0, 1, 0, 0, 0); }
inline __m128i ColourLanes32() { return _mm_set_epi32(0, -1, -1, -1); }

// The weighted forms of the two pixels in the low 64 bits of p. Each product
// channel x alpha is at most 65,025, so the low 16 bits of the 16-bit product hold it whole.
inline void Weigh2(__m128i p, __m128i& w0, __m128i& w1) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i c = _mm_unpacklo_epi8(p, zero);
  __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(c, 0xFF), 0xFF);
  a = _mm_or_si128(_mm_and_si128(a, ColourLanes16()), AlphaOnes16());
  const __m128i prod = _mm_mullo_epi16(c, a);
  w0 = _mm_unpacklo_epi16(prod, zero);
  w1 = _mm_unpackhi_epi16(prod, zero);
}

// The weighted form of a pixel given as int32 lanes [b, g, r, alpha] (each 0..255).
inline __m128i WeighLanes(__m128i q) {
  __m128i m = _mm_and_si128(_mm_shuffle_epi32(q, 0xFF), ColourLanes32());
  m = _mm_or_si128(m, _mm_set_epi32(1, 0, 0, 0));
  return _mm_mullo_epi16(q, m);
}

// One window's pixel as int32 lanes [b, g, r, alpha]; inv is [1/a, 1/a], invHi [1/a, 1/window].
inline __m128i Quotients(__m128i t, __m128d inv, __m128d invHi) {
  const __m128i zero = _mm_setzero_si128();
  const __m128d bias = _mm_set1_pd(kBias);
  const __m128i aa = _mm_shuffle_epi32(t, 0xFF);
  const __m128i num = _mm_add_epi32(t, _mm_and_si128(_mm_sub_epi32(aa, _mm_set1_epi32(1)), ColourLanes32()));
  const __m128d lo = _mm_add_pd(_mm_mul_pd(_mm_cvtepi32_pd(num), inv), bias);
  const __m128d hi = _mm_add_pd(_mm_mul_pd(_mm_cvtepi32_pd(_mm_srli_si128(num, 8)), invHi), bias);
  const __m128i q = _mm_unpacklo_epi64(_mm_cvttpd_epi32(lo), _mm_cvttpd_epi32(hi));
  return _mm_andnot_si128(_mm_cmpeq_epi32(aa, zero), q);
}

// The pixels of two windows' sums; one division gives both reciprocals of the alphas.
inline void Divide2(__m128i t0, __m128i t1, __m128d invWindow, __m128i& q0, __m128i& q1) {
  const __m128i a01 = _mm_srli_si128(_mm_unpackhi_epi32(t0, t1), 8);
  // An alpha sum of 0 divides by 1 instead; Quotients clears that pixel.
  const __m128i safe = _mm_sub_epi32(a01, _mm_cmpeq_epi32(a01, _mm_setzero_si128()));
  const __m128d inv = _mm_div_pd(_mm_set1_pd(1.0), _mm_cvtepi32_pd(safe));
  q0 = Quotients(t0, _mm_unpacklo_pd(inv, inv), _mm_shuffle_pd(inv, invWindow, 0));
  q1 = Quotients(t1, _mm_unpackhi_pd(inv, inv), _mm_shuffle_pd(inv, invWindow, 1));
}

inline __m128i PackPixels(__m128i q0, __m128i q1) {
  const __m128i w = _mm_packs_epi32(q0, q1);
  return _mm_packus_epi16(w, w);
}

// sum / window for four int32 lanes.
inline __m128i DivideByWindow(__m128i s, __m128d invWindow) {
  const __m128d bias = _mm_set1_pd(kBias);
  const __m128d lo = _mm_add_pd(_mm_mul_pd(_mm_cvtepi32_pd(s), invWindow), bias);
  const __m128d hi = _mm_add_pd(_mm_mul_pd(_mm_cvtepi32_pd(_mm_srli_si128(s, 8)), invWindow), bias);
  return _mm_unpacklo_epi64(_mm_cvttpd_epi32(lo), _mm_cvttpd_epi32(hi));
}

inline __m128i Load(const int32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store(int32_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

template <bool Add, bool Sub, bool Out>
size_t VerticalC32Pairs(int32_t* sums, const uint32_t* add, const uint32_t* sub, int32_t* weighted, size_t n,
                        uint32_t window) {
  const __m128d invWindow = _mm_set1_pd(1.0 / window);
  size_t x = 0;
  for (; x + 2 <= n; x += 2) {
    __m128i s0 = Load(sums + 4 * x), s1 = Load(sums + 4 * x + 4), w0, w1;
    if constexpr (Add) {
      Weigh2(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(add + x)), w0, w1);
      s0 = _mm_add_epi32(s0, w0);
      s1 = _mm_add_epi32(s1, w1);
    }
    if constexpr (Out) {
      __m128i q0, q1;
      Divide2(s0, s1, invWindow, q0, q1);
      Store(weighted + 4 * x, WeighLanes(q0));
      Store(weighted + 4 * x + 4, WeighLanes(q1));
    }
    if constexpr (Sub) {
      Weigh2(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(sub + x)), w0, w1);
      s0 = _mm_sub_epi32(s0, w0);
      s1 = _mm_sub_epi32(s1, w1);
    }
    Store(sums + 4 * x, s0);
    Store(sums + 4 * x + 4, s1);
  }
  return x;
}

template <bool Add, bool Sub>
size_t VerticalA16Quads(int32_t* sums, const uint16_t* add, const uint16_t* sub, int32_t* values, size_t n,
                        uint32_t window) {
  const __m128i zero = _mm_setzero_si128();
  const __m128d invWindow = _mm_set1_pd(1.0 / window);
  size_t x = 0;
  for (; x + 4 <= n; x += 4) {
    __m128i s = Load(sums + x);
    if constexpr (Add) {
      __m128i v = _mm_srli_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(add + x)), 8);
      s = _mm_add_epi32(s, _mm_unpacklo_epi16(v, zero));
    }
    if (values) Store(values + x, DivideByWindow(s, invWindow));
    if constexpr (Sub) {
      __m128i v = _mm_srli_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(sub + x)), 8);
      s = _mm_sub_epi32(s, _mm_unpacklo_epi16(v, zero));
    }
    Store(sums + x, s);
  }
  return x;
}

}  // namespace

void VerticalC32Sse2(int32_t* sums, const uint32_t* add, const uint32_t* sub, int32_t* weighted, size_t n,
                     uint32_t window) {
  using Fn = size_t (*)(int32_t*, const uint32_t*, const uint32_t*, int32_t*, size_t, uint32_t);
  static constexpr Fn kByCase[8] = {
      VerticalC32Pairs<false, false, false>, VerticalC32Pairs<false, false, true>, VerticalC32Pairs<false, true, false>,
      VerticalC32Pairs<false, true, true>,   VerticalC32Pairs<true, false, false>, VerticalC32Pairs<true, false, true>,
      VerticalC32Pairs<true, true, false>,   VerticalC32Pairs<true, true, true>,
  };
  const size_t done = kByCase[(add ? 4 : 0) | (sub ? 2 : 0) | (weighted ? 1 : 0)](sums, add, sub, weighted, n, window);
  if (done < n)
    VerticalC32Scalar(sums + 4 * done, add ? add + done : nullptr, sub ? sub + done : nullptr,
                      weighted ? weighted + 4 * done : nullptr, n - done, window);
}

void HorizontalC32Sse2(uint32_t* dest, const int32_t* weighted, size_t n, size_t radius) {
  const __m128d invWindow = _mm_set1_pd(1.0 / double(2 * radius - 1));
  __m128i t = _mm_setzero_si128();
  for (size_t j = 0; j + 1 < radius && j < n; ++j) t = _mm_add_epi32(t, Load(weighted + 4 * j));
  // The window sum at x; moves t on to x + 1.
  auto step = [&](size_t x) {
    if (x + radius - 1 < n) t = _mm_add_epi32(t, Load(weighted + 4 * (x + radius - 1)));
    const __m128i here = t;
    if (x + 1 >= radius) t = _mm_sub_epi32(t, Load(weighted + 4 * (x + 1 - radius)));
    return here;
  };
  size_t x = 0;
  for (; x + 2 <= n; x += 2) {
    const __m128i t0 = step(x);
    const __m128i t1 = step(x + 1);
    __m128i q0, q1;
    Divide2(t0, t1, invWindow, q0, q1);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dest + x), PackPixels(q0, q1));
  }
  if (x < n) {
    __m128i q0, q1;
    Divide2(step(x), _mm_setzero_si128(), invWindow, q0, q1);
    dest[x] = uint32_t(_mm_cvtsi128_si32(PackPixels(q0, q1)));
  }
}

void VerticalA16Sse2(int32_t* sums, const uint16_t* add, const uint16_t* sub, int32_t* values, size_t n,
                     uint32_t window) {
  size_t done;
  if (add && sub)
    done = VerticalA16Quads<true, true>(sums, add, sub, values, n, window);
  else if (add)
    done = VerticalA16Quads<true, false>(sums, add, sub, values, n, window);
  else if (sub)
    done = VerticalA16Quads<false, true>(sums, add, sub, values, n, window);
  else
    done = VerticalA16Quads<false, false>(sums, add, sub, values, n, window);
  if (done < n)
    VerticalA16Scalar(sums + done, add ? add + done : nullptr, sub ? sub + done : nullptr,
                      values ? values + done : nullptr, n - done, window);
}

void HorizontalA16Sse2(uint16_t* dest, const int32_t* values, size_t n, size_t radius) {
  const uint32_t window = uint32_t(2 * radius - 1);
  const __m128d invWindow = _mm_set1_pd(1.0 / window);
  int32_t t = 0;
  for (size_t j = 0; j + 1 < radius && j < n; ++j) t += values[j];
  auto step = [&](size_t x) {
    if (x + radius - 1 < n) t += values[x + radius - 1];
    const int32_t here = t;
    if (x + 1 >= radius) t -= values[x + 1 - radius];
    return here;
  };
  size_t x = 0;
  for (; x + 4 <= n; x += 4) {
    const int32_t s0 = step(x), s1 = step(x + 1), s2 = step(x + 2), s3 = step(x + 3);
    const __m128i q = DivideByWindow(_mm_set_epi32(s3, s2, s1, s0), invWindow);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dest + x), _mm_slli_epi16(_mm_packs_epi32(q, q), 8));
  }
  for (; x < n; ++x) dest[x] = uint16_t((uint32_t(step(x)) / window) << 8);
}

}  // namespace blur
