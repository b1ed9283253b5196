#include "Font.h"

#include <algorithm>
#include <atomic>

namespace gui {

namespace {

constexpr int kStockHeight = 13;

std::atomic<FontEngine*> g_engine{nullptr};

}  // namespace

Font::Font(int height, int weight, std::u16string face)
    : m_height(height > 0 ? height : kStockHeight),
      m_weight(std::clamp(weight, 1, 1000)),
      m_face(std::move(face)) {}

HFONT CreateFont(int height, int weight, const char16_t* face) {
  return new Font(height, weight, face ? std::u16string(face) : std::u16string());
}

BOOL DeleteObject(HFONT font) {
  if (!font || font == GetStockFont()) return FALSE;
  delete font;
  return TRUE;
}

HFONT GetStockFont() {
  static Font stock(kStockHeight, FW_NORMAL, u"");
  return &stock;
}

void SetFontEngine(FontEngine* engine) { g_engine.store(engine); }

FontEngine* GetFontEngine() { return g_engine.load(); }

}  // namespace gui
