// Rectangle arithmetic and pixel mixes shared by the device context's sources (private to
// platform/gui).
#pragma once
#include <algorithm>
#include <cstdint>

#include "platform/base/Types.h"

namespace gui::dc {

constexpr uint32_t kAlpha = 0xFF000000u;

inline bool IsEmpty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

inline RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (IsEmpty(r)) r = RECT{0, 0, 0, 0};
  return r;
}

inline RECT Union(const RECT& a, const RECT& b) {
  if (IsEmpty(a)) return b;
  if (IsEmpty(b)) return a;
  return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
              std::max(a.bottom, b.bottom)};
}

inline RECT Normalised(int left, int top, int right, int bottom) {
  return RECT{std::min(left, right), std::min(top, bottom), std::max(left, right),
              std::max(top, bottom)};
}

inline RECT Offset(const RECT& r, POINT by) {
  return RECT{r.left + by.x, r.top + by.y, r.right + by.x, r.bottom + by.y};
}

inline uint32_t RgbFromColorref(COLORREF c) {
  return (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c);
}

// A pixel written whole (a copy or a fill): its alpha stays only on an image that keeps it.
inline uint32_t Stored(uint32_t argb, bool keepAlpha) { return keepAlpha ? argb : argb | kAlpha; }

// Straight-alpha source over: colour rgb at opacity sa (0..255) over dst. On an image that
// does not keep alpha dst counts as opaque and the result is opaque. Rounded to nearest.
inline uint32_t BlendOver(uint32_t dst, uint32_t rgb, uint32_t sa, bool keepAlpha) {
  if (sa == 0) return keepAlpha ? dst : dst | kAlpha;
  uint32_t da = keepAlpha ? dst >> 24 : 255;
  // Both weights times 255: the source's sa * 255, what shows of dst da * (255 - sa).
  uint32_t ws = sa * 255, wd = da * (255 - sa), den = ws + wd;
  uint32_t out = ((den + 127) / 255) << 24;
  for (int shift = 0; shift <= 16; shift += 8) {
    uint32_t s = (rgb >> shift) & 0xFF, d = (dst >> shift) & 0xFF;
    out |= ((s * ws + d * wd + den / 2) / den) << shift;
  }
  return out;
}

}  // namespace gui::dc
