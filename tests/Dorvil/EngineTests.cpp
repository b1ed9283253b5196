// The paint engine: the dab kernels (SSE2 against the scalar reference), strokes into a glass
// and straight into a layer, the click's dot, arcs, the sink's batches, and samples fed from
// this thread while the worker renders.
#include <atomic>
#include <cmath>
#include <cstring>
#include <random>
#include <thread>

#include "BrushItems.h"
#include "DabKernels.h"
#include "EngineFixture.h"

namespace {

using namespace dorvil_test;

TEST(DabKernel, Sse2GivesTheScalarBitsOnEveryShape) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> frac(-1.0f, 1.0f);
  std::vector<uint16_t> a(80), b(80);
  for (float radius : {0.2f, 0.5f, 1.0f, 2.5f, 7.3f, 40.0f})
    for (float hardness : {0.0f, 0.3f, 0.8f, 1.0f})
      for (float aspect : {1.0f, 3.0f})
        for (float angle : {0.0f, 33.0f, 90.0f})
          for (int n : {1, 7, 8, 9, 33, 80}) {
            const dab::Shape s = dab::MakeShape(radius, hardness, aspect, angle, 0.7f);
            for (int row = 0; row < 6; ++row) {
              const float dx = -radius - 1.0f + frac(rng) * 0.5f, dy = frac(rng) * (radius + 1.0f);
              dab::CoverageRowScalar(a.data(), n, dx, dy, s);
              dab::CoverageRowSse2(b.data(), n, dx, dy, s);
              ASSERT_TRUE(std::equal(a.begin(), a.begin() + n, b.begin()))
                  << "radius " << radius << " hardness " << hardness << " aspect " << aspect << " n " << n;
            }
          }
}

TEST(DabKernel, CoverageIsFullInsideZeroOutsideAndScaledByOpacity) {
  const dab::Shape hard = dab::MakeShape(10.0f, 1.0f, 1.0f, 0.0f, 1.0f);
  const dab::Shape half = dab::MakeShape(10.0f, 1.0f, 1.0f, 0.0f, 0.5f);
  uint16_t v[3];
  dab::CoverageRowScalar(v, 3, -0.5f, 0.0f, hard);  // centre, then 0.5 and 1.5 to the right
  EXPECT_EQ(v[0], 65535);
  dab::CoverageRowScalar(v, 1, 11.0f, 0.0f, hard);
  EXPECT_EQ(v[0], 0);
  dab::CoverageRowScalar(v, 1, 0.0f, 10.0f, hard);  // on the rim: half covered
  EXPECT_NEAR(v[0], 32768, 2);
  dab::CoverageRowScalar(v, 1, 0.0f, 0.0f, half);
  EXPECT_NEAR(v[0], 32768, 1);
  // A soft dab falls off towards its rim.
  const dab::Shape soft = dab::MakeShape(10.0f, 0.3f, 1.0f, 0.0f, 1.0f);
  uint16_t c[3];
  dab::CoverageRowScalar(c, 1, 0.0f, 0.0f, soft);
  dab::CoverageRowScalar(c + 1, 1, 5.0f, 0.0f, soft);
  dab::CoverageRowScalar(c + 2, 1, 9.0f, 0.0f, soft);
  EXPECT_GT(c[0], c[1]);
  EXPECT_GT(c[1], c[2]);
}

TEST_F(EngineTest, AStrokeFillsTheGlassAlongItsPathAndNowhereElse) {
  UseBrush(dorvil::FAMILY_PEN, 4.0f, 50);
  GCompRef<OLayer> layer = Layer(OLayer::myFORMAT_C32, 0);
  GCompRef<OLayer> glass = Layer(OLayer::myFORMAT_A16, 0);
  Stroke(PaintTarget{layer, nullptr, glass, 0}, 40.0f, 170.0f, 70.0f);

  EXPECT_EQ(sink.resets, sink.flushes);
  EXPECT_GT(sink.dabs, 10);
  uint16_t most = 0;
  int covered = 0;
  LayerLock lock;
  ASSERT_TRUE(lock.Lock(glass, 0));
  for (int y = 0; y < lock.nHeight; ++y)
    for (int x = 0; x < lock.nWidth; ++x) {
      uint16_t v;
      std::memcpy(&v, lock.Row(y) + size_t(x) * 2, 2);
      if (!v) continue;
      ++covered;
      most = std::max(most, v);
      const float sx = float(lock.x + x) + 0.5f, sy = float(lock.y + y) + 0.5f;
      ASSERT_TRUE(sink.Holds(sx, sy)) << sx << "," << sy;
      // Within the pen's reach of the line (radius 4, a pixel of rim, pressure's growth).
      ASSERT_LT(std::fabs(sy - 70.0f), 8.0f) << sx << "," << sy;
    }
  lock.Unlock();
  // The glass holds the coverage relative to the stroke's opacity (its merge applies OPACITY
  // once): the pen's core is full although OPACITY is 50.
  EXPECT_GE(most, 60000);
  // Roughly the stroke's area: 130 long, about 2r wide (the pen thins at its ends).
  EXPECT_GT(covered, 130 * 4);
  EXPECT_LT(covered, 150 * 16);
  // Only the blocks the stroke touched are marked; the layer itself is untouched.
  const BYTE* marks = glass->PAT_GetMarkMap();
  EXPECT_EQ(marks[0], 1);                 // block row 0 (space y 20..84) holds y = 70
  EXPECT_EQ(marks[LYR_MARK_SIDE], 0);     // block row 1 (y 84..148) does not
  EXPECT_EQ(Pixel<uint32_t>(layer, 100, 70), 0u);
}

TEST_F(EngineTest, TheEraserLowersAlphaWhereItPassedOnly) {
  UseBrush(dorvil::FAMILY_ERASER, 5.0f);
  ASSERT_TRUE(ctx.eraser);
  GCompRef<OLayer> layer = Layer(OLayer::myFORMAT_C32, 0xFF336699u);
  Stroke(PaintTarget{layer, nullptr, nullptr, 0}, 40.0f, 170.0f, 70.0f);
  const uint32_t on = Pixel<uint32_t>(layer, 100, 70), off = Pixel<uint32_t>(layer, 100, 100);
  EXPECT_LT(on >> 24, 0x80u);
  EXPECT_EQ(on & 0xFFFFFFu, 0x336699u) << "the colour stays, only alpha goes";
  EXPECT_EQ(off, 0xFF336699u);
}

TEST_F(EngineTest, AClickLeavesADot) {
  UseBrush(dorvil::FAMILY_PEN, 3.0f);
  GCompRef<OLayer> layer = Layer(OLayer::myFORMAT_C32, 0);
  GCompRef<OLayer> glass = Layer(OLayer::myFORMAT_A16, 0);
  PaintTarget target{layer, nullptr, glass, 0};
  ASSERT_TRUE(engine->BeginStroke(brush, &target, &sink, nullptr));
  const PaintSample first = At(60.0f, 50.0f, 0.0f);
  engine->AddSample(&first);
  engine->EndStroke();
  EXPECT_EQ(sink.dabs, 1);
  EXPECT_GT(Pixel<uint16_t>(glass, 60, 50), 60000);
  EXPECT_EQ(Pixel<uint16_t>(glass, 66, 50), 0);
  EXPECT_TRUE(engine->IsReady());
}

TEST_F(EngineTest, AnArcFollowsItsCurve) {
  UseBrush(dorvil::FAMILY_PEN, 3.0f);
  GCompRef<OLayer> layer = Layer(OLayer::myFORMAT_C32, 0);
  GCompRef<OLayer> glass = Layer(OLayer::myFORMAT_A16, 0);
  PaintTarget target{layer, nullptr, glass, 0};
  ASSERT_TRUE(engine->BeginArc(brush, &target, &sink, FALSE));
  EXPECT_FALSE(engine->IsReady());
  PaintSample start = At(30.0f, 100.0f), end = At(190.0f, 100.0f), control = At(110.0f, 30.0f);
  start.weight = end.weight = control.weight = 3.0f;
  engine->Arc(&start, &end, &control);
  engine->EndArc();
  EXPECT_TRUE(engine->IsReady());
  EXPECT_EQ(sink.resets, 1);
  EXPECT_EQ(sink.flushes, 1);
  // B(0.5) = (110, 65): on the curve; the chord's middle (110, 100) is not.
  EXPECT_GT(Pixel<uint16_t>(glass, 110, 65), 60000);
  EXPECT_EQ(Pixel<uint16_t>(glass, 110, 100), 0);
  EXPECT_GT(Pixel<uint16_t>(glass, 30, 100), 60000);
  EXPECT_GT(Pixel<uint16_t>(glass, 189, 100), 60000);
}

TEST_F(EngineTest, SamplesFedWhileTheWorkerRendersAllArrive) {
  UseBrush(dorvil::FAMILY_PEN, 2.0f);
  GCompRef<OWorker> worker = static_cast<OWorker*>(sys.NewObj(u"XWorker", nullptr)->GetInterface(u"OWorker"));
  GCompRef<OLayer> layer = Layer(OLayer::myFORMAT_C32, 0);
  GCompRef<OLayer> glass = Layer(OLayer::myFORMAT_A16, 0);
  PaintTarget target{layer, nullptr, glass, 0};
  GCompRef<OData> args = GNewData(64);
  JobRecord job{args, nullptr, 0, -1, nullptr, nullptr};
  ASSERT_TRUE(engine->BeginStroke(brush, &target, &sink, &job));
  const PaintSample first = At(20.0f, 60.0f, 0.0f);
  engine->AddSample(&first);
  ASSERT_EQ(worker->Launch(&job, nullptr), 1);
  for (int i = 1; i <= 180; ++i) {
    const PaintSample s = At(20.0f + float(i), 60.0f);
    engine->AddSample(&s);
    if (i % 20 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  engine->EndStroke();
  worker->Wait(FALSE);
  EXPECT_EQ(sink.resets, sink.flushes);
  for (int x = 24; x < 198; x += 3) ASSERT_GT(Pixel<uint16_t>(glass, x, 60), 20000) << x;
}

TEST_F(EngineTest, AJobThatNeverRanIsRenderedByEndStroke) {
  UseBrush(dorvil::FAMILY_PEN, 2.0f);
  GCompRef<OLayer> layer = Layer(OLayer::myFORMAT_C32, 0);
  GCompRef<OLayer> glass = Layer(OLayer::myFORMAT_A16, 0);
  PaintTarget target{layer, nullptr, glass, 0};
  GCompRef<OData> args = GNewData(64);
  JobRecord job{args, nullptr, 0, -1, nullptr, nullptr};
  ASSERT_TRUE(engine->BeginStroke(brush, &target, &sink, &job));
  EXPECT_FALSE(engine->IsReady());
  for (int i = 0; i <= 50; ++i) {
    const PaintSample s = At(50.0f + float(i), 40.0f, i ? 1.0f : 0.0f);
    engine->AddSample(&s);
  }
  engine->EndStroke();
  EXPECT_TRUE(engine->IsReady());
  EXPECT_GT(Pixel<uint16_t>(glass, 75, 40), 20000);
  // The job started late finds nothing to do.
  JobControl control;
  EXPECT_EQ(job.proc(job.object, &job, &control), 0);
}

}  // namespace
