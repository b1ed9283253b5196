// The layer merge one pixel at a time: the reference the SSE2 kernels must match.
#include "MergeKernels.h"

namespace merge {

uint32_t MergePixel(uint32_t dest, uint32_t colour, uint32_t a) {
  if (a == 0) return dest;
  const uint32_t t = ((256 - a) * (dest >> 24)) >> 8;
  const uint32_t alpha = a + t;
  const uint32_t w = (t * 256) / (alpha + 1);
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t d = (dest >> shift) & 255, c = (colour >> shift) & 255;
    const uint32_t v = (d * w + c * (256 - w)) >> 8;
    out |= (v > 255 ? 255 : v) << shift;
  }
  return out | (alpha > 255 ? 255 : alpha) << 24;
}

void MergeRowC32Scalar(uint32_t* dest, const uint32_t* src, size_t n, uint32_t opacity) {
  for (size_t i = 0; i < n; ++i) dest[i] = MergePixel(dest[i], src[i], ((src[i] >> 24) * (opacity + 1)) >> 8);
}

void MergeRowA16Scalar(uint32_t* dest, const uint16_t* src, size_t n, uint32_t colour) {
  const uint32_t opacity = colour >> 24;
  for (size_t i = 0; i < n; ++i) dest[i] = MergePixel(dest[i], colour, (opacity * ((src[i] >> 8) + 1u)) >> 8);
}

void MaskRowScalar(uint32_t* dest, const uint16_t* mask, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const uint32_t alpha = ((dest[i] >> 24) * ((mask[i] >> 8) + 1u)) >> 8;
    dest[i] = (dest[i] & 0x00FFFFFFu) | alpha << 24;
  }
}

}  // namespace merge
