// The mesh warp render: what it draws, where, with which colour, coverage and blend mode, how
// it cancels, what it refuses, and that the production kernels draw what the reference ones do.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "TalveneFixture.h"

namespace {

using namespace talvene_test;

constexpr uint32_t kRed = 0xFFFF0000u, kBlue = 0xFF0000FFu;

// A smooth opaque picture: no channel changes by more than 3 levels a pixel.
uint32_t Smooth(int x, int y) {
  return 0xFF000000u | uint32_t(2 * x) << 16 | uint32_t(3 * y) << 8 | uint32_t((x + y) & 255);
}

class RenderTest : public TalveneTest {
 protected:
  // Runs the render as a job body with a control block of the test's own.
  int RenderJob(Picture& dest, DistortArgs args, JobControl& control) {
    OData* block = GNewData(4096);
    block->AddRef();
    JobRecord job{block, u"test", 0, -1, nullptr, nullptr};
    EXPECT_EQ(distort->Impress(&dest.rec, &args, &job), 1);
    const int result = job.proc(job.object, &job, &control);
    block->Release();
    return result;
  }
};

TEST_F(RenderTest, IdentityReproducesTheSourceWithinOneLevel) {
  Picture src(90, 70, 4);
  src.Fill(Smooth);
  for (int d = 2; d <= 4; ++d) {
    // The destination elsewhere in the space, the lattice with it.
    Picture dest(90, 70, 4, 30, -20);
    ASSERT_EQ(Render(dest, IdentityArgs(src, d, 30, -20)), 1);
    int worst = 0;
    for (int y = 0; y < 70; ++y)
      for (int x = 0; x < 90; ++x) worst = std::max(worst, ChannelDiff(dest.Get(x, y), src.Get(x, y)));
    EXPECT_LE(worst, 1) << "density " << d;
    EXPECT_TRUE(dest.PaddingIntact());
  }
}

TEST_F(RenderTest, UniformOpaqueSourceKeepsItsColourExactlyInsideTheWarp) {
  const uint32_t colour = 0xFF3080C0u;
  Picture src(60, 50, 4);
  src.Fill(colour);
  Picture dest(110, 100, 4);
  const DistortArgs args = BulgeArgs(src, 20, 20, 14, -9);
  ASSERT_EQ(Render(dest, args), 1);
  // Weightless splats carry no colour, so every pixel drawn has the colour itself.
  int drawn = 0;
  for (int y = 0; y < dest.H(); ++y)
    for (int x = 0; x < dest.W(); ++x)
      if (dest.Get(x, y)) {
        ++drawn;
        ASSERT_EQ(dest.Get(x, y) & 0xFFFFFF, colour & 0xFFFFFF) << x << ", " << y;
      }
  EXPECT_GT(drawn, 60 * 50);
  // Inside the outline through the samples of the source's edge pixels, a pixel well clear
  // of it is covered whole: full opacity.
  const DistortMesh& m = Impl()->Renderer().GetMesh();
  int q0 = 0, q1 = 0, r0 = 0, r1 = 0;
  for (int q = 0; q < m.nCols; ++q) {
    if (m.xs[q] == 0) q0 = q;
    if (m.xs[q] == src.W() - 1) q1 = q;
  }
  for (int r = 0; r < m.nRows; ++r) {
    if (m.ys[r] == 0) r0 = r;
    if (m.ys[r] == src.H() - 1) r1 = r;
  }
  ASSERT_TRUE(q1 > q0 && r1 > r0);
  std::vector<DistortPoint> ring;
  for (int q = q0; q < q1; ++q) ring.push_back(m.grid[r0][q]);
  for (int r = r0; r < r1; ++r) ring.push_back(m.grid[r][q1]);
  for (int q = q1; q > q0; --q) ring.push_back(m.grid[r1][q]);
  for (int r = r1; r > r0; --r) ring.push_back(m.grid[r][q0]);
  int checked = 0;
  for (int y = 0; y < dest.H(); ++y)
    for (int x = 0; x < dest.W(); ++x) {
      const double px = x + 0.5, py = y + 0.5;
      bool in = false;
      double clearance = 1e9;
      for (size_t k = 0, j = ring.size() - 1; k < ring.size(); j = k++) {
        const double ax = ring[j].x, ay = ring[j].y, bx = ring[k].x, by = ring[k].y;
        if ((by > py) != (ay > py) && px < ax + (py - ay) * (bx - ax) / (by - ay)) in = !in;
        const double ex = bx - ax, ey = by - ay;
        const double t = std::clamp(((px - ax) * ex + (py - ay) * ey) / (ex * ex + ey * ey), 0.0, 1.0);
        clearance = std::min(clearance, std::hypot(px - ax - t * ex, py - ay - t * ey));
      }
      if (!in || clearance < 0.75) continue;
      ++checked;
      ASSERT_EQ(dest.Get(x, y), colour) << x << ", " << y;
    }
  EXPECT_GT(checked, 40 * 30);
}

TEST_F(RenderTest, MirroredLatticeDrawsOnlyWithTheReverseSideShown) {
  Picture src(40, 30, 4);
  src.Fill([](int x, int) { return x < 20 ? kRed : kBlue; });
  DistortArgs args = ArgsFor(src, 3, 41, -1, -1, 31);  // left and right exchanged
  Picture dest(40, 30, 4);
  ASSERT_EQ(Render(dest, args), 1);
  EXPECT_EQ(dest.Pixels(), std::vector<uint32_t>(40 * 30, 0u));

  args.dwFlags |= DISTORT_F_FACING;
  ASSERT_EQ(Render(dest, args), 1);
  EXPECT_EQ(dest.Get(5, 15), kBlue);
  EXPECT_EQ(dest.Get(34, 15), kRed);

  // The unmirrored lattice is the one that the flag hides.
  Picture plain(40, 30, 4);
  DistortArgs front = IdentityArgs(src, 3);
  front.dwFlags |= DISTORT_F_FACING;
  ASSERT_EQ(Render(plain, front), 1);
  EXPECT_EQ(plain.Pixels(), std::vector<uint32_t>(40 * 30, 0u));
}

TEST_F(RenderTest, CancelKeepsTheTilesAlreadyDrawn) {
  // A source stretched over three tiles side by side: the bound starts at -2, so the tiles
  // are x 0..510, 510..1022 and 1022..1030.
  Picture src(20, 4, 4);
  src.Fill(Smooth);
  const DistortArgs args = ArgsFor(src, 3, -1, -1, 1031, 31);
  Picture whole(1030, 30, 4), part(1030, 30, 4);
  Control full;
  ASSERT_EQ(RenderJob(whole, args, full), 1);
  EXPECT_EQ(full.progress, full.total - 1);

  Control control;
  Impl()->Renderer().SetTileHook([&](int tile) {
    if (tile == 0) control.flags |= JOB_ABORT;
  });
  EXPECT_EQ(RenderJob(part, args, control), 0);
  Impl()->Renderer().SetTileHook(nullptr);
  EXPECT_GT(control.progress, 0);
  EXPECT_LT(control.progress, full.progress);
  int drawn = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 1030; ++x) {
      if (x < 510) {
        ASSERT_EQ(part.Get(x, y), whole.Get(x, y)) << x << ", " << y;
        drawn += part.Get(x, y) != 0;
      } else {
        ASSERT_EQ(part.Get(x, y), 0u) << x << ", " << y;
      }
    }
  EXPECT_GT(drawn, 500 * 25);

  // Asked to stop before it starts, it draws nothing.
  Picture none(1030, 30, 4);
  Control early;
  early.flags = JOB_ABORT;
  EXPECT_EQ(RenderJob(none, args, early), 0);
  EXPECT_EQ(none.Pixels(), std::vector<uint32_t>(1030 * 30, 0u));
}

TEST_F(RenderTest, MaskDestinationTakesCoverageAndOpacityAndClearsTheLowByte) {
  Picture src(20, 20, 4);
  src.Fill(0xFF112233u);
  for (uint32_t alpha : {255u, 128u}) {
    Picture dest(40, 40, 2);
    dest.Fill(0x1234);
    DistortArgs args = IdentityArgs(src, 3, 10, 10);
    args.dwColor = alpha << 24;
    ASSERT_EQ(Render(dest, args), 1);
    // a = 255 * opacity / 128 with opacity = alpha * 128 / 255; hi = a + 0x12 (256 - a) / 256.
    const uint32_t a = 255 * (alpha * 128 / 255) / 128, hi = a + 0x12 * (256 - a) / 256;
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 40; ++x) {
        const uint32_t v = dest.Get(x, y);
        if (x >= 10 && x < 30 && y >= 10 && y < 30) {
          ASSERT_EQ(v, hi << 8) << x << ", " << y;
        } else {
          ASSERT_TRUE(v == 0x1234 || (v & 0xFF) == 0) << x << ", " << y;  // untouched, or drawn
        }
      }
    EXPECT_EQ(dest.Get(0, 0), 0x1234u);
    EXPECT_TRUE(dest.PaddingIntact());
  }
}

TEST_F(RenderTest, MaskSourceDrawsTheLayerColour) {
  Picture src(20, 20, 2);
  src.Fill(0xFF00);
  Picture dest(30, 30, 4);
  DistortArgs args = IdentityArgs(src, 3, 5, 5);
  args.dwColor = 0xFF0080FFu;  // red 0xFF, green 0x80, blue 0 (red low)
  ASSERT_EQ(Render(dest, args), 1);
  EXPECT_EQ(dest.Get(15, 15), 0xFFFF8000u);
  EXPECT_EQ(dest.Get(1, 1), 0u);
}

TEST_F(RenderTest, BlendModesAtFullAndHalfOpacity) {
  // A uniform opaque source S over a uniform destination N: at an inner pixel a is 255 (127
  // at half opacity), and each mode gives its formula's result.
  const uint32_t N = 0xC0806040u, S = 0xFF4080C0u;
  Picture src(20, 20, 4);
  src.Fill(S);
  auto channel = [](uint32_t v, int c) { return int((v >> (8 * c)) & 255); };
  for (uint32_t alpha : {255u, 128u}) {
    const int a = 255 * int(alpha * 128 / 255) / 128;
    for (int mode = 1; mode < 8; ++mode) {
      Picture dest(30, 30, 4);
      dest.Fill(N);
      DistortArgs args = IdentityArgs(src, 3, 5, 5);
      args.dwColor = alpha << 24;
      args.nMode = mode;
      ASSERT_EQ(Render(dest, args), 1);
      uint32_t want = N & 0xFF000000u;
      for (int c = 0; c < 3; ++c) {
        const int n = channel(N, c), s = channel(S, c);
        const int x[8] = {0, n + s * (256 - n) / 256, n * (s + 1) / 256, std::min(255, n + s), std::max(0, n + s - 255),
                          std::max(n, s), std::min(n, s), n ^ s};
        want |= uint32_t((n * (256 - a) + x[mode] * a) / 256) << (8 * c);
      }
      EXPECT_EQ(dest.Get(15, 15), want) << "mode " << mode << " alpha " << alpha;
    }
    // Normal mode over a half-transparent destination.
    Picture dest(30, 30, 4);
    dest.Fill(N);
    DistortArgs args = IdentityArgs(src, 3, 5, 5);
    args.dwColor = alpha << 24;
    ASSERT_EQ(Render(dest, args), 1);
    const int g = (256 - a) * 0xC0 / 256, r = g * 256 / (a + g + 1);
    uint32_t want = uint32_t(a + g) << 24;
    for (int c = 0; c < 3; ++c) want |= uint32_t((channel(N, c) * r + channel(S, c) * (256 - r)) / 256) << (8 * c);
    EXPECT_EQ(dest.Get(15, 15), want) << "normal, alpha " << alpha;
  }
}

TEST_F(RenderTest, RefusesBadDensityAndDrawsNothing) {
  Picture src(10, 10, 4);
  src.Fill(kRed);
  struct Case {
    int dx, dy;
    const char16_t* condition;
  };
  for (const Case& c : {Case{1, 3, u"Density.x?"}, Case{3, 5, u"Density.y?"}, Case{5, 1, u"Density.x?"}}) {
    Picture dest(20, 20, 4);
    DistortArgs args = IdentityArgs(src, 3);
    args.Density = {c.dx, c.dy};
    std::u16string trail;
    EXPECT_EQ(Thrown([&] { Render(dest, args); }, &trail), c.condition);
    for (const char16_t* piece : {u"Talvene ::Impress()", u"Talvene ::____Impress()", u"CDistort ::Distort()"})
      EXPECT_NE(trail.find(piece), std::u16string::npos) << U8(piece);
    EXPECT_EQ(dest.Pixels(), std::vector<uint32_t>(400, 0u));
    RECT bound;
    EXPECT_EQ(Thrown([&] { distort->GetBound(&bound, &args); }), c.condition);
  }
}

TEST_F(RenderTest, ZeroWidthSourceDrawsNothing) {
  Picture src(1, 8, 4);
  src.Fill(kRed);
  DistortArgs args = ArgsFor(src, 3, 2, 2, 12, 12);
  args.nWidth = 0;
  Picture dest(20, 20, 4);
  dest.Fill(0x01020304u);
  EXPECT_EQ(Render(dest, args), 1);
  EXPECT_EQ(dest.Pixels(), std::vector<uint32_t>(400, 0x01020304u));
  EXPECT_EQ(Impl()->Renderer().GetMesh().nCols, 3);
  RECT bound;
  distort->GetBound(&bound, &args);
  // The samples -1, 0 and 1 land on 2, 7 and 12 (within float rounding), a pixel to spare.
  EXPECT_TRUE(bound.left == 0 || bound.left == 1) << bound.left;
  EXPECT_TRUE(bound.right == 13 || bound.right == 14) << bound.right;
}

TEST_F(RenderTest, LatticeOffTheDestinationRendersNoTile) {
  Picture src(10, 10, 4);
  src.Fill(kRed);
  Picture dest(50, 50, 4);
  Control control;
  EXPECT_EQ(RenderJob(dest, IdentityArgs(src, 3, 5000, 20), control), 1);
  EXPECT_EQ(Impl()->Renderer().GetTileCount(), 0);
  EXPECT_EQ(control.total, 1);
  EXPECT_EQ(dest.Pixels(), std::vector<uint32_t>(2500, 0u));
}

TEST_F(RenderTest, StretchedCellPaintsEveryTileItCovers) {
  // A 3 x 3 source on a 2 x 2 lattice 5 cells wide: the middle cell, between samples 1 and 2
  // of both axes, holds the whole destination, so the middle tile touches none of its edges.
  // Square, the cell spans 4000..6000; turned by 45 degrees, it is 5000 pixels a side, so its
  // edges' fixed-point products pass 2^31. So many steps a pixel leave t at 253..255, short
  // of the surplus that makes smaller cells fully opaque.
  Picture src(3, 3, 4);
  src.Fill(0xFF204060u);
  const float h = 12500 * std::sqrt(2.0f);  // half the turned lattice's diagonal
  DistortArgs turned = ArgsFor(src, 2, 0, 0, 1, 1);
  turned.Point(0, 0) = {5000, 5000 - h}, turned.Point(0, 1) = {5000 + h, 5000};
  turned.Point(1, 0) = {5000 - h, 5000}, turned.Point(1, 1) = {5000, 5000 + h};
  for (const DistortArgs& args : {ArgsFor(src, 2, 0, 0, 10000, 10000), turned}) {
    Picture dest(1100, 1100, 4, 4450, 4450);
    Control control;
    ASSERT_EQ(RenderJob(dest, args, control), 1);
    EXPECT_EQ(Impl()->Renderer().GetTileCount(), 9);
    EXPECT_EQ(control.total, 10);  // the one cell on every tile
    EXPECT_EQ(control.progress, 9);
    for (int y = 0; y < dest.H(); ++y)
      for (int x = 0; x < dest.W(); ++x) {
        ASSERT_EQ(dest.Get(x, y) & 0xFFFFFF, 0x204060u) << x << ", " << y;
        ASSERT_GE(dest.Get(x, y) >> 24, 253u) << x << ", " << y;
      }
  }
}

TEST_F(RenderTest, LongSlantedEdgeSplitsItsRowsBetweenItsCells) {
  // A sheared lattice: the edge shared by the two inner cells of a row runs at 45 degrees
  // for 6000 pixels and crosses the destination 2850 pixels below its top end, far enough
  // for the crossing's product to pass 2^31. Both cells are opaque, so the rows they split
  // must be covered whole on both sides.
  Picture src(3, 3, 4);
  src.Fill(0xFF204060u);
  DistortArgs args = ArgsFor(src, 2, 0, 0, 1, 1);
  args.Point(0, 0) = {0, 0}, args.Point(0, 1) = {10000, 0};
  args.Point(1, 0) = {-30000, 30000}, args.Point(1, 1) = {-20000, 30000};
  Picture dest(600, 300, 4, -11300, 14850);
  ASSERT_EQ(Render(dest, args), 1);
  for (int y = 0; y < dest.H(); ++y)
    for (int x = 0; x < dest.W(); ++x) {
      ASSERT_EQ(dest.Get(x, y) & 0xFFFFFF, 0x204060u) << x << ", " << y;
      ASSERT_GE(dest.Get(x, y) >> 24, 253u) << x << ", " << y;
    }
}

TEST_F(RenderTest, BoundCoversEveryPixelTheRenderWrites) {
  Picture src(50, 40, 4);
  src.Fill(Smooth);
  DistortArgs cubic = ArgsFor(src, 4, 10, 5, 100, 80);
  cubic.Point(1, 2) = {120, -10}, cubic.Point(3, 0) = {-5, 100};
  for (const DistortArgs& args : {BulgeArgs(src, 30, 25, 20, 15), cubic}) {
    Picture dest(140, 120, 4);
    dest.Fill(0x11111111u);
    ASSERT_EQ(Render(dest, args), 1);
    DistortArgs copy = args;
    RECT b;
    distort->GetBound(&b, &copy);
    int outside = 0, inside = 0;
    for (int y = 0; y < dest.H(); ++y)
      for (int x = 0; x < dest.W(); ++x) {
        const bool changed = dest.Get(x, y) != 0x11111111u;
        if (x < b.left || x >= b.right || y < b.top || y >= b.bottom) outside += changed;
        inside += changed;
      }
    EXPECT_EQ(outside, 0);
    EXPECT_GT(inside, 1000);
  }
}

TEST_F(RenderTest, ProductionKernelsDrawWhatTheReferenceKernelsDrawOnAnyNumberOfThreads) {
  Picture colour(48, 36, 4), mask(48, 36, 2);
  colour.Fill([](int x, int y) { return Smooth(x, y) & (((x * 7 + y * 3) % 5) ? 0xFFFFFFFFu : 0x40FFFFFFu); });
  mask.Fill([](int x, int y) { return uint32_t((x * 5 + y * 11) % 256) << 8 | uint32_t(x); });
  struct Scene {
    const char* what;
    const Picture* src;
    int destPs;
    DistortArgs args;
    int destW = 150, destH = 115;
  };
  DistortArgs biased = BulgeArgs(colour, 5, 5, -10, 12);
  biased.nBiasColFirst = -60, biased.nBiasRowLast = 40, biased.nMode = 4, biased.dwColor = 0xB0000000u;
  DistortArgs halfMask = BulgeArgs(mask, 0, 10, 8, 8);
  halfMask.dwFlags |= DISTORT_F_HALF;
  halfMask.dwColor = 0xFF336699u;
  halfMask.nMode = 3;
  // Turned by 10 degrees about (60, 50).
  DistortArgs turned = ArgsFor(colour, 2, 0, 0, 1, 1);
  const float c = std::cos(0.1745f), sn = std::sin(0.1745f);
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) {
      const float x = j ? 49.0f : -1.0f, y = i ? 37.0f : -1.0f;
      turned.Point(i, j) = {60 + c * (x - 24) - sn * (y - 18), 50 + sn * (x - 24) + c * (y - 18)};
    }
  // The right half folded back over the left: its cells face the other way.
  DistortArgs folded = ArgsFor(colour, 3, 10, 10, 130, 100);
  for (int i = 0; i < 3; ++i) folded.Point(i, 2).x = 40;
  DistortArgs mirrored = ArgsFor(colour, 3, 140, 5, 10, 105);
  mirrored.dwFlags |= DISTORT_F_FACING;
  std::vector<Scene> scenes = {
      {"identity", &colour, 4, IdentityArgs(colour, 3, 10, 8)},
      {"identity at a sub-pixel offset", &colour, 4, IdentityArgs(colour, 2, 10.3f, 7.6f)},
      {"turned by 10 degrees", &colour, 4, turned},
      {"bulge", &colour, 4, BulgeArgs(colour, 10, 10, 12, -7)},
      {"magnified 3 times", &colour, 4, ArgsFor(colour, 3, -3, -3, 147, 111)},
      {"magnified 15 times over four tiles", &colour, 4, ArgsFor(colour, 4, -15, -15, 735, 555), 700, 560},
      {"shrunk to a third", &colour, 4, ArgsFor(colour, 3, 20, 20, 36, 32)},
      {"folded", &colour, 4, folded},
      {"mirrored, reverse side shown", &colour, 4, mirrored},
      {"biased, subtract, translucent", &colour, 4, biased},
      {"mask source, half sampling, add", &mask, 4, halfMask},
      {"mask onto mask", &mask, 2, BulgeArgs(mask, 0, 0, 20, 20)},
  };
  for (Scene& s : scenes) {
    Picture ref(s.destW, s.destH, s.destPs);
    ref.Fill([](int x, int y) { return uint32_t(x * 40503 + y * 7919) * 2654435761u; });
    const std::vector<BYTE> before = ref.store;
    Impl()->UseReferenceKernels(true);
    Impl()->Renderer().SetThreads(1);
    ASSERT_EQ(Render(ref, s.args), 1);
    EXPECT_NE(ref.store, before) << s.what;
    Impl()->UseReferenceKernels(false);
    for (int threads : {1, 3, 8}) {
      Picture fast(s.destW, s.destH, s.destPs);
      std::copy(before.begin(), before.end(), fast.store.begin());
      Impl()->Renderer().SetThreads(threads);
      ASSERT_EQ(Render(fast, s.args), 1);
      EXPECT_EQ(fast.store, ref.store) << s.what << ", " << threads << " threads";
    }
  }
}

}  // namespace
