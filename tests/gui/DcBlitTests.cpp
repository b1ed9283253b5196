// Block transfers: each raster operation on hand-worked pixels, overlapping transfers within
// one image, clipping through both viewport origins, buffers bottom-up and scaled,
// source-over blending, memory device contexts, and which writes keep alpha.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

#include "platform/gui/Dc.h"

namespace {

using gui::DeviceContext;
using gui::ScreenImage;

std::vector<uint32_t> Snapshot(const ScreenImage& img) {
  return std::vector<uint32_t>(img.Bits(), img.Bits() + img.Width() * img.Height());
}

void FillWith(ScreenImage& img, uint32_t argb) {
  std::fill(img.Bits(), img.Bits() + img.Width() * img.Height(), argb);
}

// S = 0x3C5A96 (alpha 0x80) onto D = 0x0FF0A5 (alpha 0x40 where the target keeps alpha).
TEST(DcBlit, RasterOperationsMixByHand) {
  struct Case {
    DWORD rop;
    uint32_t rgb;
    uint32_t keptAlpha;  // on a target that keeps alpha
  } cases[] = {
      {gui::SRCCOPY, 0x3C5A96, 0x80},   {gui::SRCPAINT, 0x3FFAB7, 0x40},  {gui::SRCAND, 0x0C5084, 0x40},
      {gui::SRCINVERT, 0x33AA33, 0x40}, {gui::DSTINVERT, 0xF00F5A, 0x40}, {gui::BLACKNESS, 0x000000, 0xFF},
      {gui::WHITENESS, 0xFFFFFF, 0xFF},
  };
  ScreenImage source;
  source.Resize(4, 3);
  FillWith(source, 0x803C5A96u);
  DeviceContext src(&source);
  for (const Case& c : cases) {
    for (bool keep : {false, true}) {
      ScreenImage target;
      target.SetKeepAlpha(keep);
      target.Resize(6, 5);
      uint32_t d = (keep ? 0x40000000u : 0xFF000000u) | 0x0FF0A5;
      FillWith(target, d);
      DeviceContext dc(&target);
      dc.BitBlt(1, 1, 3, 2, src, 0, 0, c.rop);
      uint32_t expect = ((keep ? c.keptAlpha : 0xFF) << 24) | c.rgb;
      for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) {
          bool in = x >= 1 && x < 4 && y >= 1 && y < 3;
          EXPECT_EQ(target.Pixel(x, y), in ? expect : d) << std::hex << c.rop << " keep " << keep << " at " << x << "," << y;
        }
    }
  }
  // The source-less operations need no bitmap in the source context.
  ScreenImage target;
  target.Resize(3, 3, 0x123456);
  DeviceContext dc(&target), none;
  dc.BitBlt(0, 0, 2, 2, none, 0, 0, gui::DSTINVERT);
  dc.BitBlt(0, 0, 3, 3, none, 0, 0, gui::SRCCOPY);  // nothing to copy
  EXPECT_EQ(target.Pixel(1, 1), 0xFFEDCBA9u);
  EXPECT_EQ(target.Pixel(2, 2), 0xFF123456u);
}

// Transfers within one image read the source as it was before, whichever way they overlap.
TEST(DcBlit, OverlappingTransfersWithinOneImage) {
  std::mt19937 rng(99);
  const POINT shifts[] = {{2, 1}, {-2, -1}, {3, -2}, {-1, 3}, {0, 0}, {1, 0}};
  for (DWORD rop : {gui::SRCCOPY, gui::SRCINVERT, gui::SRCPAINT}) {
    for (const POINT& s : shifts) {
      ScreenImage img;
      img.Resize(14, 12);
      for (int i = 0; i < 14 * 12; ++i) img.Bits()[i] = 0xFF000000u | (rng() & 0xFFFFFF);
      std::vector<uint32_t> before = Snapshot(img);
      DeviceContext dc(&img);
      dc.BitBlt(3 + s.x, 3 + s.y, 8, 6, dc, 3, 3, rop);
      for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 14; ++x) {
          uint32_t d = before[size_t(y * 14 + x)], expect = d;
          int sx = x - s.x, sy = y - s.y;
          if (x >= 3 + s.x && x < 11 + s.x && y >= 3 + s.y && y < 9 + s.y) {
            uint32_t src = before[size_t(sy * 14 + sx)];
            expect = rop == gui::SRCCOPY ? src : rop == gui::SRCINVERT ? src ^ (d & 0xFFFFFF) : src | d;
          }
          ASSERT_EQ(img.Pixel(x, y), expect) << std::hex << rop << std::dec << " shift " << s.x << "," << s.y
                                             << " at " << x << "," << y;
        }
    }
  }
}

// Both viewport origins apply; the transfer is clipped to the source image, the target image
// and the target's clip, and what is clipped away does not shift what stays.
TEST(DcBlit, ClipsToBothImagesAndTheClipThroughBothOrigins) {
  ScreenImage source, target;
  source.Resize(10, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 10; ++x) source.Bits()[y * 10 + x] = 0xFF000000u | uint32_t(x << 8 | y);
  target.Resize(12, 10, 0x777777);
  DeviceContext src(&source), dst(&target);
  src.SetViewportOrg(1, -2);
  dst.SetViewportOrg(-1, 1);
  const RECT clip{2, 1, 9, 8};
  dst.SetClipRect(&clip);
  dst.BitBlt(0, 0, 20, 20, src, -3, 1, gui::SRCCOPY);
  // Target device (X, Y) comes from source device (X - 1, Y - 2): the target starts at
  // (-1, 1), the source at (-2, -1).
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 12; ++x) {
      int sx = x - 1, sy = y - 2;
      bool in = x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom && y >= 1 && sx >= 0 &&
                sx < 10 && sy >= 0 && sy < 8;
      EXPECT_EQ(target.Pixel(x, y), in ? 0xFF000000u | uint32_t(sx << 8 | sy) : 0xFF777777u) << x << "," << y;
    }
  EXPECT_EQ(target.Pixel(2, 2), 0xFF000100u);  // source (1, 0)
}

TEST(DcBlit, BufferCopiesFlipBottomUpRowsAtAnOffsetAndClip) {
  const int w = 5, h = 4, pitch = 6;
  std::vector<uint32_t> buffer(size_t(pitch * h));
  for (int row = 0; row < h; ++row)
    for (int col = 0; col < pitch; ++col) buffer[size_t(row * pitch + col)] = 0x00100000u | uint32_t(row << 4 | col);
  ScreenImage img;
  img.Resize(6, 4, 0xABCDEF);
  DeviceContext dc(&img);
  // Top-down (sx, sy) = (1, 0) of a bottom-up buffer to (-1, 2), 4 x 3: the left column and
  // the last row fall off the image.
  dc.SetDIBitsToDevice(-1, 2, 4, 3, buffer.data(), w, h, pitch, true, 1, 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) {
      bool in = x < 3 && y >= 2;
      int row = h - 1 - (y - 2), col = x + 2;  // memory row of top-down row y - 2
      uint32_t expect = in ? 0xFF000000u | buffer[size_t(row * pitch + col)] : 0xFFABCDEFu;
      EXPECT_EQ(img.Pixel(x, y), expect) << x << "," << y;
    }
  EXPECT_EQ(img.Pixel(0, 2), 0xFF100032u);  // memory row 3, column 2
  EXPECT_EQ(img.Pixel(2, 3), 0xFF100024u);  // memory row 2, column 4
  // A source reaching past the buffer copies only what the buffer has.
  img.Fill(0);
  dc.SetDIBitsToDevice(0, 0, 5, 4, buffer.data(), w, h, pitch, false, 3, 2);
  int copied = 0;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) copied += img.Pixel(x, y) != 0xFF000000u;
  EXPECT_EQ(copied, 4);
  EXPECT_EQ(img.Pixel(1, 1), 0xFF100034u);
}

TEST(DcBlit, StretchPicksTheNearestSourcePixel) {
  const uint32_t A = 0xFF0000AA, B = 0xFF0000BB, C = 0xFF0000CC, D = 0xFF0000DD;
  const uint32_t two[] = {A, B, C, D};  // top-down 2 x 2
  ScreenImage img;
  img.Resize(6, 6, 0);
  DeviceContext dc(&img);
  dc.StretchDIBits(RECT{1, 1, 5, 5}, two, 2, 2, 2, false, RECT{0, 0, 2, 2});
  const uint32_t O = 0xFF000000;
  const uint32_t doubled[6][6] = {{O, O, O, O, O, O}, {O, A, A, B, B, O}, {O, A, A, B, B, O},
                                  {O, C, C, D, D, O}, {O, C, C, D, D, O}, {O, O, O, O, O, O}};
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(img.Pixel(x, y), doubled[y][x]) << x << "," << y;
  // Bottom-up: the buffer's first row is the bottom one.
  dc.StretchDIBits(RECT{0, 0, 2, 2}, two, 2, 2, 2, true, RECT{0, 0, 2, 2});
  EXPECT_EQ(img.Pixel(0, 0), C);
  EXPECT_EQ(img.Pixel(1, 1), B);
  // Halving a 4 x 4 buffer takes the odd columns and rows.
  uint32_t four[16];
  for (int i = 0; i < 16; ++i) four[i] = 0xFF000000u | uint32_t(i);
  img.Fill(0);
  dc.StretchDIBits(RECT{0, 0, 2, 2}, four, 4, 4, 4, false, RECT{0, 0, 4, 4});
  EXPECT_EQ(img.Pixel(0, 0), 0xFF000005u);
  EXPECT_EQ(img.Pixel(1, 0), 0xFF000007u);
  EXPECT_EQ(img.Pixel(0, 1), 0xFF00000Du);
  EXPECT_EQ(img.Pixel(1, 1), 0xFF00000Fu);
  // A target reaching off the image keeps the mapping of the whole target.
  img.Fill(0);
  dc.StretchDIBits(RECT{-2, -2, 6, 6}, two, 2, 2, 2, false, RECT{0, 0, 2, 2});
  EXPECT_EQ(img.Pixel(1, 1), A);
  EXPECT_EQ(img.Pixel(2, 1), B);
  EXPECT_EQ(img.Pixel(2, 2), D);
}

TEST(DcBlit, AlphaBlendComposesSourceOverByHand) {
  struct Case {
    bool keep;
    uint32_t dst, src;
    int opacity;
    uint32_t expect;
  } cases[] = {
      {false, 0xFF000000, 0x80FFFFFF, 255, 0xFF808080},  // half white over black
      {false, 0xFF204080, 0x00FFFFFF, 255, 0xFF204080},  // transparent: nothing
      {false, 0xFF204080, 0xFF123456, 255, 0xFF123456},  // opaque: the source
      {false, 0xFF0000FF, 0x40FF0000, 255, 0xFF4000BF},  // a quarter red over blue
      {false, 0xFF000000, 0xFFFFFFFF, 128, 0xFF808080},  // opacity scales alpha
      {true, 0x00000000, 0x80FFFFFF, 255, 0x80FFFFFF},   // over nothing: the source
      {true, 0x80000000, 0x80FFFFFF, 255, 0xC0AAAAAA},   // half over half
      {true, 0x80123456, 0x00FFFFFF, 255, 0x80123456},
  };
  for (const Case& c : cases) {
    ScreenImage img;
    img.SetKeepAlpha(c.keep);
    img.Resize(3, 3);
    FillWith(img, c.dst);
    DeviceContext dc(&img);
    dc.AlphaBlendPixels(1, 1, 1, 1, &c.src, 1, 1, 1, false, 0, 0, c.opacity);
    EXPECT_EQ(img.Pixel(1, 1), c.expect) << std::hex << c.dst << " " << c.src;
    EXPECT_EQ(img.Pixel(0, 0), c.dst);
  }
}

// Writes into an image that keeps alpha store the alpha they give; ordinary images keep 0xFF.
TEST(DcBlit, KeepAlphaRule) {
  const uint32_t pixel = 0x11AABBCC;
  struct Case {
    const char* name;
    std::function<void(ScreenImage&, DeviceContext&)> write;
    uint32_t kept, ordinary;  // pixel (1, 1) after the write
  } cases[] = {
      {"fill", [](ScreenImage& img, DeviceContext&) { img.FillArgb(0x40112233); }, 0x40112233, 0xFF112233},
      {"fill rect", [](ScreenImage&, DeviceContext& dc) { dc.FillArgbRect(RECT{0, 0, 2, 2}, 0x20445566); },
       0x20445566, 0xFF445566},
      {"solid fill", [](ScreenImage&, DeviceContext& dc) { dc.FillSolidRect(RECT{0, 0, 2, 2}, RGB(1, 2, 3)); },
       0xFF010203, 0xFF010203},
      {"xor pen", [](ScreenImage&, DeviceContext& dc) {
         dc.SetROP2(gui::R2_XORPEN);
         dc.SetPen(gui::PS_SOLID, RGB(0xFF, 0, 0));
         dc.MoveTo(0, 1);
         dc.LineTo(3, 1);
       }, 0x40EF2030, 0xFFEF2030},
      {"invert", [](ScreenImage&, DeviceContext& dc) { dc.InvertRect(RECT{1, 1, 2, 2}); }, 0x40EFDFCF, 0xFFEFDFCF},
      {"dibits", [&](ScreenImage&, DeviceContext& dc) { dc.SetDIBitsToDevice(1, 1, 1, 1, &pixel, 1, 1, 1, false, 0, 0); },
       0x11AABBCC, 0xFFAABBCC},
      {"stretch", [&](ScreenImage&, DeviceContext& dc) {
         dc.StretchDIBits(RECT{0, 0, 3, 3}, &pixel, 1, 1, 1, false, RECT{0, 0, 1, 1});
       }, 0x11AABBCC, 0xFFAABBCC},
      {"present", [&](ScreenImage& img, DeviceContext&) {
         std::vector<uint32_t> all(9, pixel);
         img.Present(all.data(), 3, 3, 3, true, RECT{1, 1, 2, 2});
       }, 0x11AABBCC, 0xFFAABBCC},
      {"resize", [](ScreenImage& img, DeviceContext&) {
         img.ResizeArgb(1, 1, 0);
         img.ResizeArgb(3, 3, 0x33000000);
       }, 0x33000000, 0xFF000000},
      {"copy blit", [&](ScreenImage&, DeviceContext& dc) {
         ScreenImage src;
         src.SetKeepAlpha(true);
         src.ResizeArgb(1, 1, pixel);
         dc.BitBlt(1, 1, 1, 1, src, 0, 0);
       }, 0x11AABBCC, 0xFFAABBCC},
  };
  for (const Case& c : cases) {
    for (bool keep : {true, false}) {
      ScreenImage img;
      img.SetKeepAlpha(keep);
      img.ResizeArgb(3, 3, 0x40102030);
      EXPECT_EQ(img.Pixel(2, 2), keep ? 0x40102030u : 0xFF102030u);
      DeviceContext dc(&img);
      c.write(img, dc);
      EXPECT_EQ(img.Pixel(1, 1), keep ? c.kept : c.ordinary) << c.name << " keep " << keep;
    }
  }
}

TEST(DcBlit, MemoryContextsDrawIntoTheirBitmap) {
  DeviceContext memory;
  // No bitmap yet: nothing to draw into, and nothing breaks.
  memory.FillSolidRect(RECT{0, 0, 4, 4}, RGB(1, 2, 3));
  memory.Rectangle(0, 0, 4, 4);
  memory.TextOut(0, 0, u"x");
  std::unique_ptr<ScreenImage> first = gui::CreateCompatibleBitmap(5, 4), second = gui::CreateCompatibleBitmap(2, 2);
  ASSERT_EQ(first->Width(), 5);
  ASSERT_EQ(first->Height(), 4);
  EXPECT_EQ(first->Pixel(4, 3), 0xFF000000u);
  EXPECT_EQ(memory.SelectBitmap(first.get()), nullptr);
  memory.FillSolidRect(RECT{1, 1, 3, 3}, RGB(0, 0, 255));
  EXPECT_EQ(memory.SelectBitmap(second.get()), first.get());
  memory.FillSolidRect(RECT{0, 0, 2, 2}, RGB(255, 0, 0));
  EXPECT_EQ(first->Pixel(2, 2), 0xFF0000FFu);
  EXPECT_EQ(first->Pixel(0, 0), 0xFF000000u);
  EXPECT_EQ(second->Pixel(1, 1), 0xFFFF0000u);
  // Composed in memory, then copied to the screen image.
  ScreenImage screen;
  screen.Resize(8, 8, 0xFFFFFF);
  DeviceContext dc(&screen);
  memory.SelectBitmap(first.get());
  dc.BitBlt(3, 3, 5, 4, memory, 0, 0, gui::SRCCOPY);
  EXPECT_EQ(screen.Pixel(5, 5), 0xFF0000FFu);
  EXPECT_EQ(screen.Pixel(3, 3), 0xFF000000u);
  EXPECT_EQ(screen.Pixel(2, 2), 0xFFFFFFFFu);
  RECT dirty = screen.PeekDirty();
  EXPECT_EQ(dirty.left, 3);
  EXPECT_EQ(dirty.bottom, 7);
}

}  // namespace
