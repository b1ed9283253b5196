// Preparing the libmypaint brush into the shared context: at once and as a worker job, the
// settings the items give, and what Deactivate and a second brush do to the context.
#include <vector>

#include "DorvilFixture.h"
#include "XWorker.h"

namespace {

using namespace dorvil_test;

class ActivateTest : public DorvilTest {
 protected:
  ActivateTest() { sys.Register(u"XWorker", GCreateComponent<XWorker>); }
  void Set(OBrush* b, const char16_t* key, int32_t v) {
    UINT at = 0;
    ASSERT_NE(Items(b)->FindByName(&at, key), nullptr) << U8(key);
    Items(b)->SetValue(at, v);
  }
  static int Mapping(const BrushContext& c, MyPaintBrushSetting s) {
    return mypaint_brush_get_mapping_n(c.brush, s, MYPAINT_BRUSH_INPUT_PRESSURE);
  }
  static float MappingY(const BrushContext& c, MyPaintBrushSetting s, int i) {
    float x = 0, y = 0;
    mypaint_brush_get_mapping_point(c.brush, s, MYPAINT_BRUSH_INPUT_PRESSURE, i, &x, &y);
    return y;
  }
};

TEST_F(ActivateTest, WithoutAJobTheBrushIsPreparedAtOnceAndFollowsTheItems) {
  for (size_t f = 0; f < FAMILY_COUNT; ++f) {
    SCOPED_TRACE(U8(kBrushFamilies[f].implementation));
    GCompRef<OBrush> b = Make(f);
    Set(b, u"RADIUS", 123);
    Set(b, u"OPACITY", 37);
    Set(b, u"RASTER", 5);
    Set(b, u"OPERATEMODE", 1);
    Set(b, u"HARDNESS", 64);
    Set(b, u"SPACING", 25);
    Set(b, u"SMOOTHING", 30);
    Set(b, u"JITTER", 10);
    BrushContext ctx{};
    EXPECT_FALSE(b->IsReady());
    b->Activate(&ctx, nullptr);
    ASSERT_TRUE(b->IsReady());
    ASSERT_NE(ctx.brush, nullptr);
    EXPECT_EQ(ctx.owner, b.get());
    EXPECT_EQ(ctx.serial, 1u);
    EXPECT_NEAR(Radius(ctx), b->MapValue(123), 1e-3f);
    EXPECT_FLOAT_EQ(ctx.radius, b->MapValue(123));
    EXPECT_FLOAT_EQ(Base(ctx, MYPAINT_BRUSH_SETTING_OPAQUE), 0.37f);
    EXPECT_FLOAT_EQ(ctx.opacity, 0.37f);
    EXPECT_EQ(ctx.rasterMode, 5);
    EXPECT_EQ(ctx.operateMode & BRUSH_OPERATE_ARC, 1);
    EXPECT_FLOAT_EQ(Base(ctx, MYPAINT_BRUSH_SETTING_HARDNESS), 0.64f);
    EXPECT_FLOAT_EQ(Base(ctx, MYPAINT_BRUSH_SETTING_DABS_PER_ACTUAL_RADIUS), 4.0f);
    EXPECT_FLOAT_EQ(Base(ctx, MYPAINT_BRUSH_SETTING_SLOW_TRACKING), 3.0f);
    EXPECT_FLOAT_EQ(Base(ctx, MYPAINT_BRUSH_SETTING_OFFSET_BY_RANDOM), 0.2f);
    bool eraser = kBrushFamilies[f].eraser;
    EXPECT_EQ(Base(ctx, MYPAINT_BRUSH_SETTING_ERASER), eraser ? 1.0f : 0.0f);
    EXPECT_EQ(ctx.eraser, eraser ? 1 : 0);
    EXPECT_EQ(eraser, !b->NeedsGlass());
    b->Deactivate();
    EXPECT_EQ(ctx.brush, nullptr);
    EXPECT_EQ(ctx.owner, nullptr);
    EXPECT_FALSE(b->IsReady());
  }
}

// The presets' own pressure curves survive: at the item values the preset stands for they
// are untouched (the pen keeps its lift-off threshold, the eraser its five-point size curve);
// a changed item scales the curve about full pressure; a brush without a curve gets a line.
TEST_F(ActivateTest, PressureItemsScaleThePresetsCurvesAndKeepTheirShape) {
  struct Point {
    float x, y;
  };
  const auto curve = [&](const BrushContext& c, MyPaintBrushSetting s) {
    std::vector<Point> out;
    for (int i = 0; i < Mapping(c, s); ++i) {
      Point p{};
      mypaint_brush_get_mapping_point(c.brush, s, MYPAINT_BRUSH_INPUT_PRESSURE, i, &p.x, &p.y);
      out.push_back(p);
    }
    return out;
  };
  BrushContext ctx{};
  {
    GCompRef<OBrush> pen = Make(dorvil::FAMILY_PEN);
    pen->Activate(&ctx, nullptr);
    const std::vector<Point> lift = curve(ctx, MYPAINT_BRUSH_SETTING_OPAQUE_MULTIPLY);
    ASSERT_EQ(lift.size(), 4u) << "the pen's lift-off threshold";
    EXPECT_FLOAT_EQ(lift[1].x, lift[2].x);
    EXPECT_FLOAT_EQ(lift[1].y, 0.0f);
    EXPECT_FLOAT_EQ(lift[2].y, 1.0f);
    pen->Deactivate();
  }
  GCompRef<OBrush> eraser = Make(dorvil::FAMILY_ERASER);
  eraser->Activate(&ctx, nullptr);
  const std::vector<Point> own = curve(ctx, MYPAINT_BRUSH_SETTING_RADIUS_LOGARITHMIC);
  ASSERT_EQ(own.size(), 5u) << "the eraser preset's size curve";
  UINT at = 0;
  const int32_t size = Items(eraser)->FindByName(&at, u"PRESSURESIZE")->value;
  ASSERT_GT(size, 10);
  ASSERT_LT(size, 90);
  // Less pressure-to-size: every point moves towards the full-pressure value by one factor.
  Set(eraser, u"PRESSURESIZE", size / 2);
  eraser->Activate(&ctx, nullptr);
  const std::vector<Point> scaled = curve(ctx, MYPAINT_BRUSH_SETTING_RADIUS_LOGARITHMIC);
  ASSERT_EQ(scaled.size(), 5u);
  const float full = own[4].y, k = (scaled[0].y - full) / (own[0].y - full);
  EXPECT_GT(k, 0.1f);
  EXPECT_LT(k, 0.9f);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_FLOAT_EQ(scaled[i].x, own[i].x) << i;
    EXPECT_NEAR(scaled[i].y - full, (own[i].y - full) * k, 1e-5f) << i;
  }
  // None: flat at the full-pressure value.
  Set(eraser, u"PRESSURESIZE", 0);
  eraser->Activate(&ctx, nullptr);
  for (const Point& p : curve(ctx, MYPAINT_BRUSH_SETTING_RADIUS_LOGARITHMIC)) EXPECT_NEAR(p.y, full, 1e-5f);
  eraser->Deactivate();

  // The airbrush has no pressure-to-size curve: a line whose zero-pressure end is the item's.
  GCompRef<OBrush> air = Make(dorvil::FAMILY_AIRBRUSH);
  Set(air, u"PRESSURESIZE", 50);
  air->Activate(&ctx, nullptr);
  ASSERT_EQ(Mapping(ctx, MYPAINT_BRUSH_SETTING_RADIUS_LOGARITHMIC), 2);
  EXPECT_NEAR(std::exp(MappingY(ctx, MYPAINT_BRUSH_SETTING_RADIUS_LOGARITHMIC, 0)), 0.5f, 1e-4f);
  EXPECT_FLOAT_EQ(MappingY(ctx, MYPAINT_BRUSH_SETTING_RADIUS_LOGARITHMIC, 1), 0.0f);
  // Full pressure-to-size still leaves a dab at the lightest touch.
  Set(air, u"PRESSURESIZE", 100);
  air->Activate(&ctx, nullptr);
  EXPECT_GT(std::exp(MappingY(ctx, MYPAINT_BRUSH_SETTING_RADIUS_LOGARITHMIC, 0)), 0.0f);
  EXPECT_LT(std::exp(MappingY(ctx, MYPAINT_BRUSH_SETTING_RADIUS_LOGARITHMIC, 0)), 0.1f);
  air->Deactivate();
}

TEST_F(ActivateTest, WithAJobTheWorkerPreparesTheValuesOfTheActivation) {
  GCompRef<OWorker> worker = static_cast<OWorker*>(sys.NewObj(u"XWorker", nullptr)->GetInterface(u"OWorker"));
  GCompRef<OBrush> b = Make(dorvil::FAMILY_CHARCOAL);
  Set(b, u"RADIUS", 200);
  Set(b, u"OPACITY", 80);
  BrushContext ctx{};
  JobRecord job{nullptr, u"caller", 0, 0, nullptr, nullptr};
  b->Activate(&ctx, &job);
  // Nothing is prepared before the worker runs the job.
  EXPECT_EQ(ctx.brush, nullptr);
  EXPECT_FALSE(b->IsReady());
  EXPECT_EQ(U8(job.name), "ActivateBrush");
  EXPECT_EQ(job.kind, 1);
  EXPECT_EQ(job.result, -1);
  ASSERT_NE(job.proc, nullptr);
  // Edits after the activation belong to the next one.
  Set(b, u"RADIUS", 20);
  JobControl control;
  ASSERT_EQ(worker->Launch(&job, &control), 1);
  worker->Wait(FALSE);
  EXPECT_EQ(job.result, 1);
  EXPECT_EQ(control.flags & JOB_FAILED, 0u);
  ASSERT_TRUE(b->IsReady());
  EXPECT_NEAR(Radius(ctx), b->MapValue(200), 1e-2f);
  EXPECT_FLOAT_EQ(ctx.opacity, 0.8f);
  b->Deactivate();
}

TEST_F(ActivateTest, ASecondBrushTakesTheContextOver) {
  GCompRef<OBrush> pen = Make(dorvil::FAMILY_PEN);
  GCompRef<OBrush> eraser = Make(dorvil::FAMILY_ERASER);
  BrushContext ctx{};
  pen->Activate(&ctx, nullptr);
  MyPaintBrush* first = ctx.brush;
  eraser->Activate(&ctx, nullptr);
  EXPECT_NE(ctx.brush, first);
  EXPECT_EQ(ctx.owner, eraser.get());
  EXPECT_EQ(ctx.serial, 2u);
  EXPECT_FALSE(pen->IsReady());
  EXPECT_TRUE(eraser->IsReady());
  // The pen no longer owns what is in the context: its Deactivate leaves it alone.
  pen->Deactivate();
  EXPECT_EQ(ctx.owner, eraser.get());
  ASSERT_NE(ctx.brush, nullptr);
  // Releasing the brush that holds the context clears it.
  eraser.Release();
  EXPECT_EQ(ctx.brush, nullptr);
  EXPECT_EQ(ctx.owner, nullptr);
}

TEST_F(ActivateTest, ActivateWithoutAContextIsRefused) {
  GCompRef<OBrush> b = Make(dorvil::FAMILY_PEN);
  try {
    b->Activate(nullptr, nullptr);
    FAIL() << "no error";
  } catch (GErrRecord* e) {
    EXPECT_EQ(U8(e->GetCondition()), "!context");
    e->AddRef();
    e->Release();
  }
  EXPECT_FALSE(b->IsReady());
}

}  // namespace
