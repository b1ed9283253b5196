// The renderer's kernels as plain integer code: the definition the SSE2 versions follow.
#include <algorithm>
#include <cstring>

#include "DistortKernels.h"

namespace distort {
namespace {

// The colour of a side at step i: u and v weigh the two samples by their alpha.
void MixSide(const Texel& p, const Texel& q, int64_t i, int64_t count, int64_t c[3], int64_t& d) {
  const int64_t u = ((count - i + 1) * p.a) / count, v = (i * q.a) / count;
  d = u + v;
  if (d > 0) {
    c[0] = (u * p.b + v * q.b) / d;
    c[1] = (u * p.g + v * q.g) / d;
    c[2] = (u * p.r + v * q.r) / d;
  } else {
    c[0] = p.b, c[1] = p.g, c[2] = p.r;
  }
}

uint32_t Channel(uint32_t px, int sh) { return (px >> sh) & 0xFF; }

}  // namespace

void SplatStripScalar(const Strip& s, AccEntry* tile) {
  const int64_t count = s.count, end = s.end, half = s.vPer / 2;
  int64_t cu[3] = {}, cl[3] = {}, du = 0, dl = 0;
  for (int64_t i = 0; i < count; ++i) {
    if (i % s.hPer == 0) {
      MixSide(s.P, s.Q, i, count, cu, du);
      MixSide(s.P2, s.Q2, i, count, cl, dl);
    }
    const int64_t ux = s.ux0 + (s.ux1 - s.ux0) * i / count, uy = s.uy0 + (s.uy1 - s.uy0) * i / count;
    const int64_t lx = s.lx0 + (s.lx1 - s.lx0) * i / count, ly = s.ly0 + (s.ly1 - s.ly0) * i / count;
    const int64_t dx = lx - ux, dy = ly - uy;
    int64_t cm[3] = {}, t = 0;
    for (int64_t j = i & 1; j < end; j += 2) {
      if ((j / 2) % half == 0) {
        const int64_t gu = ((end - j + 1) * du) / end, gl = (dl * j) / end;
        t = gu + gl;
        if (t > 0) {
          for (int c = 0; c < 3; ++c) cm[c] = (cu[c] * gu + cl[c] * gl) / t;
        } else {
          for (int c = 0; c < 3; ++c) cm[c] = cu[c];
          t = 0;
        }
      }
      const int64_t px = ux + dx * j / end, py = uy + dy * j / end;
      if (px < 0 || px >= kTileFix || py < 0 || py >= s.rowsFix) continue;
      AccEntry& e = tile[(py >> 7) * kTile + (px >> 7)];
      const uint64_t w = uint64_t(t + 15) / 16;
      e.b += uint64_t(cm[0]) * w;
      e.g += uint64_t(cm[1]) * w;
      e.r += uint64_t(cm[2]) * w;
      e.t += uint64_t(t);
      e.w += w;
      e.n += 1;
    }
  }
}

void FetchRowScalar(const BYTE* px, int pixelSize, int n, Texel* out) {
  for (int k = 0; k < n; ++k, px += pixelSize)
    out[k] = pixelSize == 4 ? Texel{px[0], px[1], px[2], px[3]} : Texel{0, 0, 0, px[1]};
}

void CoverRunScalar(uint32_t* row, int32_t x0, int32_t x1) {
  for (int32_t x = x0; x < x1; ++x) row[x >> 4] += 1;
}

void ComposeRowScalar(BYTE* dest, const AccEntry* acc, const uint32_t* cover, int n, const ComposeParams& p) {
  for (int k = 0; k < n; ++k) {
    const AccEntry& e = acc[k];
    if (e.n == 0 || e.w == 0) continue;
    const uint64_t level = std::min<uint64_t>(255, ((e.t / e.n) * cover[k]) / 256);
    const uint32_t a = uint32_t(level) * p.opacity / 128;
    if (p.destPixelSize == 2) {
      uint16_t v;
      std::memcpy(&v, dest + 2 * k, 2);
      const uint32_t hi = std::min<uint32_t>(255, a + ((v >> 8) * (256 - a)) / 256);
      v = uint16_t(hi << 8);
      std::memcpy(dest + 2 * k, &v, 2);
      continue;
    }
    uint32_t s[3];  // blue, green, red
    if (p.colourSource) {
      s[0] = uint32_t(e.b / e.w), s[1] = uint32_t(e.g / e.w), s[2] = uint32_t(e.r / e.w);
    } else {
      s[0] = Channel(p.colourPx, 0), s[1] = Channel(p.colourPx, 8), s[2] = Channel(p.colourPx, 16);
    }
    uint32_t d;
    std::memcpy(&d, dest + 4 * k, 4);
    const uint32_t na = d >> 24;
    uint32_t out = d & 0xFF000000u;
    if (p.mode == 0) {
      const uint32_t g = ((256 - a) * na) / 256;
      const uint32_t r = (g * 256) / (a + g + 1);
      out = std::min<uint32_t>(255, a + g) << 24;
      for (int c = 0; c < 3; ++c) {
        const uint32_t nc = Channel(d, 8 * c);
        out |= std::min<uint32_t>(255, (nc * r + s[c] * (256 - r)) / 256) << (8 * c);
      }
    } else {
      for (int c = 0; c < 3; ++c) {
        const int32_t nc = int32_t(Channel(d, 8 * c)), sc = int32_t(s[c]), ia = int32_t(a);
        int32_t x = 0;
        bool mix = true;
        switch (p.mode) {
          case 1: x = nc + (sc * (256 - nc)) / 256; break;
          case 2: x = (nc * (sc + 1)) / 256; break;
          case 3:
            if (p.colourSource) {
              x = std::min(255, nc + sc);
            } else {
              x = std::min(255, nc + (sc * ia) / 256), mix = false;
            }
            break;
          case 4:
            if (p.colourSource) {
              x = std::max(0, nc + sc - 255);
            } else {
              x = std::max(0, nc + (sc * ia + (256 - ia) * 255) / 256 - 255), mix = false;
            }
            break;
          case 5: x = std::max(nc, sc); break;
          case 6: x = std::min(nc, sc); break;
          default: x = nc ^ sc; break;
        }
        if (mix) x = (nc * (256 - ia) + x * ia) / 256;
        out |= uint32_t(std::clamp(x, 0, 255)) << (8 * c);
      }
    }
    std::memcpy(dest + 4 * k, &out, 4);
  }
}

}  // namespace distort
