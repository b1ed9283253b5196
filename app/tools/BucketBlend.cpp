#include "BucketBlend.h"

#include <algorithm>

namespace bucket {

void BlendRowC32(uint32_t* px, const uint16_t* cov, int n, uint32_t colour) {
  const uint32_t a = colour >> 24;
  // Full coverage of an opaque colour: the colour itself (w comes to 256).
  const uint32_t solid = colour | 0xFF000000u;
  for (int i = 0; i < n; ++i) {
    const uint32_t k = cov[i];
    if (k == 0) continue;
    if (k == 256 && a == 255) {
      px[i] = solid;
      continue;
    }
    const uint32_t p = px[i];
    const uint32_t q = (k * a) >> 8;
    const uint32_t alpha = ((((p >> 24) + 1) * (255 - q)) >> 8) + q;
    uint32_t w = (q * 256) / (alpha + 1);
    w += w >> 7;
    uint32_t out = std::min<uint32_t>(alpha, 255) << 24;
    for (int shift = 0; shift < 24; shift += 8) {
      const uint32_t d = (p >> shift) & 255u, s = (colour >> shift) & 255u;
      out |= std::min<uint32_t>((d * (256 - w) + s * w) >> 8, 255) << shift;
    }
    px[i] = out;
  }
}

void BlendRowA16(uint16_t* px, const uint16_t* cov, int n) {
  for (int i = 0; i < n; ++i) {
    const uint32_t k = cov[i];
    if (k == 0) continue;
    const uint32_t q = (k * 255) >> 8;
    const uint32_t h = px[i] >> 8;
    px[i] = uint16_t(std::min<uint32_t>((((h + 1) * (255 - q)) >> 8) + q, 255) << 8);
  }
}

}  // namespace bucket
