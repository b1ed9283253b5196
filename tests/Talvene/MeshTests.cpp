// The mesh: sample positions, refused records, the lattice's curves with their easing, the
// facing and tile tests and the bound.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "Distort.h"
#include "TalveneFixture.h"

namespace {

using namespace talvene_test;

DistortArgs Sized(int w, int h, int dx, int dy) {
  DistortArgs a{};
  a.nWidth = w, a.nHeight = h, a.nPitch = std::max(w, 1), a.nPixelSize = 4;
  a.Density = {dx, dy};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) a.Point(i, j) = {float(j * 10), float(i * 10)};
  return a;
}

std::unique_ptr<DistortMesh> Build(const DistortArgs& a, uint32_t flags) {
  auto m = std::make_unique<DistortMesh>();
  m->Clear();
  BuildMesh(*m, a, flags);
  return m;
}

TEST(DistortMesh, SampleColumnsRunFromOutsideToOutside) {
  struct Case {
    int width, density;
    uint32_t flags;
    int cols, step;
  };
  const Case cases[] = {
      {100, 2, 0, 52, 2},               // 102 / 64: step 2, -1, 1, ..., 99, then 101
      {0, 2, 0, 3, 1},                  // -1, 0, 1
      {94, 2, DISTORT_F_HALF, 33, 3},   // 96 / 32
      {78, 3, DISTORT_F_HALF, 41, 2},   // 80 / 40
      {94, 4, DISTORT_F_HALF, 49, 2},   // 96 / 48
      {94, 4, 0, 97, 1},                // 96 / 96
      {10000, 2, DISTORT_F_HALF, 33, CDistort::kMaxStep},  // the largest cell
      {-1, 2, 0, 2, 1},                 // -1, then 0
  };
  for (const Case& c : cases) {
    auto m = Build(Sized(c.width, 7, c.density, 2), c.flags);
    ASSERT_EQ(m->nCols, c.cols) << "width " << c.width;
    for (int k = 0; k + 1 < m->nCols; ++k) {
      EXPECT_EQ(m->xs[k], k * c.step - 1) << "width " << c.width << " column " << k;
      EXPECT_FLOAT_EQ(m->tx[k], float(k * c.step) / float(c.width + 2));
      EXPECT_LE(m->xs[k + 1] - m->xs[k], c.step);
    }
    EXPECT_EQ(m->xs[m->nCols - 1], c.width + 1);
    EXPECT_EQ(m->tx[m->nCols - 1], 1.0f);
  }
}

TEST(DistortMesh, RefusesWhatCannotBeSampled) {
  struct Case {
    int w, h, dx, dy;
    const char16_t* condition;
  };
  const Case cases[] = {
      {10, 10, 1, 3, u"Density.x?"}, {10, 10, 3, 5, u"Density.y?"},      {10, 10, 5, 1, u"Density.x?"},
      {-2, 10, 3, 3, u"SIZE_TOO_SMALL"}, {10, -3, 3, 3, u"SIZE_TOO_SMALL"}, {10001, 10, 2, 2, u"SIZE_TOO_LARGE"},
      {-1, 0, 4, 2, u""},
  };
  for (const Case& c : cases) {
    DistortMesh* m = new DistortMesh;
    EXPECT_EQ(Thrown([&] { BuildMesh(*m, Sized(c.w, c.h, c.dx, c.dy), 0); }), c.condition)
        << c.w << " x " << c.h << " density " << c.dx << " x " << c.dy;
    delete m;
  }
}

TEST(DistortMesh, EvenLatticesMapTheSamplesAffinely) {
  // Evenly spaced control points of every degree give the straight map of the lattice's
  // corners: the samples land where the identity puts them, shifted by (5, -3).
  Picture src(30, 20, 4);
  for (int d = 2; d <= 4; ++d) {
    auto m = Build(IdentityArgs(src, d, 5, -3), 0);
    for (int r = 0; r < m->nRows; ++r)
      for (int q = 0; q < m->nCols; ++q) {
        EXPECT_NEAR(m->grid[r][q].x, float(m->xs[q] + 5), 1e-3) << "density " << d;
        EXPECT_NEAR(m->grid[r][q].y, float(m->ys[r] - 3), 1e-3) << "density " << d;
      }
  }
}

TEST(DistortMesh, EaseKeepsTheEndsAndBendsTheMiddle) {
  EXPECT_EQ(Ease(0.3f, 0), 0.3f);
  for (float a : {-1.0f, -0.4f, 0.4f, 1.0f}) {
    EXPECT_EQ(Ease(0, a), 0);
    EXPECT_EQ(Ease(1, a), 1);
  }
  EXPECT_FLOAT_EQ(Ease(0.5f, 0.5f), 0.6875f);   // 1 - 0.5 * 0.5 - 0.5 * 0.125
  EXPECT_FLOAT_EQ(Ease(0.5f, -0.5f), 0.3125f);  // 0.5 * 0.5 + 0.5 * 0.125
}

TEST(DistortMesh, BiasEasesColumnsAndRows) {
  // A 2 x 2 lattice over (0, 0)..(100, 100): the grid is 100 times the eased parameters.
  DistortArgs a = Sized(40, 30, 2, 2);
  a.Point(0, 0) = {0, 0}, a.Point(0, 1) = {100, 0}, a.Point(1, 0) = {0, 100}, a.Point(1, 1) = {100, 100};
  a.nBiasColFirst = -50, a.nBiasColLast = 50;  // vertical curves: -0.5 at column 0, 0.5 at the last
  a.nBiasRowFirst = 0, a.nBiasRowLast = 100;   // horizontal curves: r / nRows of the way to 1
  auto m = Build(a, 0);
  const int last = m->nCols - 1;
  for (int r = 0; r < m->nRows; ++r) {
    EXPECT_NEAR(m->grid[r][0].y, 100 * Ease(m->ty[r], -0.5f), 1e-3);
    EXPECT_NEAR(m->grid[r][last].y, 100 * Ease(m->ty[r], 0.5f), 1e-3);
    const float b = float(r) / float(m->nRows);  // the last row is (nRows - 1) / nRows of the way
    for (int q = 0; q <= last; ++q) EXPECT_NEAR(m->grid[r][q].x, 100 * Ease(m->tx[q], b), 1e-3) << r << ", " << q;
  }
  // A first row with a bias of its own: row 0 eases by it, and the rows run from it towards
  // the last value (-0.8 + r x 1.2 / nRows).
  a.nBiasRowFirst = -80, a.nBiasRowLast = 40;
  auto skewed = Build(a, 0);
  ASSERT_GE(skewed->nRows, 3);
  for (int r : {0, 1, skewed->nRows - 1}) {
    const float b = -0.8f + float(r) * 1.2f / float(skewed->nRows);
    for (int q = 0; q <= last; ++q)
      EXPECT_NEAR(skewed->grid[r][q].x, 100 * Ease(skewed->tx[q], b), 1e-3) << r << ", " << q;
  }
  EXPECT_NE(skewed->grid[0][1].x, 100 * skewed->tx[1]);  // row 0 is not left plain
  // Without bias the parameters are the grid's.
  a.nBiasColFirst = a.nBiasColLast = a.nBiasRowFirst = a.nBiasRowLast = 0;
  auto plain = Build(a, 0);
  for (int q = 0; q <= last; ++q) EXPECT_NEAR(plain->grid[3][q].x, 100 * plain->tx[q], 1e-3);
}

TEST(DistortMesh, FarPointsAreHeldWithinReach) {
  DistortArgs a = Sized(20, 20, 2, 2);
  a.Point(0, 0) = {-1e30f, 0}, a.Point(1, 1) = {std::nanf(""), 3e9f};
  auto m = Build(a, 0);
  for (int r = 0; r < m->nRows; ++r)
    for (int q = 0; q < m->nCols; ++q) {
      EXPECT_LE(std::fabs(m->grid[r][q].x), kMeshReach);
      EXPECT_LE(std::fabs(m->grid[r][q].y), kMeshReach);
    }
  const RECT b = MeshBound(*m);
  EXPECT_GE(b.left, -int(kMeshReach) - 1);
  EXPECT_LE(b.bottom, int(kMeshReach) + 1);
}

TEST(DistortMesh, FacingFollowsTheWindingOfConvexCells) {
  struct Case {
    const char* what;
    DistortPoint c00, c01, c10, c11;
    bool plain, facing;
  };
  const Case cases[] = {
      {"unwarped", {0, 0}, {10, 0}, {0, 10}, {10, 10}, true, false},
      {"mirrored", {10, 0}, {0, 0}, {10, 10}, {0, 10}, false, true},
      {"turned 45 degrees", {5, 0}, {10, 5}, {0, 5}, {5, 10}, true, false},
      {"upside down", {0, 10}, {10, 10}, {0, 0}, {10, 0}, false, true},
      {"dart (not convex)", {0, 0}, {10, 0}, {0, 10}, {2, 2}, false, false},
      {"bow tie", {0, 0}, {10, 0}, {10, 10}, {0, 10}, false, false},
      {"on one line", {0, 0}, {1, 1}, {2, 2}, {3, 3}, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsFrontFacing(c.c00, c.c01, c.c10, c.c11, false), c.plain) << c.what;
    EXPECT_EQ(IsFrontFacing(c.c00, c.c01, c.c10, c.c11, true), c.facing) << c.what;
  }
}

TEST(DistortMesh, SegmentTileTest) {
  const RECT tile{0, 0, 10, 10};
  struct Case {
    const char* what;
    DistortPoint a, b;
    bool hits;
  };
  const Case cases[] = {
      {"end inside", {5, 5}, {50, 50}, true},
      {"through, flat", {-5, 4}, {20, 6}, true},
      {"through, steep", {4, -30}, {6, 40}, true},
      {"diagonal through the corner", {-5, -5}, {15, 15}, true},
      {"both left", {-5, -50}, {-1, 50}, false},
      {"both below", {-50, 10}, {50, 12}, false},
      {"beside the corner", {-10, 5}, {5, -10}, false},
      {"beside the far corner", {20, 5}, {5, 20}, false},
      {"right edge is outside", {10, -5}, {10, 15}, false},
      {"left edge is inside", {0, -5}, {0, 15}, true},
      {"a point outside", {12, 12}, {12, 12}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(SegmentHitsTile(c.a, c.b, tile), c.hits) << c.what;
}

TEST(DistortMesh, BoundHoldsEveryGridPointWithAPixelToSpare) {
  // Sides of 16 and 8 samples keep every grid point exact: x from -0.5 to 15.5, y from -1 to 7.
  Picture src(14, 6, 4);
  auto m = Build(IdentityArgs(src, 2, 0.5f, 0), 0);
  const RECT b = MeshBound(*m);
  EXPECT_EQ(b.left, -2);
  EXPECT_EQ(b.top, -2);
  EXPECT_EQ(b.right, 17);
  EXPECT_EQ(b.bottom, 8);
}

}  // namespace
