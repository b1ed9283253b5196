#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "common/Thrown.h"
#include "Corbish.h"
#include "common/FakeSystem.h"
#include "odata/GCompRef.h"

namespace {

using Pt = std::array<float, 2>;
using Contour = std::vector<Pt>;
using Outline = std::vector<Contour>;

// Coverage of a scan rectangle, row-major from its top-left pixel.
struct Grid {
  int w = 0, h = 0;
  std::vector<int> c;
  Grid(int w_, int h_) : w(w_), h(h_), c(size_t(w_) * h_, 0) {}
  int& at(int x, int y) { return c[size_t(y) * w + x]; }
};

// The filler's sampling rule, sample by sample. A vertex snaps to (floor(x f), floor(y f)).
// An edge sees sub-row Y when Y lies in the half-open range from its upper to its lower end;
// its crossing there is the upper end's X plus the run truncated towards zero, and it counts
// for sub-sample (t, Y) when the crossing lies at or left of t. The sub-sample is covered when
// the signed count (down +1, up -1) is not zero. Contours of fewer than 3 points are left out.
Grid Model(int f, const Outline& outline, const RECT& scan) {
  struct Edge {
    int64_t xu, yu, xl, yl;
    int dir;
  };
  std::vector<Edge> edges;
  auto sub = [f](float v) { return int64_t(std::floor(double(v) * f)); };
  for (const Contour& c : outline) {
    if (c.size() < 3) continue;
    for (size_t i = 0; i < c.size(); ++i) {
      const Pt& a = c[i];
      const Pt& b = c[(i + 1) % c.size()];
      int64_t xa = sub(a[0]), ya = sub(a[1]), xb = sub(b[0]), yb = sub(b[1]);
      if (ya < yb) edges.push_back({xa, ya, xb, yb, 1});
      if (yb < ya) edges.push_back({xb, yb, xa, ya, -1});
    }
  }
  Grid g(scan.right - scan.left, scan.bottom - scan.top);
  for (int64_t y = int64_t(scan.top) * f; y < int64_t(scan.bottom) * f; ++y) {
    for (int64_t t = int64_t(scan.left) * f; t < int64_t(scan.right) * f; ++t) {
      int wind = 0;
      for (const Edge& e : edges) {
        if (y < e.yu || y >= e.yl) continue;
        const int64_t x = e.xu + (y - e.yu) * (e.xl - e.xu) / (e.yl - e.yu);
        if (x <= t) wind += e.dir;
      }
      // Pixels floor, also left of and above 0.
      const auto pixel = [f](int64_t v) { return v >= 0 ? v / f : -((-v + f - 1) / f); };
      if (wind != 0) ++g.at(int(pixel(t) - scan.left), int(pixel(y) - scan.top));
    }
  }
  return g;
}

bool Names(const Thrown& t, const char16_t* cls, const char16_t* method) {
  return t.piece.find(cls) != std::u16string::npos && t.piece.find(method) != std::u16string::npos;
}
class ShapeTest : public ::testing::Test {
 protected:
  ShapeTest() {
    sys.Register(u"Corbish", GCreateComponent<Corbish>);
    shape = static_cast<OShape*>(sys.NewObj(u"Corbish", nullptr)->GetInterface(u"OShape"));
  }
  ~ShapeTest() override {
    shape.Release();
    EXPECT_EQ(sys.Entry(u"Corbish")->Refs(), 0);
  }

  Corbish* Impl() { return static_cast<Corbish*>(shape.get()); }

  BOOL Collect(int f, const Outline& outline) {
    shape->CollectBegin(f);
    for (const Contour& c : outline)
      for (size_t i = 0; i < c.size(); ++i) shape->Collect(c[i].data(), i == 0);
    return shape->CollectEnd();
  }

  // Scans the whole rectangle and checks what every caller relies on: rows rise, the
  // reported columns stay inside the rectangle, entries outside them are 0.
  Grid Fill(int f, const Outline& outline, const RECT& scan, std::vector<RECT>* rows = nullptr) {
    Grid g(scan.right - scan.left, scan.bottom - scan.top);
    if (!Collect(f, outline)) {
      shape->Reset();
      return g;
    }
    const WORD* buf = shape->ScanBegin(&scan);
    const int cap = (g.w + 3) & ~3;
    int lastRow = scan.top - 1;
    RECT row;
    while (shape->Scan(&row)) {
      if (rows) rows->push_back(row);
      EXPECT_GT(row.top, lastRow);
      EXPECT_EQ(row.bottom, row.top + 1);
      EXPECT_LT(row.top, scan.bottom);
      EXPECT_GE(row.left, scan.left);
      EXPECT_LE(row.right, scan.right);
      lastRow = row.top;
      for (int i = 0; i < cap; ++i) {
        const int x = scan.left + i;
        if (x < row.left || x >= row.right) {
          EXPECT_EQ(buf[i], 0) << "row " << row.top << " entry " << i;
        } else {
          EXPECT_LE(buf[i], f * f);
          g.at(i, row.top - scan.top) = buf[i];
        }
      }
    }
    shape->Reset();
    return g;
  }

  FakeSystem sys;
  GCompRef<OShape> shape;
};

Contour Rect(float l, float t, float r, float b, bool clockwise = true) {
  if (clockwise) return {{l, t}, {r, t}, {r, b}, {l, b}};
  return {{l, t}, {l, b}, {r, b}, {r, t}};
}

TEST_F(ShapeTest, InterfacesByName) {
  EXPECT_EQ(shape->GetInterface(u"OShape"), static_cast<void*>(shape.get()));
  EXPECT_NE(shape->GetInterface(u"m_xBeing"), nullptr);
  EXPECT_EQ(shape->GetInterface(u"GSystem"), static_cast<void*>(static_cast<GSystem*>(&sys)));
  EXPECT_EQ(shape->GetInterface(u"OFlood"), nullptr);
}

// Factor, and how rows are summed: 0 sorted runs only, 1 dense only, 2 chosen per row.
class ShapeModel : public ShapeTest, public ::testing::WithParamInterface<std::tuple<int, int>> {};

// Random small outlines against the sampling rule, bit for bit: several contours of either
// orientation, points on exact sub-sample boundaries, repeated points, horizontal edges,
// points outside the scan rectangle, and short contours between the others (dropped).
TEST_P(ShapeModel, MatchesSamplingRuleBitExact) {
  const auto [f, mode] = GetParam();
  if (mode != 2) Impl()->SetDenseRatio(mode == 0 ? 0 : INT64_MAX);
  std::mt19937 rng(1234 + f);
  const RECT scan{-2, -1, 9, 8};
  for (int round = 0; round < 150; ++round) {
    auto coord = [&](float lo, float hi) -> float {
      switch (rng() % 4) {
        case 0:
          return std::floor(lo + float(rng() % 1000) / 1000.f * (hi - lo));
        case 1:
          return lo + float(rng() % int((hi - lo) * 32)) / 32.f;
        default:
          return lo + std::uniform_real_distribution<float>(0.f, 1.f)(rng) * (hi - lo);
      }
    };
    Outline outline;
    const int contours = 1 + int(rng() % 3);
    for (int c = 0; c < contours; ++c) {
      Contour k;
      const bool last = c == contours - 1;
      const int n = last ? 3 + int(rng() % 6) : 1 + int(rng() % 8);
      for (int i = 0; i < n; ++i) {
        Pt p{coord(-4.f, 11.f), coord(-3.f, 10.f)};
        if (i > 0 && rng() % 6 == 0) p = k.back();
        if (i > 0 && rng() % 6 == 0) p[1] = k.back()[1];
        k.push_back(p);
      }
      outline.push_back(k);
    }
    const Grid want = Model(f, outline, scan);
    const Grid got = Fill(f, outline, scan);
    ASSERT_EQ(got.c, want.c) << "factor " << f << " mode " << mode << " round " << round;
  }
}

INSTANTIATE_TEST_SUITE_P(Factors, ShapeModel,
                         ::testing::Combine(::testing::Values(1, 2, 4, 8, 16), ::testing::Values(0, 1, 2)));

TEST_F(ShapeTest, FactorsOutsidePowersOfTwoUpTo16AreRefused) {
  for (int f : {0, 3, 32, -1, 6}) {
    Thrown t = CatchError([&] { shape->CollectBegin(f); });
    EXPECT_EQ(t.condition, u"!j<5") << f;
    EXPECT_TRUE(Names(t, u"Corbish", u"::CollectBegin()"));
    EXPECT_EQ(Impl()->GetState(), Corbish::staREADY);
  }
  // Each accepted factor reaches f x f inside and nothing more.
  for (int f : {1, 2, 4, 8, 16}) {
    Grid g = Fill(f, {Rect(1, 1, 4, 3)}, RECT{0, 0, 5, 4});
    EXPECT_EQ(g.at(2, 1), f * f);
    EXPECT_EQ(g.at(0, 0), 0);
    EXPECT_EQ(g.at(4, 3), 0);
  }
}

TEST_F(ShapeTest, WindingOverlapAndHoles) {
  const RECT scan{0, 0, 10, 10};
  // Two overlapping squares of the same orientation: the overlap is still f x f.
  Grid both = Fill(8, {Rect(1, 1, 6, 6), Rect(3, 3, 8, 8)}, scan);
  EXPECT_EQ(both.at(4, 4), 64);
  EXPECT_EQ(both.at(2, 2), 64);
  EXPECT_EQ(both.at(7, 7), 64);
  EXPECT_EQ(both.at(7, 2), 0);
  // The inner square drawn the other way round is a hole.
  Grid ring = Fill(8, {Rect(1, 1, 8, 8), Rect(3, 3, 6, 6, false)}, scan);
  EXPECT_EQ(ring.at(4, 4), 0);
  EXPECT_EQ(ring.at(2, 4), 64);
  // Drawn the same way round it adds nothing.
  Grid same = Fill(8, {Rect(1, 1, 8, 8), Rect(3, 3, 6, 6)}, scan);
  EXPECT_EQ(same.at(4, 4), 64);
}

TEST_F(ShapeTest, PixelAlignedSlivers) {
  const RECT scan{0, 0, 6, 6};
  for (int f : {1, 4, 16}) {
    // One sub-column wide, on a pixel boundary: exactly f samples in each pixel it passes.
    const float w = 1.f / float(f);
    std::vector<RECT> rows;
    Grid g = Fill(f, {Rect(3, 1, 3 + w, 4)}, scan, &rows);
    ASSERT_EQ(rows.size(), 3u) << f;
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 6; ++x) EXPECT_EQ(g.at(x, y), x == 3 && y >= 1 && y < 4 ? f : 0) << f;
    EXPECT_EQ(rows[0].left, 3);
    EXPECT_EQ(rows[0].right, 4);
    // One sub-row high.
    Grid h = Fill(f, {Rect(1, 2, 5, 2 + w)}, scan);
    for (int x = 0; x < 6; ++x) EXPECT_EQ(h.at(x, 2), x >= 1 && x < 5 ? f : 0) << f;
    // Zero width: crossings pair up at one column and no row comes back.
    ASSERT_TRUE(Collect(f, {Rect(3, 1, 3, 4)}));
    shape->ScanBegin(&scan);
    RECT row;
    EXPECT_FALSE(shape->Scan(&row));
    shape->Reset();
  }
}

TEST_F(ShapeTest, RowsComeWithGapsAndStopAtTheBottom) {
  std::vector<RECT> rows;
  Fill(4, {Rect(1, 0, 3, 2), Rect(2, 5, 4, 7)}, RECT{0, 0, 8, 8}, &rows);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].top, 0);
  EXPECT_EQ(rows[1].top, 1);
  EXPECT_EQ(rows[2].top, 5);
  EXPECT_EQ(rows[3].top, 6);
  EXPECT_EQ(rows[2].left, 2);
  EXPECT_EQ(rows[2].right, 4);
  // Crossings above the top are skipped, and the first row at the bottom ends the scan.
  rows.clear();
  Fill(4, {Rect(1, 0, 3, 2), Rect(2, 5, 4, 7)}, RECT{0, 1, 8, 6}, &rows);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].top, 1);
  EXPECT_EQ(rows[1].top, 5);
  // A rectangle below every crossing: nothing.
  rows.clear();
  Fill(4, {Rect(1, 0, 3, 2)}, RECT{0, 3, 8, 6}, &rows);
  EXPECT_TRUE(rows.empty());
  // Few crossings spread over many sub-rows.
  rows.clear();
  Grid far = Fill(4, {Rect(1, 0, 3, 2), Rect(2, 90000, 4, 90001.5f)}, RECT{0, 89999, 8, 90003}, &rows);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].top, 90000);
  EXPECT_EQ(far.at(2, 1), 16);
  EXPECT_EQ(far.at(3, 2), 8);
}

TEST_F(ShapeTest, SpansBeyondTheRightEdge) {
  // Starting inside a pixel past the right edge, the row is reported empty (right <= left)
  // with a zero buffer; starting on a pixel boundary it is not reported at all.
  const RECT scan{0, 0, 4, 3};
  std::vector<RECT> rows;
  Grid g = Fill(2, {Rect(5.5f, 0, 7, 1)}, scan, &rows);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_GE(rows[0].left, rows[0].right);
  for (int v : g.c) EXPECT_EQ(v, 0);
  rows.clear();
  Fill(2, {Rect(5, 0, 7, 1)}, scan, &rows);
  EXPECT_TRUE(rows.empty());
  // Left of the rectangle nothing is reported either; across both edges it is clipped.
  rows.clear();
  Fill(2, {Rect(-5, 0, -1, 1)}, scan, &rows);
  EXPECT_TRUE(rows.empty());
  Grid wide = Fill(2, {Rect(-5, 0, 9, 1)}, scan, &rows);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].left, 0);
  EXPECT_EQ(rows[0].right, 4);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(wide.at(x, 0), 4);
}

// An edge 6000 pixels long at factor 16: height times width in sub-samples is far beyond
// 32 bits. The diagonal of the triangle crosses sub-row Y at X = Y, so a pixel on the
// diagonal holds 0 + 1 + ... + 15 samples and pixels left of it are full.
TEST_F(ShapeTest, LongEdgesInterpolateWithoutOverflow) {
  const RECT scan{5990, 5990, 6000, 6000};
  Grid g = Fill(16, {{{0, 0}, {6000, 6000}, {0, 6000}}}, scan);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) EXPECT_EQ(g.at(x, y), x < y ? 256 : x == y ? 120 : 0) << x << "," << y;
}

// Points far outside any layer, infinite or NaN still give defined crossings.
TEST_F(ShapeTest, NonFiniteCoordinatesStayDefined) {
  const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
  Grid g = Fill(1, {{{1, 0}, {5, 0}, {3, inf}}, {{nan, 2}, {1, 3}, {-inf, nan}}}, RECT{0, 0, 6, 4});
  EXPECT_EQ(g.at(3, 1), 1);
  EXPECT_EQ(g.at(0, 0), 0);
}

TEST_F(ShapeTest, ShortContoursAreDropped) {
  const RECT scan{0, 0, 8, 8};
  const Grid plain = Fill(8, {Rect(1, 1, 4, 4), Rect(5, 2, 7, 6)}, scan);
  // A 2-point and a 1-point contour between the others leave no unbalanced crossings.
  const Grid mixed =
      Fill(8, {Rect(1, 1, 4, 4), {{0.5f, 0.2f}, {6.5f, 7.7f}}, {{3, 3}}, Rect(5, 2, 7, 6)}, scan);
  EXPECT_EQ(mixed.c, plain.c);
  const Grid leading = Fill(8, {{{0.5f, 0.2f}, {6.5f, 7.7f}}, Rect(1, 1, 4, 4), Rect(5, 2, 7, 6)}, scan);
  EXPECT_EQ(leading.c, plain.c);
  // A last contour of 1 or 2 points makes CollectEnd answer FALSE, even after complete ones;
  // the collector then waits for Reset.
  for (size_t n : {1u, 2u}) {
    Contour tail = {{1, 6}, {3, 7}};
    tail.resize(n);
    EXPECT_FALSE(Collect(8, {Rect(1, 1, 4, 4), tail}));
    EXPECT_EQ(Impl()->GetState(), Corbish::staREADY);
    Thrown t = CatchError([&] { shape->CollectBegin(8); });
    EXPECT_EQ(t.condition, u"!m_myState==staREADY");
    EXPECT_TRUE(Names(t, u"Corbish", u"::CollectBegin()"));
    shape->Reset();
  }
}

TEST_F(ShapeTest, HorizontalEdgesAndRepeatedPointsAddNoCrossing) {
  // (0,0)-(4,0) is horizontal; each of the other two edges crosses 4 sub-rows at factor 1.
  ASSERT_TRUE(Collect(1, {{{0, 0}, {4, 0}, {4, 0}, {0, 4}, {0, 4}}}));
  EXPECT_EQ(Impl()->GetZip().GetCount(), 8u);
  shape->Reset();
}

TEST_F(ShapeTest, StateAndArgumentChecks) {
  const float p[2] = {1, 1};
  const RECT scan{0, 0, 4, 4};
  RECT row;
  struct Case {
    std::function<void()> call;
    const char16_t* condition;
    const char16_t* method;
  };
  const std::vector<Case> cases = {
      {[&] { shape->Collect(p, FALSE); }, u"!m_myState==staFILLING", u"::Collect()"},
      {[&] { shape->CollectEnd(); }, u"!m_myState==staFILLING", u"::CollectEnd()"},
      {[&] { shape->ScanBegin(&scan); }, u"!m_myState==staFILLED", u"::ScanBegin()"},
      {[&] { shape->Scan(&row); }, u"!m_myState==staSCANNING", u"::Scan()"},
  };
  for (const Case& c : cases) {
    Thrown t = CatchError(c.call);
    EXPECT_EQ(t.condition, c.condition);
    EXPECT_TRUE(Names(t, u"Corbish", c.method)) << U8(t.piece);
  }
  shape->CollectBegin(4);
  EXPECT_EQ(CatchError([&] { shape->CollectBegin(4); }).condition, u"!m_myState==staREADY");
  EXPECT_EQ(CatchError([&] { shape->ScanBegin(&scan); }).condition, u"!m_myState==staFILLED");
  shape->Reset();

  ASSERT_TRUE(Collect(4, {Rect(0, 0, 2, 2)}));
  for (RECT bad : {RECT{3, 0, 3, 4}, RECT{3, 0, 1, 4}}) {
    Thrown t = CatchError([&] { shape->ScanBegin(&bad); });
    EXPECT_EQ(t.condition, u"!nSpaceWidth>0");
    EXPECT_EQ(Impl()->GetState(), Corbish::staFILLED);
  }
  EXPECT_NE(shape->ScanBegin(&scan), nullptr);
  EXPECT_EQ(CatchError([&] { shape->Collect(p, FALSE); }).condition, u"!m_myState==staFILLING");
  shape->Reset();
  EXPECT_EQ(Impl()->GetState(), Corbish::staREADY);
}

// The buffer is reused and only grows; a narrower scan after a wider one sees no stale counts.
TEST_F(ShapeTest, ReuseAfterReset) {
  Fill(16, {Rect(0, 0, 300, 2)}, RECT{0, 0, 300, 2});
  const Grid small = Fill(16, {Rect(1, 0, 2.5f, 1)}, RECT{0, 0, 3, 1});
  EXPECT_EQ(small.c, (std::vector<int>{0, 256, 128}));
  const Grid again = Fill(16, {Rect(1, 0, 2.5f, 1)}, RECT{0, 0, 3, 1});
  EXPECT_EQ(again.c, small.c);
}

}  // namespace
