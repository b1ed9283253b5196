// The SPACE size gesture of the paint tool: with SPACE held, the pointer's offset from where
// the key went down sets the brush size. Right grows it, left shrinks it (squared near the
// far end of the range, for fine control), a quick flick past the outer ring steps it by 20 %
// and ends the gesture, and the dead zone in the middle or the vertical sectors change nothing.
#pragma once
#include "platform/base/Types.h"

namespace gui {
class DeviceContext;
}

// What an offset (dx, dy) from the anchor means for a gesture that began at ratio start:
// 0..1 the new ratio; -1 nothing; 10 a flick right, 20 a flick left, 30 a flick up or down.
float SizeGestureValue(int dx, int dy, float start);
// The ratio a flick leaves (10 grows, 20 shrinks, anything else keeps start).
float SizeGestureFlick(float value, float start);

constexpr int SIZE_GESTURE_INNER = 10;  // dead zone radius
constexpr int SIZE_GESTURE_OUTER = 60;  // the drawn sectors' outer arc
constexpr int SIZE_GESTURE_FLICK = 68;  // beyond this an offset is a flick

// The gesture's sectors around its anchor, XOR-drawn (twice erases them): the inner and outer
// arcs of the right and left sectors and the four lines between them. Nothing without dc.
void DrawSizeGesture(gui::DeviceContext* dc, POINT anchor, COLORREF pen);
// The circle of a tool's reach or brush size, XOR-drawn around centre.
void DrawSizeCircle(gui::DeviceContext* dc, POINT centre, int r, COLORREF pen);
