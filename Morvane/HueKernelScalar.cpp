// Hue and saturation, one pixel at a time: the reference the SSE2 kernel matches.
#include <algorithm>

#include "HueKernels.h"

namespace hue {

void BuildRing(RingEntry ring[kRingSize]) {
  for (int i = 0; i < 256; ++i) {
    const int16_t up = int16_t(i - 128), down = int16_t(127 - i);  // n - 128 with n = 255 - i
    ring[i] = {up, -128, 127, 0};
    ring[256 + i] = {127, -128, down, 0};
    ring[512 + i] = {127, up, -128, 0};
    ring[768 + i] = {down, 127, -128, 0};
    ring[1024 + i] = {-128, 127, up, 0};
    ring[1280 + i] = {-128, down, 127, 0};
  }
}

namespace {

// The sector of a non-grey pixel and the middle channel's distance from its start. A tie
// of the middle channel with one of the others puts the pixel at the start of the sector
// where that distance is 0, so the hue stays continuous around the ring.
void Sector(int r, int g, int b, int& sector, int& distance) {
  if (b > r && r >= g) {
    sector = 0, distance = r - g;  // red rising
  } else if (r >= b && b > g) {
    sector = 1, distance = r - b;  // blue falling
  } else if (r > g && g >= b) {
    sector = 2, distance = g - b;  // green rising
  } else if (g >= r && r > b) {
    sector = 3, distance = g - r;  // red falling
  } else if (g > b && b >= r) {
    sector = 4, distance = b - r;  // blue rising
  } else {
    sector = 5, distance = b - g;  // green falling: b >= g > r
  }
}

inline int Channel(int v, int saturation, int lightness) {
  const int x = saturation * v / 510 + 128;
  return lightness <= 254 ? lightness * x / 254 : x + (255 - x) * (lightness - 255) / 255;
}

}  // namespace

uint32_t Pixel(uint32_t p, const Params& params) {
  const int b = int(p & 255), g = int((p >> 8) & 255), r = int((p >> 16) & 255);
  const int mx = std::max({r, g, b}), mn = std::min({r, g, b});
  const int lightness = mx + mn, d = mx - mn;
  int saturation = 0, h = 0;
  if (d > 0) {
    const int full = lightness < 255 ? 2 * 255 * d / lightness : 2 * 255 * d / (510 - lightness);
    int sector, distance;
    Sector(r, g, b, sector, distance);
    h = sector * 256 + 255 * distance / d;
    const int s = params.s;
    saturation = s < 0 ? ((s + 256) * full) >> 8 : full + (((510 - full) * s) >> 8);
  }
  const RingEntry& e = params.ring[(params.shift + kRingSize + h) % kRingSize];
  return (p & 0xFF000000u) | uint32_t(Channel(e.r, saturation, lightness)) << 16 |
         uint32_t(Channel(e.g, saturation, lightness)) << 8 | uint32_t(Channel(e.b, saturation, lightness));
}

void RowScalar(uint32_t* dest, const uint32_t* src, size_t n, const Params& params) {
  for (size_t i = 0; i < n; ++i) dest[i] = Pixel(src[i], params);
}

}  // namespace hue
