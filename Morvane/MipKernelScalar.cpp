// The reference 2 x 2 reduction (the rule is in MipKernels.h).
#include "MipKernels.h"

namespace mip {

uint32_t ReducePixelC32(uint32_t p00, uint32_t p01, uint32_t p10, uint32_t p11) {
  const uint32_t px[4] = {p00, p01, p10, p11};
  uint32_t s = 0, n0 = 0, n1 = 0, n2 = 0;
  for (uint32_t p : px) {
    uint32_t a = p >> 24;
    s += a;
    n0 += a * (p & 0xFF);
    n1 += a * ((p >> 8) & 0xFF);
    n2 += a * ((p >> 16) & 0xFF);
  }
  if (s == 0) return 0;
  uint32_t half = s / 2;
  uint32_t c0 = (n0 + half) / s, c1 = (n1 + half) / s, c2 = (n2 + half) / s;
  return c0 | (c1 << 8) | (c2 << 16) | (((s + 2) >> 2) << 24);
}

uint16_t ReducePixelA16(uint16_t p00, uint16_t p01, uint16_t p10, uint16_t p11) {
  return uint16_t((uint32_t(p00) + p01 + p10 + p11 + 2) >> 2);
}

void ReduceRowC32Scalar(uint32_t* dst, const uint32_t* src0, const uint32_t* src1, size_t n) {
  for (size_t i = 0; i < n; ++i) dst[i] = ReducePixelC32(src0[2 * i], src0[2 * i + 1], src1[2 * i], src1[2 * i + 1]);
}

void ReduceRowA16Scalar(uint16_t* dst, const uint16_t* src0, const uint16_t* src1, size_t n) {
  for (size_t i = 0; i < n; ++i) dst[i] = ReducePixelA16(src0[2 * i], src0[2 * i + 1], src1[2 * i], src1[2 * i + 1]);
}

}  // namespace mip
