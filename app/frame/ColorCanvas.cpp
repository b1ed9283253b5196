#include "ColorCanvas.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/gui/Dc.h"

CColorCanvas::CColorCanvas(int width, int height, uint32_t argb)
    : m_width(std::max(width, 0)), m_height(std::max(height, 0)), m_pixels(size_t(m_width) * size_t(m_height), argb) {}

void CColorCanvas::Clear(uint32_t argb) { std::fill(m_pixels.begin(), m_pixels.end(), argb); }

void CColorCanvas::Blend(int x, int y, uint32_t argb, float cover) {
  if (x < 0 || y < 0 || x >= m_width || y >= m_height) return;
  const float sa = float(argb >> 24) / 255.0f * std::clamp(cover, 0.0f, 1.0f);
  if (sa <= 0.0f) return;
  uint32_t& d = m_pixels[size_t(y) * size_t(m_width) + size_t(x)];
  const float da = float(d >> 24) / 255.0f;
  const float oa = sa + da * (1.0f - sa);
  uint32_t out = uint32_t(std::lround(oa * 255.0f)) << 24;
  for (int shift : {16, 8, 0}) {
    const float sc = float((argb >> shift) & 0xFF), dc = float((d >> shift) & 0xFF);
    const float c = (sc * sa + dc * da * (1.0f - sa)) / oa;
    out |= uint32_t(std::clamp(std::lround(c), 0L, 255L)) << shift;
  }
  d = out;
}

RECT CColorCanvas::Clip(const RECT& box) const {
  return RECT{std::max<LONG>(box.left, 0), std::max<LONG>(box.top, 0), std::min<LONG>(box.right, m_width),
              std::min<LONG>(box.bottom, m_height)};
}

void CColorCanvas::Fill(const RECT& box, const Distance& distance, const Paint& paint) {
  const RECT rc = Clip(box);
  for (int y = rc.top; y < rc.bottom; ++y)
    for (int x = rc.left; x < rc.right; ++x) {
      const float cover = 0.5f - distance(float(x) + 0.5f, float(y) + 0.5f);
      if (cover > 0.0f) Blend(x, y, paint(x, y), cover);
    }
}

void CColorCanvas::Fill(const RECT& box, const Distance& distance, uint32_t argb) {
  Fill(box, distance, [argb](int, int) { return argb; });
}

namespace {

RECT Around(float cx, float cy, float r) {
  return RECT{LONG(std::floor(cx - r - 1)), LONG(std::floor(cy - r - 1)), LONG(std::ceil(cx + r + 1)),
              LONG(std::ceil(cy + r + 1))};
}

}  // namespace

float CColorCanvas::CircleDistance(float x, float y, float cx, float cy, float r) {
  return std::hypot(x - cx, y - cy) - r;
}

float CColorCanvas::RoundRectDistance(float x, float y, const RECT& rc, float radius) {
  const float hw = float(rc.right - rc.left) / 2, hh = float(rc.bottom - rc.top) / 2;
  const float qx = std::fabs(x - float(rc.left) - hw) - (hw - radius);
  const float qy = std::fabs(y - float(rc.top) - hh) - (hh - radius);
  return std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f)) + std::min(std::max(qx, qy), 0.0f) - radius;
}

void CColorCanvas::FillCircle(float cx, float cy, float r, uint32_t argb) {
  Fill(Around(cx, cy, r), [=](float x, float y) { return CircleDistance(x, y, cx, cy, r); }, argb);
}

void CColorCanvas::StrokeCircle(float cx, float cy, float r, float width, uint32_t argb) {
  Fill(Around(cx, cy, r + width), [=](float x, float y) { return std::fabs(CircleDistance(x, y, cx, cy, r)) - width / 2; },
       argb);
}

void CColorCanvas::FillRoundRect(const RECT& rc, float radius, uint32_t argb) {
  Fill(rc, [=](float x, float y) { return RoundRectDistance(x, y, rc, radius); }, argb);
}

void CColorCanvas::StrokeRoundRect(const RECT& rc, float radius, float width, uint32_t argb) {
  // The line lies inside the box, centred half its width in from the edge.
  const float inset = width / 2;
  Fill(rc,
       [=](float x, float y) { return std::fabs(RoundRectDistance(x, y, rc, radius) + inset) - width / 2; },
       argb);
}

void CColorCanvas::DrawMark(float cx, float cy, float r, COLORREF rgb) {
  StrokeCircle(cx, cy, r + 1.5f, 1.5f, 0x90000000);
  FillCircle(cx, cy, r, Opaque(rgb));
  StrokeCircle(cx, cy, r, 2.0f, 0xFFFFFFFF);
}

void CColorCanvas::PutRect(const RECT& box, const Paint& paint) {
  const RECT rc = Clip(box);
  for (int y = rc.top; y < rc.bottom; ++y)
    for (int x = rc.left; x < rc.right; ++x) m_pixels[size_t(y) * size_t(m_width) + size_t(x)] = paint(x, y);
}

void CColorCanvas::CopyTo(gui::DeviceContext& dc, int x, int y) const {
  dc.SetDIBitsToDevice(x, y, m_width, m_height, m_pixels.data(), m_width, m_height, m_width, false, 0, 0);
}

bool IsLightColor(COLORREF rgb) {
  const int r = int((rgb >> 16) & 0xFF), g = int((rgb >> 8) & 0xFF), b = int(rgb & 0xFF);
  return r * 299 + g * 587 + b * 114 > 160 * 1000;
}

std::u16string HexText(COLORREF rgb) {
  static const char16_t digits[] = u"0123456789ABCDEF";
  std::u16string s = u"#";
  for (int shift = 20; shift >= 0; shift -= 4) s += digits[(rgb >> shift) & 0xF];
  return s;
}
