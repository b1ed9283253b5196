// Text through the installed (Qt) font engine: the program's fonts and their cells, text that
// stays inside its extent, DrawText's placement, ellipsis, prefixes and lines, CJK glyphs,
// translucent targets, drawing from several threads, and text without an engine.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/gui/Dc.h"

namespace {

using gui::DeviceContext;
using gui::ScreenImage;

struct FontDeleter {
  void operator()(gui::Font* f) const { gui::DeleteObject(f); }
};
using FontPtr = std::unique_ptr<gui::Font, FontDeleter>;

// The program's UI font.
FontPtr UiFont(int height = 14, int weight = 100) { return FontPtr(gui::CreateFont(height, weight, u"Tahoma")); }

std::vector<uint32_t> Snapshot(const ScreenImage& img) {
  return std::vector<uint32_t>(img.Bits(), img.Bits() + img.Width() * img.Height());
}

// A black image and a context that writes white text on it.
struct Canvas {
  Canvas(int w, int h, gui::Font* font) : dc(&img) {
    img.Resize(w, h, 0);
    dc.SelectFont(font);
    dc.SetTextColor(RGB(255, 255, 255));
    dc.SetBkMode(gui::TRANSPARENT);
  }
  std::vector<POINT> Lit() const {
    std::vector<POINT> out;
    for (int y = 0; y < img.Height(); ++y)
      for (int x = 0; x < img.Width(); ++x)
        if (img.Pixel(x, y) & 0xFFFFFF) out.push_back(POINT{x, y});
    return out;
  }
  ScreenImage img;
  DeviceContext dc;
};

TEST(DcText, TheProgramsFontsHaveTheirCellHeights) {
  for (int height : {14, 13}) {
    FontPtr font = UiFont(height);
    DeviceContext dc;
    EXPECT_EQ(dc.SelectFont(font.get()), gui::GetStockFont());
    gui::TEXTMETRIC tm;
    ASSERT_TRUE(dc.GetTextMetrics(&tm));
    EXPECT_EQ(tm.tmHeight, height);
    EXPECT_EQ(tm.tmAscent + tm.tmDescent, height);
    EXPECT_GT(tm.tmDescent, 0);
    EXPECT_GT(tm.tmAscent, 2 * tm.tmDescent);
    EXPECT_GT(tm.tmAveCharWidth, 2);
    SIZE ext = dc.GetTextExtent(u"Layer 1");
    EXPECT_EQ(ext.cy, height);
    EXPECT_GT(ext.cx, 3 * tm.tmAveCharWidth);
    EXPECT_EQ(dc.GetTextExtent(u"Layer 1", 5).cx, dc.GetTextExtent(u"Layer").cx);
    EXPECT_EQ(dc.SelectFont(nullptr), font.get());  // selects nothing
  }
  // The weight reaches the engine; the stock font stays.
  FontPtr normal = UiFont(14, gui::FW_NORMAL), bold = UiFont(14, gui::FW_BOLD);
  DeviceContext dc;
  dc.SelectFont(normal.get());
  LONG normalWidth = dc.GetTextExtent(u"Layer properties").cx;
  dc.SelectFont(bold.get());
  EXPECT_GT(dc.GetTextExtent(u"Layer properties").cx, normalWidth);
  EXPECT_FALSE(gui::DeleteObject(gui::GetStockFont()));
  EXPECT_FALSE(gui::DeleteObject(nullptr));
}

TEST(DcText, TextDrawsInsideItsExtentOnly) {
  FontPtr font = UiFont();
  Canvas c(120, 40, font.get());
  ASSERT_TRUE(c.dc.TextOut(10, 5, u"Hello"));
  SIZE ext = c.dc.GetTextExtent(u"Hello");
  std::vector<POINT> lit = c.Lit();
  EXPECT_GT(lit.size(), 20u);
  RECT dirty = c.img.PeekDirty();
  for (const POINT& p : lit) {
    EXPECT_TRUE(p.x >= 10 && p.x < 10 + ext.cx && p.y >= 5 && p.y < 5 + ext.cy) << p.x << "," << p.y;
    EXPECT_TRUE(p.x >= dirty.left && p.x < dirty.right && p.y >= dirty.top && p.y < dirty.bottom);
  }
  // Opaque: the cell takes the background colour, the text the text colour over it.
  Canvas o(120, 40, font.get());
  o.dc.SetBkMode(gui::OPAQUE);
  o.dc.SetBkColor(RGB(0, 0, 200));
  o.dc.TextOut(10, 5, u"Hello");
  int text = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 120; ++x) {
      bool in = x >= 10 && x < 10 + ext.cx && y >= 5 && y < 5 + ext.cy;
      uint32_t v = o.img.Pixel(x, y);
      if (!in) {
        EXPECT_EQ(v, 0xFF000000u) << x << "," << y;
      } else {  // blue, or white text blended over it
        EXPECT_TRUE((v & 0xFF) >= 200 && (v >> 16 & 0xFF) == (v >> 8 & 0xFF)) << std::hex << v << " at " << x << "," << y;
      }
      text += in && v != 0xFF0000C8u;
    }
  EXPECT_EQ(size_t(text), lit.size());
}

// The line lands where TextOut at the aligned position would put it.
TEST(DcText, DrawTextAlignsTheLineInItsRectangle) {
  FontPtr font = UiFont();
  const RECT rc{5, 4, 105, 44};
  const std::u16string text = u"Layer 12";
  struct Align {
    UINT format;
    int col, row;  // 0 start, 1 centre, 2 end
  } aligns[] = {{gui::DT_LEFT, 0, 0},    {gui::DT_CENTER, 1, 0},   {gui::DT_RIGHT, 2, 0},
                {gui::DT_VCENTER, 0, 1}, {gui::DT_CENTER | gui::DT_VCENTER, 1, 1}, {gui::DT_BOTTOM | gui::DT_RIGHT, 2, 2}};
  for (const Align& a : aligns) {
    Canvas drawn(110, 50, font.get()), expected(110, 50, font.get());
    RECT r = rc;
    EXPECT_EQ(drawn.dc.DrawText(text.c_str(), -1, &r, a.format | gui::DT_SINGLELINE), 14);
    SIZE ext = expected.dc.GetTextExtent(text.c_str());
    int x = a.col == 0 ? rc.left : a.col == 1 ? rc.left + (100 - ext.cx) / 2 : rc.right - ext.cx;
    int y = a.row == 0 ? rc.top : a.row == 1 ? rc.top + (40 - ext.cy) / 2 : rc.bottom - ext.cy;
    expected.dc.TextOut(x, y, text.c_str());
    EXPECT_EQ(Snapshot(drawn.img), Snapshot(expected.img)) << a.format;
  }
  // Centred both ways: the ink's middle is near the rectangle's.
  Canvas c(110, 50, font.get());
  RECT r = rc;
  c.dc.DrawText(u"HH", -1, &r, gui::DT_CENTER | gui::DT_VCENTER | gui::DT_SINGLELINE);
  RECT ink{1000, 1000, -1, -1};
  for (const POINT& p : c.Lit()) ink = RECT{std::min(ink.left, p.x), std::min(ink.top, p.y), std::max(ink.right, p.x + 1), std::max(ink.bottom, p.y + 1)};
  EXPECT_NEAR((ink.left + ink.right) / 2.0, 55, 2);
  EXPECT_NEAR((ink.top + ink.bottom) / 2.0, 24, 3);
  // Lines: each line one cell lower; DT_CALCRECT measures them and draws nothing.
  Canvas two(110, 50, font.get()), lines(110, 50, font.get());
  r = rc;
  EXPECT_EQ(two.dc.DrawText(u"One\r\nTwo", -1, &r, gui::DT_RIGHT), 28);
  lines.dc.TextOut(rc.right - lines.dc.GetTextExtent(u"One").cx, rc.top, u"One");
  lines.dc.TextOut(rc.right - lines.dc.GetTextExtent(u"Two").cx, rc.top + 14, u"Two");
  EXPECT_EQ(Snapshot(two.img), Snapshot(lines.img));
  Canvas calc(110, 50, font.get());
  r = RECT{3, 4, 5, 6};
  EXPECT_EQ(calc.dc.DrawText(u"One\nLonger", -1, &r, gui::DT_CALCRECT), 28);
  EXPECT_EQ(r.right, 3 + calc.dc.GetTextExtent(u"Longer").cx);
  EXPECT_EQ(r.bottom, 4 + 28);
  EXPECT_TRUE(calc.Lit().empty());
}

TEST(DcText, EllipsisAndClipKeepTheTextInsideItsRectangle) {
  FontPtr font = UiFont();
  const std::u16string text = u"A rather long layer name that does not fit";
  Canvas drawn(300, 20, font.get()), expected(300, 20, font.get());
  RECT r{0, 0, 80, 20};
  drawn.dc.DrawText(text.c_str(), -1, &r, gui::DT_SINGLELINE | gui::DT_END_ELLIPSIS | gui::DT_NOCLIP);
  for (const POINT& p : drawn.Lit()) EXPECT_LT(p.x, 80) << p.x << "," << p.y;
  // The longest start that fits with the dots.
  size_t keep = 0;
  while (keep < text.size() && expected.dc.GetTextExtent((text.substr(0, keep + 1) + u"...").c_str()).cx <= 80) ++keep;
  EXPECT_GT(keep, 3u);
  expected.dc.TextOut(0, 0, (text.substr(0, keep) + u"...").c_str());
  EXPECT_EQ(Snapshot(drawn.img), Snapshot(expected.img));
  // A rectangle wide enough keeps the text whole.
  Canvas whole(300, 20, font.get()), plain(300, 20, font.get());
  r = RECT{0, 0, 300, 20};
  whole.dc.DrawText(text.c_str(), -1, &r, gui::DT_SINGLELINE | gui::DT_END_ELLIPSIS);
  plain.dc.TextOut(0, 0, text.c_str());
  EXPECT_EQ(Snapshot(whole.img), Snapshot(plain.img));
  // Without DT_NOCLIP the rectangle clips; so does the context's clip rectangle.
  Canvas clipped(300, 20, font.get());
  r = RECT{10, 0, 60, 20};
  clipped.dc.DrawText(text.c_str(), -1, &r, gui::DT_SINGLELINE);
  const RECT clip{0, 0, 40, 20};
  clipped.dc.SetClipRect(&clip);
  clipped.dc.TextOut(0, 0, text.c_str());
  for (const POINT& p : clipped.Lit()) EXPECT_LT(p.x, 60) << p.x;
  for (int x = 40; x < 60; ++x) EXPECT_EQ(clipped.img.Pixel(x, 10) & 0xFFFFFF, whole.img.Pixel(x - 10, 10) & 0xFFFFFF) << x;
}

TEST(DcText, PrefixesUnderlineTheirCharacterUnlessTurnedOff) {
  FontPtr font = UiFont();
  Canvas prefixed(100, 20, font.get()), plain(100, 20, font.get()), literal(100, 20, font.get());
  RECT r{0, 0, 100, 20};
  prefixed.dc.DrawText(u"&File", -1, &r, gui::DT_SINGLELINE);
  plain.dc.TextOut(0, 0, u"File");
  gui::TEXTMETRIC tm;
  plain.dc.GetTextMetrics(&tm);
  LONG f = plain.dc.GetTextExtent(u"F").cx;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 100; ++x) {
      bool underline = y == tm.tmAscent + 1 && x < f;
      EXPECT_EQ(prefixed.img.Pixel(x, y), underline ? 0xFFFFFFFFu : plain.img.Pixel(x, y)) << x << "," << y;
    }
  literal.dc.DrawText(u"&File", -1, &r, gui::DT_SINGLELINE | gui::DT_NOPREFIX);
  plain.img.Fill(0);
  plain.dc.TextOut(0, 0, u"&File");
  EXPECT_EQ(Snapshot(literal.img), Snapshot(plain.img));
  literal.img.Fill(0);
  literal.dc.DrawText(u"a&&b", -1, &r, gui::DT_SINGLELINE);
  plain.img.Fill(0);
  plain.dc.TextOut(0, 0, u"a&b");
  EXPECT_EQ(Snapshot(literal.img), Snapshot(plain.img));
}

// The UI face has no CJK glyphs; fontconfig's fallback must supply them (two different
// characters drawn alike would be the missing-glyph box).
TEST(DcText, CjkTextShowsItsGlyphs) {
  FontPtr font = UiFont();
  Canvas a(40, 20, font.get()), b(40, 20, font.get());
  EXPECT_GT(a.dc.GetTextExtent(u"图层").cx, 16);
  a.dc.TextOut(2, 2, u"图");
  b.dc.TextOut(2, 2, u"层");
  EXPECT_GT(a.Lit().size(), 20u);
  EXPECT_GT(b.Lit().size(), 20u);
  EXPECT_NE(Snapshot(a.img), Snapshot(b.img));
}

// Over a transparent image the text keeps its colour and takes its coverage as alpha: the
// coverage that white text over opaque black shows as grey.
TEST(DcText, TextOnATranslucentImageStoresItsCoverage) {
  FontPtr font = UiFont();
  Canvas grey(60, 20, font.get());
  grey.dc.TextOut(2, 2, u"Hello");
  ScreenImage img;
  img.SetKeepAlpha(true);
  img.ResizeArgb(60, 20, 0);
  DeviceContext dc(&img);
  dc.SelectFont(font.get());
  dc.SetTextColor(RGB(255, 255, 255));
  dc.SetBkMode(gui::TRANSPARENT);
  dc.TextOut(2, 2, u"Hello");
  int covered = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 60; ++x) {
      uint32_t coverage = grey.img.Pixel(x, y) & 0xFF, v = img.Pixel(x, y);
      EXPECT_EQ(v, coverage ? (coverage << 24) | 0xFFFFFF : 0u) << x << "," << y;
      covered += coverage != 0;
    }
  EXPECT_GT(covered, 20);
  dc.SetBkMode(gui::OPAQUE);
  dc.TextOut(2, 2, u"Hello");
  EXPECT_EQ(img.Pixel(2, 2) >> 24, 0xFFu);
}

TEST(DcText, ThreadsDrawTheSameText) {
  FontPtr font = UiFont();
  Canvas reference(200, 20, font.get());
  reference.dc.TextOut(0, 0, u"Brush 图层 size");
  std::vector<std::unique_ptr<Canvas>> canvases;
  for (int i = 0; i < 4; ++i) canvases.push_back(std::make_unique<Canvas>(200, 20, font.get()));
  std::vector<std::thread> threads;
  for (auto& c : canvases)
    threads.emplace_back([&c] {
      for (int k = 0; k < 20; ++k) {
        c->img.Fill(0);
        c->dc.TextOut(0, 0, u"Brush 图层 size");
      }
    });
  for (std::thread& t : threads) t.join();
  for (auto& c : canvases) EXPECT_EQ(Snapshot(c->img), Snapshot(reference.img));
}

TEST(DcText, WithoutAnEngineTextMeasuresNothingAndDrawsNothing) {
  gui::FontEngine* qt = gui::GetFontEngine();
  ASSERT_NE(qt, nullptr);
  gui::SetFontEngine(nullptr);
  ScreenImage img;
  img.Resize(50, 20, 0x102030);
  DeviceContext dc(&img);
  dc.SetBkMode(gui::OPAQUE);
  SIZE ext = dc.GetTextExtent(u"Hello");
  gui::TEXTMETRIC tm;
  BOOL hasMetrics = dc.GetTextMetrics(&tm);
  dc.TextOut(0, 0, u"Hello");
  RECT r{0, 0, 50, 20};
  int height = dc.DrawText(u"Hello", -1, &r, gui::DT_CALCRECT);
  dc.DrawText(u"Hello", -1, &r, gui::DT_CENTER);
  gui::SetFontEngine(qt);
  EXPECT_EQ(ext.cx, 0);
  EXPECT_EQ(ext.cy, 0);
  EXPECT_FALSE(hasMetrics);
  EXPECT_EQ(tm.tmHeight, 0);
  EXPECT_EQ(height, 0);
  EXPECT_EQ(r.right, 50);
  for (int i = 0; i < 50 * 20; ++i) ASSERT_EQ(img.Bits()[i], 0xFF102030u);
}

}  // namespace
