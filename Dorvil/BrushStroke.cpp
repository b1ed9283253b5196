#include "BrushStroke.h"

#include <mypaint-surface.h>

namespace dorvil {
namespace {

// A surface that takes no dab: the settling steps below move the pen by nothing.
int NoDab(MyPaintSurface*, float, float, float, float, float, float, float, float, float, float, float, float,
          float) {
  return 0;
}
int NoDab2(MyPaintSurface2*, float, float, float, float, float, float, float, float, float, float, float, float,
           float, float, float, float) {
  return 0;
}
void NoColour(MyPaintSurface*, float, float, float, float* r, float* g, float* b, float* a) { *r = *g = *b = *a = 0.0f; }
void NoColour2(MyPaintSurface2*, float, float, float, float* r, float* g, float* b, float* a, float) {
  *r = *g = *b = *a = 0.0f;
}
void NoAtomic(MyPaintSurface*) {}
void NoEnd(MyPaintSurface*, MyPaintRectangle*) {}
void NoEnd2(MyPaintSurface2*, MyPaintRectangles*) {}

MyPaintSurface2 MakeNoSurface() {
  MyPaintSurface2 s{};
  s.parent.draw_dab = &NoDab;
  s.parent.get_color = &NoColour;
  s.parent.begin_atomic = &NoAtomic;
  s.parent.end_atomic = &NoEnd;
  s.parent.refcount = 1;
  s.draw_dab_pigment = &NoDab2;
  s.get_color_pigment = &NoColour2;
  s.end_atomic_multi = &NoEnd2;
  return s;
}

}  // namespace

void StartBrushStroke(MyPaintBrush* brush) {
  // libmypaint (1.6) computes a brush's setting values (every setting through its dynamics)
  // only in a simulation step, and each step begins by reading some of the last step's values:
  // the dab rates, which become the states the next call counts its dabs by, and the grid
  // map's scale. A new brush has never stepped, so its first stroke would space its dabs by
  // whatever the allocation held; a used brush carries the values its last stroke ended with.
  // Resetting the states does not reach them, and no call sets them. So one step of a resting
  // pen computes them here, the same at every start; the first step of a new brush still
  // reads the unset values once, and the reset after it drops the states that step derived.
  static MyPaintSurface2 noSurface = MakeNoSurface();
  mypaint_brush_reset(brush);
  // After a reset the first call only places the pen; the second is the resting step (the
  // states' dab rates are zero after the reset, so it paints nothing).
  mypaint_brush_stroke_to_2(brush, &noSurface, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0, 1.0f, 0.0f, 0.0f);
  mypaint_brush_stroke_to_2(brush, &noSurface, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.01, 1.0f, 0.0f, 0.0f);
  mypaint_brush_reset(brush);
  mypaint_brush_new_stroke(brush);
}

}  // namespace dorvil
