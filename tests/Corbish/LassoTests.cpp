#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "LassoKernels.h"
#include "XLasso.h"
#include "XWorker.h"
#include "common/FakeSystem.h"
#include "odata/GCompRef.h"

namespace {

constexpr uint32_t kPad = 0xA5A5A5A5u;

// An image in its own memory with a lock record over it; rows are padded with a pattern, so
// writes outside the image show.
struct Picture {
  std::vector<uint32_t> store;
  LayerLock rec;
  Picture(int w, int h, int ps, int x, int y) {
    const int pitch = w + 3;
    store.assign((size_t(pitch) * h * ps + 3) / 4 + 1, kPad);
    rec.nWidth = w, rec.nHeight = h, rec.nPitch = pitch, rec.nPixelSize = ps, rec.x = x, rec.y = y;
    rec.pPixels = reinterpret_cast<BYTE*>(store.data());
    rec.cbRow = uint32_t(pitch * ps);
    for (int py = 0; py < h; ++py)
      for (int px = 0; px < w; ++px) Set(px, py, 0);
  }
  // Takes the pixels of a picture of the same shape.
  void CopyFrom(const Picture& o) { std::copy(o.store.begin(), o.store.end(), store.begin()); }
  int W() const { return rec.nWidth; }
  int H() const { return rec.nHeight; }
  uint32_t Get(int px, int py) const {
    uint32_t v = 0;
    std::memcpy(&v, rec.Row(py) + size_t(px) * rec.nPixelSize, size_t(rec.nPixelSize));
    return v;
  }
  void Set(int px, int py, uint32_t v) {
    std::memcpy(rec.Row(py) + size_t(px) * rec.nPixelSize, &v, size_t(rec.nPixelSize));
  }
  // Pixel at space coordinates, or kPad outside.
  uint32_t At(int x, int y) const {
    x -= rec.x, y -= rec.y;
    return x >= 0 && y >= 0 && x < W() && y < H() ? Get(x, y) : kPad;
  }
  bool PaddingIntact() const {
    for (int py = 0; py < H(); ++py)
      for (int b = W() * rec.nPixelSize; b < rec.nPitch * rec.nPixelSize; ++b)
        if (rec.Row(py)[b] != 0xA5) return false;
    return true;
  }
};

void FillRandom(Picture& p, std::mt19937& rng) {
  for (int y = 0; y < p.H(); ++y)
    for (int x = 0; x < p.W(); ++x) {
      uint32_t v = uint32_t(rng());
      if (p.rec.nPixelSize == 4) {
        const uint32_t alphas[4] = {0, 255, v >> 24, 255};
        v = (v & 0xFFFFFF) | alphas[rng() % 4] << 24;
      }
      p.Set(x, y, p.rec.nPixelSize == 4 ? v : v & 0xFFFF);
    }
}

// The quadrilateral that puts the source onto itself: its rectangle grown by one pixel.
std::array<float, 8> IdentityQuad(const Picture& s, float dx = 0, float dy = 0) {
  const float x0 = float(s.rec.x - 1) + dx, y0 = float(s.rec.y - 1) + dy;
  const float x1 = float(s.rec.x + s.W() + 1) + dx, y1 = float(s.rec.y + s.H() + 1) + dy;
  return {x0, y0, x1, y0, x0, y1, x1, y1};
}

// What one destination pixel becomes from a sample: composited over, or the larger value.
uint32_t Combine(int ps, uint32_t sample, uint32_t dest) {
  return ps == 4 ? lasso::CompositeOver(sample, dest) : std::max(sample, dest);
}

lasso::Source SourceOf(const Picture& s) { return {s.rec.pPixels, s.rec.cbRow, s.W(), s.H()}; }

// One sample by the reference kernels at a position relative to the source (24.8), with
// every sub-sample at the position itself.
uint32_t ReferenceSample(const Picture& s, int32_t X, int32_t Y, bool super) {
  lasso::Footprint fp{};
  lasso::GroupFootprint(fp);
  const lasso::Source src = SourceOf(s);
  if (s.rec.nPixelSize == 4) {
    uint32_t out;
    super ? lasso::SampleSuperC32Scalar(src, fp, &X, &Y, 1, &out) : lasso::SampleNearestC32(src, &X, &Y, 1, &out);
    return out;
  }
  uint16_t out;
  super ? lasso::SampleSuperA16Scalar(src, fp, &X, &Y, 1, &out) : lasso::SampleNearestA16(src, &X, &Y, 1, &out);
  return out;
}

std::u16string Condition(GErrRecord* e) {
  std::u16string c = e->GetCondition();
  e->AddRef();
  e->Release();
  return c;
}

class XLassoTest : public ::testing::Test {
 protected:
  XLassoTest() {
    sys.Register(u"XLasso", GCreateComponent<XLasso>);
    sys.Register(u"XWorker", GCreateComponent<XWorker>);
    lasso = static_cast<OLasso*>(sys.NewObj(u"XLasso", nullptr)->GetInterface(u"OLasso"));
    args = GNewData(4096);
  }
  XLasso* Impl() { return static_cast<XLasso*>(lasso.get()); }

  // Draws with the nearest kernels (super false) or prepares the job and runs it here.
  int Draw(Picture& dest, const Picture& src, const std::array<float, 8>& quad, bool super) {
    if (!super) return lasso->Impress(&dest.rec, &src.rec, quad.data(), nullptr);
    JobRecord job{args, u"lasso", 0, -1, nullptr, nullptr};
    lasso->Impress(&dest.rec, &src.rec, quad.data(), &job);
    return job.proc(job.object, &job, nullptr);
  }

  std::u16string Refused(Picture& dest, const Picture& src, const std::array<float, 8>& quad) {
    try {
      lasso->Impress(&dest.rec, &src.rec, quad.data(), nullptr);
    } catch (GErrRecord* e) {
      EXPECT_GE(e->GetPieceCount(), 2u);
      if (e->GetPieceCount() >= 2) {
        EXPECT_NE(std::u16string(e->GetPiece(0)->GetText()).find(u"XLasso ::Impress()"), std::u16string::npos);
        EXPECT_NE(std::u16string(e->GetPiece(1)->GetText()).find(u"XLasso ::ImpressReady()"), std::u16string::npos);
      }
      return Condition(e);
    }
    return u"";
  }

  FakeSystem sys;
  GCompRef<OLasso> lasso;
  GCompRef<OData> args;
};

// An exact map: the destination pixel (x, y) samples the source at pos(x, y) (24.8,
// relative to the source), inside the rectangle `area`; elsewhere nothing changes.
struct ExactCase {
  const char* name;
  std::function<std::array<float, 8>(const Picture&)> quad;
  RECT area;
  std::function<std::pair<int32_t, int32_t>(int, int)> pos;
};

// Translations, a mirror, a quarter turn and an enlargement are exact in 24.8, so both
// paths must give exactly the reference kernels' samples at exactly these positions.
TEST_F(XLassoTest, ExactMapsMatchTheReferenceKernelsOnBothPaths) {
  // Source 10 x 6 at (5, -2); the destination covers everything the maps reach and more.
  const int sx = 5, sy = -2, w = 10, h = 6;
  const ExactCase cases[] = {
      {"identity",
       [](const Picture& s) { return IdentityQuad(s); },
       {sx - 1, sy - 1, sx + w + 1, sy + h + 1},
       [](int x, int y) { return std::make_pair(int32_t(256 * (x - sx) + 128), int32_t(256 * (y - sy) + 128)); }},
      {"shifted",
       [](const Picture& s) { return IdentityQuad(s, 7, -3); },
       {sx + 6, sy - 4, sx + w + 8, sy + h - 2},
       [](int x, int y) {
         return std::make_pair(int32_t(256 * (x - 7 - sx) + 128), int32_t(256 * (y + 3 - sy) + 128));
       }},
      {"mirrored",
       [](const Picture& s) {
         auto q = IdentityQuad(s);
         return std::array<float, 8>{q[2], q[3], q[0], q[1], q[6], q[7], q[4], q[5]};
       },
       {sx - 1, sy - 1, sx + w + 1, sy + h + 1},
       [](int x, int y) {
         return std::make_pair(int32_t(256 * (2 * sx + w - x) - 128 - 256 * sx), int32_t(256 * (y - sy) + 128));
       }},
      // A quarter turn clockwise into the rectangle at (20, 10): top-left goes top-right.
      {"quarter turn",
       [](const Picture&) {
         const float ox = 20, oy = 10;
         return std::array<float, 8>{ox + h + 1, oy - 1, ox + h + 1, oy + w + 1, ox - 1, oy - 1, ox - 1, oy + w + 1};
       },
       {20 - 1, 10 - 1, 20 + h + 1, 10 + w + 1},
       [](int x, int y) {
         return std::make_pair(int32_t(256 * (y - 10) + 128), int32_t(256 * (h - 1 - (x - 20)) + 128));
       }},
      // Twice the grown source at (-4, 3): positions fall between source pixels.
      {"enlarged",
       [](const Picture&) {
         const float ox = -4, oy = 3, ex = 2 * (w + 2), ey = 2 * (h + 2);
         return std::array<float, 8>{ox, oy, ox + ex, oy, ox, oy + ey, ox + ex, oy + ey};
       },
       {-4, 3, -4 + 2 * (w + 2), 3 + 2 * (h + 2)},
       [](int x, int y) {
         return std::make_pair(int32_t(128 * (x + 4) + 64 - 256), int32_t(128 * (y - 3) + 64 - 256));
       }},
  };
  std::mt19937 rng(5);
  for (int ps : {4, 2}) {
    for (const ExactCase& c : cases) {
      for (bool super : {false, true}) {
        SCOPED_TRACE(std::string(c.name) + (super ? " supersampled" : " nearest") + (ps == 4 ? " colour" : " mask"));
        Picture src(w, h, ps, sx, sy);
        FillRandom(src, rng);
        Picture dest(40, 32, ps, -6, -8);
        FillRandom(dest, rng);
        Picture before(40, 32, ps, -6, -8);
        before.CopyFrom(dest);
        const int r = Draw(dest, src, c.quad(src), super);
        // The bounding box ends one row below the last drawn one.
        EXPECT_EQ(r, super ? 1 : c.area.bottom - c.area.top + 1);
        for (int y = dest.rec.y; y < dest.rec.y + dest.H(); ++y)
          for (int x = dest.rec.x; x < dest.rec.x + dest.W(); ++x) {
            uint32_t want = before.At(x, y);
            if (x >= c.area.left && x < c.area.right && y >= c.area.top && y < c.area.bottom) {
              const auto [X, Y] = c.pos(x, y);
              want = Combine(ps, ReferenceSample(src, X, Y, super), want);
            }
            ASSERT_EQ(dest.At(x, y), want) << x << "," << y;
          }
        EXPECT_TRUE(dest.PaddingIntact());
      }
    }
  }
}

// Under the identity the source comes back as it was: opaque colours over anything, mask
// values wherever the destination was lower (the supersampled mask keeps the high byte).
TEST_F(XLassoTest, IdentityReproducesTheSource) {
  std::mt19937 rng(9);
  for (int ps : {4, 2}) {
    for (bool super : {false, true}) {
      SCOPED_TRACE(std::to_string(ps) + (super ? " supersampled" : " nearest"));
      Picture src(17, 11, ps, 3, 4);
      FillRandom(src, rng);
      Picture dest(30, 20, ps, 0, 0);
      for (int y = 0; y < src.H(); ++y)
        for (int x = 0; x < src.W(); ++x) {
          if (ps == 4) src.Set(x, y, src.Get(x, y) | 0xFF000000u);
          dest.Set(x + 3, y + 4, ps == 4 ? uint32_t(rng()) : 0);
        }
      Draw(dest, src, IdentityQuad(src), super);
      for (int y = 0; y < src.H(); ++y)
        for (int x = 0; x < src.W(); ++x) {
          const uint32_t want = ps == 2 && super ? src.Get(x, y) & 0xFF00 : src.Get(x, y);
          ASSERT_EQ(dest.Get(x + 3, y + 4), want) << x << "," << y;
        }
    }
  }
}

// A rotation by 30 degrees: which pixels are drawn follows the integer edge rule, and each
// drawn pixel samples the source where the map puts its centre (up to the last 24.8 unit).
TEST_F(XLassoTest, RotationDrawsTheQuadrilateralFromTheRightPlaces) {
  std::mt19937 rng(21);
  const double pi = std::acos(-1.0), c = std::cos(pi / 6), s = std::sin(pi / 6);
  for (bool super : {false, true}) {
    SCOPED_TRACE(super ? "supersampled" : "nearest");
    Picture src(24, 16, 4, 0, 0);
    FillRandom(src, rng);
    for (int y = 0; y < src.H(); ++y)
      for (int x = 0; x < src.W(); ++x) src.Set(x, y, src.Get(x, y) | 0xFF000000u);
    Picture dest(60, 50, 4, -10, -10);
    Picture before(60, 50, 4, -10, -10);
    FillRandom(dest, rng);
    for (int y = 0; y < dest.H(); ++y)
      for (int x = 0; x < dest.W(); ++x) dest.Set(x, y, dest.Get(x, y) | 0xFF000000u);
    before.CopyFrom(dest);
    // The grown source (26 x 18) turned about (20, 15) and placed there.
    const double gw = 26, gh = 18;
    auto turn = [&](double u, double v) { return std::make_pair(20 + c * u - s * v, 15 + s * u + c * v); };
    std::array<float, 8> q;
    const double corners[4][2] = {{-gw / 2, -gh / 2}, {gw / 2, -gh / 2}, {-gw / 2, gh / 2}, {gw / 2, gh / 2}};
    for (int k = 0; k < 4; ++k) {
      const auto [x, y] = turn(corners[k][0], corners[k][1]);
      q[2 * k] = float(x), q[2 * k + 1] = float(y);
    }
    Draw(dest, src, q, super);

    // The spans by the integer edge rule.
    std::vector<std::pair<int, int>> span(200, {INT32_MAX, INT32_MIN});
    const int order[5] = {0, 1, 3, 2, 0};
    for (int k = 0; k < 4; ++k) {
      int ax = int(std::floor(q[2 * order[k]])), ay = int(std::floor(q[2 * order[k] + 1]));
      int bx = int(std::floor(q[2 * order[k + 1]])), by = int(std::floor(q[2 * order[k + 1] + 1]));
      if (ay == by) continue;
      if (ay > by) std::swap(ax, bx), std::swap(ay, by);
      for (int y = ay; y < by; ++y) {
        const int x = ax + (bx - ax) * (y - ay) / (by - ay);
        auto& e = span[size_t(y + 100)];
        if (x < e.first) {
          e.second = e.first, e.first = x;
        } else {
          e.second = x;
        }
      }
    }
    int checked = 0;
    for (int y = -10; y < 40; ++y)
      for (int x = -10; x < 50; ++x) {
        const auto [l, r] = span[size_t(y + 100)];
        const uint32_t old = before.At(x, y), got = dest.At(x, y);
        if (x < l || x >= r) {
          ASSERT_EQ(got, old) << x << "," << y;
          continue;
        }
        // The centre turned back into the grown source, then to 24.8 source positions.
        const double u = x + 0.5 - 20, v = y + 0.5 - 15;
        const double X = 256 * (c * u + s * v + gw / 2 - 1), Y = 256 * (-s * u + c * v + gh / 2 - 1);
        const double fx = X - 256 * std::floor(X / 256), fy = Y - 256 * std::floor(Y / 256);
        if (!super) {
          // Skip centres within two units of a pixel edge, where rounding may pick either side.
          if (fx < 2 || fx > 254 || fy < 2 || fy > 254) continue;
          ASSERT_EQ(got, lasso::CompositeOver(
                             ReferenceSample(src, int32_t(std::floor(X)), int32_t(std::floor(Y)), false), old))
              << x << "," << y;
        } else {
          const uint32_t want =
              lasso::CompositeOver(ReferenceSample(src, int32_t(std::floor(X)), int32_t(std::floor(Y)), true), old);
          for (int sh = 0; sh < 32; sh += 8)
            ASSERT_LE(std::abs(int((got >> sh) & 255) - int((want >> sh) & 255)), 3) << x << "," << y << " byte " << sh;
        }
        ++checked;
      }
    EXPECT_GT(checked, 300);
  }
}

// A destination that holds only part of the quadrilateral gets exactly that part of what a
// destination holding all of it gets. The map is a shear that is exact in 24.8, so the
// positions do not depend on where a row's span is cut.
TEST_F(XLassoTest, PartialDestinationGetsItsPartOfTheWhole) {
  std::mt19937 rng(4);
  for (int ps : {4, 2}) {
    for (bool super : {false, true}) {
      SCOPED_TRACE(std::to_string(ps) + (super ? " supersampled" : " nearest"));
      Picture src(20, 14, ps, 2, 2);
      FillRandom(src, rng);
      const std::array<float, 8> q{-4, -5, 18, -5, 7, 11, 29, 11};
      Picture whole(50, 50, ps, -10, -10);
      FillRandom(whole, rng);
      for (RECT part : {RECT{-3, -6, 9, 5}, RECT{10, 2, 40, 40}, RECT{-10, 8, 5, 9}}) {
        Picture piece(part.right - part.left, part.bottom - part.top, ps, part.left, part.top);
        for (int y = 0; y < piece.H(); ++y)
          for (int x = 0; x < piece.W(); ++x) piece.Set(x, y, whole.At(x + part.left, y + part.top));
        Draw(piece, src, q, super);
        Picture full(50, 50, ps, -10, -10);
        full.CopyFrom(whole);
        Draw(full, src, q, super);
        for (int y = 0; y < piece.H(); ++y)
          for (int x = 0; x < piece.W(); ++x)
            ASSERT_EQ(piece.Get(x, y), full.At(x + part.left, y + part.top)) << x << "," << y;
        EXPECT_TRUE(piece.PaddingIntact());
      }
    }
  }
}

TEST_F(XLassoTest, FootprintFollowsTheShrink) {
  Picture src(10, 6, 4, 0, 0);  // grown: 12 x 8
  Picture dest(40, 40, 4, 0, 0);
  struct Case {
    float ex, ey;  // the quadrilateral's width and height
    int groups;
    int32_t dx0, dy0;  // the first entry (j = 0, k = 0)
  } cases[] = {
      {12, 8, 1, 0, 0},      // one to one
      {24, 16, 1, 0, 0},     // enlarged
      {6, 4, 16, -96, -96},  // halved: a footprint one source pixel across
      {6, 8, 4, -96, 0},     // halved across only
      {3, 8, 4, -288, 0},    // a quarter across: three source pixels
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ex);
    const std::array<float, 8> q{1, 1, 1 + c.ex, 1, 1, 1 + c.ey, 1 + c.ex, 1 + c.ey};
    lasso->Impress(&dest.rec, &src.rec, q.data(), nullptr);
    const lasso::Footprint& fp = Impl()->GetFootprint();
    EXPECT_EQ(fp.groups, c.groups);
    EXPECT_EQ(fp.dx[0], c.dx0);
    EXPECT_EQ(fp.dy[0], c.dy0);
    // Symmetric about the centre: entry 15 mirrors entry 0.
    EXPECT_EQ(fp.dx[15], -c.dx0);
    EXPECT_EQ(fp.dy[15], -c.dy0);
  }
}

TEST_F(XLassoTest, RowsBeyondTheTableAreNotDrawn) {
  Picture src(1, 10010, 2, 0, 0);
  for (int y = 0; y < src.H(); ++y) src.Set(0, y, 0xFFFF);
  for (bool super : {false, true}) {
    Picture dest(1, 10010, 2, 0, 0);
    Draw(dest, src, IdentityQuad(src), super);
    EXPECT_EQ(Impl()->GetRowCount(), 10010);
    for (int y = 0; y < dest.H(); ++y) ASSERT_EQ(dest.Get(0, y), y < 10000 ? (super ? 0xFF00u : 0xFFFFu) : 0u) << y;
  }
}

TEST_F(XLassoTest, RefusesWhatCannotBeMapped) {
  Picture src(8, 8, 4, 0, 0), dest(20, 20, 4, 0, 0), mask(20, 20, 2, 0, 0);
  const float nan = std::nanf(""), inf = INFINITY;
  EXPECT_EQ(Refused(mask, src, IdentityQuad(src)), u"!imgDest.nPixelSize==imgSrc.nPixelSize");
  struct Case {
    std::array<float, 8> quad;
    const char16_t* condition;
  } cases[] = {
      {{30, 30, 40, 30, 30, 40, 40, 40}, u"!m_cx.l && m_cy.l"},                 // beside the destination
      {{-9, 2, -1, 2, -9, 9, -1, 9}, u"!m_cx.l && m_cy.l"},                     // left of it, touching x = 0
      {{0, 0, 10, 10, 20, 20, 5, 5}, u"!QuadNotDegenerate(quad)"},              // all four on one line
      {{3, 3, 3, 3, 3, 3, 3, 3}, u"!QuadNotDegenerate(quad)"},                  // one point
      {{0, 0, 1e-4f, 0, 0, 1e-4f, 1e-4f, 1e-4f}, u"!QuadNotDegenerate(quad)"},  // a speck
      {{0, 0, 10, 0, 0, 10, 10, nan}, u"!QuadIsFinite(quad)"},
      {{0, 0, inf, 0, 0, 10, 10, 10}, u"!QuadIsFinite(quad)"},
      {{0, 0, 10, 0, 0, 10, 1e7f, 10}, u"!QuadInRange(quad)"},
      // P3 far out: the drawn area reaches far beyond what the map keeps in range.
      {{0, 0, 0.00017f, 0, 0, 0.00017f, 4e6f, 4e6f}, u"!QuadInRange(quad)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(plat::ToUtf8(c.condition));
    EXPECT_EQ(Refused(dest, src, c.quad), c.condition);
  }
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) ASSERT_EQ(dest.Get(x, y), 0u);
}

// A corner dragged onto another or onto the line of two others leaves a triangle, which is
// mapped: with P0, P1, P2 as they are the map is the whole quadrilateral's; with those on one
// line the other three corners give it. Shapes that cannot be mapped are plain errors.
TEST_F(XLassoTest, TrianglesAreMappedAndOnlyUnmappableShapesRefusedPlainly) {
  Picture src(8, 8, 4, 0, 0);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) src.Set(x, y, 0xFF000000u | uint32_t(x * 16 + y));
  const auto full = IdentityQuad(src);  // (-1, -1) .. (9, 9)
  Picture whole(20, 20, 4, 0, 0);
  Draw(whole, src, full, false);
  struct Case {
    const char* what;
    std::array<float, 8> quad;
    int x, y;  // a pixel inside the triangle
  } cases[] = {
      {"P3 on P1", {-1, -1, 9, -1, -1, 9, 9, -1}, 1, 1},
      {"P3 on the line P1 P2", {-1, -1, 9, -1, -1, 9, 4, 4}, 2, 2},
      {"P2 on P0", {-1, -1, 9, -1, -1, -1, 9, 9}, 7, 2},
      {"P0, P1, P2 on one line", {-1, -1, 4, -1, 9, -1, 9, 9}, 7, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Picture dest(20, 20, 4, 0, 0);
    EXPECT_EQ(Refused(dest, src, c.quad), u"");
    EXPECT_NE(dest.Get(c.x, c.y), 0u);
    if (c.quad[4] == -1 && c.quad[5] == 9) {
      EXPECT_EQ(dest.Get(c.x, c.y), whole.Get(c.x, c.y));  // the same map as the whole quadrilateral
    }
  }
  Picture dest(20, 20, 4, 0, 0);
  try {
    lasso->Impress(&dest.rec, &src.rec, std::array<float, 8>{0, 0, 5, 5, 10, 10, 15, 15}.data(), nullptr);
    ADD_FAILURE() << "a line was mapped";
  } catch (GErrRecord* e) {
    EXPECT_EQ(e->GetKind(), ERR_KIND_WARNING);
    e->AddRef();
    e->Release();
  }
}

TEST_F(XLassoTest, PreparesTheJobRecord) {
  Picture src(8, 8, 4, 0, 0), dest(20, 20, 4, 0, 0);
  JobRecord job{args, u"lasso", 0, -1, nullptr, nullptr};
  const auto quad = IdentityQuad(src);
  EXPECT_EQ(lasso->Impress(&dest.rec, &src.rec, quad.data(), &job), int(2 * (sizeof(LayerInfo) + sizeof(BYTE*))));
  EXPECT_EQ(job.object, static_cast<void*>(Impl()));
  EXPECT_EQ(job.kind, 6);
  EXPECT_EQ(job.result, 0);
  EXPECT_EQ(std::u16string(job.name), u"unknown");
  ASSERT_NE(job.proc, nullptr);
  LayerInfo head;
  std::memcpy(&head, args->GetBuffer(), sizeof head);
  EXPECT_EQ(head.nWidth, 20);
  BYTE* pixels;
  std::memcpy(&pixels, args->GetBuffer() + sizeof head, sizeof pixels);
  EXPECT_EQ(pixels, dest.rec.pPixels);
  // Nothing is drawn until the job runs.
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) ASSERT_EQ(dest.Get(x, y), 0u);
}

// The job on a real worker: complete, it draws every row and returns 1; aborted, it keeps
// the rows it drew, returns 0 and leaves the progress at the last row reached.
TEST_F(XLassoTest, WorkerJobReportsProgressAndKeepsRowsOnAbort) {
  GCompRef<OWorker> worker = static_cast<OWorker*>(sys.NewObj(u"XWorker", nullptr)->GetInterface(u"OWorker"));
  std::mt19937 rng(13);
  Picture src(20, 20, 4, 0, 0);
  FillRandom(src, rng);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) src.Set(x, y, src.Get(x, y) | 0xFF000000u);
  // The destination starts inside the quadrilateral, so its first row is a source row.
  const auto quad = IdentityQuad(src);
  for (bool abort : {false, true}) {
    SCOPED_TRACE(abort);
    Picture dest(30, 30, 4, 0, 5);
    JobRecord job{args, u"lasso", 0, -1, nullptr, nullptr};
    JobControl ctl;
    if (abort) ctl.flags = JOB_ABORT;
    lasso->Impress(&dest.rec, &src.rec, quad.data(), &job);
    ASSERT_EQ(worker->Launch(&job, &ctl), 1);
    worker->Wait(FALSE);
    EXPECT_EQ(job.result, abort ? 0 : 1);
    EXPECT_EQ(ctl.flags & JOB_FAILED, 0u);
    EXPECT_EQ(ctl.total.load(), 17);  // rows 5..21 of the grown source
    EXPECT_EQ(ctl.progress.load(), abort ? 0 : 16);
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 20; ++x) {
        const bool drawn = y + 5 < 20 && (!abort || y == 0);
        ASSERT_EQ(dest.Get(x, y), drawn ? src.Get(x, y + 5) : 0u) << x << "," << y;
      }
  }
  EXPECT_EQ(sys.ErrorCount(), 0u);
}

TEST_F(XLassoTest, InterfaceAndLifetime) {
  EXPECT_EQ(lasso->GetInterface(u"OLasso"), static_cast<void*>(lasso.get()));
  EXPECT_EQ(lasso->GetInterface(u"OFlood"), nullptr);
  EXPECT_EQ(sys.Entry(u"XLasso")->Refs(), 1);
  lasso.Release();
  EXPECT_EQ(sys.Entry(u"XLasso")->Refs(), 0);
}

// The production kernels give the reference bits on random sources, positions in and
// around the source and footprints with repeated offsets.
TEST(LassoKernel, Sse2MatchesScalar) {
  std::mt19937 rng(17);
  auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int iter = 0; iter < 400; ++iter) {
    SCOPED_TRACE(iter);
    const int ps = iter % 2 ? 2 : 4;
    Picture src(rnd(1, 12), rnd(1, 12), ps, 0, 0);
    FillRandom(src, rng);
    lasso::Footprint fp{};
    const int distinct = rnd(1, 16);
    int32_t offs[16][2];
    for (int k = 0; k < distinct; ++k) offs[k][0] = rnd(-700, 700), offs[k][1] = rnd(-700, 700);
    for (int e = 0; e < 16; ++e) {
      const int k = rnd(0, distinct - 1);
      fp.dx[e] = offs[k][0], fp.dy[e] = offs[k][1];
    }
    lasso::GroupFootprint(fp);
    const int n = rnd(1, 40);
    std::vector<int32_t> X(static_cast<size_t>(n)), Y(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
      X[size_t(i)] = rnd(-900, src.W() * 256 + 900), Y[size_t(i)] = rnd(-900, src.H() * 256 + 900);
    const lasso::Source s = SourceOf(src);
    if (ps == 4) {
      std::vector<uint32_t> a(static_cast<size_t>(n)), b(static_cast<size_t>(n));
      lasso::SampleSuperC32Scalar(s, fp, X.data(), Y.data(), n, a.data());
      lasso::SampleSuperC32Sse2(s, fp, X.data(), Y.data(), n, b.data());
      ASSERT_EQ(a, b);
    } else {
      std::vector<uint16_t> a(static_cast<size_t>(n)), b(static_cast<size_t>(n));
      lasso::SampleSuperA16Scalar(s, fp, X.data(), Y.data(), n, a.data());
      lasso::SampleSuperA16Sse2(s, fp, X.data(), Y.data(), n, b.data());
      ASSERT_EQ(a, b);
    }
  }
}

// Every pair of alphas, with channels at their extremes and in between, in rows whose
// length leaves a tail.
TEST(LassoKernel, CompositeAndMaxSse2MatchScalar) {
  std::mt19937 rng(19);
  std::vector<uint32_t> s, d;
  for (uint32_t sa = 0; sa < 256; ++sa)
    for (uint32_t da = 0; da < 256; ++da) {
      const uint32_t rgb = rng() % 3 == 0 ? 0xFFFFFF : rng() % 2 ? 0 : rng() & 0xFFFFFF;
      s.push_back(sa << 24 | (rng() & 0xFFFFFF));
      d.push_back(da << 24 | rgb);
    }
  for (int len : {7, 64, 1001}) {
    for (size_t at = 0; at + size_t(len) <= s.size(); at += size_t(len)) {
      std::vector<uint32_t> a(d.begin() + long(at), d.begin() + long(at) + len), b = a;
      lasso::CompositeRowScalar(a.data(), s.data() + at, len);
      lasso::CompositeRowSse2(b.data(), s.data() + at, len);
      ASSERT_EQ(a, b) << at;
    }
  }
  // Known values: opaque replaces, transparent keeps, half over opaque mixes.
  EXPECT_EQ(lasso::CompositeOver(0xFF123456u, 0x80ABCDEFu), 0xFF123456u);
  EXPECT_EQ(lasso::CompositeOver(0x00123456u, 0x80ABCDEFu), 0x80ABCDEFu);
  EXPECT_EQ(lasso::CompositeOver(0x80FF0000u, 0xFF0000FFu), 0xFF80007Eu);

  std::vector<uint16_t> m(1003), n(1003);
  for (size_t i = 0; i < m.size(); ++i) m[i] = uint16_t(rng()), n[i] = uint16_t(i % 7 ? rng() : m[i]);
  std::vector<uint16_t> a = n, b = n;
  lasso::MaxRowScalar(a.data(), m.data(), 1003);
  lasso::MaxRowSse2(b.data(), m.data(), 1003);
  EXPECT_EQ(a, b);
}

TEST(LassoKernel, StepperMatchesTheDivision) {
  std::mt19937_64 rng(23);
  for (int iter = 0; iter < 300; ++iter) {
    const int64_t m = int64_t(rng() % 12000) + 1;
    const int64_t d = int64_t(rng() % (uint64_t(1) << 32)) - (int64_t(1) << 31);
    const int64_t base = int64_t(rng() % 100000) - 50000;
    lasso::Stepper st(base, d, m);
    for (int64_t k = 0; k <= m; ++k) ASSERT_EQ(st.Next(), base + d * k / m) << d << "/" << m << " k=" << k;
  }
}

}  // namespace
