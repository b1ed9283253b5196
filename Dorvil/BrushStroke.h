// Starting a stroke of a libmypaint brush so that the same events always give the same dabs:
// the paint engine and the comparison with libmypaint's own rendering both start theirs here.
#pragma once
#include <mypaint-brush.h>

namespace dorvil {

// Readies the brush for a stroke: its motion states at rest and its per-step setting values
// computed from them. The next mypaint_brush_stroke_to* call places the pen.
void StartBrushStroke(MyPaintBrush* brush);

}  // namespace dorvil
