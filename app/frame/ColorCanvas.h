// A small ARGB canvas for the colour popups: smooth discs, rings, rounded boxes and colour
// fields, each pixel's colour either one colour or a function of its place. Figures are
// given by their signed distance (negative inside): a pixel is covered by how far its
// centre lies inside, over one pixel, so edges come out anti-aliased. Pixels are straight
// (not premultiplied) 0xAARRGGBB, blended source over. No Qt in here.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/base/Types.h"

namespace gui {
class DeviceContext;
}

class CColorCanvas {
 public:
  // A signed distance at a point (pixel centres lie at x + 0.5, y + 0.5).
  using Distance = std::function<float(float x, float y)>;
  // The 0xAARRGGBB paint of the pixel at (x, y).
  using Paint = std::function<uint32_t(int x, int y)>;

  CColorCanvas(int width, int height, uint32_t argb = 0);
  int Width() const { return m_width; }
  int Height() const { return m_height; }
  const uint32_t* Bits() const { return m_pixels.data(); }
  uint32_t Pixel(int x, int y) const { return m_pixels[size_t(y) * size_t(m_width) + size_t(x)]; }

  void Clear(uint32_t argb);
  // Blends argb over the pixel, its alpha scaled by cover (0..1); nothing outside.
  void Blend(int x, int y, uint32_t argb, float cover);
  // Fills the figure within the box (left, top, right, bottom exclusive).
  void Fill(const RECT& box, const Distance& distance, const Paint& paint);
  void Fill(const RECT& box, const Distance& distance, uint32_t argb);

  void FillCircle(float cx, float cy, float r, uint32_t argb);
  // A line of the given width along the circle.
  void StrokeCircle(float cx, float cy, float r, float width, uint32_t argb);
  void FillRoundRect(const RECT& rc, float radius, uint32_t argb);
  void StrokeRoundRect(const RECT& rc, float radius, float width, uint32_t argb);
  // A round mark for a chosen colour: the colour inside a light line with a thin shade
  // around it, so that it reads on any colour beneath.
  void DrawMark(float cx, float cy, float r, COLORREF rgb);
  // Every pixel of rc takes the paint, unblended (colour fields with square edges).
  void PutRect(const RECT& rc, const Paint& paint);

  // Copies the canvas to (x, y) of the device context, alpha and all.
  void CopyTo(gui::DeviceContext& dc, int x, int y) const;

  // Signed distances of the figures, for Fill.
  static float CircleDistance(float x, float y, float cx, float cy, float r);
  static float RoundRectDistance(float x, float y, const RECT& rc, float radius);

 private:
  RECT Clip(const RECT& box) const;

  int m_width;
  int m_height;
  std::vector<uint32_t> m_pixels;
};

// 0xAARRGGBB of a 0x00RRGGBB colour.
constexpr uint32_t Opaque(COLORREF rgb, uint32_t alpha = 0xFF) { return (alpha << 24) | (rgb & 0xFFFFFF); }
// Whether dark marks read better than light ones on the colour.
bool IsLightColor(COLORREF rgb);
// "#RRGGBB" of a 0x00RRGGBB colour.
std::u16string HexText(COLORREF rgb);
