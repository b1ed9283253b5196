// Fonts of the device context and the engine that measures and rasterises their text.
//
// A font is a plain description (cell height, weight, face). The engine behind it is
// installed at run time: gui::Application installs the Qt one, so code without an
// application (the core's headless tests) has none, and its text measures 0 and draws
// nothing. No Qt in here.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/Types.h"

namespace gui {

constexpr int FW_THIN = 100;
constexpr int FW_NORMAL = 400;
constexpr int FW_BOLD = 700;

class Font {
 public:
  // height: the text cell (ascent + descent) in device pixels; weight 1..1000; face: the
  // family asked for (empty: the desktop's sans-serif). Missing families and glyphs fall
  // back to what fontconfig offers.
  Font(int height, int weight, std::u16string face);
  int Height() const { return m_height; }
  int Weight() const { return m_weight; }
  const std::u16string& Face() const { return m_face; }

 private:
  int m_height;
  int m_weight;
  std::u16string m_face;
};

// A font handle. Whoever creates one deletes it with DeleteObject, once no device context
// has it selected (as the system's own objects); the stock font lives for the program.
using HFONT = Font*;
// A height of 0 or less takes the stock font's.
HFONT CreateFont(int height, int weight, const char16_t* face);
// FALSE for null and for the stock font, which stays.
BOOL DeleteObject(HFONT font);
// The default: the desktop's sans-serif, 13 pixels, normal weight.
HFONT GetStockFont();

struct TEXTMETRIC {
  LONG tmHeight;            // the cell: ascent + descent
  LONG tmAscent;            // cell top to baseline
  LONG tmDescent;           // baseline to cell bottom
  LONG tmInternalLeading;   // cell height less the em size
  LONG tmExternalLeading;   // space the font suggests between lines
  LONG tmAveCharWidth;
  LONG tmMaxCharWidth;
};

// A run of text rasterised: 8-bit coverage, rows top-down. Column 0 lies `left` pixels right
// of the text's start (negative when a glyph reaches left of it), row 0 `top` pixels below
// the cell's top.
struct CoverageMask {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int advance = 0;  // where the next run would start
  std::vector<uint8_t> coverage;
};

// Measures and rasterises text. Calls may come from any thread.
class FontEngine {
 public:
  virtual ~FontEngine() = default;
  virtual void GetMetrics(const Font& font, TEXTMETRIC& tm) = 0;
  // The advance width of a single line of text.
  virtual int MeasureWidth(const Font& font, std::u16string_view text) = 0;
  // Rasterises a single line of text with its baseline at the font's ascent; ink beyond the
  // cell's top and bottom may be cut.
  virtual void Render(const Font& font, std::u16string_view text, CoverageMask& mask) = 0;
};

// The engine the device contexts use (null: none); the caller keeps it alive while installed.
void SetFontEngine(FontEngine* engine);
FontEngine* GetFontEngine();

namespace detail {
// The Qt engine (FontEngineQt.cpp), installed and removed by gui::Application.
void InstallQtFontEngine();
void RemoveQtFontEngine();
}  // namespace detail

}  // namespace gui
