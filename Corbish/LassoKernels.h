// Sampling and compositing of the quadrilateral mapping. Positions are 24.8 fixed point
// relative to the source's top-left pixel corner. The scalar functions are the definition;
// the SSE2 ones are what the mapping runs and give the same bits.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/base/Types.h"

namespace lasso {

struct Source {
  const BYTE* pixels;  // first row, rows top-down
  size_t rowBytes;
  int32_t width;
  int32_t height;
};

// The 16 sub-sample offsets (24.8) of the supersampled kernels, and the same offsets with
// equal ones merged and counted: the sums are linear, so a merged offset is filtered once
// and weighted by its count. An affine map that does not shrink gives one group of 16.
struct Footprint {
  int32_t dx[16];
  int32_t dy[16];
  int groups;
  int32_t gdx[16];
  int32_t gdy[16];
  uint32_t count[16];
};
// Fills the groups from dx and dy.
void GroupFootprint(Footprint& fp);

// Nearest: the source pixel (X >> 8, Y >> 8), or 0 outside the source.
void SampleNearestC32(const Source& src, const int32_t* X, const int32_t* Y, int n, uint32_t* out);
void SampleNearestA16(const Source& src, const int32_t* X, const int32_t* Y, int n, uint16_t* out);

// Supersampled: 16 bilinear sub-samples of 4 taps each (a tap outside reads 0).
// Colour: alpha-weighted channels, out = (SA >> 20) << 24 | (R, G, B = S? / SA), or 0 when
// SA is 0 (a sample of alpha 0 leaves the destination unchanged, as 0 does).
// Mask: out = ((sum of w * (tap >> 8)) >> 20) << 8.
void SampleSuperC32Scalar(const Source& src, const Footprint& fp, const int32_t* X, const int32_t* Y, int n,
                          uint32_t* out);
void SampleSuperA16Scalar(const Source& src, const Footprint& fp, const int32_t* X, const int32_t* Y, int n,
                          uint16_t* out);
void SampleSuperC32Sse2(const Source& src, const Footprint& fp, const int32_t* X, const int32_t* Y, int n,
                        uint32_t* out);
void SampleSuperA16Sse2(const Source& src, const Footprint& fp, const int32_t* X, const int32_t* Y, int n,
                        uint16_t* out);

// dst[i] = sample src[i] composited over dst[i]; for masks the larger of the two.
void CompositeRowScalar(uint32_t* dst, const uint32_t* src, int n);
void CompositeRowSse2(uint32_t* dst, const uint32_t* src, int n);
void MaxRowScalar(uint16_t* dst, const uint16_t* src, int n);
void MaxRowSse2(uint16_t* dst, const uint16_t* src, int n);

// Composite over, the rule itself: k = ((256 - Sa) * Da) >> 8, a = Sa + k; a of 0 leaves D;
// else g = k * 256 / a and each colour channel becomes (D * g + S * (256 - g)) >> 8, alpha a.
inline uint32_t CompositeOver(uint32_t s, uint32_t d) {
  const uint32_t sa = s >> 24, da = d >> 24;
  const uint32_t k = ((256 - sa) * da) >> 8;
  const uint32_t a = sa + k;
  if (a == 0) return d;
  const uint32_t g = (k * 256) / a;
  uint32_t out = a << 24;
  for (int sh = 0; sh < 24; sh += 8) {
    const uint32_t dc = (d >> sh) & 0xFF, sc = (s >> sh) & 0xFF;
    out |= ((dc * g + sc * (256 - g)) >> 8) << sh;
  }
  return out;
}

}  // namespace lasso

namespace lasso {

// The k-th of evenly spread positions base + (d * k) / m (64-bit product, division
// truncating towards zero) for k = 0, 1, ..., stepped without a division per position.
class Stepper {
 public:
  Stepper(int64_t base, int64_t d, int64_t m)
      : m_base(base), m_neg(d < 0), m_dq((d < 0 ? -d : d) / m), m_dr((d < 0 ? -d : d) % m), m_m(m) {}
  int64_t Next() {
    const int64_t v = m_base + (m_neg ? -m_q : m_q);
    m_q += m_dq;
    m_r += m_dr;
    if (m_r >= m_m) {
      m_r -= m_m;
      ++m_q;
    }
    return v;
  }

 private:
  int64_t m_base;
  bool m_neg;
  int64_t m_dq, m_dr, m_m;
  int64_t m_q = 0, m_r = 0;
};

}  // namespace lasso
