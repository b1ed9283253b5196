// The device context's block transfers: between images by raster operation, and from 32-bit
// buffers by copy, nearest-neighbour scaling and source-over blending.
#include <algorithm>
#include <cstring>

#include "Dc.h"
#include "DcPixels.h"

namespace gui {

using namespace dc;

namespace {

// The RGB of a mixing raster operation.
uint32_t RopRgb(DWORD rop, uint32_t s, uint32_t d) {
  switch (rop) {
    case SRCPAINT: return (s | d) & 0xFFFFFF;
    case SRCAND: return s & d & 0xFFFFFF;
    case SRCINVERT: return (s ^ d) & 0xFFFFFF;
    default: return ~d & 0xFFFFFF;  // DSTINVERT
  }
}

}  // namespace

void DeviceContext::BitBlt(int x, int y, int w, int h, const ScreenImage& src, int sx, int sy) {
  if (!m_pImage) return;
  POINT d = Dev(x, y);
  Blit(d.x, d.y, w, h, &src, sx, sy, SRCCOPY);
}

void DeviceContext::BitBlt(int x, int y, int w, int h, const DeviceContext& src, int sx, int sy,
                           DWORD rop) {
  if (!m_pImage) return;
  bool readsSource = rop != DSTINVERT && rop != BLACKNESS && rop != WHITENESS;
  if (readsSource && !src.m_pImage) return;
  POINT d = Dev(x, y), s = src.Dev(sx, sy);
  Blit(d.x, d.y, w, h, readsSource ? src.m_pImage : nullptr, s.x, s.y, rop);
}

void DeviceContext::Blit(int x, int y, int w, int h, const ScreenImage* src, int sx, int sy,
                         DWORD rop) {
  if (w <= 0 || h <= 0) return;
  if (src ? rop != SRCCOPY && rop != SRCPAINT && rop != SRCAND && rop != SRCINVERT
          : rop != DSTINVERT && rop != BLACKNESS && rop != WHITENESS)
    return;
  RECT r;
  {
    GAutoLock lock(m_pImage->GetLock());
    GAutoLock lockSrc(src ? src->GetLock() : nullptr);
    // Clip the destination, then the source, moving both together.
    r = Intersect(RECT{x, y, x + w, y + h}, ClipRect());
    if (src) {
      RECT s = Intersect(Offset(r, POINT{sx - x, sy - y}), RECT{0, 0, src->Width(), src->Height()});
      r = Offset(s, POINT{x - sx, y - sy});
    }
    if (IsEmpty(r)) return;
    int rows = r.bottom - r.top, cols = r.right - r.left;
    bool keep = m_pImage->KeepsAlpha();
    size_t pitch = size_t(m_pImage->Pitch());
    auto dstRow = [&](int i) { return m_pImage->Bits() + size_t(r.top + i) * pitch + size_t(r.left); };
    if (!src) {
      for (int i = 0; i < rows; ++i) {
        uint32_t* to = dstRow(i);
        if (rop == DSTINVERT) {
          for (int k = 0; k < cols; ++k) to[k] ^= 0xFFFFFF;
        } else {
          std::fill(to, to + cols, rop == WHITENESS ? 0xFFFFFFFFu : kAlpha);
        }
      }
    } else {
      size_t srcPitch = size_t(src->Pitch());
      LONG srcLeft = r.left - x + sx, srcTop = r.top - y + sy;
      auto srcRow = [&](int i) { return src->Bits() + size_t(srcTop + i) * srcPitch + size_t(srcLeft); };
      bool same = src == m_pImage;
      if (rop == SRCCOPY) {
        bool upwards = same && srcTop < r.top;  // overlapping copy downwards: last row first
        for (int i = 0; i < rows; ++i) {
          int row = upwards ? rows - 1 - i : i;
          uint32_t* to = dstRow(row);
          std::memmove(to, srcRow(row), size_t(cols) * 4);
          if (!keep)
            for (int k = 0; k < cols; ++k) to[k] |= kAlpha;
        }
      } else {
        // A mix within one image reads a copy of the source, so that overlap cannot feed back.
        std::vector<uint32_t> copy;
        if (same) {
          copy.resize(size_t(rows) * size_t(cols));
          for (int i = 0; i < rows; ++i)
            std::memcpy(&copy[size_t(i) * size_t(cols)], srcRow(i), size_t(cols) * 4);
        }
        for (int i = 0; i < rows; ++i) {
          const uint32_t* from = same ? &copy[size_t(i) * size_t(cols)] : srcRow(i);
          uint32_t* to = dstRow(i);
          for (int k = 0; k < cols; ++k) to[k] = (to[k] & kAlpha) | RopRgb(rop, from[k], to[k]);
        }
      }
    }
  }
  m_pImage->MarkDirty(r);
}

void DeviceContext::PutPixels(int x, int y, int w, int h, const uint32_t* pixels, int width,
                              int height, int pitch, bool bottomUp, int sx, int sy, int kind,
                              int opacity) {
  if (!m_pImage || !pixels || w <= 0 || h <= 0 || width <= 0 || height <= 0) return;
  POINT d = Dev(x, y);
  RECT r;
  {
    GAutoLock lock(m_pImage->GetLock());
    r = Intersect(RECT{d.x, d.y, d.x + w, d.y + h}, ClipRect());
    RECT s = Intersect(Offset(r, POINT{sx - d.x, sy - d.y}), RECT{0, 0, width, height});
    r = Offset(s, POINT{d.x - sx, d.y - sy});
    if (IsEmpty(r)) return;
    bool keep = m_pImage->KeepsAlpha();
    int cols = r.right - r.left;
    uint32_t scale = uint32_t(std::clamp(opacity, 0, 255));
    for (LONG row = s.top; row < s.bottom; ++row) {
      const uint32_t* from = pixels + ptrdiff_t(bottomUp ? height - 1 - row : row) * ptrdiff_t(pitch) + s.left;
      uint32_t* to = m_pImage->Bits() + size_t(row - s.top + r.top) * size_t(m_pImage->Pitch()) + size_t(r.left);
      if (kind == 0) {
        if (keep) {
          std::memcpy(to, from, size_t(cols) * 4);
        } else {
          for (int k = 0; k < cols; ++k) to[k] = from[k] | kAlpha;
        }
      } else {
        for (int k = 0; k < cols; ++k) {
          uint32_t sa = ((from[k] >> 24) * scale + 127) / 255;
          to[k] = BlendOver(to[k], from[k], sa, keep);
        }
      }
    }
  }
  m_pImage->MarkDirty(r);
}

void DeviceContext::SetDIBitsToDevice(int x, int y, int w, int h, const uint32_t* pixels,
                                      int width, int height, int pitch, bool bottomUp, int sx,
                                      int sy) {
  PutPixels(x, y, w, h, pixels, width, height, pitch, bottomUp, sx, sy, 0, 255);
}

void DeviceContext::AlphaBlendPixels(int x, int y, int w, int h, const uint32_t* pixels,
                                     int width, int height, int pitch, bool bottomUp, int sx,
                                     int sy, int opacity) {
  PutPixels(x, y, w, h, pixels, width, height, pitch, bottomUp, sx, sy, 1, opacity);
}

void DeviceContext::StretchDIBits(const RECT& dst, const uint32_t* pixels, int width, int height,
                                  int pitch, bool bottomUp, const RECT& src) {
  if (!m_pImage || !pixels || width <= 0 || height <= 0 || IsEmpty(dst) || IsEmpty(src)) return;
  RECT d = Offset(dst, m_org);
  int64_t dw = int64_t(d.right) - d.left, dh = int64_t(d.bottom) - d.top;
  int64_t sw = int64_t(src.right) - src.left, sh = int64_t(src.bottom) - src.top;
  RECT r;
  {
    GAutoLock lock(m_pImage->GetLock());
    r = Intersect(d, ClipRect());
    if (IsEmpty(r)) return;
    bool keep = m_pImage->KeepsAlpha();
    // The source column of each visible destination column (-1: outside the buffer).
    std::vector<int> column(size_t(r.right - r.left));
    for (LONG x = r.left; x < r.right; ++x) {
      int64_t c = src.left + (2 * (x - d.left) + 1) * sw / (2 * dw);
      column[size_t(x - r.left)] = c >= 0 && c < width ? int(c) : -1;
    }
    for (LONG y = r.top; y < r.bottom; ++y) {
      int64_t row = src.top + (2 * (y - d.top) + 1) * sh / (2 * dh);
      if (row < 0 || row >= height) continue;
      const uint32_t* from = pixels + ptrdiff_t(bottomUp ? height - 1 - row : row) * ptrdiff_t(pitch);
      uint32_t* to = m_pImage->Bits() + size_t(y) * size_t(m_pImage->Pitch()) + size_t(r.left);
      for (size_t k = 0; k < column.size(); ++k)
        if (column[k] >= 0) to[k] = Stored(from[column[k]], keep);
    }
  }
  m_pImage->MarkDirty(r);
}

}  // namespace gui
