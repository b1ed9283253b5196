// The screen image and the device context: XOR figures drawn twice restore every byte, the
// rasteriser's shapes, filled figures and curves, the viewport origin, presenting bottom-up
// pixels, drawing from a worker thread.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
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
constexpr int kKinds = 14;
int DrawRandomFigure(DeviceContext& dc, std::mt19937 rng) {
  std::uniform_int_distribution<int> coord(-60, 160), kind(0, kKinds - 1), small(0, 3), origin(-40, 40);
  int a = coord(rng), b = coord(rng), c = coord(rng), d = coord(rng);
  int e = coord(rng), f = coord(rng), g = coord(rng), h = coord(rng);
  static const int rops[] = {gui::R2_XORPEN, gui::R2_NOTXORPEN, gui::R2_NOT};
  dc.SetROP2(rops[small(rng) % 3]);
  dc.SetPen(small(rng) == 0 ? gui::PS_DOT : gui::PS_SOLID, COLORREF(rng() & 0xFFFFFF));
  dc.SetBrush(gui::BS_NULL, 0);
  if (small(rng) == 0) {
    RECT clip{coord(rng), coord(rng), coord(rng), coord(rng)};
    dc.SetClipRect(&clip);
  } else {
    dc.SetClipRect(nullptr);
  }
  dc.SetViewportOrg(small(rng) == 0 ? origin(rng) : 0, small(rng) == 0 ? origin(rng) : 0);
  int k = kind(rng);
  if (k >= 11) {  // filled figures: a solid brush, sometimes without an outline
    dc.SetBrush(gui::BS_SOLID, COLORREF(rng() & 0xFFFFFF));
    if (small(rng) == 0) dc.SetPen(gui::PS_NULL, 0);
  }
  POINT pts[7] = {{a, b}, {c, d}, {e, f}, {g, h}, {h, a}, {b, e}, {d, g}};
  switch (k) {
    case 0: dc.MoveTo(a, b); dc.LineTo(c, d); break;
    case 1: dc.Polyline(pts, 4); break;
    case 2: dc.Polygon(pts, 3 + small(rng) % 2); break;
    case 3: dc.Rectangle(a, b, c, d); break;
    case 4: dc.Ellipse(a, b, c, d); break;
    case 5: dc.Arc(a, b, c, d, e, f, g, h); break;
    case 6:
      dc.MoveTo(a, b);
      dc.AngleArc(c, d, std::abs(e) / 2, float(f), float(g * 3));
      break;
    case 7: dc.SetPixel(a / 2 + 30, b / 2 + 20); break;
    case 8: dc.InvertRect(RECT{a, b, c, d}); break;
    case 9: dc.PolyBezier(pts, small(rng) < 2 ? 4 : 7); break;
    case 10:
      dc.MoveTo(a, b);
      if (small(rng) < 2) dc.PolyBezierTo(pts + 1, 6);
      else dc.PolyQuadBezier(pts, 5);
      break;
    case 11: dc.Rectangle(a, b, c, d); break;
    case 12: dc.Ellipse(a, b, c, d); break;
    default: dc.Polygon(pts, 3 + small(rng) * 4 / 3); break;
  }
  return k;
}

TEST(DeviceContext, XorFiguresDrawnTwiceRestoreEveryByte) {
  std::mt19937 rng(12345);
  ScreenImage img;
  img.Resize(97, 61);
  FillRandom(img, rng);
  DeviceContext dc(&img);
  int drawn[kKinds] = {}, changed[kKinds] = {};
  for (int i = 0; i < 5000; ++i) {
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
    ASSERT_EQ(Snapshot(img), before) << "figure " << i << " kind " << k;
  }
  for (int k = 0; k < kKinds; ++k) EXPECT_GT(changed[k] * 4, drawn[k]) << "kind " << k;  // figures reach the image
}

// Draws a figure (XOR, with a solid brush when filled) on a whole image and on one clipped to
// clip; returns the first pixel (y * 200 + x) where the clipped one differs from the visible
// part of the whole one, -1 when none does.
int ClippedAgainstWhole(const std::function<void(DeviceContext&)>& draw, bool filled, const RECT& clip) {
  ScreenImage whole, clipped;
  whole.Resize(200, 160, 0);
  clipped.Resize(200, 160, 0);
  DeviceContext dw(&whole), dcl(&clipped);
  for (DeviceContext* dc : {&dw, &dcl}) {
    dc->SetROP2(gui::R2_XORPEN);
    dc->SetPen(gui::PS_SOLID, RGB(255, 0, 0));
    dc->SetBrush(filled ? gui::BS_SOLID : gui::BS_NULL, RGB(0, 255, 0));
  }
  dcl.SetClipRect(&clip);
  draw(dw);
  draw(dcl);
  for (int p = 0; p < 200 * 160; ++p) {
    int x = p % 200, y = p / 200;
    bool in = x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom;
    if (clipped.Pixel(x, y) != (in ? whole.Pixel(x, y) : 0xFF000000u)) return p;
  }
  return -1;
}

// A clipped figure sets exactly the visible pixels of the unclipped one.
TEST(DeviceContext, ClippingKeepsThePixelsOfTheWholeFigure) {
  std::mt19937 rng(777);
  std::uniform_int_distribution<int> far(-5000, 5000), near(0, 199), kind(0, 2);
  const RECT clip{60, 40, 140, 120};
  for (int i = 0; i < 400; ++i) {
    int k = kind(rng);
    int a = (k == 0 ? far(rng) : near(rng)), b = (k == 0 ? far(rng) : near(rng) - 20);
    int c = far(rng) / (k == 0 ? 1 : 20) + 100, d = far(rng) / (k == 0 ? 1 : 20) + 80;
    int wrong = ClippedAgainstWhole(
        [&](DeviceContext& dc) {
          if (k == 0) {
            dc.MoveTo(a, b);
            dc.LineTo(c, d);
          } else if (k == 1) {
            dc.Ellipse(a, b, c, d);
          } else {
            dc.Rectangle(a, b, c, d);
          }
        },
        false, clip);
    ASSERT_EQ(wrong, -1) << "figure " << i << " kind " << k << " at " << wrong % 200 << "," << wrong / 200;
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

// Filled figures and curves, too, set exactly the visible pixels of the whole figure.
TEST(DeviceContext, ClippingKeepsThePixelsOfFilledFiguresAndCurves) {
  std::mt19937 rng(4242);
  std::uniform_int_distribution<int> coord(-40, 240), kind(0, 4);
  const RECT clip{60, 40, 140, 120};
  for (int i = 0; i < 300; ++i) {
    POINT pts[7];
    for (POINT& p : pts) p = POINT{coord(rng), coord(rng)};
    int k = kind(rng);
    int wrong = ClippedAgainstWhole(
        [&](DeviceContext& dc) {
          switch (k) {
            case 0: dc.Rectangle(pts[0].x, pts[0].y, pts[1].x, pts[1].y); break;
            case 1: dc.Ellipse(pts[0].x, pts[0].y, pts[1].x, pts[1].y); break;
            case 2: dc.Polygon(pts, 5); break;
            case 3: dc.PolyBezier(pts, 7); break;
            default: dc.PolyQuadBezier(pts, 5); break;
          }
        },
        true, clip);
    ASSERT_EQ(wrong, -1) << "figure " << i << " kind " << k << " at " << wrong % 200 << "," << wrong / 200;
  }
}

// The brush takes the figure's region less the outline, the pen the outline: with XOR on
// black every pixel shows the pen, the brush or nothing, never both. Without a pen the brush
// takes the whole region.
TEST(DeviceContext, FilledFiguresTouchEachPixelOnce) {
  const uint32_t pen = 0xFF0000, brush = 0x00FF00;
  const POINT concave[] = {{2, 2}, {40, 5}, {20, 18}, {38, 36}, {4, 30}};
  const POINT bowTie[] = {{2, 2}, {40, 36}, {40, 2}, {2, 36}};
  struct Figure {
    const char* name;
    std::function<void(DeviceContext&)> draw;
    const POINT* polygon;  // the polygon's points, for the even-odd check
    int count;
  } figures[] = {
      {"rectangle", [](DeviceContext& dc) { dc.Rectangle(3, 4, 30, 25); }, nullptr, 0},
      {"ellipse", [](DeviceContext& dc) { dc.Ellipse(5, 2, 44, 37); }, nullptr, 0},
      {"small ellipse", [](DeviceContext& dc) { dc.Ellipse(10, 10, 14, 13); }, nullptr, 0},
      {"concave polygon", [&](DeviceContext& dc) { dc.Polygon(concave, 5); }, concave, 5},
      {"crossing polygon", [&](DeviceContext& dc) { dc.Polygon(bowTie, 4); }, bowTie, 4},
  };
  for (const Figure& f : figures) {
    ScreenImage outline, filled, brushOnly;
    for (ScreenImage* img : {&outline, &filled, &brushOnly}) img->Resize(48, 40, 0);
    DeviceContext dOutline(&outline), dFilled(&filled), dBrush(&brushOnly);
    for (DeviceContext* dc : {&dOutline, &dFilled, &dBrush}) {
      dc->SetROP2(gui::R2_XORPEN);
      dc->SetPen(gui::PS_SOLID, RGB(255, 0, 0));
    }
    dFilled.SetBrush(gui::BS_SOLID, RGB(0, 255, 0));
    dBrush.SetBrush(gui::BS_SOLID, RGB(0, 255, 0));
    dBrush.SetPen(gui::PS_NULL, 0);
    f.draw(dOutline);
    f.draw(dFilled);
    f.draw(dBrush);
    int brushPixels = 0;
    for (int y = 0; y < 40; ++y) {
      int firstSet = -1, lastSet = -1, setInRow = 0;
      for (int x = 0; x < 48; ++x) {
        uint32_t o = outline.Pixel(x, y) & 0xFFFFFF, v = filled.Pixel(x, y) & 0xFFFFFF;
        uint32_t b = brushOnly.Pixel(x, y) & 0xFFFFFF;
        ASSERT_TRUE(v == 0 || v == pen || v == brush) << f.name << " at " << x << "," << y;
        ASSERT_TRUE(b == 0 || b == brush) << f.name << " at " << x << "," << y;
        EXPECT_EQ(v == pen, o == pen) << f.name << " outline at " << x << "," << y;
        EXPECT_EQ(b == brush, v != 0) << f.name << " region at " << x << "," << y;
        brushPixels += v == brush;
        if (v) {
          if (firstSet < 0) firstSet = x;
          lastSet = x;
          ++setInRow;
        }
        if (f.polygon) {  // the interior: pixel centres inside by the even-odd rule
          bool inside = false;
          for (int i = 0, j = f.count - 1; i < f.count; j = i++) {
            const POINT &p = f.polygon[i], &q = f.polygon[j];
            double yc = y + 0.5, xc = x + 0.5;
            if ((p.y > yc) != (q.y > yc) && xc < p.x + (yc - p.y) * (q.x - p.x) / double(q.y - p.y))
              inside = !inside;
          }
          if (inside) {
            EXPECT_NE(v, 0u) << f.name << " interior at " << x << "," << y;
          }
          if (v == brush) {
            EXPECT_TRUE(inside) << f.name << " fill outside at " << x << "," << y;
          }
        }
      }
      if (!f.polygon && setInRow) {
        EXPECT_EQ(lastSet - firstSet + 1, setInRow) << f.name << " row " << y;
      }
    }
    EXPECT_GT(brushPixels, 0) << f.name;
  }
  // The rectangle's region is its box exactly.
  ScreenImage img;
  img.Resize(40, 30, 0);
  DeviceContext dc(&img);
  dc.SetBrush(gui::BS_SOLID, RGB(0, 255, 0));
  dc.SetPen(gui::PS_SOLID, RGB(255, 0, 0));
  dc.Rectangle(3, 4, 30, 25);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      bool in = x >= 3 && x < 30 && y >= 4 && y < 25;
      bool edge = in && (x == 3 || x == 29 || y == 4 || y == 24);
      EXPECT_EQ(img.Pixel(x, y) & 0xFFFFFF, edge ? pen : in ? brush : 0u) << x << "," << y;
    }
}

// Curves set each pixel once (with XOR on black they show what a copying pen shows), keep
// to the true curve without gaps, start with their first point and leave out their last.
TEST(DeviceContext, BezierCurvesFollowTheCurveAndSetEachPixelOnce) {
  struct Case {
    std::vector<POINT> pts;
    int degree;
  } cases[] = {
      {{{5, 50}, {90, -30}, {-20, -30}, {70, 50}}, 3},  // a loop crossing itself
      {{{3, 3}, {60, 70}, {90, 5}, {20, 40}, {10, 60}, {80, 60}, {85, 20}}, 3},
      {{{5, 60}, {45, -40}, {85, 60}}, 2},
      {{{2, 10}, {50, 10}, {10, 50}, {60, 60}, {90, 30}}, 2},
  };
  for (const Case& c : cases) {
    ScreenImage copied, xored;
    copied.Resize(100, 80, 0);
    xored.Resize(100, 80, 0);
    DeviceContext dCopy(&copied), dXor(&xored);
    dXor.SetROP2(gui::R2_XORPEN);
    for (DeviceContext* dc : {&dCopy, &dXor}) {
      dc->SetPen(gui::PS_SOLID, RGB(255, 255, 255));
      if (c.degree == 3) dc->PolyBezier(c.pts.data(), int(c.pts.size()));
      else dc->PolyQuadBezier(c.pts.data(), int(c.pts.size()));
    }
    std::vector<POINT> set = SetPixels(copied);
    ASSERT_FALSE(set.empty());
    ASSERT_EQ(set.size(), SetPixels(xored).size()) << "a pixel set twice";
    EXPECT_NE(copied.Pixel(c.pts[0].x, c.pts[0].y) & 0xFFFFFF, 0u);
    // The true curve, densely sampled.
    std::vector<std::pair<double, double>> curve;
    for (size_t s = 0; s + c.degree < c.pts.size(); s += size_t(c.degree)) {
      const POINT* p = &c.pts[s];
      for (int i = 0; i <= 400; ++i) {
        double t = i / 400.0, u = 1 - t;
        if (c.degree == 3)
          curve.emplace_back(u * u * u * p[0].x + 3 * u * u * t * p[1].x + 3 * u * t * t * p[2].x + t * t * t * p[3].x,
                             u * u * u * p[0].y + 3 * u * u * t * p[1].y + 3 * u * t * t * p[2].y + t * t * t * p[3].y);
        else
          curve.emplace_back(u * u * p[0].x + 2 * u * t * p[1].x + t * t * p[2].x,
                             u * u * p[0].y + 2 * u * t * p[1].y + t * t * p[2].y);
      }
    }
    auto near = [](double ax, double ay, double bx, double by) { return std::hypot(ax - bx, ay - by) <= 1.5; };
    for (const POINT& p : set) {
      bool close = false;
      for (const auto& q : curve) close = close || near(p.x, p.y, q.first, q.second);
      EXPECT_TRUE(close) << "stray pixel " << p.x << "," << p.y;
    }
    for (const auto& q : curve) {
      if (q.first < 1 || q.first > 98 || q.second < 1 || q.second > 78) continue;  // off the image
      bool covered = false;
      for (const POINT& p : set) covered = covered || near(p.x, p.y, q.first, q.second);
      EXPECT_TRUE(covered) << "gap at " << q.first << "," << q.second;
    }
  }
  // A straight control polygon gives the line; PolyBezierTo moves the current position,
  // PolyBezier leaves it.
  ScreenImage curve, line;
  curve.Resize(40, 10, 0);
  line.Resize(40, 10, 0);
  DeviceContext dCurve(&curve), dLine(&line);
  const POINT straight[] = {{0, 5}, {10, 5}, {20, 5}, {30, 5}};
  dCurve.MoveTo(1, 1);
  dCurve.PolyBezier(straight, 4);
  EXPECT_EQ(dCurve.GetCurrentPosition().x, 1);
  dLine.MoveTo(0, 5);
  dLine.LineTo(30, 5);
  EXPECT_EQ(Snapshot(curve), Snapshot(line));
  dCurve.MoveTo(0, 5);
  dCurve.PolyBezierTo(straight + 1, 3);
  EXPECT_EQ(dCurve.GetCurrentPosition().x, 30);
  EXPECT_TRUE(SetPixels(curve).empty());  // the same pixels again, erased (the pen copies black)
}

// Everything drawn through a viewport origin lands where the same call draws with the origin
// added to its coordinates; the clip stays in device coordinates.
TEST(DeviceContext, ViewportOriginOffsetsEveryDrawing) {
  ScreenImage bitmap;
  bitmap.Resize(40, 30);
  for (int i = 0; i < 40 * 30; ++i) bitmap.Bits()[i] = 0xFF000000u | uint32_t(i * 2654435761u >> 8);
  DeviceContext src(&bitmap);
  std::vector<uint32_t> buffer(20 * 16);
  for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = uint32_t(i * 2246822519u);
  const POINT poly[] = {{5, 5}, {45, 12}, {20, 40}, {30, 18}};
  using Op = std::function<void(DeviceContext&, int, int)>;  // draws shifted by (dx, dy)
  const std::pair<const char*, Op> ops[] = {
      {"line", [](DeviceContext& dc, int dx, int dy) { dc.MoveTo(3 + dx, 4 + dy); dc.LineTo(50 + dx, 33 + dy); }},
      {"polygon", [&](DeviceContext& dc, int dx, int dy) {
         POINT p[4];
         for (int i = 0; i < 4; ++i) p[i] = POINT{poly[i].x + dx, poly[i].y + dy};
         dc.Polygon(p, 4);
       }},
      {"rectangle", [](DeviceContext& dc, int dx, int dy) { dc.Rectangle(6 + dx, 7 + dy, 40 + dx, 30 + dy); }},
      {"ellipse", [](DeviceContext& dc, int dx, int dy) { dc.Ellipse(2 + dx, 9 + dy, 55 + dx, 44 + dy); }},
      {"arc", [](DeviceContext& dc, int dx, int dy) { dc.Arc(2 + dx, 2 + dy, 50 + dx, 40 + dy, 60 + dx, 20 + dy, 10 + dx, 0 + dy); }},
      {"angle arc", [](DeviceContext& dc, int dx, int dy) { dc.MoveTo(dx, dy); dc.AngleArc(30 + dx, 25 + dy, 15, 30, 200); }},
      {"bezier", [](DeviceContext& dc, int dx, int dy) {
         POINT p[4] = {{3 + dx, 40 + dy}, {20 + dx, -20 + dy}, {40 + dx, 60 + dy}, {55 + dx, 5 + dy}};
         dc.PolyBezier(p, 4);
       }},
      {"pixel", [](DeviceContext& dc, int dx, int dy) { dc.SetPixel(20 + dx, 20 + dy); }},
      {"invert", [](DeviceContext& dc, int dx, int dy) { dc.InvertRect(RECT{1 + dx, 2 + dy, 30 + dx, 20 + dy}); }},
      {"fill", [](DeviceContext& dc, int dx, int dy) { dc.FillSolidRect(RECT{1 + dx, 2 + dy, 30 + dx, 20 + dy}, RGB(1, 2, 3)); }},
      {"bitblt", [&](DeviceContext& dc, int dx, int dy) { dc.BitBlt(10 + dx, 8 + dy, 30, 20, src, 2, 3, gui::SRCINVERT); }},
      {"image bitblt", [&](DeviceContext& dc, int dx, int dy) { dc.BitBlt(10 + dx, 8 + dy, 30, 20, bitmap, 2, 3); }},
      {"dibits", [&](DeviceContext& dc, int dx, int dy) {
         dc.SetDIBitsToDevice(5 + dx, 6 + dy, 20, 16, buffer.data(), 20, 16, 20, true, 0, 0);
       }},
      {"stretch", [&](DeviceContext& dc, int dx, int dy) {
         dc.StretchDIBits(RECT{5 + dx, 6 + dy, 45 + dx, 38 + dy}, buffer.data(), 20, 16, 20, false, RECT{0, 0, 20, 16});
       }},
      {"alpha blend", [&](DeviceContext& dc, int dx, int dy) {
         dc.AlphaBlendPixels(5 + dx, 6 + dy, 20, 16, buffer.data(), 20, 16, 20, false, 0, 0);
       }},
      {"text", [](DeviceContext& dc, int dx, int dy) { dc.TextOut(4 + dx, 10 + dy, u"Wave"); }},
      {"draw text", [](DeviceContext& dc, int dx, int dy) {
         RECT rc{2 + dx, 3 + dy, 40 + dx, 35 + dy};
         dc.DrawText(u"Wave", -1, &rc, gui::DT_CENTER | gui::DT_VCENTER | gui::DT_SINGLELINE);
       }},
  };
  const int ox = 7, oy = -5;
  const RECT clip{4, 3, 60, 40};
  for (const auto& [name, op] : ops) {
    ScreenImage a, b;
    a.Resize(70, 50, 0x336699);
    b.Resize(70, 50, 0x336699);
    std::vector<uint32_t> blank = Snapshot(a);
    DeviceContext da(&a), db(&b);
    for (DeviceContext* dc : {&da, &db}) {
      dc->SetClipRect(&clip);
      dc->SetROP2(gui::R2_XORPEN);
      dc->SetPen(gui::PS_SOLID, RGB(200, 100, 50));
      dc->SetBrush(gui::BS_SOLID, RGB(10, 200, 30));
      dc->SetTextColor(RGB(255, 255, 0));
    }
    EXPECT_EQ(da.SetViewportOrg(ox - 2, oy).x, 0);
    EXPECT_EQ(da.OffsetViewportOrg(2, 0).x, ox - 2);
    op(da, 0, 0);
    op(db, ox, oy);
    EXPECT_EQ(Snapshot(a), Snapshot(b)) << name;
    EXPECT_NE(Snapshot(a), blank) << name;
    for (int y = 0; y < 50; ++y)
      for (int x = 0; x < 70; ++x)
        if (x < clip.left || x >= clip.right || y < clip.top || y >= clip.bottom) {
          ASSERT_EQ(a.Pixel(x, y), 0xFF336699u) << name << " outside the clip at " << x << "," << y;
        }
  }
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
