// The prepared brushes really paint: a stroke over a libmypaint surface (opaque white when
// new) darkens it in black, and the eraser lowers its alpha.
#include <mypaint-fixed-tiled-surface.h>

#include "BrushStroke.h"
#include "DorvilFixture.h"

namespace {

using namespace dorvil_test;

struct Canvas {
  MyPaintFixedTiledSurface* fixed = mypaint_fixed_tiled_surface_new(128, 128);
  ~Canvas() { mypaint_surface_unref(Get()); }
  MyPaintSurface* Get() { return mypaint_fixed_tiled_surface_interface(fixed); }

  // A left-to-right stroke through the middle in black, held at its end so that slow
  // tracking catches up.
  void Stroke(MyPaintBrush* brush) {
    mypaint_brush_set_base_value(brush, MYPAINT_BRUSH_SETTING_COLOR_V, 0.0f);
    dorvil::StartBrushStroke(brush);
    mypaint_surface_begin_atomic(Get());
    for (int i = 0; i <= 120; ++i) {
      float x = 16.0f + float(std::min(i, 80)) * 1.2f;
      mypaint_brush_stroke_to(brush, Get(), x, 64.0f, 1.0f, 0.0f, 0.0f, 0.01);
    }
    MyPaintRectangle roi{};
    mypaint_surface_end_atomic(Get(), &roi);
  }
  // Mean brightness and alpha around the middle of the stroke.
  std::pair<float, float> Middle() {
    float r = 0, g = 0, b = 0, a = 0;
    mypaint_surface_get_color(Get(), 64.0f, 64.0f, 3.0f, &r, &g, &b, &a);
    return {(r + g + b) / 3.0f, a};
  }
};

TEST_F(DorvilTest, EveryGlassFamilyLeavesPaintAndTheEraserRemovesIt) {
  for (size_t f = 0; f < FAMILY_COUNT; ++f) {
    SCOPED_TRACE(U8(kBrushFamilies[f].implementation));
    GCompRef<OBrush> b = Make(f);
    UINT radius = 0;
    Items(b)->FindByName(&radius, u"RADIUS");
    Items(b)->SetValue(radius, 100);
    BrushContext ctx{};
    b->Activate(&ctx, nullptr);
    Canvas canvas;
    auto [light, alpha] = canvas.Middle();
    ASSERT_FLOAT_EQ(alpha, 1.0f);
    canvas.Stroke(ctx.brush);
    auto [lightAfter, alphaAfter] = canvas.Middle();
    if (kBrushFamilies[f].eraser) {
      EXPECT_LT(alphaAfter, 0.5f);
    } else {
      EXPECT_LT(lightAfter, light - 0.1f);
      EXPECT_FLOAT_EQ(alphaAfter, 1.0f);
    }
    b->Deactivate();
  }
}

}  // namespace
