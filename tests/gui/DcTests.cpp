// The screen image and the device context: XOR figures drawn twice restore every byte, the
// rasteriser's shapes, presenting bottom-up pixels, drawing from a worker thread.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <thread>
#include <vector>

#include <QWidget>

#include "platform/gui/Application.h"
#include "platform/gui/Dc.h"
#include "platform/gui/Window.h"

namespace {

using gui::DeviceContext;
using gui::ScreenImage;

void FillRandom(ScreenImage& img, std::mt19937& rng) {
  uint32_t* p = img.Bits();
  for (int i = 0; i < img.Width() * img.Height(); ++i) p[i] = rng();
}

std::vector<uint32_t> Snapshot(const ScreenImage& img) {
  return std::vector<uint32_t>(img.Bits(), img.Bits() + img.Width() * img.Height());
}

// Pixels whose value differs from a black image, as (x, y).
std::vector<POINT> SetPixels(const ScreenImage& img) {
  std::vector<POINT> out;
  for (int y = 0; y < img.Height(); ++y)
    for (int x = 0; x < img.Width(); ++x)
      if (img.Pixel(x, y) & 0xFFFFFF) out.push_back(POINT{x, y});
  return out;
}

// Draws one random figure and returns its kind; the same rng state draws the same figure.
int DrawRandomFigure(DeviceContext& dc, std::mt19937 rng) {
  std::uniform_int_distribution<int> coord(-60, 160), kind(0, 8), small(0, 3);
  int a = coord(rng), b = coord(rng), c = coord(rng), d = coord(rng);
  int e = coord(rng), f = coord(rng), g = coord(rng), h = coord(rng);
  static const int rops[] = {gui::R2_XORPEN, gui::R2_NOTXORPEN, gui::R2_NOT};
  dc.SetROP2(rops[small(rng) % 3]);
  dc.SetPen(small(rng) == 0 ? gui::PS_DOT : gui::PS_SOLID, COLORREF(rng() & 0xFFFFFF));
  if (small(rng) == 0) {
    RECT clip{coord(rng), coord(rng), coord(rng), coord(rng)};
    dc.SetClipRect(&clip);
  } else {
    dc.SetClipRect(nullptr);
  }
  int k = kind(rng);
  switch (k) {
    case 0: dc.MoveTo(a, b); dc.LineTo(c, d); break;
    case 1: {
      POINT pts[4] = {{a, b}, {c, d}, {e, f}, {g, h}};
      dc.Polyline(pts, 4);
      break;
    }
    case 2: {
      POINT pts[4] = {{a, b}, {c, d}, {e, f}, {g, h}};
      dc.Polygon(pts, 3 + small(rng) % 2);
      break;
    }
    case 3: dc.Rectangle(a, b, c, d); break;
    case 4: dc.Ellipse(a, b, c, d); break;
    case 5: dc.Arc(a, b, c, d, e, f, g, h); break;
    case 6:
      dc.MoveTo(a, b);
      dc.AngleArc(c, d, std::abs(e) / 2, float(f), float(g * 3));
      break;
    case 7: dc.SetPixel(a / 2 + 30, b / 2 + 20); break;
    default: dc.InvertRect(RECT{a, b, c, d}); break;
  }
  return k;
}

TEST(DeviceContext, XorFiguresDrawnTwiceRestoreEveryByte) {
  std::mt19937 rng(12345);
  ScreenImage img;
  img.Resize(97, 61);
  FillRandom(img, rng);
  DeviceContext dc(&img);
  int drawn[9] = {}, changed[9] = {};
  for (int i = 0; i < 3000; ++i) {
    std::mt19937 figure(rng());
    std::vector<uint32_t> before = Snapshot(img);
    int k = DrawRandomFigure(dc, figure);
    ++drawn[k];
    std::vector<uint32_t> once = Snapshot(img);
    for (size_t k = 0; k < once.size(); ++k) {
      ASSERT_EQ(once[k] >> 24, before[k] >> 24) << "alpha touched by figure " << i;
    }
    if (once != before) ++changed[k];
    DrawRandomFigure(dc, figure);
    ASSERT_EQ(Snapshot(img), before) << "figure " << i;
  }
  for (int k = 0; k < 9; ++k) EXPECT_GT(changed[k] * 4, drawn[k]) << "kind " << k;  // figures reach the image
}

// A clipped figure sets exactly the visible pixels of the unclipped one.
TEST(DeviceContext, ClippingKeepsThePixelsOfTheWholeFigure) {
  std::mt19937 rng(777);
  std::uniform_int_distribution<int> far(-5000, 5000), near(0, 199), kind(0, 2);
  const RECT clip{60, 40, 140, 120};
  for (int i = 0; i < 400; ++i) {
    ScreenImage whole, clipped;
    whole.Resize(200, 160, 0);
    clipped.Resize(200, 160, 0);
    DeviceContext dw(&whole), dcl(&clipped);
    for (DeviceContext* dc : {&dw, &dcl}) {
      dc->SetROP2(gui::R2_XORPEN);
      dc->SetPen(gui::PS_SOLID, RGB(255, 255, 255));
    }
    dcl.SetClipRect(&clip);
    int k = kind(rng);
    int a = (k == 0 ? far(rng) : near(rng)), b = (k == 0 ? far(rng) : near(rng) - 20);
    int c = far(rng) / (k == 0 ? 1 : 20) + 100, d = far(rng) / (k == 0 ? 1 : 20) + 80;
    for (DeviceContext* dc : {&dw, &dcl}) {
      if (k == 0) {
        dc->MoveTo(a, b);
        dc->LineTo(c, d);
      } else if (k == 1) {
        dc->Ellipse(a, b, c, d);
      } else {
        dc->Rectangle(a, b, c, d);
      }
    }
    for (int y = 0; y < 160; ++y)
      for (int x = 0; x < 200; ++x) {
        bool in = x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom;
        uint32_t expect = in ? whole.Pixel(x, y) : 0xFF000000u;
        ASSERT_EQ(clipped.Pixel(x, y), expect) << "figure " << i << " kind " << k << " at " << x << "," << y;
      }
  }
}

TEST(DeviceContext, LinesLeaveOutTheirLastPixel) {
  struct Case {
    POINT from, to;
    int pixels;
  } cases[] = {
      {{0, 0}, {5, 0}, 5}, {{5, 0}, {0, 0}, 5},  {{2, 2}, {2, 2}, 0},
      {{0, 0}, {4, 4}, 4}, {{1, 9}, {7, 1}, 8},  {{3, 0}, {3, 6}, 6},
  };
  for (const Case& c : cases) {
    ScreenImage img;
    img.Resize(12, 12, 0);
    DeviceContext dc(&img);
    dc.SetROP2(gui::R2_XORPEN);
    dc.SetPen(gui::PS_SOLID, RGB(1, 2, 3));
    dc.MoveTo(c.from.x, c.from.y);
    dc.LineTo(c.to.x, c.to.y);
    std::vector<POINT> set = SetPixels(img);
    EXPECT_EQ(int(set.size()), c.pixels);
    if (c.pixels) {
      EXPECT_EQ(img.Pixel(c.from.x, c.from.y), 0xFF010203u);  // first pixel in, RGB order of the image
      EXPECT_EQ(img.Pixel(c.to.x, c.to.y) & 0xFFFFFF, 0u);    // last pixel out
    }
    EXPECT_EQ(dc.GetCurrentPosition().x, c.to.x);
  }
}

// Closed outlines set each pixel once: with XOR on black, a pixel set twice would vanish.
TEST(DeviceContext, OutlinesSetEachPixelOnce) {
  ScreenImage img;
  img.Resize(40, 40, 0);
  DeviceContext dc(&img);
  dc.SetROP2(gui::R2_XORPEN);
  dc.SetPen(gui::PS_SOLID, RGB(255, 255, 255));

  dc.Rectangle(2, 3, 12, 8);  // 10 x 5
  EXPECT_EQ(SetPixels(img).size(), 26u);
  EXPECT_NE(img.Pixel(11, 7) & 0xFFFFFF, 0u);
  EXPECT_EQ(img.Pixel(12, 8) & 0xFFFFFF, 0u);
  dc.Rectangle(2, 3, 12, 8);

  POINT square[] = {{5, 5}, {15, 5}, {15, 15}, {5, 15}};
  dc.Polygon(square, 4);
  EXPECT_EQ(SetPixels(img).size(), 40u);  // every corner once
  for (const POINT& p : square) EXPECT_NE(img.Pixel(p.x, p.y) & 0xFFFFFF, 0u);
  dc.Polygon(square, 4);

  // A circle of radius 9: the four extreme points, mirror symmetry, and a closed ring (each
  // pixel has two or more of its eight neighbours set).
  const int cx = 20, cy = 20, r = 9;
  dc.MoveTo(cx + r, cy);
  dc.AngleArc(cx, cy, r, 0, 360);
  std::vector<POINT> ring = SetPixels(img);
  ASSERT_FALSE(ring.empty());
  auto on = [&](int x, int y) { return (img.Pixel(x, y) & 0xFFFFFF) != 0; };
  EXPECT_TRUE(on(cx + r, cy) && on(cx - r, cy) && on(cx, cy + r) && on(cx, cy - r));
  for (const POINT& p : ring) {
    EXPECT_TRUE(on(2 * cx - p.x, p.y) && on(p.x, 2 * cy - p.y)) << p.x << "," << p.y;
    int neighbours = 0;
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) neighbours += (dx || dy) && on(p.x + dx, p.y + dy);
    EXPECT_GE(neighbours, 2) << p.x << "," << p.y;
    int d2 = (p.x - cx) * (p.x - cx) + (p.y - cy) * (p.y - cy);
    EXPECT_TRUE(d2 >= (r - 1) * (r - 1) && d2 <= (r + 1) * (r + 1)) << p.x << "," << p.y;
  }
}

// Arcs run counter-clockwise as seen on the screen (up is negative y).
TEST(DeviceContext, ArcsRunCounterClockwise) {
  struct Case {
    float start, sweep;
    int sx, sy;  // the quadrant the arc lies in: sign of x - cx and of y - cy (0: any)
  } cases[] = {{0, 90, 1, -1}, {0, -90, 1, 1}, {90, 90, -1, -1}, {180, 90, -1, 1}};
  const int cx = 15, cy = 15, r = 10;
  for (const Case& c : cases) {
    ScreenImage img;
    img.Resize(31, 31, 0);
    DeviceContext dc(&img);
    dc.SetROP2(gui::R2_XORPEN);
    dc.SetPen(gui::PS_SOLID, RGB(255, 255, 255));
    double a = c.start * 3.14159265358979 / 180;
    dc.MoveTo(int(std::floor(cx + r * std::cos(a) + 0.5)), int(std::floor(cy - r * std::sin(a) + 0.5)));
    dc.AngleArc(cx, cy, r, c.start, c.sweep);
    std::vector<POINT> set = SetPixels(img);
    EXPECT_GT(set.size(), 10u);
    for (const POINT& p : set) {
      if (p.y == cy || p.x == cx) continue;  // the rays themselves
      EXPECT_EQ((p.x > cx) ? 1 : -1, c.sx) << c.start << " " << c.sweep << " at " << p.x << "," << p.y;
      EXPECT_EQ((p.y > cy) ? 1 : -1, c.sy) << c.start << " " << c.sweep << " at " << p.x << "," << p.y;
    }
  }
  // Arc by rays: from the right to the top of the box.
  ScreenImage img;
  img.Resize(31, 31, 0);
  DeviceContext dc(&img);
  dc.SetROP2(gui::R2_XORPEN);
  dc.SetPen(gui::PS_SOLID, RGB(255, 255, 255));
  dc.Arc(5, 5, 26, 26, 30, 15, 15, 0);
  for (const POINT& p : SetPixels(img)) EXPECT_TRUE(p.x >= 15 && p.y <= 15) << p.x << "," << p.y;
}

TEST(ScreenImage, PresentFlipsBottomUpRowsForcesAlphaAndClips) {
  const int w = 8, h = 5, pitch = 10;
  std::vector<uint32_t> src(size_t(pitch) * h);
  for (int i = 0; i < pitch * h; ++i) src[size_t(i)] = 0x00102030u + uint32_t(i);  // alpha 0
  for (bool bottomUp : {true, false}) {
    ScreenImage img;
    img.Resize(6, 4, 0xABCDEF);
    img.Present(src.data(), w, h, pitch, bottomUp, RECT{1, 1, 8, 5});  // wider and taller than the image
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x) {
        bool in = x >= 1 && y >= 1;
        uint32_t expect = in ? src[size_t(bottomUp ? h - 1 - y : y) * pitch + size_t(x)] | 0xFF000000u
                             : 0xFFABCDEFu;
        EXPECT_EQ(img.Pixel(x, y), expect) << bottomUp << " " << x << "," << y;
      }
    RECT dirty = img.PeekDirty();
    EXPECT_EQ(dirty.left, 1);
    EXPECT_EQ(dirty.right, 6);
    EXPECT_EQ(dirty.bottom, 4);
  }
}

// A worker draws under the lock and posts a request; the window shows the image once for
// many drawings, on the UI thread.
TEST(ScreenImage, WorkerDrawingAsksTheWindowOnceToShowIt) {
  QWidget top;
  top.resize(80, 60);
  top.show();
  gui::GWindow window;
  ASSERT_TRUE(window.Create(&top, RECT{0, 0, 80, 60}));
  GLock drawing;
  window.SetDrawingLock(&drawing);
  ScreenImage* img = window.GetScreenImage();
  ASSERT_EQ(img->Width(), 80);
  gui::RunPostedMessages();
  img->TakeDirty();
  std::thread worker([&] {
    GAutoLock lock(drawing);
    DeviceContext dc(img);
    dc.SetROP2(gui::R2_XORPEN);
    dc.SetPen(gui::PS_SOLID, RGB(255, 0, 0));
    for (int i = 0; i < 10; ++i) {
      dc.MoveTo(0, i);
      dc.LineTo(50, i);
    }
  });
  worker.join();
  RECT dirty = img->PeekDirty();
  EXPECT_EQ(dirty.left, 0);
  EXPECT_EQ(dirty.right, 50);
  EXPECT_EQ(dirty.bottom, 10);
  EXPECT_EQ(gui::RunPostedMessages(), 1);
  EXPECT_EQ(img->PeekDirty().right, 0);  // taken by the window
}

}  // namespace
