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
  // whatever its allocation held; a used brush carries the values its last stroke ended with.
  // Resetting the states does not reach them, and no call sets them. So steps of a resting pen
  // compute them here, the same at every start. The first step of a new brush still reads the
  // unset values; the second round's step takes the grid map from the values the first
  // computed, so a brush whose settings follow the grid map starts from defined values too.
  static MyPaintSurface2 noSurface = MakeNoSurface();
  for (int round = 0; round < 2; ++round) {
    // After a reset the first call only places the pen (dropping the states the last step
    // derived); the second is the resting step, which paints nothing: the reset left the
    // states' dab rates at zero.
    mypaint_brush_reset(brush);
    mypaint_brush_stroke_to_2(brush, &noSurface, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0, 1.0f, 0.0f, 0.0f);
    mypaint_brush_stroke_to_2(brush, &noSurface, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.01, 1.0f, 0.0f, 0.0f);
  }
  mypaint_brush_reset(brush);
  mypaint_brush_new_stroke(brush);
}

}  // namespace dorvil
