// The view renderer: pass state, mip levels, exact reproduction of a layer through the whole
// tile loop (compositor, resampler, bottom-up copy, presenting) and scrolling.
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "MorvaneFixture.h"
#include "platform/base/TilePool.h"
#include "ViewMath.h"
#include "ViewRenderer.h"
#include "XShowDevice.h"

namespace {

constexpr uint32_t kBackground = 0x00336699;  // 0x00RRGGBB, also the pixel order BGRA
constexpr uint32_t kOutside = 0x00909090;

ViewTransform MakeView(int spaceW, int spaceH, int clientW, int clientH, float zoom = 1, float angle = 0,
                       bool flip = false) {
  ViewTransform v{};
  v.flags = flip ? VIEW_FLAG_FLIP : 0;
  v.spaceWidth = uint32_t(spaceW);
  v.spaceHeight = uint32_t(spaceH);
  v.background = kBackground;
  v.clientWidth = clientW;
  v.clientHeight = clientH;
  v.centreX = float(spaceW / 2);
  v.centreY = float(spaceH / 2);
  v.angle = angle;
  v.scale = zoom;
  return v;
}

// Client pixel (x, y) of the back buffer (rows bottom-up).
uint32_t BackPixel(const ViewRenderer& r, int x, int y) {
  LayerLock bb;
  r.GetBackBuffer(&bb);
  uint32_t v;
  std::memcpy(&v, bb.pPixels + size_t(bb.nHeight - 1 - y) * bb.cbRow + size_t(x) * 4, 4);
  return v;
}
std::vector<uint32_t> Snapshot(const ViewRenderer& r) {
  LayerLock bb;
  r.GetBackBuffer(&bb);
  std::vector<uint32_t> out;
  for (int y = 0; y < bb.nHeight; ++y)
    for (int x = 0; x < bb.nWidth; ++x) out.push_back(BackPixel(r, x, y));
  return out;
}

TEST(ViewRendererState, SetViewTwiceWithoutRenderIsRefused) {
  ViewRenderer r;
  ViewTransform v = MakeView(100, 100, 64, 48);
  EXPECT_EQ(r.SetView(&v), 0);
  EXPECT_EQ(r.SetView(&v), -1);
  EXPECT_EQ(r.Output(nullptr, nullptr), 2);  // nothing to present inside a pass
  r.Render(nullptr, nullptr);
  EXPECT_EQ(r.SetView(&v), 0);
  r.Abandon();  // a pass that failed half-way
  EXPECT_EQ(r.SetView(&v), 0);
  r.Render(nullptr, nullptr);
  EXPECT_EQ(r.Render(nullptr, nullptr), 0);  // no view set
}

TEST(ViewRendererState, ZoomGivesMipLevel) {
  const struct {
    float zoom;
    int mip;
  } cases[] = {{1.0f, 0}, {0.5f, 1}, {0.0039f, 8}, {16.0f, 0}, {0.001f, 8}, {0.53f, 0}, {0.52f, 1}, {0.25f, 2}};
  for (const auto& c : cases) {
    ViewRenderer r;
    ViewTransform v = MakeView(100, 100, 64, 48, c.zoom);
    EXPECT_EQ(r.SetView(&v), c.mip) << "zoom " << c.zoom;
    EXPECT_EQ(r.GetMipLevel(), c.mip);
  }
}

// The back buffer follows the client size, each side rounded up to 4 for the buffer but
// reported as the client's; its bits are 16-byte aligned.
TEST(ViewRendererState, BackBufferFollowsTheClientSize) {
  ViewRenderer r;
  LayerLock bb;
  r.GetBackBuffer(&bb);
  EXPECT_EQ(bb.pPixels, nullptr);
  for (auto [w, h] : {std::pair{250, 150}, std::pair{64, 48}, std::pair{3, 1}}) {
    ViewTransform v = MakeView(100, 100, w, h);
    r.SetView(&v);
    r.Render(nullptr, nullptr);
    r.GetBackBuffer(&bb);
    EXPECT_EQ(bb.nWidth, w);
    EXPECT_EQ(bb.nHeight, h);
    EXPECT_EQ(bb.nPitch, (w + 3) & ~3);
    EXPECT_EQ(bb.nPixelSize, 4);
    LayerLock again;
    r.GetBackBuffer(&again);
    EXPECT_EQ(again.pPixels, bb.pPixels);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(bb.pPixels - size_t((h + 3) / 4 * 4 - h) * bb.cbRow) % 16, 0u);
  }
}

class ViewRendererTest : public LayerTest {
 protected:
  // The alpha of a colour layer: opaque, random in 8 x 8 blocks (clear, opaque, anything),
  // opaque with a clear hole in the middle, or clear.
  enum Alpha { kOpaque, kBlocks, kHole, kClear };
  // A C32 layer of random colours at (x, y) of the space, its mip levels made.
  GCompRef<OLayer> ColourLayer(int w, int h, int x, int y, Alpha kind = kOpaque) {
    GCompRef<OLayer> l = NewLayer(w, h, OLayer::myFORMAT_C32);
    l->SetPosition(x, y, FALSE);
    LayerLock lock;
    lock.Lock(l, 0);
    for (int r = 0; r < h; ++r)
      for (int c = 0; c < w; ++c) {
        const uint32_t block = ((r / 8) * 31 + (c / 8) * 17) % 3;
        const bool hole = std::abs(r - h / 2) < h / 5 && std::abs(c - w / 2) < w / 5;
        uint32_t a = 255;
        if (kind == kBlocks) a = block == 0 ? 0 : block == 1 ? 255 : rng() & 255;
        if ((kind == kHole && hole) || kind == kClear) a = 0;
        const uint32_t v = (rng() & 0x00FFFFFF) | a << 24;
        std::memcpy(lock.Row(r) + size_t(c) * 4, &v, 4);
      }
    lock.Unlock();
    l->MipRefresh(nullptr);
    return l;
  }
  static uint32_t LayerPixel(OLayer* l, int X, int Y) {
    POINT at{};
    l->GetPosition(&at, FALSE);
    LayerLock lock;
    lock.Lock(l, 0);
    uint32_t v;
    std::memcpy(&v, lock.Row(Y - at.y) + size_t(X - at.x) * 4, 4);
    return v;
  }
  static void Draw(ViewRenderer& r, const ViewTransform& v, OLayer* l, const RECT* rc = nullptr,
                   const POINT* scroll = nullptr) {
    ASSERT_GE(r.SetView(&v), 0);
    ShowParam sp;
    l->GetShowParam(&sp, r.GetMipLevel());
    r.AddLayer(&sp, nullptr);
    r.Render(rc, scroll);
  }
  // What client pixel (x, y) shows: the layer pixel (colour, the background's alpha 0), the
  // background inside the space, the outside colour beyond it.
  uint32_t Expected(const ViewTransform& v, OLayer* l, int x, int y) const {
    const float in[2] = {float(x) + 0.5f, float(y) + 0.5f};
    float sp[2];
    ViewClientToSpace(sp, in, v);
    const int X = int(std::floor(sp[0])), Y = int(std::floor(sp[1]));
    if (X < 0 || Y < 0 || X >= int(v.spaceWidth) || Y >= int(v.spaceHeight)) return kOutside;
    RECT rc{};
    l->GetRect(&rc);
    if (X >= rc.left && X < rc.right && Y >= rc.top && Y < rc.bottom) return LayerPixel(l, X, Y) & 0x00FFFFFF;
    return kBackground;
  }

  std::mt19937 rng{99};
};

// Zoom 1 and 2 at quarter turns, either flip: the tile loop reproduces the layer's pixels
// exactly, over the background and the outside colour, in the bottom-up back buffer and in
// what Output presents. The client is no multiple of 4 and the layer crosses the space's
// edge, so partial tiles and the outside are met.
TEST_F(ViewRendererTest, ColourLayerReproducedExactly) {
  GCompRef<OLayer> l = ColourLayer(180, 130, -20, 40);
  const struct {
    float zoom, angle;
    bool flip;
  } cases[] = {{1, 0, false},          {1, 0, true},           {1, 1.5707964f, false},
               {1, 3.1415927f, true},  {1, 4.712389f, false},  {2, 0, false},
               {2, 1.5707964f, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "zoom " << c.zoom << " angle " << c.angle << " flip " << c.flip);
    ViewRenderer r;
    ViewTransform v = MakeView(300, 200, 250, 150, c.zoom, c.angle, c.flip);
    Draw(r, v, l);
    plat::MemoryPresentTarget target;
    EXPECT_EQ(r.Output(&target, nullptr), 1);
    ASSERT_EQ(target.Width(), 250);
    ASSERT_EQ(target.Height(), 150);
    for (int y = 0; y < 150; ++y)
      for (int x = 0; x < 250; ++x) {
        const uint32_t want = Expected(v, l, x, y);
        ASSERT_EQ(BackPixel(r, x, y), want) << "client " << x << "," << y;
        ASSERT_EQ(target.At(x, y), want) << "client " << x << "," << y;
      }
    // A rectangle is clipped to the client area.
    const RECT big{200, 100, 400, 400};
    EXPECT_EQ(r.Output(&target, &big), 1);
    EXPECT_EQ(target.LastRect().right, 250);
    EXPECT_EQ(target.LastRect().bottom, 150);
  }
}

// A rectangle renders only its tiles' 4-aligned hull; the rest of the buffer stays.
TEST_F(ViewRendererTest, RectangleRendersItsAlignedHullOnly) {
  GCompRef<OLayer> l = ColourLayer(300, 200, 0, 0);
  ViewRenderer r;
  ViewTransform v = MakeView(300, 200, 250, 150);
  Draw(r, v, l);
  LayerLock bb;
  r.GetBackBuffer(&bb);
  for (int y = 0; y < 150; ++y) std::memset(bb.pPixels + size_t(y) * bb.cbRow, 0, size_t(bb.nWidth) * 4);
  const RECT rc{13, 6, 22, 9};  // grows to 12..24 x 4..12
  Draw(r, v, l, &rc);
  for (int y = 0; y < 150; ++y)
    for (int x = 0; x < 250; ++x) {
      const bool in = x >= 12 && x < 24 && y >= 4 && y < 12;
      ASSERT_EQ(BackPixel(r, x, y), in ? Expected(v, l, x, y) : 0u) << "client " << x << "," << y;
    }
}

// A scroll moves the pixels already rendered and renders only the strips it exposes, so the
// result is the full render of the scrolled view; (0, 0) changes nothing.
TEST_F(ViewRendererTest, ScrollEqualsFullRenderOfTheScrolledView) {
  GCompRef<OLayer> l = ColourLayer(300, 200, 0, 0);
  const struct {
    float zoom;
    bool flip;
    int dx, dy;
  } cases[] = {{1, false, 5, 3}, {1, false, -37, 0}, {1, true, 0, -9}, {1, false, -130, 70},
               {2, false, 6, -2}, {2, true, 3, 5},   {1, false, 400, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "zoom " << c.zoom << " flip " << c.flip << " by " << c.dx << "," << c.dy);
    ViewTransform v = MakeView(300, 200, 250, 150, c.zoom, 0, c.flip);
    ViewRenderer r;
    Draw(r, v, l);
    // A mark in the part that moves: it must arrive moved, not be rendered over. A scroll by
    // more than the view moves nothing, and then there is no mark.
    const bool moves = std::abs(c.dx) < 250 && std::abs(c.dy) < 150;
    const int mx = c.dx >= 0 ? 249 - c.dx : -c.dx, my = c.dy >= 0 ? 149 - c.dy : -c.dy;
    LayerLock bb;
    r.GetBackBuffer(&bb);
    const uint32_t mark = 0xFF123456;
    if (moves) std::memcpy(bb.pPixels + size_t(149 - my) * bb.cbRow + size_t(mx) * 4, &mark, 4);

    const POINT delta{c.dx, c.dy};
    Draw(r, v, l, nullptr, &delta);
    ViewTransform moved = v;
    ViewScroll(moved, c.dx, c.dy);
    ViewRenderer full;
    Draw(full, moved, l);
    for (int y = 0; y < 150; ++y)
      for (int x = 0; x < 250; ++x) {
        const bool isMark = moves && x == mx + c.dx && y == my + c.dy;
        ASSERT_EQ(BackPixel(r, x, y), isMark ? mark : BackPixel(full, x, y)) << "client " << x << "," << y;
      }
  }

  // A buffer that never held a whole picture has nothing to move: all of it is rendered.
  ViewTransform v = MakeView(300, 200, 250, 150);
  {
    ViewRenderer fresh, full;
    const POINT delta{7, -5};
    Draw(fresh, v, l, nullptr, &delta);
    ViewTransform moved = v;
    ViewScroll(moved, delta.x, delta.y);
    Draw(full, moved, l);
    EXPECT_EQ(Snapshot(fresh), Snapshot(full));
  }

  // (0, 0): nothing moves and nothing is rendered, even though the layer has changed.
  ViewRenderer r;
  Draw(r, v, l);
  const std::vector<uint32_t> before = Snapshot(r);
  {
    LayerLock lock;
    lock.Lock(l, 0);
    std::memset(lock.pPixels, 0x5A, size_t(lock.cbRow) * 200);
  }
  const POINT none{0, 0};
  ASSERT_GE(r.SetView(&v), 0);
  ShowParam sp;
  l->GetShowParam(&sp, 0);
  r.AddLayer(&sp, nullptr);
  EXPECT_EQ(r.Render(nullptr, &none), 0);
  EXPECT_EQ(Snapshot(r), before);
}

// A pool's threads, the 1:1 packing without the resampler and the straight packing of opaque
// top layers give the picture every pass gives with the scalar kernels on one thread. Stacks of colour layers in several modes,
// a masked one, a glyph layer and a layer with a hole on top; views at zoom 1 (on a pixel
// corner and half a pixel off), 0.5 (mip 1), 2 flipped and turned. A clear layer added on
// top leaves every pixel alone, but sends every tile through all the passes.
TEST_F(ViewRendererTest, PoolAndStraightPackingKeepThePicture) {
  constexpr int kW = 420, kH = 300;
  auto glyphs = [&](int w, int h) {
    GCompRef<OLayer> l = NewLayer(w, h, OLayer::myFORMAT_A16);
    LayerLock lock;
    lock.Lock(l, 0);
    for (int r = 0; r < h; ++r)
      for (int c = 0; c < w; ++c) {
        const uint16_t v = uint16_t(rng());
        std::memcpy(lock.Row(r) + size_t(c) * 2, &v, 2);
      }
    lock.Unlock();
    l->MipRefresh(nullptr);
    return l;
  };
  struct Entry {
    OLayer* layer;
    uint32_t code;
    OLayer* mask;
  };
  GCompRef<OLayer> bottom = ColourLayer(kW, kH, 0, 0), blocks = ColourLayer(300, 250, 30, -10, kBlocks),
                   blocks2 = ColourLayer(380, 200, -40, 60, kBlocks), holed = ColourLayer(kW, kH, 0, 0, kHole),
                   a16 = glyphs(kW, kH), mask = glyphs(380, 200), clear = ColourLayer(kW, kH, 0, 0, kClear);
  const std::vector<std::vector<Entry>> stacks = {
      {{bottom, uint32_t(COMPOSE_C32) + myMODE_NORMAL, nullptr}},
      {{bottom, uint32_t(COMPOSE_C32) + myMODE_NORMAL, nullptr},
       {blocks, uint32_t(COMPOSE_C32) + myMODE_SOFTLIGHT, nullptr},
       {blocks2, uint32_t(COMPOSE_C32_MASKED) + myMODE_DARKEN, mask},
       {a16, uint32_t(COMPOSE_A16) + myMODE_HARDLIGHT, nullptr},
       {blocks, uint32_t(COMPOSE_C32) + myMODE_NORMAL, nullptr}},
      {{blocks, uint32_t(COMPOSE_C32) + myMODE_DIFFERENCE, nullptr}, {holed, uint32_t(COMPOSE_C32) + myMODE_NORMAL, nullptr}},
  };
  const struct {
    float zoom, angle, dx;
    bool flip;
  } views[] = {{1, 0, 0, false}, {1, 0, 0.5f, false}, {0.5f, 0, 0, false}, {2, 0, 0, true}, {1, 0.26f, 0, false}};

  TilePool pool(4);
  auto render = [&](ViewRenderer& r, const ViewTransform& v, const std::vector<Entry>& stack, bool clearTop) {
    r.SetView(&v);
    for (const Entry& e : stack) {
      ShowParam sp, mp;
      e.layer->GetShowParam(&sp, r.GetMipLevel());
      sp.nKernel = e.code;
      if (e.mask) e.mask->GetShowParam(&mp, r.GetMipLevel());
      r.AddLayer(&sp, e.mask ? &mp : nullptr);
    }
    if (clearTop) {
      ShowParam sp;
      clear->GetShowParam(&sp, r.GetMipLevel());
      sp.nKernel = uint32_t(COMPOSE_C32) + myMODE_NORMAL;
      r.AddLayer(&sp, nullptr);
    }
    r.Render(nullptr, nullptr);
    return Snapshot(r);
  };
  // The picture through every pass with the scalar kernels, tile by tile, for the views at
  // zoom 1 without a turn (where the pass's view is plain to write down).
  auto scalarPasses = [&](const ViewTransform& v, const std::vector<Entry>& stack) {
    ViewPass pass;
    pass.centreX = v.centreX;
    pass.centreY = v.centreY;
    pass.clientWidth = v.clientWidth;
    pass.clientHeight = v.clientHeight;
    auto work = std::make_unique<ComposeWork>();
    auto rows = std::make_unique<TileRows>();
    work->spaceWidth = int32_t(v.spaceWidth);
    work->spaceHeight = int32_t(v.spaceHeight);
    work->insideColour = v.background & 0xFFFFFF;
    work->outsideColour = kOutside;
    std::vector<ComposeEntry> entries;
    for (const Entry& e : stack) {
      XShowDevice::PassRecord r{};
      e.layer->GetShowParam(&r.show, 0);
      r.show.nKernel = e.code;
      r.masked = e.mask != nullptr;
      if (e.mask) e.mask->GetShowParam(&r.mask, 0);
      entries.push_back(ToComposeEntry(r));
    }
    const int bw = (v.clientWidth + 3) & ~3, bh = (v.clientHeight + 3) & ~3;
    std::vector<uint32_t> bits(size_t(bw) * size_t(bh));
    ResampleParams rp{};
    for (int ty = 0; ty < bh; ty += TILE_SIDE)
      for (int tx = 0; tx < bw; tx += TILE_SIDE) {
        const int tw = std::min(TILE_SIDE, bw - tx), th = std::min(TILE_SIDE, bh - ty);
        MapTile(pass, tx, ty, tw, th, &rp, work.get());
        LayerCompositorScalar(work.get(), entries.data(), int(entries.size()));
        ResampleTileScalar(rp, work.get(), rows.get());
        CopyTileScalar(rows.get(), tw, th, tx, bh - ty - TILE_SIDE, bw * 4, reinterpret_cast<uint8_t*>(bits.data()));
      }
    std::vector<uint32_t> out;
    for (int y = 0; y < v.clientHeight; ++y)
      for (int x = 0; x < v.clientWidth; ++x) out.push_back(bits[size_t(bh - 1 - y) * size_t(bw) + size_t(x)]);
    return out;
  };
  for (size_t s = 0; s < stacks.size(); ++s)
    for (const auto& c : views) {
      SCOPED_TRACE(::testing::Message() << "stack " << s << " zoom " << c.zoom << " angle " << c.angle << " dx "
                                        << c.dx << " flip " << c.flip);
      ViewTransform v = MakeView(kW, kH, 333, 250, c.zoom, c.angle, c.flip);
      v.centreX += c.dx;
      ViewRenderer alone, pooled, passes;
      pooled.SetPool(&pool);
      const std::vector<uint32_t> want = render(alone, v, stacks[s], false);
      if (c.zoom == 1 && c.angle == 0 && !c.flip) {
        EXPECT_EQ(scalarPasses(v, stacks[s]), want);
      }
      EXPECT_EQ(render(pooled, v, stacks[s], false), want);
      EXPECT_EQ(render(passes, v, stacks[s], true), want);
    }
}

// The record block is bounded: entries past it are dropped, the pass still renders.
TEST_F(ViewRendererTest, EntriesPastTheRecordBlockAreIgnored) {
  GCompRef<OLayer> l = ColourLayer(40, 30, 10, 10);
  ViewRenderer r;
  ViewTransform v = MakeView(64, 48, 64, 48);
  ASSERT_EQ(r.SetView(&v), 0);
  ShowParam sp;
  l->GetShowParam(&sp, 0);
  for (int i = 0; i < 1000; ++i) r.AddLayer(&sp, nullptr);
  EXPECT_EQ(r.Render(nullptr, nullptr), 1);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) ASSERT_EQ(BackPixel(r, x, y), Expected(v, l, x, y)) << x << "," << y;
}

}  // namespace
