// The glass merge, one pixel at a time: the reference the SSE2 kernels must match.
#include "GlassKernels.h"

namespace glass {
namespace {

int Clamp255(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

int Blend(int d, int s, int f, int mode) {
  int x;
  switch (mode) {
    case 1:
      x = d + ((s * (256 - d)) >> 8);
      break;
    case 2:
      x = (d * (s + 1)) >> 8;
      break;
    case 3:
      return Clamp255(d + ((s * f) >> 8));
    case 4:
      return Clamp255(d + ((s * f + (256 - f) * 255) >> 8) - 255);
    case 5:
      x = d > s ? d : s;
      break;
    case 6:
      x = d < s ? d : s;
      break;
    default:
      x = d ^ s;
      break;
  }
  return Clamp255((d * (256 - f) + f * x) >> 8);
}

}  // namespace

uint32_t MergePixelC32(uint32_t dest, uint16_t v, const Params& p) {
  int a = int((p.opacity * uint32_t(v >> 8)) >> 8);
  int da = int(dest >> 24);
  uint32_t out = 0;
  if (p.mode == 0) {
    int alpha = a + (((da + 1) * (255 - a)) >> 8);
    int w = (a * 256) / (alpha + 1);
    w += w / 128;
    for (int shift = 0; shift < 24; shift += 8) {
      int d = int(dest >> shift) & 255, s = int(p.color >> shift) & 255;
      out |= uint32_t(Clamp255((d * (256 - w) + s * w) >> 8)) << shift;
    }
    return out | uint32_t(Clamp255(alpha)) << 24;
  }
  for (int shift = 0; shift < 24; shift += 8) {
    int d = int(dest >> shift) & 255, s = int(p.color >> shift) & 255;
    out |= uint32_t(Blend(d, s, a, p.mode)) << shift;
  }
  return out | (dest & 0xFF000000u);
}

uint16_t MergeValueA16(uint16_t dest, uint16_t v, uint32_t opacity) {
  int a = int((opacity * uint32_t(v >> 8)) >> 8);
  // Without coverage the value stays as it is, low byte included.
  if (a == 0) return dest;
  int d = dest >> 8;
  return uint16_t((a + (((256 - a) * d) >> 8)) << 8);
}

void MergeRowC32Scalar(uint32_t* dest, const uint16_t* glass, size_t n, const Params& p) {
  for (size_t i = 0; i < n; ++i) dest[i] = MergePixelC32(dest[i], glass[i], p);
}

void MergeRowA16Scalar(uint16_t* dest, const uint16_t* glass, size_t n, uint32_t opacity) {
  for (size_t i = 0; i < n; ++i) dest[i] = MergeValueA16(dest[i], glass[i], opacity);
}

}  // namespace glass
