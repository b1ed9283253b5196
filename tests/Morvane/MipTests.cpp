#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "MipKernels.h"
#include "MorvaneFixture.h"

namespace {

// A used level-L rectangle in canvas level coordinates, right and bottom exclusive.
struct Box {
  int64_t left, top, right, bottom;
  bool Has(int64_t X, int64_t Y) const { return X >= left && X < right && Y >= top && Y < bottom; }
  Box Half() const { return {left >> 1, top >> 1, (right + 1) >> 1, (bottom + 1) >> 1}; }
};

uint32_t Get(const BYTE* at, int ps) {
  if (ps == 4) {
    uint32_t v;
    std::memcpy(&v, at, 4);
    return v;
  }
  uint16_t v;
  std::memcpy(&v, at, 2);
  return v;
}
void Put(BYTE* at, int ps, uint32_t v) {
  if (ps == 4)
    std::memcpy(at, &v, 4);
  else {
    uint16_t s = uint16_t(v);
    std::memcpy(at, &s, 2);
  }
}

// A random pixel: alpha (or coverage) often 0 or full, so the weighting meets every case.
uint32_t RandomPixel(std::mt19937& rng, int ps) {
  uint32_t v = rng();
  uint32_t kind = rng() % 4;
  if (ps == 2) return kind == 0 ? 0 : kind == 1 ? 0xFFFF : v & 0xFFFF;
  if (kind == 0) return v & 0x00FFFFFF;
  if (kind == 1) return v | 0xFF000000;
  return v;
}

// Level-0 pixel (c, r) of a layer; the layer must be ready.
struct Surface {
  explicit Surface(OLayer* l) { lock.Lock(l, 0); }
  BYTE* At(int c, int r) { return lock.Row(r) + size_t(c) * lock.nPixelSize; }
  LayerLock lock;
};

// Random pixels over width x height and random bytes in the padding, which must not count.
void FillRandom(OLayer* l, std::mt19937& rng) {
  Surface s(l);
  int rows = (l->GetHeight() + 63) & ~63;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < l->GetPitch(); ++c) {
      bool used = c < l->GetWidth() && r < l->GetHeight();
      Put(s.At(c, r), l->GetPixelSize(), used ? RandomPixel(rng, l->GetPixelSize()) : rng());
    }
}

ShowParam Show(OLayer* l, int level) {
  ShowParam sp;
  l->GetShowParam(&sp, level);
  return sp;
}
BYTE* LevelAt(const ShowParam& sp, int ps, int64_t X, int64_t Y) {
  return sp.pPixels + (size_t(Y - sp.rc.top) * sp.nPitch + size_t(X - sp.rc.left)) * ps;
}

// Every used pixel of levels 1..15 equal.
void ExpectSameLevels(OLayer* a, OLayer* b, const char* what) {
  int ps = a->GetPixelSize();
  for (int level = 1; level < LYR_MIP_DEPTH; ++level) {
    ShowParam sa = Show(a, level), sb = Show(b, level);
    int bad = 0;
    for (int64_t Y = sa.rc.top; Y < sa.rc.bottom; ++Y)
      for (int64_t X = sa.rc.left; X < sa.rc.right; ++X)
        if (Get(LevelAt(sa, ps, X, Y), ps) != Get(LevelAt(sb, ps, X, Y), ps) && bad++ < 3) {
          ADD_FAILURE() << what << ": level " << level << " pixel " << X << "," << Y;
        }
    if (bad) return;
  }
}

class MipTest : public LayerTest {
 protected:
  // A layer of the same size, format and position with the same level-0 bytes, fully refreshed.
  GCompRef<OLayer> FreshCopy(OLayer* l) {
    GCompRef<OLayer> c = NewLayer(l->GetWidth(), l->GetHeight(), l->GetFormat());
    POINT pt;
    l->GetPosition(&pt, FALSE);
    c->SetPosition(pt.x, pt.y, FALSE);
    {
      Surface from(l), to(c.get());
      std::memcpy(to.lock.pPixels, from.lock.pPixels, size_t(from.lock.cbRow) * ((l->GetHeight() + 63) & ~63));
    }
    c->MipRefresh(nullptr);
    return c;
  }
  std::mt19937 rng{1234};
};

// Levels against a plain model on the canvas grid: each level built from the one above by
// reading canvas pixels, anything outside the level's box transparent; the boxes halve
// outward level by level and must match GetShowParam and fit the level's storage.
TEST_F(MipTest, LevelsFollowTheCanvasGridModel) {
  struct Case {
    int w, h, x, y;
  } cases[] = {{37, 21, 0, 0},  {37, 21, -1, -1},   {64, 65, -63, 5}, {1, 1, 1, 1},          {1, 1, -1, -1},
               {130, 3, 1, -7}, {10000, 1, -63, 5}, {1, 10000, 1, 1}, {5, 9, -100001, 77777},
               // large enough that the first levels are cut into bands for the pool
               {1030, 777, -3, 5}};
  for (int format : {4, 2}) {
    for (const Case& k : cases) {
      SCOPED_TRACE(testing::Message() << k.w << "x" << k.h << " at " << k.x << "," << k.y << " format " << format);
      GCompRef<OLayer> l = NewLayer(k.w, k.h, format);
      l->SetPosition(k.x, k.y, FALSE);
      FillRandom(l.get(), rng);
      l->MipRefresh(nullptr);

      Box box{k.x, k.y, int64_t(k.x) + k.w, int64_t(k.y) + k.h};
      std::vector<uint32_t> above;  // the model's previous level, row by row over its box
      {
        Surface s(l.get());
        for (int r = 0; r < k.h; ++r)
          for (int c = 0; c < k.w; ++c) above.push_back(Get(s.At(c, r), format));
      }
      uint32_t rows = (uint32_t(k.h) + 63) & ~63u;
      for (int level = 1; level < LYR_MIP_DEPTH; ++level) {
        Box up = box;
        box = box.Half();
        rows = rows / 2 + 1;
        ShowParam sp = Show(l.get(), level);
        ASSERT_EQ(sp.rc.left, box.left) << level;
        ASSERT_EQ(sp.rc.top, box.top) << level;
        ASSERT_EQ(sp.rc.right, box.right) << level;
        ASSERT_EQ(sp.rc.bottom, box.bottom) << level;
        // The used extent fits the level's pitch and padded rows, whose end is the next level.
        ASSERT_LE(box.right - box.left, int64_t(sp.nPitch)) << level;
        ASSERT_LE(box.bottom - box.top, int64_t(rows)) << level;
        if (level + 1 < LYR_MIP_DEPTH) {
          ASSERT_EQ(sp.pPixels + size_t(sp.nPitch) * rows * format, Show(l.get(), level + 1).pPixels) << level;
        }

        auto at = [&](int64_t X, int64_t Y) -> uint32_t {
          return up.Has(X, Y) ? above[size_t(Y - up.top) * size_t(up.right - up.left) + size_t(X - up.left)] : 0;
        };
        std::vector<uint32_t> here;
        int bad = 0;
        for (int64_t Y = box.top; Y < box.bottom; ++Y)
          for (int64_t X = box.left; X < box.right; ++X) {
            uint32_t a = at(2 * X, 2 * Y), b = at(2 * X + 1, 2 * Y), c = at(2 * X, 2 * Y + 1),
                     d = at(2 * X + 1, 2 * Y + 1);
            uint32_t want = format == 4 ? mip::ReducePixelC32(a, b, c, d)
                                        : mip::ReducePixelA16(uint16_t(a), uint16_t(b), uint16_t(c), uint16_t(d));
            here.push_back(want);
            uint32_t got = Get(LevelAt(sp, format, X, Y), format);
            if (got != want && bad++ < 3) {
              ADD_FAILURE() << "level " << level << " pixel " << X << "," << Y;
            }
          }
        above.swap(here);
        if (bad) break;
      }
    }
  }
}

uint32_t Level1Pixel(OLayer* l, int c, int r) {
  ShowParam sp = Show(l, 1);
  return Get(sp.pPixels + (size_t(r) * sp.nPitch + c) * l->GetPixelSize(), l->GetPixelSize());
}

TEST_F(MipTest, TwoByTwoAveragesAndEdges) {
  struct Case {
    const char* what;
    int w, h, x, y, format;
    uint32_t px[4];    // level-0 pixels row by row (only w x h used)
    RECT level1;       // expected level-1 extent
    uint32_t want[2];  // level-1 pixels (0, 0) and (1, 0)
  } cases[] = {
      // Opaque red beside transparent white: pure red at half alpha, no pale fringe.
      {"edge", 2, 2, 0, 0, 4, {0xFFFF0000, 0x00FFFFFF, 0xFFFF0000, 0x00FFFFFF}, {0, 0, 1, 1}, {0x80FF0000, 0}},
      // Blue 0 at alpha 255 and blue 255 at alpha 85: (85*255 + 170) / 340 = 64, alpha (340 + 2) >> 2.
      {"weights", 2, 2, 0, 0, 4, {0xFF000000, 0x550000FF, 0, 0}, {0, 0, 1, 1}, {0x55000040, 0}},
      {"transparent", 2, 2, 0, 0, 4, {0x00FFFFFF, 0x00123456, 0, 0x00FFFFFF}, {0, 0, 1, 1}, {0, 0}},
      // Rows and columns outside a 1 x 1 layer are transparent: a quarter alpha, pure colour.
      {"single", 1, 1, 0, 0, 4, {0xFF00FF00}, {0, 0, 1, 1}, {0x4000FF00, 0}},
      // At x = 1 pixel 0 is the right half of level-1 pixel 0, pixel 1 the left half of pixel 1.
      {"odd x", 2, 1, 1, 0, 4, {0xFFFF0000, 0xFF00FF00}, {0, 0, 2, 1}, {0x40FF0000, 0x4000FF00}},
      {"odd y", 2, 1, 0, -1, 4, {0xFFFF0000, 0xFF00FF00}, {0, -1, 1, 0}, {0x80808000, 0}},
      {"mask", 2, 2, 0, 0, 2, {0xFFFF, 0xFFFF, 0x0001, 0}, {0, 0, 1, 1}, {0x8000, 0}},
      {"mask odd x", 1, 2, -1, 0, 2, {0xFFFF, 0xFFFF}, {-1, 0, 0, 1}, {0x8000, 0}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    GCompRef<OLayer> l = NewLayer(k.w, k.h, k.format);
    l->SetPosition(k.x, k.y, FALSE);
    {
      Surface s(l.get());
      for (int r = 0; r < k.h; ++r)
        for (int c = 0; c < k.w; ++c) Put(s.At(c, r), k.format, k.px[r * k.w + c]);
    }
    l->MipRefresh(nullptr);
    ShowParam sp = Show(l.get(), 1);
    EXPECT_EQ(sp.rc.left, k.level1.left);
    EXPECT_EQ(sp.rc.top, k.level1.top);
    EXPECT_EQ(sp.rc.right, k.level1.right);
    EXPECT_EQ(sp.rc.bottom, k.level1.bottom);
    EXPECT_EQ(Level1Pixel(l.get(), 0, 0), k.want[0]);
    if (sp.rc.right - sp.rc.left > 1) {
      EXPECT_EQ(Level1Pixel(l.get(), 1, 0), k.want[1]);
    }
  }
}

// The level-L boxes that MipRefresh(rc) rewrites: rc clipped to the layer, halved outward.
std::vector<Box> RefreshBoxes(OLayer* l, RECT rc) {
  RECT lr;
  l->GetRect(&lr);
  Box b{std::max(rc.left, lr.left), std::max(rc.top, lr.top), std::min(rc.right, lr.right),
        std::min(rc.bottom, lr.bottom)};
  std::vector<Box> boxes(LYR_MIP_DEPTH, Box{0, 0, 0, 0});
  if (b.left >= b.right || b.top >= b.bottom) return boxes;
  for (int level = 1; level < LYR_MIP_DEPTH; ++level) boxes[level] = b = b.Half();
  return boxes;
}

TEST_F(MipTest, RectangleRefreshEqualsFullRefreshAndStaysInside) {
  const RECT rects[] = {
      {10, 20, 30, 40},        // inside
      {-50, -50, 0, 3},        // over the top-left corner
      {27, 4, 28, 5},          // one pixel at odd coordinates
      {120, 60, 400, 400},     // over the bottom-right corner
      {-100, -100, -40, -40},  // outside: nothing changes
  };
  for (int format : {4, 2}) {
    for (const RECT& rc : rects) {
      SCOPED_TRACE(testing::Message() << "format " << format << " rect " << rc.left << "," << rc.top << "," << rc.right
                                      << "," << rc.bottom);
      GCompRef<OLayer> l = NewLayer(150, 90, format);
      l->SetPosition(-5, 3, FALSE);
      FillRandom(l.get(), rng);
      l->MipRefresh(nullptr);
      {
        Surface s(l.get());
        for (int r = 0; r < 90; ++r)
          for (int c = 0; c < 150; ++c)
            if (c - 5 >= rc.left && c - 5 < rc.right && r + 3 >= rc.top && r + 3 < rc.bottom)
              Put(s.At(c, r), format, RandomPixel(rng, format));
      }
      GCompRef<OLayer> fresh = FreshCopy(l.get());
      l->MipRefresh(&rc);
      ExpectSameLevels(l.get(), fresh.get(), "after the rectangle refresh");

      // Marked pixels outside the rewritten boxes keep their marks.
      std::vector<Box> boxes = RefreshBoxes(l.get(), rc);
      const uint32_t mark = format == 4 ? 0x12345678u : 0x1234u;
      for (int level = 1; level < LYR_MIP_DEPTH; ++level) {
        ShowParam sp = Show(l.get(), level);
        for (int64_t Y = sp.rc.top; Y < sp.rc.bottom; ++Y)
          for (int64_t X = sp.rc.left; X < sp.rc.right; ++X)
            if (!boxes[level].Has(X, Y)) Put(LevelAt(sp, format, X, Y), format, mark);
      }
      l->MipRefresh(&rc);
      int kept = 0, lost = 0;
      for (int level = 1; level < LYR_MIP_DEPTH; ++level) {
        ShowParam sp = Show(l.get(), level);
        for (int64_t Y = sp.rc.top; Y < sp.rc.bottom; ++Y)
          for (int64_t X = sp.rc.left; X < sp.rc.right; ++X)
            if (!boxes[level].Has(X, Y)) (Get(LevelAt(sp, format, X, Y), format) == mark ? kept : lost)++;
      }
      EXPECT_EQ(lost, 0);
      EXPECT_GT(kept, 0);
    }
  }
}

TEST_F(MipTest, MarkedBlockRefreshEqualsFullRefresh) {
  // 300 x 200 has 5 x 4 blocks; the last column and row are partly outside the layer.
  const int marked[][2] = {{0, 0}, {1, 2}, {1, 3}, {3, 4}, {2, 0}, {3, 0}, {3, 1}};
  for (int format : {4, 2}) {
    SCOPED_TRACE(format);
    GCompRef<OLayer> l = NewLayer(300, 200, format);
    l->SetPosition(-37, 11, FALSE);
    FillRandom(l.get(), rng);
    l->MipRefresh(nullptr);
    BYTE* map = l->PAT_GetMarkMap();
    {
      Surface s(l.get());
      for (const auto& m : marked) {
        map[m[0] * LYR_MARK_SIDE + m[1]] = 1;
        for (int r = m[0] * 64; r < std::min(200, m[0] * 64 + 64); ++r)
          for (int c = m[1] * 64; c < std::min(300, m[1] * 64 + 64); ++c)
            Put(s.At(c, r), format, RandomPixel(rng, format));
      }
    }
    GCompRef<OLayer> fresh = FreshCopy(l.get());
    l->PAT_MarkMipRefresh();
    ExpectSameLevels(l.get(), fresh.get(), "after the marked-block refresh");
  }
}

// Batch by batch, the blocks marked since the last pending refresh (and only those) get
// their levels rebuilt, which then equal a full refresh; a cleared map leaves nothing pending.
TEST_F(MipTest, PendingRefreshRebuildsTheBlocksMarkedSinceTheLastOne) {
  struct Batch {
    std::vector<RECT> rects;  // space rectangles painted and marked
    int blocks;
  };
  // At (-37, 11): layer columns 0..66 of row 0 (blocks 0-1 of block row 0); then columns
  // 137..276 of rows 89..108 (blocks 2-4 of row 1) and, far from them, columns 0..36 of rows
  // 139..198 (block 0 of rows 2 and 3).
  const Batch batches[] = {{{{-37, 11, 30, 40}}, 2}, {{{100, 100, 240, 120}, {-37, 150, 0, 210}}, 5}};
  for (int format : {4, 2}) {
    SCOPED_TRACE(format);
    GCompRef<OLayer> l = NewLayer(300, 200, format);
    l->SetPosition(-37, 11, FALSE);
    FillRandom(l.get(), rng);
    l->MipRefresh(nullptr);
    for (const Batch& b : batches) {
      for (const RECT& rc : b.rects) {
        {
          Surface s(l.get());
          for (int r = std::max<int>(rc.top - 11, 0); r < std::min<int>(rc.bottom - 11, 200); ++r)
            for (int c = std::max<int>(rc.left + 37, 0); c < std::min<int>(rc.right + 37, 300); ++c)
              Put(s.At(c, r), format, RandomPixel(rng, format));
        }
        l->PAT_MarkSet(&rc, nullptr);
      }
      EXPECT_EQ(l->PAT_MarkMipRefreshPending(), b.blocks);
      GCompRef<OLayer> fresh = FreshCopy(l.get());
      ExpectSameLevels(l.get(), fresh.get(), "after a batch");
    }
    EXPECT_EQ(l->PAT_MarkMipRefreshPending(), 0) << "nothing is left pending";
    l->PAT_MarkSet(nullptr, nullptr);
    l->PAT_MarkClear();
    EXPECT_EQ(l->PAT_MarkMipRefreshPending(), 0) << "a cleared map drops what was pending";
  }
}

TEST_F(MipTest, StateErrors) {
  GCompRef<OLayer> empty = NewEmpty();
  EXPECT_EQ(ThrownCondition([&] { empty->MipRefresh(nullptr); }), u"!m_myState==myREADY");
  EXPECT_EQ(ThrownCondition([&] { empty->PAT_MarkMipRefresh(); }), u"!m_myState==myREADY");
  EXPECT_EQ(ThrownCondition([&] { empty->PAT_MarkMipRefreshPending(); }), u"!m_myState==myREADY");
  EXPECT_EQ(ThrownCondition([&] { empty->MakeThumbnail(0); }), u"!m_myState!=myNULL");
  GCompRef<OLayer> l = NewLayer(8, 8, 4);
  Surface locked(l.get());
  RECT rc{0, 0, 4, 4};
  EXPECT_EQ(ThrownCondition([&] { l->MipRefresh(&rc); }), u"!m_myState==myREADY");
}

// --- thumbnail

constexpr COLORREF kBack = RGB(10, 20, 30);
constexpr uint32_t kBackPixel = 0xFF0A141E;

// Thumbnail pixel at column c of row r counted from the top.
uint32_t ThumbAt(const uint32_t* t, int c, int r) { return t[size_t(127 - r) * 128 + c]; }

void FillWith(OLayer* l, uint32_t (*f)(int c, int r)) {
  Surface s(l);
  for (int r = 0; r < l->GetHeight(); ++r)
    for (int c = 0; c < l->GetWidth(); ++c) Put(s.At(c, r), l->GetPixelSize(), f(c, r));
}

TEST_F(MipTest, ThumbnailOfLayersWithoutCoverageIsNull) {
  GCompRef<OLayer> colour = NewLayer(40, 30, 4);
  GCompRef<OLayer> mask = NewLayer(40, 30, 2);
  FillWith(colour.get(), [](int, int) { return 0x00FFFFFFu; });  // colour without alpha
  {
    // Padding is not the layer: coverage there does not count.
    Surface s(mask.get());
    Put(s.At(45, 3), 2, 0xFFFF);
    Put(s.At(3, 40), 2, 0xFFFF);
  }
  for (OLayer* l : {colour.get(), mask.get()}) {
    l->MipRefresh(nullptr);
    EXPECT_EQ(l->MakeThumbnail(kBack), nullptr);
  }
  FillWith(mask.get(), [](int c, int r) { return c == 39 && r == 29 ? 1u : 0u; });
  EXPECT_NE(mask->MakeThumbnail(kBack), nullptr);
}

TEST_F(MipTest, ThumbnailKeepsAspectCentredOverBackground) {
  struct Case {
    int w, h;
    RECT image;  // expected image area in thumbnail pixels, rows from the top
  } cases[] = {
      {256, 64, {0, 48, 128, 80}},  // level 1 is 128 x 32
      {40, 300, {55, 0, 72, 128}},  // level 1 is 20 x 150: 17 columns
      {4, 2, {0, 32, 128, 96}},     // small layers are enlarged
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.w << "x" << k.h);
    GCompRef<OLayer> l = NewLayer(k.w, k.h, 4);
    l->SetPosition(4, -8, FALSE);  // even at levels 0 to 2: no half-covered edge pixels
    FillWith(l.get(), [](int, int) { return 0xFF0000FFu; });
    l->MipRefresh(nullptr);
    const uint32_t* t = l->MakeThumbnail(kBack);
    ASSERT_NE(t, nullptr);
    int wrong = 0;
    for (int r = 0; r < 128; ++r)
      for (int c = 0; c < 128; ++c) {
        bool inside = c >= k.image.left && c < k.image.right && r >= k.image.top && r < k.image.bottom;
        wrong += ThumbAt(t, c, r) != (inside ? 0xFF0000FFu : kBackPixel);
      }
    EXPECT_EQ(wrong, 0);
  }
}

TEST_F(MipTest, ThumbnailRowsBottomUpFromTheMipLevel) {
  // A 256 x 256 layer shows level 1 at 1:1. Top half red; bottom left a one-pixel
  // checkerboard (grey at level 1, black or white at level 0); bottom right stripes two
  // pixels wide (alternate columns at level 1, grey at level 2).
  GCompRef<OLayer> l = NewLayer(256, 256, 4);
  FillWith(l.get(), [](int c, int r) {
    if (r < 128) return 0xFFFF0000u;
    bool white = c < 128 ? (c + r) % 2 : (c / 2) % 2;
    return white ? 0xFFFFFFFFu : 0xFF000000u;
  });
  l->MipRefresh(nullptr);
  const uint32_t* t = l->MakeThumbnail(kBack);
  ASSERT_NE(t, nullptr);
  int wrong = 0;
  for (int i = 64 * 128; i < 128 * 128; ++i) wrong += t[i] != 0xFFFF0000u;  // buffer rows 64.. are the top
  for (int r = 0; r < 64; ++r)
    for (int c = 0; c < 128; ++c) wrong += t[r * 128 + c] != (c < 64 ? 0xFF808080u : c % 2 ? 0xFFFFFFFFu : 0xFF000000u);
  EXPECT_EQ(wrong, 0);
}

TEST_F(MipTest, ThumbnailOfMaskUsesLayerColourAndCoverage) {
  GCompRef<OLayer> l = NewLayer(64, 64, 2);
  l->SetColor(RGB(0, 255, 40));
  Props(l.get())->SetValue(0, 30);  // ALPHA does not reach the thumbnail
  FillWith(l.get(), [](int c, int) { return c < 32 ? 0xFFFFu : 0x8000u; });
  l->MipRefresh(nullptr);
  const uint32_t* t = l->MakeThumbnail(RGB(0, 0, 0));
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(ThumbAt(t, 10, 10), 0xFF00FF28u);
  // Half coverage over black: 255 * 128 / 255 = 128, 40 * 128 / 255 = 20.
  EXPECT_EQ(ThumbAt(t, 100, 10), 0xFF008014u);
}

// --- kernels

TEST(MipKernel, Sse2MatchesScalarOverAlphaCombinations) {
  std::mt19937 rng(99);
  // All pairs of alphas on two pixels, the other two from the edge alphas, colours random
  // or extreme.
  const uint32_t edges[] = {0, 1, 2, 3, 127, 128, 254, 255};
  std::vector<uint32_t> r0, r1;
  for (uint32_t a = 0; a < 256; ++a)
    for (uint32_t b = 0; b < 256; ++b) {
      uint32_t c = edges[rng() % 8], d = edges[rng() % 8];
      uint32_t colours[4];
      for (uint32_t& k : colours) {
        uint32_t pick = rng() % 4;
        k = pick == 0 ? 0 : pick == 1 ? 0xFFFFFF : rng() & 0xFFFFFF;
      }
      r0.push_back(colours[0] | (a << 24));
      r0.push_back(colours[1] | (c << 24));
      r1.push_back(colours[2] | (b << 24));
      r1.push_back(colours[3] | (d << 24));
    }
  // All four-alpha combinations of the edge alphas.
  for (uint32_t i = 0; i < 8 * 8 * 8 * 8; ++i) {
    r0.push_back((rng() & 0xFFFFFF) | (edges[i & 7] << 24));
    r0.push_back((rng() & 0xFFFFFF) | (edges[(i >> 3) & 7] << 24));
    r1.push_back((rng() & 0xFFFFFF) | (edges[(i >> 6) & 7] << 24));
    r1.push_back((rng() & 0xFFFFFF) | (edges[(i >> 9) & 7] << 24));
  }
  size_t n = r0.size() / 2;
  std::vector<uint32_t> want(n), got(n);
  mip::ReduceRowC32Scalar(want.data(), r0.data(), r1.data(), n);
  mip::ReduceRowC32Sse2(got.data(), r0.data(), r1.data(), n);
  size_t bad = 0;
  for (size_t i = 0; i < n; ++i) {
    if (want[i] != got[i] && bad++ < 5) {
      ADD_FAILURE() << std::hex << r0[2 * i] << " " << r0[2 * i + 1] << " " << r1[2 * i] << " " << r1[2 * i + 1] << ": "
                    << want[i] << " vs " << got[i];
    }
  }

  // Every coverage value on one pixel of the mask reduction.
  std::vector<uint16_t> m0, m1;
  for (uint32_t v = 0; v < 65536; ++v) {
    m0.push_back(uint16_t(v));
    m0.push_back(uint16_t(rng() % 3 == 0 ? 0xFFFF : rng()));
    m1.push_back(uint16_t(rng() % 3 == 0 ? 0xFFFF : rng()));
    m1.push_back(uint16_t(rng() % 3 == 0 ? 0 : rng()));
  }
  std::vector<uint16_t> mw(65536), mg(65536);
  mip::ReduceRowA16Scalar(mw.data(), m0.data(), m1.data(), 65536);
  mip::ReduceRowA16Sse2(mg.data(), m0.data(), m1.data(), 65536);
  EXPECT_TRUE(mw == mg);
}

TEST(MipKernel, Sse2MatchesScalarOnRandomRowsAndOffsets) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 1200; ++trial) {
    size_t n = rng() % 70, off = rng() % 4, doff = rng() % 3;
    // Exact-size rows, so a read or write past the end shows under the address sanitizer.
    std::vector<uint32_t> a(off + 2 * n), b(off + 2 * n), want(doff + n, 7), got(doff + n, 7);
    // Mixed rows, and opaque or transparent rows (the short ways) with a stray pixel or not.
    const int kind = trial % 3;
    auto pixel = [&] {
      uint32_t v = rng();
      return kind == 0 ? RandomPixel(rng, 4) : kind == 1 ? v | 0xFF000000 : v & 0x00FFFFFF;
    };
    for (size_t i = 0; i < a.size(); ++i) {
      a[i] = pixel();
      b[i] = pixel();
    }
    if (trial % 2 && !a.empty()) (trial % 4 == 1 ? a : b)[rng() % a.size()] = RandomPixel(rng, 4);
    mip::ReduceRowC32Scalar(want.data() + doff, a.data() + off, b.data() + off, n);
    mip::ReduceRowC32Sse2(got.data() + doff, a.data() + off, b.data() + off, n);
    ASSERT_TRUE(want == got) << "C32 n " << n << " offset " << off;

    std::vector<uint16_t> c(off + 2 * n), d(off + 2 * n), mw(doff + n, 7), mg(doff + n, 7);
    for (size_t i = 0; i < c.size(); ++i) {
      c[i] = uint16_t(RandomPixel(rng, 2));
      d[i] = uint16_t(RandomPixel(rng, 2));
    }
    mip::ReduceRowA16Scalar(mw.data() + doff, c.data() + off, d.data() + off, n);
    mip::ReduceRowA16Sse2(mg.data() + doff, c.data() + off, d.data() + off, n);
    ASSERT_TRUE(mw == mg) << "A16 n " << n << " offset " << off;
  }
}

}  // namespace
