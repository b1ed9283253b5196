// Content as a painting has it, for the benchmarks of saving and loading: an opaque gradient
// with a little noise, under soft-edged discs of flat colour. Flat or random surfaces
// compress far better or far worse than work people save.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "odata/OLayer.h"

namespace bench_content {

struct Rng {
  uint64_t x;
  uint32_t Next() {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    return uint32_t(x >> 16);
  }
};

// Channel c (0..3) of a C32 pixel, or the one value of an A16 pixel, at v (0..255). A mask's
// coverage is its high byte; the low byte is saved as zero, so it is painted zero.
inline void Put(BYTE* px, int format, int c, int v) {
  v = std::clamp(v, 0, 255);
  if (format == OLayer::myFORMAT_A16) {
    if (c == 0) reinterpret_cast<uint16_t*>(px)[0] = uint16_t(v << 8);
  } else {
    px[c] = BYTE(v);
  }
}

inline int Get(const BYTE* px, int format, int c) {
  return format == OLayer::myFORMAT_A16 ? reinterpret_cast<const uint16_t*>(px)[0] >> 8 : px[c];
}

// Paints the layer's primary surface; the same seed paints the same picture.
inline void Paint(OLayer* layer, uint64_t seed) {
  LayerLock lock;
  lock.Lock(layer, 0);
  const int w = lock.nWidth, h = lock.nHeight;
  const int format = layer->GetFormat();
  const int size = format == OLayer::myFORMAT_A16 ? 2 : 4;
  Rng rng{0x9E3779B97F4A7C15ull ^ (seed * 0x2545F4914F6CDD1Dull + 1)};
  for (int y = 0; y < h; ++y) {
    BYTE* row = lock.Row(y);
    for (int x = 0; x < w; ++x) {
      const uint32_t n = rng.Next();
      BYTE* px = row + size_t(x) * size;
      Put(px, format, 0, 40 + 160 * x / w + int(n & 7) - 3);
      Put(px, format, 1, 200 - 150 * y / h + int(n >> 3 & 7) - 3);
      Put(px, format, 2, 60 + 120 * (x + y) / (w + h) + int(n >> 6 & 7) - 3);
      Put(px, format, 3, 255);
    }
  }
  // Discs of 2 to 12 % of the side, their edge a ramp of a quarter of the radius.
  for (int d = 0; d < 24; ++d) {
    const float cx = float(rng.Next() % uint32_t(w)), cy = float(rng.Next() % uint32_t(h));
    const float r = float(std::min(w, h)) * (0.02f + 0.10f * float(rng.Next() % 1000) / 1000.0f);
    const float edge = std::max(1.0f, r / 4);
    const int colour[3] = {int(rng.Next() & 255), int(rng.Next() & 255), int(rng.Next() & 255)};
    const int y0 = std::max(0, int(cy - r)), y1 = std::min(h - 1, int(cy + r));
    const int x0 = std::max(0, int(cx - r)), x1 = std::min(w - 1, int(cx + r));
    for (int y = y0; y <= y1; ++y) {
      BYTE* row = lock.Row(y);
      for (int x = x0; x <= x1; ++x) {
        const float dist = std::hypot(float(x) - cx, float(y) - cy);
        const float a = std::clamp((r - dist) / edge, 0.0f, 1.0f);
        if (a <= 0) continue;
        BYTE* px = row + size_t(x) * size;
        for (int c = 0; c < 3; ++c) {
          const int old = Get(px, format, c);
          Put(px, format, c, old + int(std::lround(a * float(colour[c] - old))));
        }
      }
    }
  }
  lock.Unlock();
  layer->MipRefresh(nullptr);
}

}  // namespace bench_content
