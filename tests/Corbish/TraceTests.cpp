#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/Thrown.h"
#include "Corbish.h"
#include "XCreateShapeFromBitmap.h"
#include "common/FakeSystem.h"
#include "odata/GCompRef.h"

namespace {

// A 1-bit map: rows of span / 32 words, pixel (x, y) at bit (x - left) & 31.
struct Mask {
  RECT rc;
  int span;
  std::vector<DWORD> words;
  explicit Mask(RECT r) : rc(r), span(r.right - r.left), words(size_t(span / 32) * (r.bottom - r.top), 0) {}
  size_t Word(int x, int y) const { return (size_t(y - rc.top) * span + (x - rc.left)) >> 5; }
  bool Get(int x, int y) const {
    if (x < rc.left || x >= rc.right || y < rc.top || y >= rc.bottom) return false;
    return (words[Word(x, y)] >> ((x - rc.left) & 31)) & 1;
  }
  void Set(int x, int y, bool v = true) {
    const DWORD bit = DWORD(1) << ((x - rc.left) & 31);
    if (v) {
      words[Word(x, y)] |= bit;
    } else {
      words[Word(x, y)] &= ~bit;
    }
  }
};

using Contour = std::vector<POINT>;
struct Traced {
  int count = 0;
  std::vector<Contour> contours;
};

int64_t Area2(const Contour& c) {
  int64_t a = 0;
  for (size_t i = 0; i < c.size(); ++i) {
    const POINT& p = c[i];
    const POINT& q = c[(i + 1) % c.size()];
    a += int64_t(p.x) * q.y - int64_t(q.x) * p.y;
  }
  return a;
}

// Components of the pixels of rcLimit whose bit equals `set`; 4-connected for set pixels,
// 8-connected for clear ones. For clear pixels only the components that do not touch the
// edge of rcLimit count (the holes).
int Components(const Mask& m, const RECT& lim, bool set) {
  const int w = lim.right - lim.left, h = lim.bottom - lim.top;
  std::vector<char> seen(size_t(w) * h, 0);
  int count = 0;
  std::vector<std::pair<int, int>> stack;
  for (int y0 = 0; y0 < h; ++y0) {
    for (int x0 = 0; x0 < w; ++x0) {
      if (seen[size_t(y0) * w + x0] || m.Get(lim.left + x0, lim.top + y0) != set) continue;
      bool edge = false;
      seen[size_t(y0) * w + x0] = 1;
      stack.assign(1, {x0, y0});
      while (!stack.empty()) {
        auto [x, y] = stack.back();
        stack.pop_back();
        if (x == 0 || y == 0 || x == w - 1 || y == h - 1) edge = true;
        for (int dy = -1; dy <= 1; ++dy) {
          for (int dx = -1; dx <= 1; ++dx) {
            if ((dx == 0) == (dy == 0) && (set || (dx == 0 && dy == 0))) continue;
            const int nx = x + dx, ny = y + dy;
            if (nx < 0 || ny < 0 || nx >= w || ny >= h || seen[size_t(ny) * w + nx]) continue;
            if (m.Get(lim.left + nx, lim.top + ny) != set) continue;
            seen[size_t(ny) * w + nx] = 1;
            stack.push_back({nx, ny});
          }
        }
      }
      if (set || !edge) ++count;
    }
  }
  return count;
}

bool Names(const Thrown& t, const char16_t* method) {
  return t.piece.find(u"XCreateShapeFromBitmap") != std::u16string::npos &&
         t.piece.find(method) != std::u16string::npos;
}
class TraceTest : public ::testing::Test {
 protected:
  TraceTest() {
    sys.Register(u"XCreateShapeFromBitmap", GCreateComponent<XCreateShapeFromBitmap>);
    sys.Register(u"Corbish", GCreateComponent<Corbish>);
    tracer = static_cast<OCreateShapeFromBitmap*>(
        sys.NewObj(u"XCreateShapeFromBitmap", nullptr)->GetInterface(u"OCreateShapeFromBitmap"));
  }
  ~TraceTest() override {
    tracer.Release();
    EXPECT_EQ(sys.Entry(u"XCreateShapeFromBitmap")->Refs(), 0);
    EXPECT_EQ(sys.Entry(u"Corbish")->Refs(), 0);
  }

  Traced Trace(Mask& m, const RECT& lim) {
    Traced t;
    t.count = tracer->Begin(m.words.data(), &m.rc, &lim);
    if (t.count == 0) return t;
    POINT p;
    int fresh = -1;
    while (tracer->GetPoint(&p, &fresh)) {
      if (fresh) t.contours.emplace_back();
      EXPECT_TRUE(fresh || !t.contours.empty());
      if (!t.contours.empty()) t.contours.back().push_back(p);
      fresh = -1;
    }
    EXPECT_EQ(fresh, 1);
    tracer->End();
    return t;
  }

  FakeSystem sys;
  GCompRef<OCreateShapeFromBitmap> tracer;
};

// Rotates a closed contour so that it starts at its smallest point, for comparisons.
Contour Canonical(Contour c) {
  auto less = [](const POINT& a, const POINT& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; };
  std::rotate(c.begin(), std::min_element(c.begin(), c.end(), less), c.end());
  return c;
}
bool Same(const Contour& a, const Contour& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].x != b[i].x || a[i].y != b[i].y) return false;
  return true;
}

TEST_F(TraceTest, InterfacesByName) {
  EXPECT_EQ(tracer->GetInterface(u"OCreateShapeFromBitmap"), static_cast<void*>(tracer.get()));
  EXPECT_NE(tracer->GetInterface(u"m_xBeing"), nullptr);
  EXPECT_EQ(tracer->GetInterface(u"GSystem"), static_cast<void*>(static_cast<GSystem*>(&sys)));
  EXPECT_EQ(tracer->GetInterface(u"OShape"), nullptr);
}

TEST_F(TraceTest, OnePixelIsFourClockwiseVertices) {
  Mask m(RECT{-32, -5, 32, 5});
  m.Set(3, 1);
  Traced t = Trace(m, RECT{-20, -3, 20, 4});
  EXPECT_EQ(t.count, 4);
  ASSERT_EQ(t.contours.size(), 1u);
  // From the newest vertex along the links, clockwise on the screen.
  EXPECT_TRUE(Same(t.contours[0], Contour{{4, 2}, {3, 2}, {3, 1}, {4, 1}}));
  EXPECT_GT(Area2(t.contours[0]), 0);
}

struct ShapeCase {
  const char* name;
  std::vector<POINT> pixels;
  int count;
  std::vector<Contour> contours;  // canonical, in the order they come out
};

TEST_F(TraceTest, SmallShapes) {
  const std::vector<ShapeCase> cases = {
      {"block", {{1, 1}, {2, 1}, {1, 2}, {2, 2}}, 4, {{{1, 1}, {3, 1}, {3, 3}, {1, 3}}}},
      {"L", {{1, 1}, {1, 2}, {2, 2}}, 6, {{{1, 1}, {2, 1}, {2, 2}, {3, 2}, {3, 3}, {1, 3}}}},
      // Touching at a corner only: two contours, the later one in the pass first; two
      // vertices share the point (2, 2).
      {"diagonal", {{1, 1}, {2, 2}}, 8, {{{2, 2}, {3, 2}, {3, 3}, {2, 3}}, {{1, 1}, {2, 1}, {2, 2}, {1, 2}}}},
      {"anti-diagonal",
       {{2, 1}, {1, 2}},
       8,
       {{{1, 2}, {2, 2}, {2, 3}, {1, 3}}, {{2, 1}, {3, 1}, {3, 2}, {2, 2}}}},
      // A ring: the hole runs the other way round.
      {"ring",
       {{1, 1}, {2, 1}, {3, 1}, {1, 2}, {3, 2}, {1, 3}, {2, 3}, {3, 3}},
       8,
       {{{1, 1}, {4, 1}, {4, 4}, {1, 4}}, {{2, 2}, {2, 3}, {3, 3}, {3, 2}}}},
  };
  for (const ShapeCase& c : cases) {
    Mask m(RECT{0, 0, 32, 6});
    for (const POINT& p : c.pixels) m.Set(p.x, p.y);
    Traced t = Trace(m, RECT{1, 1, 30, 5});
    EXPECT_EQ(t.count, c.count) << c.name;
    ASSERT_EQ(t.contours.size(), c.contours.size()) << c.name;
    for (size_t i = 0; i < c.contours.size(); ++i)
      EXPECT_TRUE(Same(Canonical(t.contours[i]), c.contours[i])) << c.name << " contour " << i;
  }
}

TEST_F(TraceTest, FrameIsClearedAndNeverTraced) {
  Mask m(RECT{-32, -3, 32, 9});
  std::fill(m.words.begin(), m.words.end(), ~DWORD(0));
  const RECT lim{-10, 0, 5, 6};
  Traced t = Trace(m, lim);
  ASSERT_EQ(t.contours.size(), 1u);
  EXPECT_TRUE(Same(Canonical(t.contours[0]), Contour{{-10, 0}, {5, 0}, {5, 6}, {-10, 6}}));
  for (int y = -3; y < 9; ++y) {
    for (int x = -32; x < 32; ++x) {
      const bool frameRow = y == lim.top - 1 || y == lim.bottom;
      const bool frameColumn = (x == lim.left - 1 || x == lim.right) && y >= lim.top - 1 && y <= lim.bottom;
      EXPECT_EQ(m.Get(x, y), !(frameRow || frameColumn)) << x << "," << y;
    }
  }
}

TEST_F(TraceTest, RefusedRectanglesLeaveTheMapAlone) {
  struct Case {
    RECT bitmap, limit;
    bool null;
    const char16_t* condition;
  };
  const std::vector<Case> cases = {
      {{0, 0, 64, 10}, {5, 5, 5, 8}, false, u"!RectIsValid(rcLimit)"},
      {{0, 0, 64, 10}, {5, 5, 8, 5}, false, u"!RectIsValid(rcLimit)"},
      {{0, 0, 64, 10}, {0, 1, 10, 5}, false, u"!rcLimit.left>rcBitmap.left"},
      {{0, 0, 64, 10}, {1, 0, 10, 5}, false, u"!rcLimit.top>rcBitmap.top"},
      {{0, 0, 64, 10}, {1, 1, 64, 5}, false, u"!rcLimit.right<rcBitmap.right"},
      {{0, 0, 64, 10}, {1, 1, 10, 10}, false, u"!rcLimit.bottom<rcBitmap.bottom"},
      {{0, 0, 48, 10}, {1, 1, 10, 5}, false, u"!0==(31&(rcBitmap.right-rcBitmap.left))"},
      {{0, 0, 64, 10},
       {1, 1, 10, 5},
       true,
       u"!!IsBadWritePtr(pBitmap,(rcBitmap.right-rcBitmap.left)/8*(rcBitmap.bottom-rcBitmap.top))"},
  };
  for (const Case& c : cases) {
    std::vector<DWORD> words(64, ~DWORD(0));
    Thrown t = CatchError([&] { tracer->Begin(c.null ? nullptr : words.data(), &c.bitmap, &c.limit); });
    EXPECT_EQ(t.condition, c.condition);
    EXPECT_TRUE(Names(t, u"::Begin()"));
    EXPECT_EQ(words, std::vector<DWORD>(64, ~DWORD(0))) << U8(c.condition);
  }
}

TEST_F(TraceTest, EmptyAreaLeavesNothingToRead) {
  POINT p;
  int fresh = 0;
  Mask m(RECT{0, 0, 32, 8});
  m.Set(0, 0);  // in the frame's corner: cleared, never traced
  const RECT lim{1, 1, 20, 6};
  EXPECT_EQ(tracer->Begin(m.words.data(), &m.rc, &lim), 0);
  Thrown t = CatchError([&] { tracer->GetPoint(&p, &fresh); });
  EXPECT_EQ(t.condition, u"!m_myState==myREADY");
  EXPECT_TRUE(Names(t, u"::GetPoint()"));

  // After a trace with contours, an empty one gives none of the earlier points.
  m.Set(3, 3);
  EXPECT_EQ(tracer->Begin(m.words.data(), &m.rc, &lim), 4);
  ASSERT_TRUE(tracer->GetPoint(&p, &fresh));
  m.Set(3, 3, false);
  EXPECT_EQ(tracer->Begin(m.words.data(), &m.rc, &lim), 0);
  EXPECT_FALSE(tracer->GetPoint(&p, &fresh));
  EXPECT_EQ(fresh, 1);
  tracer->End();
  EXPECT_EQ(CatchError([&] { tracer->GetPoint(&p, &fresh); }).condition, u"!m_myState==myREADY");
  tracer->End();  // allowed in any state
}

// Random masks: the outlines run exactly along the boundary edges with the set pixels on
// their right, turn at every vertex, enclose as much area as there are set pixels, and
// give one outer contour per 4-connected region and one hole per enclosed 8-connected gap.
TEST_F(TraceTest, RandomMasksKeepTheInvariants) {
  std::mt19937 rng(99);
  for (int round = 0; round < 60; ++round) {
    const int left = int(rng() % 64) - 96, top = int(rng() % 20) - 10;
    Mask m(RECT{left, top, left + 32 * (1 + int(rng() % 3)), top + 8 + int(rng() % 40)});
    const int density = 15 + int(rng() % 70);
    for (int y = m.rc.top; y < m.rc.bottom; ++y)
      for (int x = m.rc.left; x < m.rc.right; ++x)
        if (int(rng() % 100) < density) m.Set(x, y);
    RECT lim;
    lim.left = m.rc.left + 1 + int(rng() % 6);
    lim.top = m.rc.top + 1 + int(rng() % 3);
    lim.right = m.rc.right - 1 - int(rng() % 6);
    lim.bottom = m.rc.bottom - 1 - int(rng() % 3);
    Traced t = Trace(m, lim);

    int64_t bits = 0, boundary = 0;
    for (int y = lim.top - 1; y <= lim.bottom; ++y) {
      for (int x = lim.left - 1; x <= lim.right; ++x) {
        if (x < lim.left || x >= lim.right || y < lim.top || y >= lim.bottom) {
          ASSERT_FALSE(m.Get(x, y)) << "frame not cleared at " << x << "," << y;
          continue;
        }
        bits += m.Get(x, y);
        boundary += m.Get(x, y) != m.Get(x + 1, y);
        boundary += m.Get(x, y) != m.Get(x, y + 1);
        boundary += x == lim.left && m.Get(x, y);
        boundary += y == lim.top && m.Get(x, y);
      }
    }
    int64_t area = 0, points = 0, edges = 0;
    int outer = 0, holes = 0;
    std::set<std::pair<std::pair<int, int>, int>> used;
    for (const Contour& c : t.contours) {
      ASSERT_GE(c.size(), 4u);
      points += int64_t(c.size());
      const int64_t a = Area2(c);
      area += a;
      (a > 0 ? outer : holes) += 1;
      for (size_t i = 0; i < c.size(); ++i) {
        const POINT p = c[i], q = c[(i + 1) % c.size()], r = c[(i + 2) % c.size()];
        ASSERT_TRUE((p.x == q.x) != (p.y == q.y)) << "edge not axis-aligned";
        ASSERT_TRUE((p.x == q.x) != (q.x == r.x)) << "vertex without a turn";
        const int dx = (q.x > p.x) - (q.x < p.x), dy = (q.y > p.y) - (q.y < p.y);
        for (POINT s = p; s.x != q.x || s.y != q.y; s.x += dx, s.y += dy) {
          // The pixel right of the step (y down) is set, the one on the left is clear.
          const int ix = dx > 0 ? s.x : dx < 0 ? s.x - 1 : dy > 0 ? s.x - 1 : s.x;
          const int iy = dx > 0 ? s.y : dx < 0 ? s.y - 1 : dy > 0 ? s.y : s.y - 1;
          const int ox = dx > 0 ? s.x : dx < 0 ? s.x - 1 : dy > 0 ? s.x : s.x - 1;
          const int oy = dx > 0 ? s.y - 1 : dx < 0 ? s.y : dy > 0 ? s.y : s.y - 1;
          ASSERT_TRUE(m.Get(ix, iy) && !m.Get(ox, oy)) << "edge at " << s.x << "," << s.y;
          ASSERT_TRUE(used.insert({{s.x, s.y}, dx * 3 + dy}).second) << "edge used twice";
          ++edges;
        }
      }
    }
    EXPECT_EQ(points, t.count);
    EXPECT_EQ(area, 2 * bits) << "round " << round;
    EXPECT_EQ(edges, boundary);
    EXPECT_EQ(outer, Components(m, lim, true)) << "round " << round;
    EXPECT_EQ(holes, Components(m, lim, false)) << "round " << round;
  }
}

// The traced outlines filled at factor 16 give back the mask: 256 on set pixels, 0 elsewhere.
TEST_F(TraceTest, FilledOutlinesReproduceTheMask) {
  GCompRef<OShape> shape = static_cast<OShape*>(sys.NewObj(u"Corbish", nullptr)->GetInterface(u"OShape"));
  std::mt19937 rng(5);
  for (int round = 0; round < 10; ++round) {
    Mask m(RECT{0, 0, 64, 40});
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 64; ++x)
        if (rng() % 100 < 45) m.Set(x, y);
    const RECT lim{1, 1, 63, 39};
    Traced t = Trace(m, lim);
    shape->CollectBegin(16);
    for (const Contour& c : t.contours) {
      for (size_t i = 0; i < c.size(); ++i) {
        const float p[2] = {float(c[i].x), float(c[i].y)};
        shape->Collect(p, i == 0);
      }
    }
    ASSERT_TRUE(shape->CollectEnd());
    std::vector<int> cov(size_t(62) * 38, 0);
    const WORD* buf = shape->ScanBegin(&lim);
    RECT row;
    while (shape->Scan(&row))
      for (int x = row.left; x < row.right; ++x) cov[size_t(row.top - 1) * 62 + (x - 1)] = buf[x - 1];
    shape->Reset();
    for (int y = 1; y < 39; ++y)
      for (int x = 1; x < 63; ++x) ASSERT_EQ(cov[size_t(y - 1) * 62 + (x - 1)], m.Get(x, y) ? 256 : 0);
  }
}

}  // namespace
