#include "SizeGesture.h"

#include <algorithm>
#include <cmath>

#include "platform/gui/Dc.h"

float SizeGestureValue(int dx, int dy, float start) {
  double angle = std::atan2(double(dy), double(dx));
  if (angle < 0) angle += 2.0 * 3.14159265358979;
  enum { RIGHT, LEFT, VERTICAL } sector = VERTICAL;
  if (angle > 5.497 || angle < 0.785) sector = RIGHT;
  else if (angle > 2.356 && angle < 3.927) sector = LEFT;
  const double e = std::sqrt(double(dx) * dx + double(dy) * dy);
  if (e < SIZE_GESTURE_INNER) return -1.0f;
  if (e > SIZE_GESTURE_FLICK) return sector == RIGHT ? 10.0f : sector == LEFT ? 20.0f : 30.0f;
  const float t = float((e - SIZE_GESTURE_INNER) * 0.02);
  const float h = start;
  if (sector == RIGHT) {
    const float step = std::clamp(1.0f - h > 0.6f ? t * t : t, 0.0f, 1.0f);
    return h + (1.0f - h) * step;
  }
  if (sector == LEFT) {
    const float step = std::clamp(h > 0.6f ? t * t : t, 0.0f, 1.0f);
    return h - h * step;
  }
  return -1.0f;
}

float SizeGestureFlick(float value, float start) {
  if (value == 10.0f) return std::clamp(start + start * 0.2f + 0.02f, 0.0f, 1.0f);
  if (value == 20.0f) return std::clamp(start - (start * 0.2f + 0.02f), 0.0f, 1.0f);
  return start;
}

void DrawSizeGesture(gui::DeviceContext* dc, POINT anchor, COLORREF pen) {
  if (!dc) return;
  const int x = anchor.x, y = anchor.y;
  const int oldRop = dc->SetROP2(gui::R2_XORPEN);
  dc->SetPen(gui::PS_SOLID, pen);
  for (float start : {315.0f, 135.0f}) {
    const float a = start * 0.017453292f;
    for (int r : {SIZE_GESTURE_INNER, SIZE_GESTURE_OUTER}) {
      dc->MoveTo(x + int(std::lround(r * std::cos(a))), y - int(std::lround(r * std::sin(a))));
      dc->AngleArc(x, y, r, start, 90.0f);
    }
  }
  for (int sx : {-1, 1})
    for (int sy : {-1, 1}) {
      dc->MoveTo(x + sx * 7, y + sy * 7);
      dc->LineTo(x + sx * 42, y + sy * 42);
    }
  dc->SetROP2(oldRop);
}

void DrawSizeCircle(gui::DeviceContext* dc, POINT centre, int r, COLORREF pen) {
  const int oldRop = dc->SetROP2(gui::R2_XORPEN);
  dc->SetPen(gui::PS_SOLID, pen);
  // The arc starts where the pen stands: no line runs in from elsewhere.
  dc->MoveTo(centre.x + r, centre.y);
  dc->AngleArc(centre.x, centre.y, r, 0.0f, 360.0f);
  dc->SetROP2(oldRop);
}
