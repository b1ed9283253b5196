// The preview: what ShowRefresh rasterises for the display device's back buffer and how Show
// composes and presents it, falls back, clips and keeps its composition; and how close it
// comes to the render.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "TalveneFixture.h"
#include "XShowDevice.h"

namespace {

using namespace talvene_test;

// A smooth opaque picture up to 127 x 127: no channel changes by more than 2 levels a pixel.
uint32_t Smooth(int x, int y) { return 0xFF000000u | uint32_t(2 * x) << 16 | uint32_t(2 * y) << 8 | uint32_t(x + y); }

class PreviewTest : public TalveneTest {
 protected:
  PreviewTest() {
    sys.Register(u"XShowDevice", GCreateComponent<XShowDevice>);
    dev = static_cast<OShowDevice*>(sys.NewObj(u"XShowDevice", nullptr)->GetInterface(u"OShowDevice"));
  }
  // Composes an empty space of the client's size on a background: the back buffer.
  void DrawView(int w, int h, uint32_t background = 0x336699) {
    ViewTransform v{};
    v.spaceWidth = uint32_t(w), v.spaceHeight = uint32_t(h), v.background = background;
    v.clientWidth = w, v.clientHeight = h;
    v.centreX = float(w) / 2, v.centreY = float(h) / 2, v.scale = 1;
    ASSERT_TRUE(dev->DrawBegin(&v, TRUE));
    dev->DrawEnd(nullptr, nullptr);
  }
  // The back buffer's pixel (top-down).
  uint32_t Back(int x, int y) {
    LayerLock bb;
    dev->GetBackBuffer(&bb);
    return reinterpret_cast<const uint32_t*>(bb.pPixels + size_t(bb.nHeight - 1 - y) * bb.cbRow)[x];
  }
  void SetBack(int x, int y, uint32_t v) {
    LayerLock bb;
    dev->GetBackBuffer(&bb);
    reinterpret_cast<uint32_t*>(bb.pPixels + size_t(bb.nHeight - 1 - y) * bb.cbRow)[x] = v;
  }
  uint32_t Preview(int x, int y) {
    const GridImage& g = Impl()->GetPreviewImage();
    return reinterpret_cast<const uint32_t*>(g.pixels)[size_t(y) * size_t(g.info.nPitch) + size_t(x)];
  }
  int Show(BOOL recompose = TRUE, const RECT* rc = nullptr) {
    LayerLock bb;
    dev->GetBackBuffer(&bb);
    const RECT all{0, 0, bb.nWidth, bb.nHeight};
    return distort->Show(dev, &screen, rc ? rc : &all, recompose);
  }

  GCompRef<OShowDevice> dev;
  plat::MemoryPresentTarget screen;
};

// The normal mode's mix at full opacity: (S a + B (256 - a)) / 256 per channel, B's alpha.
uint32_t Mix(uint32_t s, uint32_t b, uint32_t a) {
  uint32_t o = b & 0xFF000000u;
  for (int sh = 0; sh < 24; sh += 8) o |= ((((s >> sh) & 255) * a + ((b >> sh) & 255) * (256 - a)) / 256) << sh;
  return o;
}

TEST_F(PreviewTest, IdentityShowsTheSourceOverTheBackBuffer) {
  // 163 wide: the back buffer's rows are padded to 164 pixels, the preview's are not. Sides
  // of 64 and 32 samples keep every grid point exact.
  DrawView(163, 90);
  Picture src(62, 30, 4);
  src.Fill(Smooth);
  DistortArgs args = IdentityArgs(src, 3, 30, 20);
  distort->ShowRefresh(dev, &args);
  EXPECT_EQ(Impl()->GetPreviewMode(), 8);
  for (int y = 0; y < 90; ++y)
    for (int x = 0; x < 163; ++x) {
      const bool in = x >= 30 && x < 92 && y >= 20 && y < 50;
      ASSERT_EQ(Preview(x, y), in ? src.Get(x - 30, y - 20) : 0u) << x << ", " << y;
    }
  EXPECT_EQ(Show(), 1);
  ASSERT_EQ(screen.Width(), 163);
  for (int y = 0; y < 90; ++y)
    for (int x = 0; x < 163; ++x) {
      const bool in = x >= 30 && x < 92 && y >= 20 && y < 50;
      ASSERT_EQ(screen.At(x, y), in ? Mix(src.Get(x - 30, y - 20), Back(x, y), 255) : Back(x, y)) << x << ", " << y;
    }
}

TEST_F(PreviewTest, MaskSourceShowsTheLayerColourWithTheMaskAsAlpha) {
  DrawView(100, 80);
  Picture src(40, 30, 2);
  src.Fill([](int x, int) { return uint32_t(x * 6) << 8 | 0x7F; });
  DistortArgs args = IdentityArgs(src, 3, 10, 10);
  args.dwColor = 0xFF102030u;  // red 0x30, green 0x20, blue 0x10
  distort->ShowRefresh(dev, &args);
  EXPECT_EQ(Impl()->GetPreviewMode(), 0);
  EXPECT_EQ(Preview(10 + 7, 15), uint32_t(7 * 6) << 24 | 0x302010u);
  EXPECT_EQ(Show(), 1);
  EXPECT_EQ(screen.At(10 + 7, 15), Mix(0x302010, Back(17, 15), 42));
  EXPECT_EQ(screen.At(5, 5), Back(5, 5));
}

TEST_F(PreviewTest, WithoutAFittingPreviewShowPresentsTheBackBuffer) {
  Picture src(20, 20, 4);
  src.Fill(0xFFFF0000u);
  DistortArgs args = IdentityArgs(src, 3, 10, 10);
  // Before any refresh.
  DrawView(80, 60, 0x00FF00);
  EXPECT_EQ(Show(), 1);
  EXPECT_EQ(screen.At(15, 15), Back(15, 15));
  distort->ShowRefresh(dev, &args);
  EXPECT_EQ(Show(), 1);
  EXPECT_NE(screen.At(15, 15), Back(15, 15));
  // The view resized: the old preview no longer fits until the next refresh.
  DrawView(90, 50, 0x00FF00);
  EXPECT_EQ(Show(), 1);
  EXPECT_EQ(screen.Width(), 90);
  EXPECT_EQ(screen.At(15, 15), Back(15, 15));
  distort->ShowRefresh(dev, &args);
  EXPECT_EQ(Impl()->GetPreviewImage().info.nWidth, 90);
  EXPECT_EQ(Show(), 1);
  EXPECT_EQ(screen.At(15, 15), Mix(0xFF0000, Back(15, 15), 255));
}

TEST_F(PreviewTest, QuadPastTheLeftEdgeKeepsItsTexture) {
  // A lattice sheared by whole pixels a sample over sides of 64 and 32 samples: every grid
  // point is a whole pixel, so the same lattice 60 pixels further left is the same picture
  // moved.
  DrawView(160, 90);
  Picture src(62, 30, 4);
  src.Fill([](int x, int y) { return 0xFF000000u | uint32_t(x * 4) << 8 | uint32_t(y * 8); });
  auto sheared = [&](float x0, float y0) {
    DistortArgs a = ArgsFor(src, 2, 0, 0, 1, 1);
    a.Point(0, 0) = {x0, y0}, a.Point(0, 1) = {x0 + 64, y0 + 32};
    a.Point(1, 0) = {x0 + 32, y0 + 32}, a.Point(1, 1) = {x0 + 96, y0 + 64};
    return a;
  };
  DistortArgs a = sheared(40, 10), b = sheared(-20, 10);
  distort->ShowRefresh(dev, &a);
  std::vector<uint32_t> seen;
  for (int y = 0; y < 90; ++y)
    for (int x = 0; x < 160; ++x) seen.push_back(Preview(x, y));
  distort->ShowRefresh(dev, &b);
  int drawn = 0;
  for (int y = 0; y < 90; ++y)
    for (int x = 0; x + 60 < 160; ++x) {
      ASSERT_EQ(Preview(x, y), seen[size_t(y) * 160 + size_t(x + 60)]) << x << ", " << y;
      drawn += Preview(x, y) != 0;
    }
  EXPECT_GT(drawn, 600);  // of the 930 pixels the lattice covers
}

TEST_F(PreviewTest, TallCellKeepsItsVisibleRows) {
  // The middle cell of a 3 x 3 source runs from y = -3000 to 300 and x = -36 to 196: every
  // visible row lies more than 2048 rows below its top.
  DrawView(160, 120);
  Picture src(3, 3, 4);
  src.Fill(0xFF0000FFu);
  DistortArgs args = ArgsFor(src, 2, -500, -9600, 660, 6900);
  distort->ShowRefresh(dev, &args);
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 160; ++x) ASSERT_EQ(Preview(x, y), 0xFF0000FFu) << x << ", " << y;
}

TEST_F(PreviewTest, BackFacingCellsAreLeftOutAsFromTheRender) {
  DrawView(100, 80);
  Picture src(40, 30, 4);
  src.Fill(0xFF808080u);
  DistortArgs args = ArgsFor(src, 3, 71, 9, 29, 41);  // left and right exchanged
  distort->ShowRefresh(dev, &args);
  int drawn = 0;
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 100; ++x) drawn += Preview(x, y) != 0;
  EXPECT_EQ(drawn, 0);
  args.dwFlags |= DISTORT_F_FACING;
  distort->ShowRefresh(dev, &args);
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 100; ++x) drawn += Preview(x, y) != 0;
  EXPECT_EQ(drawn, 40 * 30);
}

TEST_F(PreviewTest, AgreesWithTheRenderWithinFourLevels) {
  // Nearest sampling on half as many samples against the full render's splats: on a source
  // that changes by at most 2 levels a pixel, the two stay within 4 levels wherever both
  // are opaque.
  DrawView(200, 160);
  Picture src(120, 90, 4);
  src.Fill(Smooth);
  DistortArgs args = BulgeArgs(src, 40, 30, 18, -12);
  args.Point(0, 2).y -= 15;
  args.Point(2, 0).x += 10;
  distort->ShowRefresh(dev, &args);
  Picture dest(200, 160, 4);
  ASSERT_EQ(Render(dest, args), 1);
  int compared = 0, worst = 0;
  for (int y = 0; y < 160; ++y)
    for (int x = 0; x < 200; ++x) {
      const uint32_t p = Preview(x, y), r = dest.Get(x, y);
      if (p >> 24 != 255 || r >> 24 != 255) continue;
      ++compared;
      worst = std::max(worst, ChannelDiff(p, r));
    }
  EXPECT_GT(compared, 110 * 80);
  EXPECT_LE(worst, 4);
}

TEST_F(PreviewTest, ShowKeepsItsCompositionUntilAskedOrRefreshed) {
  DrawView(80, 60);
  Picture src(20, 20, 4);
  src.Fill(0xFFFF0000u);
  DistortArgs args = IdentityArgs(src, 3, 10, 10);
  distort->ShowRefresh(dev, &args);
  const RECT part{0, 0, 40, 40};
  EXPECT_EQ(Show(FALSE, &part), 1);
  const uint32_t first = screen.At(15, 15);
  SetBack(15, 15, 0xFF000000u);
  // Presented again as composed...
  EXPECT_EQ(Show(FALSE, &part), 1);
  EXPECT_EQ(screen.At(15, 15), first);
  // ...composed anew when asked, for a rectangle beyond the composed one, and after a refresh.
  EXPECT_EQ(Show(TRUE, &part), 1);
  EXPECT_EQ(screen.At(15, 15), Mix(0xFF0000, 0xFF000000u, 255));
  SetBack(15, 15, 0xFFFFFFFFu);
  SetBack(60, 50, 0xFF00FF00u);
  EXPECT_EQ(Show(FALSE), 1);
  EXPECT_EQ(screen.At(60, 50), 0xFF00FF00u);
  distort->ShowRefresh(dev, &args);
  EXPECT_EQ(Show(FALSE), 1);
  EXPECT_EQ(screen.At(15, 15), Mix(0xFF0000, 0xFFFFFFFFu, 255));
}

TEST_F(PreviewTest, ShowClipsToTheView) {
  DrawView(80, 60);
  Picture src(20, 20, 4);
  src.Fill(0xFFFF0000u);
  DistortArgs args = IdentityArgs(src, 3, 10, 10);
  distort->ShowRefresh(dev, &args);
  const RECT wide{-10, 20, 500, 30};
  EXPECT_EQ(Show(TRUE, &wide), 1);
  EXPECT_EQ(screen.LastRect().left, 0);
  EXPECT_EQ(screen.LastRect().right, 80);
  EXPECT_EQ(screen.LastRect().top, 20);
  const int presents = screen.Presents();
  const RECT outside{100, 0, 120, 10};
  EXPECT_EQ(Show(TRUE, &outside), 0);
  EXPECT_EQ(screen.Presents(), presents);
}

TEST_F(PreviewTest, RefusesWhatItCannotDraw) {
  DrawView(80, 60);
  Picture src(20, 20, 4);
  DistortArgs args = IdentityArgs(src, 3, 10, 10);
  args.nPixelSize = 3;
  std::u16string trail;
  EXPECT_EQ(Thrown([&] { distort->ShowRefresh(dev, &args); }, &trail), u"nPixelSize?");
  EXPECT_NE(trail.find(u"Talvene ::ShowRefresh() 1 _14_14_17_3"), std::u16string::npos);
  args.nPixelSize = 4;
  args.Density.y = 1;
  EXPECT_EQ(Thrown([&] { distort->ShowRefresh(dev, &args); }), u"Density.y?");
}

}  // namespace
