// What a stroke leaves, in hand-worked values: the stroke's opacity applied once, the hardness
// from softest to hardest, the airbrush building up while a pen does not, one dab centred where
// it was put, and a stroke's start as wide as its line.
#include <cmath>
#include <cstring>

#include "BrushItems.h"
#include "DabKernels.h"
#include "EngineFixture.h"

namespace {

using namespace dorvil_test;

// The kernel's fall-off 8 px from the centre of a dab of radius 10 (rr = 0.64): hard inside,
// hardness h / (1 - h) x (1 - rr) outside the inner part, nothing at hardness 0.
TEST(DabKernel, HardnessRunsFromNothingToSolid) {
  struct Case {
    float hardness;
    uint16_t at8;
  };
  const Case cases[] = {{0.0f, 0}, {0.01f, 238}, {0.5f, 23593}, {1.0f, 65535}};
  uint16_t previous = 0;
  for (const Case& c : cases) {
    const dab::Shape s = dab::MakeShape(10.0f, c.hardness, 1.0f, 0.0f, 1.0f);
    uint16_t v[3];
    dab::CoverageRowScalar(v, 1, 8.0f, 0.0f, s);
    EXPECT_NEAR(v[0], c.at8, 1) << c.hardness;
    EXPECT_GE(v[0], previous) << "softer never covers more";
    previous = v[0];
    dab::CoverageRowSse2(v + 1, 1, 8.0f, 0.0f, s);
    EXPECT_EQ(v[0], v[1]);
  }
}

TEST_F(EngineTest, HardnessItemGoesFromSoftestToHardestAtEveryDistance) {
  // A click's dot into the glass, radius about 10; coverage 0, 3, 6 and 9 px from its centre.
  std::array<std::array<uint16_t, 4>, 4> rows{};
  const int32_t hardness[] = {0, 1, 50, 100};
  for (int i = 0; i < 4; ++i) {
    UseBrush(dorvil::FAMILY_PENCIL, 10.0f, 100, {{u"HARDNESS", hardness[i]}});
    GCompRef<OLayer> glass = Layer(OLayer::myFORMAT_A16, 0);
    Click(Target(glass), 60.5f, 60.5f);
    for (int d = 0; d < 4; ++d) rows[size_t(i)][size_t(d)] = Pixel<uint16_t>(glass, 60 + 3 * d, 60);
    brush->Deactivate();
  }
  for (int d = 0; d < 4; ++d) {
    EXPECT_EQ(rows[0][size_t(d)], 0) << "HARDNESS 0 is the softest: nothing";
    for (int i = 1; i < 4; ++i) EXPECT_GE(rows[size_t(i)][size_t(d)], rows[size_t(i) - 1][size_t(d)]) << i << " " << d;
  }
  EXPECT_EQ(rows[3][3], 65535) << "HARDNESS 100 is solid up to the rim";
  EXPECT_LT(rows[1][3], 300) << "HARDNESS 1 barely reaches 9 px out";
}

// A dab put on a pixel corner covers the four pixels around it alike, and its rows and columns
// mirror about it; one put on a pixel's centre mirrors about that pixel.
TEST_F(EngineTest, ADabIsCentredWhereItWasPut) {
  UseBrush(dorvil::FAMILY_PENCIL, 6.0f, 100, {{u"HARDNESS", 40}});
  for (const float at : {60.0f, 60.5f}) {
    GCompRef<OLayer> glass = Layer(OLayer::myFORMAT_A16, 0);
    Click(Target(glass), at, at);
    const int centre = 60;
    const int before = at == 60.0f ? 1 : 0;  // the mirror of pixel centre + k
    for (int k = 0; k <= 8; ++k) {
      EXPECT_EQ(Pixel<uint16_t>(glass, centre + k, centre), Pixel<uint16_t>(glass, centre - before - k, centre))
          << at << " x " << k;
      EXPECT_EQ(Pixel<uint16_t>(glass, centre, centre + k), Pixel<uint16_t>(glass, centre, centre - before - k))
          << at << " y " << k;
    }
    EXPECT_GT(Pixel<uint16_t>(glass, centre + 4, centre), 0);
  }
}

// The airbrush's dabs add up within a stroke, up to the stroke's opacity; the pen's do not.
TEST_F(EngineTest, TheAirbrushBuildsUpAndThePenKeepsItsHighestCoverage) {
  struct Case {
    size_t family;
    bool buildsUp;
  };
  for (const Case c : {Case{dorvil::FAMILY_AIRBRUSH, true}, Case{dorvil::FAMILY_PEN, false}}) {
    UseBrush(c.family, 8.0f, 50);
    EXPECT_EQ(ctx.buildUp != 0, c.buildsUp);
    uint16_t centre[2];
    for (int passes : {1, 5}) {
      GCompRef<OLayer> glass = Layer(OLayer::myFORMAT_A16, 0);
      std::vector<PaintSample> path;
      for (int p = 0; p < passes; ++p)
        for (int i = 0; i <= 40; ++i) path.push_back(At(p % 2 ? 140.0f - 2.0f * float(i) : 60.0f + 2.0f * float(i), 60.0f));
      Feed(Target(glass), path);
      centre[passes == 5] = Pixel<uint16_t>(glass, 100, 60);
    }
    if (c.buildsUp) {
      EXPECT_GT(centre[1], centre[0] + 12000) << "five passes cover more than one";
      EXPECT_LE(centre[1], 65535);
    } else {
      EXPECT_NEAR(centre[1], centre[0], 1000) << "more passes, the same coverage";
    }
    brush->Deactivate();
  }
}

}  // namespace
namespace {

using namespace dorvil_test;

// A mouse stroke (full pressure, 3 px every 8 ms) of the pen and the ink: the first dabs are as
// tall as the line further on, not a blob.
TEST_F(EngineTest, AStrokeStartsAsWideAsItsLine) {
  for (size_t family : {dorvil::FAMILY_PEN, dorvil::FAMILY_INK}) {
    SCOPED_TRACE(family);
    UseBrush(family, 2.6f);
    GCompRef<OLayer> glass = Layer(OLayer::myFORMAT_A16, 0);
    std::vector<PaintSample> path;
    for (int i = 0; i <= 40; ++i) path.push_back(At(40.0f + 3.0f * float(i), 60.5f));
    Feed(Target(glass), path);
    const auto tall = [&](int x) {
      int n = 0;
      for (int y = 40; y < 80; ++y) n += Pixel<uint16_t>(glass, x, y) > 32768;
      return n;
    };
    const int line = tall(100);
    ASSERT_GT(line, 1);
    for (int x = 38; x <= 50; ++x) EXPECT_LE(tall(x), line) << x;
    brush->Deactivate();
  }
}

}  // namespace
