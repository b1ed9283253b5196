// The preview's kernels as plain integer code: the definition the SSE2 versions follow.
#include <algorithm>
#include <cstring>

#include "PreviewKernels.h"

namespace preview {

void SampleRowScalar(uint32_t* row, int32_t xa, int32_t xb, const Span& sp, const Source& src) {
  const int64_t m = int64_t(sp.x1) - sp.x0;
  const int64_t dx = int64_t(sp.s1x) - sp.s0x, dy = int64_t(sp.s1y) - sp.s0y;
  for (int32_t x = xa; x < xb; ++x) {
    const int64_t sx = sp.s0x + ((x - int64_t(sp.x0)) * dx) / m;
    const int64_t sy = sp.s0y + ((x - int64_t(sp.x0)) * dy) / m;
    uint32_t v = 0;
    if (sx >= 0 && sx < src.width && sy >= 0 && sy < src.height) {
      const BYTE* at = src.pixels + size_t(sy) * src.rowBytes + size_t(sx) * size_t(src.pixelSize);
      if (src.pixelSize == 4) {
        std::memcpy(&v, at, 4);
      } else {
        uint16_t m16;
        std::memcpy(&m16, at, 2);
        v = src.maskColour | uint32_t(m16 >> 8) << 24;
      }
    }
    row[x] = v;
  }
}

void CompositeRowScalar(uint32_t* out, const uint32_t* back, const uint32_t* prev, int n, int mode,
                        uint32_t colourWord) {
  const int32_t opacity = int32_t(colourWord >> 24);
  const bool colourSource = mode >= 8;
  for (int k = 0; k < n; ++k) {
    const uint32_t b = back[k], p = prev[k];
    const int32_t a = (opacity * int32_t(p >> 24)) / 128;
    const uint32_t s = colourSource ? p : colourWord;
    uint32_t o = b & 0xFF000000u;
    for (int sh = 0; sh < 24; sh += 8) {
      const int32_t bc = int32_t((b >> sh) & 0xFF), sc = int32_t((s >> sh) & 0xFF);
      int32_t x;
      bool mix = true;
      switch (mode & 7) {
        case 0: x = sc; break;
        case 1: x = bc + (sc * (256 - bc)) / 256; break;
        case 2: x = ((sc + 1) * bc) / 256; break;
        case 3:
          if (colourSource) {
            x = std::min(255, sc + bc);
          } else {
            x = std::min(255, bc + (sc * a) / 256), mix = false;
          }
          break;
        case 4:
          if (colourSource) {
            x = std::max(0, sc + bc - 255);
          } else {
            x = std::max(0, bc + (sc * a + (256 - a) * 255) / 256 - 255), mix = false;
          }
          break;
        case 5: x = std::max(sc, bc); break;
        case 6: x = std::min(sc, bc); break;
        default: x = sc ^ bc; break;
      }
      if (mix) x = (x * a + bc * (256 - a)) / 256;
      o |= uint32_t(std::clamp(x, 0, 255)) << sh;
    }
    out[k] = o;
  }
}

}  // namespace preview
