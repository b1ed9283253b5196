// The preview's production kernels. The sampler steps the source points of four pixels at
// once with quotient and remainder in 32-bit lanes instead of dividing per pixel, and tests
// them against the source in lanes; the composition blends two pixels per register in 16-bit
// lanes, four pixels a step. Every step is exact, so the bits equal the scalar definition's.
#include <emmintrin.h>

#include <cstring>

#include "BlendSse2.h"
#include "PreviewKernels.h"

namespace preview {
namespace {

// floor(a / b) for 0 <= a < 2^53 and 0 < b < 2^53: the rounded double quotient never
// reaches the next integer, since the distance to it is at least 1 / b.
inline int64_t Quot(int64_t a, int64_t b) { return int64_t(double(a) / double(b)); }

// base + trunc(d (x - x0) / m) for four consecutive x, advanced four at a time.
struct Lanes {
  __m128i q, r, dq4, dr4, mMinus1, m, sign, base;
  void Init(int32_t b, int64_t d, int64_t mm, int64_t off0) {
    const int64_t ad = d < 0 ? -d : d;
    // The first lane and the step of one pixel, each with one division; the other lanes
    // follow by adding.
    int64_t lq = Quot(off0 * ad, mm), lr = off0 * ad - lq * mm;
    const int64_t q1 = Quot(ad, mm), r1 = ad - q1 * mm;
    int32_t qs[4], rs[4];
    for (int k = 0; k < 4; ++k) {
      qs[k] = int32_t(lq), rs[k] = int32_t(lr);
      lq += q1, lr += r1;
      if (lr >= mm) lr -= mm, ++lq;
    }
    int64_t q4 = 4 * q1, r4 = 4 * r1;
    while (r4 >= mm) r4 -= mm, ++q4;
    // Built in registers: four stores read back as one load would stall.
    q = _mm_set_epi32(qs[3], qs[2], qs[1], qs[0]);
    r = _mm_set_epi32(rs[3], rs[2], rs[1], rs[0]);
    dq4 = _mm_set1_epi32(int32_t(q4));
    dr4 = _mm_set1_epi32(int32_t(r4));
    m = _mm_set1_epi32(int32_t(mm));
    mMinus1 = _mm_set1_epi32(int32_t(mm - 1));
    sign = _mm_set1_epi32(d < 0 ? -1 : 0);
    base = _mm_set1_epi32(b);
  }
  __m128i Value() const { return _mm_add_epi32(base, _mm_sub_epi32(_mm_xor_si128(q, sign), sign)); }
  void Next() {
    q = _mm_add_epi32(q, dq4);
    r = _mm_add_epi32(r, dr4);
    const __m128i carry = _mm_cmpgt_epi32(r, mMinus1);
    r = _mm_sub_epi32(r, _mm_and_si128(carry, m));
    q = _mm_sub_epi32(q, carry);
  }
};

}  // namespace

void SampleRowSse2(uint32_t* row, int32_t xa, int32_t xb, const Span& sp, const Source& src) {
  const int64_t m = int64_t(sp.x1) - sp.x0;
  const int64_t dx = int64_t(sp.s1x) - sp.s0x, dy = int64_t(sp.s1y) - sp.s0y;
  // Lanes hold quotients and remainders below 2^31 only for spans and steps of this size.
  constexpr int64_t kLane = int64_t(1) << 28;
  if (m >= kLane || dx >= kLane || -dx >= kLane || dy >= kLane || -dy >= kLane) {
    SampleRowScalar(row, xa, xb, sp, src);
    return;
  }
  Lanes lx, ly;
  lx.Init(sp.s0x, dx, m, int64_t(xa) - sp.x0);
  ly.Init(sp.s0y, dy, m, int64_t(xa) - sp.x0);
  const __m128i minus1 = _mm_set1_epi32(-1);
  const __m128i width = _mm_set1_epi32(src.width), height = _mm_set1_epi32(src.height);
  alignas(16) int32_t sx[4], sy[4], in[4];
  for (int32_t x = xa; x < xb; x += 4, lx.Next(), ly.Next()) {
    const __m128i vx = lx.Value(), vy = ly.Value();
    const __m128i inside = _mm_and_si128(_mm_and_si128(_mm_cmpgt_epi32(vx, minus1), _mm_cmpgt_epi32(width, vx)),
                                         _mm_and_si128(_mm_cmpgt_epi32(vy, minus1), _mm_cmpgt_epi32(height, vy)));
    _mm_store_si128(reinterpret_cast<__m128i*>(sx), vx);
    _mm_store_si128(reinterpret_cast<__m128i*>(sy), vy);
    _mm_store_si128(reinterpret_cast<__m128i*>(in), inside);
    const int c = xb - x < 4 ? xb - x : 4;
    if (src.pixelSize == 4) {
      for (int k = 0; k < c; ++k) {
        uint32_t v = 0;
        if (in[k]) std::memcpy(&v, src.pixels + size_t(sy[k]) * src.rowBytes + size_t(sx[k]) * 4, 4);
        row[x + k] = v;
      }
    } else {
      for (int k = 0; k < c; ++k) {
        uint16_t v = 0;
        if (in[k]) std::memcpy(&v, src.pixels + size_t(sy[k]) * src.rowBytes + size_t(sx[k]) * 2, 2);
        row[x + k] = in[k] ? src.maskColour | uint32_t(v >> 8) << 24 : 0;
      }
    }
  }
}

namespace {

// Four pixels: two registers of two.
struct Composer {
  __m128i opacity, word, zero;
  int mode;
  bool colourSource;
  __m128i Two(__m128i b2, __m128i p2) const {
    const __m128i a = _mm_srli_epi16(_mm_mullo_epi16(opacity, blend::SpreadAlpha(p2)), 7);
    const __m128i x = blend::Modes(b2, colourSource ? p2 : word, a, mode, colourSource);
    const __m128i alphaLanes = blend::AlphaLanes();
    return _mm_or_si128(_mm_andnot_si128(alphaLanes, x), _mm_and_si128(alphaLanes, b2));
  }
  __m128i Four(__m128i b4, __m128i p4) const {
    const __m128i lo = Two(_mm_unpacklo_epi8(b4, zero), _mm_unpacklo_epi8(p4, zero));
    const __m128i hi = Two(_mm_unpackhi_epi8(b4, zero), _mm_unpackhi_epi8(p4, zero));
    return _mm_packus_epi16(lo, hi);
  }
};

}  // namespace

void CompositeRowSse2(uint32_t* out, const uint32_t* back, const uint32_t* prev, int n, int mode,
                      uint32_t colourWord) {
  if (n < 1) return;
  Composer c;
  c.zero = _mm_setzero_si128();
  c.opacity = _mm_set1_epi16(int16_t(colourWord >> 24));
  c.word = _mm_unpacklo_epi8(_mm_set1_epi32(int32_t(colourWord & 0xFFFFFF)), c.zero);
  c.mode = mode & 7;
  c.colourSource = mode >= 8;
  int k = 0;
  for (; k + 4 <= n; k += 4) {
    const __m128i b4 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(back + k));
    const __m128i p4 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(prev + k));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), c.Four(b4, p4));
  }
  if (k < n) {
    alignas(16) uint32_t b[4] = {}, p[4] = {}, o[4];
    std::memcpy(b, back + k, size_t(n - k) * 4);
    std::memcpy(p, prev + k, size_t(n - k) * 4);
    _mm_store_si128(reinterpret_cast<__m128i*>(o), c.Four(_mm_load_si128(reinterpret_cast<const __m128i*>(b)),
                                                         _mm_load_si128(reinterpret_cast<const __m128i*>(p))));
    std::memcpy(out + k, o, size_t(n - k) * 4);
  }
}

}  // namespace preview
