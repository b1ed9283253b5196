#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <deque>
#include <vector>

#include "tools/Geometry.h"

namespace {

constexpr float kPi = 3.14159265f;

void ExpectNear(const POINTF& got, const POINTF& want, const char* what, float tol = 1e-4f) {
  EXPECT_NEAR(got.x, want.x, tol) << what << " x";
  EXPECT_NEAR(got.y, want.y, tol) << what << " y";
}

TEST(Geometry, PointLerpInterpolatesAndExtrapolatesEvenInPlace) {
  const POINTF a{1, 2}, b{5, 10};
  const struct {
    float t;
    POINTF want;
  } cases[] = {{0, {1, 2}}, {1, {5, 10}}, {0.25f, {2, 4}}, {-1, {-3, -6}}, {2, {9, 18}}};
  for (const auto& c : cases) {
    POINTF out{};
    PointLerp(&out, &a, &b, c.t);
    ExpectNear(out, c.want, "lerp");
  }
  POINTF p = a;
  PointLerp(&p, &p, &b, 0.5f);
  ExpectNear(p, {3, 6}, "out aliasing a");
}

// rc = (0, 0, 10, 10) throughout.
TEST(Geometry, ClipSegmentToRectClipsAtEachEdgeAndRejectsWhatLiesOnAnEdgeLine) {
  const RECT rc{0, 0, 10, 10};
  const struct {
    const char* what;
    POINTF p0, p1;
    BOOL kept;
    POINTF q0, q1;  // the points afterwards when kept
  } cases[] = {
      {"inside", {2, 3}, {7, 8}, TRUE, {2, 3}, {7, 8}},
      {"across left", {-5, 5}, {5, 5}, TRUE, {0, 5}, {5, 5}},
      {"across top", {4, -2}, {4, 6}, TRUE, {4, 0}, {4, 6}},
      {"across right", {5, 2}, {15, 7}, TRUE, {5, 2}, {10, 4.5f}},
      {"across bottom", {2, 5}, {6, 15}, TRUE, {2, 5}, {4, 10}},
      {"in from the right", {15, 5}, {5, 5}, TRUE, {10, 5}, {5, 5}},
      {"left then bottom", {-2, 4}, {6, 12}, TRUE, {0, 6}, {4, 10}},
      {"right through", {-10, 5}, {20, 5}, TRUE, {0, 5}, {10, 5}},
      {"p0 on the left line", {0, 5}, {5, 5}, TRUE, {0, 5}, {5, 5}},
      {"wholly left", {-5, 1}, {-1, 9}, FALSE, {}, {}},
      {"wholly below", {-5, 11}, {20, 12}, FALSE, {}, {}},
      {"past the corner", {-5, 4}, {4, -5}, FALSE, {}, {}},
      {"on the left line", {0, 2}, {0, 8}, FALSE, {}, {}},
      {"on the bottom line", {2, 10}, {8, 10}, FALSE, {}, {}},
      {"a point on the corner", {0, 0}, {0, 0}, FALSE, {}, {}},
  };
  for (const auto& c : cases) {
    POINTF p0 = c.p0, p1 = c.p1;
    ASSERT_EQ(ClipSegmentToRect(&p0, &p1, &rc), c.kept) << c.what;
    if (!c.kept) continue;
    ExpectNear(p0, c.q0, c.what);
    ExpectNear(p1, c.q1, c.what);
  }
}

TEST(Geometry, ClipSegmentToRectPutsTheClippedCoordinateExactlyOnTheEdge) {
  // In float arithmetic this crossing lands at 0.99999976, still outside the left edge.
  const RECT rc{1, 0, 20, 20};
  POINTF p0{-2.61939526f, 5}, p1{10.3553905f, 6};
  ASSERT_TRUE(ClipSegmentToRect(&p0, &p1, &rc));
  EXPECT_EQ(p0.x, 1.0f);
  EXPECT_NEAR(p0.y, 5 + 3.61939526f / 12.97478576f, 1e-5f);
}

using Poly = std::deque<POINTF>;

TEST(Geometry, ClipPolygonToRectClipsInCyclicOrderAndShrinksTheRectangle) {
  const struct {
    const char* what;
    Poly in;
    Poly out;
    RECT rc;  // afterwards
  } cases[] = {
      {"inside", {{2.5f, 3.2f}, {7.7f, 3.2f}, {7.7f, 8.1f}, {2.5f, 8.1f}},
       {{2.5f, 3.2f}, {7.7f, 3.2f}, {7.7f, 8.1f}, {2.5f, 8.1f}}, {2, 3, 8, 9}},
      {"touching the corner", {{0, 0}, {4, 0}, {0, 4}}, {{0, 0}, {4, 0}, {0, 4}}, {0, 0, 4, 4}},
      {"across the right edge", {{5, 2}, {15, 2}, {5, 8}}, {{5, 2}, {10, 2}, {10, 5}, {5, 8}}, {5, 2, 10, 8}},
      {"fractional bounds", {{2.5f, 1.5f}, {12, 1.5f}, {2.5f, 6.25f}},
       {{2.5f, 1.5f}, {10, 1.5f}, {10, 2.5f}, {2.5f, 6.25f}}, {2, 1, 10, 7}},
      // Each pass starts from the polygon's last point, so the survivors rotate.
      {"covering", {{-5, -5}, {15, -5}, {15, 15}, {-5, 15}}, {{0, 10}, {0, 0}, {10, 0}, {10, 10}}, {0, 0, 10, 10}},
      // The left pass leaves a point on the top line, which the top pass keeps and also
      // emits again as the crossing of its outgoing edge.
      {"over the top left corner", {{-4, 4}, {4, -4}, {4, 4}},
       {{0, 4}, {0, 0}, {0, 0}, {4, 0}, {4, 4}}, {0, 0, 4, 4}},
  };
  for (const auto& c : cases) {
    Poly poly = c.in;
    RECT rc{0, 0, 10, 10};
    ASSERT_TRUE(ClipPolygonToRect(&poly, &rc)) << c.what;
    ASSERT_EQ(poly.size(), c.out.size()) << c.what;
    for (size_t i = 0; i < poly.size(); ++i) ExpectNear(poly[i], c.out[i], c.what);
    EXPECT_EQ(rc.left, c.rc.left) << c.what;
    EXPECT_EQ(rc.top, c.rc.top) << c.what;
    EXPECT_EQ(rc.right, c.rc.right) << c.what;
    EXPECT_EQ(rc.bottom, c.rc.bottom) << c.what;
  }
}

TEST(Geometry, ClipPolygonToRectFailsWithoutTouchingTheRectangleWhenNothingRemains) {
  const Poly cases[] = {{}, {{20, 20}, {30, 20}, {30, 30}}, {{-5, 2}, {-1, 2}, {-3, 8}}, {{2, 12}, {8, 12}, {5, 11}}};
  for (const Poly& c : cases) {
    Poly poly = c;
    RECT rc{0, 0, 10, 10};
    EXPECT_FALSE(ClipPolygonToRect(&poly, &rc)) << c.size() << " points";
    EXPECT_EQ(rc.left, 0);
    EXPECT_EQ(rc.top, 0);
    EXPECT_EQ(rc.right, 10);
    EXPECT_EQ(rc.bottom, 10);
  }
}

// A polygon as x0, y0, x1, y1 ... forwards or backwards.
std::vector<float> Outline(std::initializer_list<POINTF> pts, bool reversed) {
  std::vector<float> xy;
  std::vector<POINTF> v(pts);
  if (reversed) std::reverse(v.begin(), v.end());
  for (const POINTF& p : v) xy.insert(xy.end(), {p.x, p.y});
  return xy;
}

TEST(Geometry, IsInsideByWindingHoldsForConvexConcaveAndStarOutlinesEitherWay) {
  const auto square = {POINTF{0, 0}, POINTF{10, 0}, POINTF{10, 10}, POINTF{0, 10}};
  // A U: two arms on a base, the notch open at the bottom (y down).
  const auto cup = {POINTF{0, 0}, POINTF{10, 0}, POINTF{10, 10}, POINTF{7, 10},
                    POINTF{7, 3}, POINTF{3, 3},  POINTF{3, 10},  POINTF{0, 10}};
  // A pentagram drawn in one stroke: its centre is wound twice.
  std::vector<POINTF> star;
  for (int k = 0; k < 5; ++k) {
    const float a = kPi / 2 + float(k * 2) * 2 * kPi / 5;
    star.push_back({10 * std::cos(a), -10 * std::sin(a)});
  }
  const auto pentagram = {star[0], star[1], star[2], star[3], star[4]};
  const struct {
    const char* what;
    std::initializer_list<POINTF> outline;
    double px, py;
    BOOL inside;
  } cases[] = {
      {"square centre", square, 5, 5, TRUE},
      {"square, beside", square, 15, 5, FALSE},
      {"square, off a corner", square, -1, -1, FALSE},
      {"cup, left arm", cup, 1, 8, TRUE},
      {"cup, right arm", cup, 9, 8, TRUE},
      {"cup, base", cup, 5, 1, TRUE},
      {"cup, in the notch", cup, 5, 6, FALSE},
      {"cup, below the notch", cup, 5, 11, FALSE},
      {"star centre", pentagram, 0, 0, TRUE},
      {"star tip", pentagram, 0, -8.5, TRUE},
      {"star, between tips", pentagram, 0, 8.5, FALSE},
  };
  for (const auto& c : cases)
    for (bool reversed : {false, true}) {
      const std::vector<float> xy = Outline(c.outline, reversed);
      EXPECT_EQ(IsInsideByWinding(c.px, c.py, xy.data(), int(xy.size() / 2)), c.inside)
          << c.what << (reversed ? " (reversed)" : "");
    }
  const float two[] = {0, 0, 10, 10};
  EXPECT_FALSE(IsInsideByWinding(5, 5, two, 2)) << "a line has no inside";
  EXPECT_FALSE(IsInsideByWinding(5, 5, two, 0));
  EXPECT_FALSE(IsInsideByWinding(5, 5, nullptr, 4));
}

TEST(Geometry, RotatedRectStartsAsAUnitSquareAndTakesARect) {
  RotatedRect rr;
  EXPECT_EQ(rr.x, 0.0f);
  EXPECT_EQ(rr.y, 0.0f);
  EXPECT_EQ(rr.anchor, 0);
  EXPECT_EQ(rr.width, 1.0f);
  EXPECT_EQ(rr.height, 1.0f);
  EXPECT_EQ(rr.angle, 0.0f);
  rr.angle = 1;
  rr.anchor = 3;
  const RECT rc{10, 20, 40, 60};
  rr.SetRect(&rc);
  POINTF c[4];
  EXPECT_EQ(rr.GetCorners(c), c);
  const POINTF want[4] = {{10, 20}, {40, 20}, {10, 60}, {40, 60}};
  for (int i = 0; i < 4; ++i) ExpectNear(c[i], want[i], "SetRect corner");
}

TEST(Geometry, GetCornersTurnsTheFrameAndPinsTheAnchorCorner) {
  // Width 4, height 2, a quarter turn: the width side points up (y down), the height side
  // right. Unpinned corners: (0, 0), (0, -4), (2, 0), (2, -4).
  const POINTF want[4][4] = {
      {{10, 10}, {10, 6}, {12, 10}, {12, 6}},
      {{10, 14}, {10, 10}, {12, 14}, {12, 10}},
      {{8, 10}, {8, 6}, {10, 10}, {10, 6}},
      {{8, 14}, {8, 10}, {10, 14}, {10, 10}},
  };
  for (int anchor = 0; anchor < 4; ++anchor) {
    RotatedRect rr;
    rr.x = 10;
    rr.y = 10;
    rr.anchor = anchor;
    rr.width = 4;
    rr.height = 2;
    rr.angle = kPi / 2;
    POINTF c[4];
    rr.GetCorners(c);
    for (int i = 0; i < 4; ++i) ExpectNear(c[i], want[anchor][i], ("anchor " + std::to_string(anchor)).c_str());
  }
}

TEST(Geometry, SizeDragPinsTheCornerAndTakesTheOppositeToTheDragPoint) {
  const struct {
    int corner;
    float angle;
    POINTF a, d;
    float width, height;
  } cases[] = {
      {0, 0, {5, 5}, {25, 15}, 20, 10},
      {1, 0, {5, 5}, {-15, 15}, 20, 10},
      {2, 0, {5, 5}, {25, -5}, 20, 10},
      {3, 0, {5, 5}, {-15, -5}, 20, 10},
      {1, kPi / 2, {0, 0}, {6, -8}, -8, 6},
      {0, 0.7f, {3, -2}, {-9, 14}, 0, 0},  // sizes checked through the corners only
      {3, 4.0f, {-3, 8}, {12, 1}, 0, 0},
  };
  for (const auto& c : cases) {
    RotatedRect rr;
    rr.angle = c.angle;
    rr.Drag(c.corner, &c.a, &c.d, 0);
    EXPECT_EQ(rr.anchor, c.corner);
    EXPECT_EQ(rr.angle, c.angle) << "a size drag keeps the angle";
    if (c.width != 0) {
      EXPECT_NEAR(rr.width, c.width, 1e-4f) << "corner " << c.corner;
      EXPECT_NEAR(rr.height, c.height, 1e-4f) << "corner " << c.corner;
    }
    POINTF k[4];
    rr.GetCorners(k);
    ExpectNear(k[c.corner], c.a, "pinned corner");
    ExpectNear(k[3 - c.corner], c.d, "opposite corner");
  }
}

TEST(Geometry, SizeDragKeepsAMinimumSize) {
  const POINTF a{0, 0};
  const struct {
    POINTF d;
    float width, height;
  } cases[] = {
      {{0, 0}, 2, 2},        // on the anchor: a 2 x 2 square
      {{3, 0}, 2, 1},        // closer than 4: cut to length 2, the flat side held at 1
      {{-3, 0}, -2, 1},
      {{0, -0.5f}, 1, -2},
      {{10, 0.5f}, 10, 1},   // below 1 in size: 1 with its sign
      {{10, -0.5f}, 10, -1},
  };
  for (const auto& c : cases) {
    RotatedRect rr;
    rr.Drag(0, &a, &c.d, 0);
    EXPECT_FLOAT_EQ(rr.width, c.width) << c.d.x << "," << c.d.y;
    EXPECT_FLOAT_EQ(rr.height, c.height) << c.d.x << "," << c.d.y;
  }
}

TEST(Geometry, RotateDragKeepsTheAspectAndTurnsTheOppositeCornerOntoTheDragPoint) {
  const struct {
    int corner;
    POINTF a, d;
    float width, height, angle;  // angle < 0: checked through the corners only
    POINTF opposite;             // where the opposite corner ends
  } cases[] = {
      // 3 x 4 to a diagonal of 10 straight down: 6 x 8, turned by atan2(8, 6) - pi/2 (+ 2pi).
      {0, {0, 0}, {0, 10}, 6, 8, 0.927295f - kPi / 2 + 6.283185f, {0, 10}},
      {0, {0, 0}, {6, 8}, 6, 8, 0, {6, 8}},
      {1, {4, 4}, {-2, 12}, 6, 8, -1, {-2, 12}},
      {2, {4, 4}, {20, -8}, 12, 16, -1, {20, -8}},
      {3, {1, 2}, {-2.6f, -2.8f}, 3.6f, 4.8f, -1, {-2.6f, -2.8f}},
      // Closer than 2: a diagonal of 2 towards the drag point.
      {0, {0, 0}, {1, 0}, 1.2f, 1.6f, 0.927295f, {2, 0}},
  };
  for (const auto& c : cases) {
    RotatedRect rr;
    rr.width = 3;
    rr.height = 4;
    rr.Drag(c.corner, &c.a, &c.d, 1);
    EXPECT_NEAR(rr.width, c.width, 1e-4f) << "corner " << c.corner;
    EXPECT_NEAR(rr.height, c.height, 1e-4f) << "corner " << c.corner;
    if (c.angle >= 0) {
      EXPECT_NEAR(rr.angle, c.angle, 1e-5f) << "corner " << c.corner;
    }
    POINTF k[4];
    rr.GetCorners(k);
    ExpectNear(k[c.corner], c.a, "pinned corner");
    ExpectNear(k[3 - c.corner], c.opposite, "opposite corner", 1e-3f);
  }
}

TEST(Geometry, RotateDragOfARectangleWithoutSizeMakesASquare) {
  RotatedRect rr;
  const RECT empty{5, 5, 5, 5};
  rr.SetRect(&empty);
  const POINTF a{5, 5}, d{15, 15};
  rr.Drag(0, &a, &d, 1);
  EXPECT_NEAR(rr.width, 10, 1e-4f);
  EXPECT_NEAR(rr.height, 10, 1e-4f);
  POINTF k[4];
  rr.GetCorners(k);
  ExpectNear(k[3], d, "opposite corner");
}

TEST(Geometry, EveryDragLeavesSizesOfAtLeastOneAndATurnWithinRange) {
  for (int mode = 0; mode <= 2; ++mode)
    for (int corner = 0; corner < 4; ++corner)
      for (float dx : {-50.f, -3.f, -0.2f, 0.f, 1e-4f, 2.5f, 40.f})
        for (float dy : {-30.f, -1e-5f, 0.f, 0.7f, 3.9f, 25.f})
          for (float angle : {0.f, 1.f, 3.5f, 6.28f}) {
            RotatedRect rr;
            rr.width = 0.3f;
            rr.height = -7;
            rr.angle = angle;
            const POINTF a{2, 3}, d{2 + dx, 3 + dy};
            rr.Drag(corner, &a, &d, mode);
            EXPECT_GE(std::fabs(rr.width), 1.0f);
            EXPECT_GE(std::fabs(rr.height), 1.0f);
            if (mode == 1) {
              EXPECT_GE(rr.angle, 0.0f) << dx << "," << dy << " corner " << corner;
              EXPECT_LE(rr.angle, 6.283185f) << dx << "," << dy << " corner " << corner;
            } else {
              EXPECT_EQ(rr.angle, angle) << "mode " << mode;
            }
            EXPECT_EQ(rr.anchor, corner);
            EXPECT_EQ(rr.x, a.x);
            EXPECT_EQ(rr.y, a.y);
          }
}

TEST(Geometry, RotateDragJustBelowTheAxisGivesNoNegativeTurn) {
  // The drag direction sits a hair under a full turn and the frame's diagonal at 0: their
  // difference lies just above -2pi, below what one wrap brings back to 0.
  RotatedRect rr;
  const RECT flat{0, 0, 10, 0};
  rr.SetRect(&flat);
  const POINTF a{0, 0}, d{100, -1e-5f};
  rr.Drag(0, &a, &d, 1);
  EXPECT_GE(rr.angle, 0.0f);
  EXPECT_LE(rr.angle, 6.283185f);
}

TEST(Geometry, DragOfAnUnknownCornerChangesNothing) {
  RotatedRect rr;
  rr.x = 4;
  rr.width = 5;
  rr.angle = 0.5f;
  const POINTF a{1, 1}, d{30, 30};
  for (int corner : {-1, 4}) {
    rr.Drag(corner, &a, &d, 1);
    EXPECT_EQ(rr.anchor, 0);
    EXPECT_EQ(rr.x, 4.0f);
    EXPECT_EQ(rr.width, 5.0f);
    EXPECT_EQ(rr.angle, 0.5f);
  }
  POINTF k[4];
  rr.anchor = 7;  // set by hand: corner 0 is pinned
  rr.GetCorners(k);
  ExpectNear(k[0], {4, 0}, "corner 0");
}

TEST(Geometry, SpanOverlapGivesLengthOffsetsAndStart) {
  const struct {
    int32_t a0, a1, b0, b1;
    int32_t l, l1, l2, start;
  } cases[] = {
      {0, 10, 5, 20, 5, 5, 0, 5},
      {5, 20, 0, 10, 5, 0, 5, 5},
      {0, 10, 2, 4, 2, 2, 0, 2},
      {-10, 10, -3, 100, 13, 7, 0, -3},
      {0, 5, 8, 10, 0, 8, 0, 8},    // apart: no length, offsets still of the start
      {0, 5, 5, 9, 0, 5, 0, 5},     // touching
      {3, 3, 0, 10, 0, 0, 3, 3},    // an empty span is still a span
      {10, 5, 0, 20, 0, 0, 0, 0},   // the first ends before it starts
      {0, 20, 7, 6, 0, 0, 0, 0},    // the second does
      {INT_MIN, INT_MAX, INT_MIN, INT_MAX, INT_MAX, 0, 0, INT_MIN},
      {INT_MIN, INT_MAX, 0, 10, 10, INT_MAX, 0, 0},
  };
  for (const auto& c : cases) {
    const SpanOverlap o(c.a0, c.a1, c.b0, c.b1);
    EXPECT_EQ(o.l, c.l) << c.a0 << ".." << c.a1 << " & " << c.b0 << ".." << c.b1;
    EXPECT_EQ(o.l1, c.l1) << c.a0 << ".." << c.a1 << " & " << c.b0 << ".." << c.b1;
    EXPECT_EQ(o.l2, c.l2) << c.a0 << ".." << c.a1 << " & " << c.b0 << ".." << c.b1;
    EXPECT_EQ(o.start, c.start) << c.a0 << ".." << c.a1 << " & " << c.b0 << ".." << c.b1;
  }
}

}  // namespace
