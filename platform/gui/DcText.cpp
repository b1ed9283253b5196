// The device context's text: runs rasterised by the installed font engine into a coverage
// mask and blended into the image in the text colour.
#include <algorithm>

#include "Dc.h"
#include "DcPixels.h"

namespace gui {

using namespace dc;

namespace {

std::u16string_view View(const char16_t* text, int len) {
  if (!text) return {};
  return len < 0 ? std::u16string_view(text) : std::u16string_view(text, size_t(len));
}

bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// A line as shown: with prefix processing a lone '&' is dropped and underlines the character
// after it (the first such one), "&&" shows one '&'.
struct ShownLine {
  std::u16string text;
  size_t ulIndex = std::u16string::npos;
  size_t ulLength = 0;
};

ShownLine StripPrefix(std::u16string_view s, bool process) {
  ShownLine line;
  if (!process) {
    line.text = s;
    return line;
  }
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != u'&') {
      line.text += s[i];
      continue;
    }
    if (i + 1 >= s.size()) break;
    if (s[i + 1] == u'&') {
      line.text += u'&';
      ++i;
    } else if (line.ulIndex == std::u16string::npos) {
      line.ulIndex = line.text.size();
      line.ulLength = i + 2 < s.size() && IsLowSurrogate(s[i + 2]) ? 2 : 1;
    }
  }
  return line;
}

// Cuts the line to its longest start (whole characters) that fits maxWidth with "..." after it.
void Ellipsize(FontEngine& engine, const Font& font, ShownLine& line, int maxWidth) {
  std::vector<size_t> cuts;
  for (size_t k = 0; k < line.text.size(); ++k)
    if (!IsLowSurrogate(line.text[k])) cuts.push_back(k);
  auto fits = [&](size_t k) {
    return engine.MeasureWidth(font, line.text.substr(0, k) + u"...") <= maxWidth;
  };
  size_t lo = 0, hi = cuts.size();  // cuts[lo] fits (or is the empty start), cuts[hi] is past
  while (hi - lo > 1) {
    size_t mid = (lo + hi) / 2;
    if (fits(cuts[mid])) lo = mid;
    else hi = mid;
  }
  size_t keep = cuts.empty() ? 0 : cuts[lo];
  if (line.ulIndex != std::u16string::npos && line.ulIndex + line.ulLength > keep) line.ulIndex = std::u16string::npos;
  line.text = line.text.substr(0, keep) + u"...";
}

}  // namespace

HFONT DeviceContext::SelectFont(HFONT font) {
  HFONT old = m_font;
  if (font) m_font = font;
  return old;
}

COLORREF DeviceContext::SetTextColor(COLORREF color) {
  COLORREF old = m_textColor;
  m_textColor = color & 0xFFFFFF;
  return old;
}

COLORREF DeviceContext::SetBkColor(COLORREF color) {
  COLORREF old = m_bkColor;
  m_bkColor = color & 0xFFFFFF;
  return old;
}

int DeviceContext::SetBkMode(int mode) {
  int old = m_bkMode;
  m_bkMode = mode;
  return old;
}

BOOL DeviceContext::GetTextMetrics(TEXTMETRIC* tm) const {
  if (!tm) return FALSE;
  *tm = TEXTMETRIC{};
  FontEngine* engine = GetFontEngine();
  if (!engine) return FALSE;
  engine->GetMetrics(*m_font, *tm);
  return TRUE;
}

SIZE DeviceContext::GetTextExtent(const char16_t* text, int len) const {
  TEXTMETRIC tm;
  if (!GetTextMetrics(&tm)) return SIZE{0, 0};
  return SIZE{GetFontEngine()->MeasureWidth(*m_font, View(text, len)), tm.tmHeight};
}

BOOL DeviceContext::TextOut(int x, int y, const char16_t* text, int len) {
  if (!text) return FALSE;
  POINT d = Dev(x, y);
  DrawTextRun(d.x, d.y, std::u16string(View(text, len)), nullptr, 0, 0);
  return TRUE;
}

void DeviceContext::DrawTextRun(int x, int y, const std::u16string& text, const RECT* clip,
                                int ulFrom, int ulTo) {
  FontEngine* engine = GetFontEngine();
  if (!engine || !m_pImage || text.empty()) return;
  TEXTMETRIC tm{};
  engine->GetMetrics(*m_font, tm);
  CoverageMask mask;
  engine->Render(*m_font, text, mask);
  // The underline: one row under the baseline, inside the cell.
  int ulRow = std::min(tm.tmAscent + 1, tm.tmHeight - 1) - mask.top;
  if (ulFrom < ulTo && ulRow >= 0 && ulRow < mask.height) {
    int from = std::max(ulFrom - mask.left, 0), to = std::min(ulTo - mask.left, mask.width);
    for (int k = from; k < to; ++k) mask.coverage[size_t(ulRow) * size_t(mask.width) + size_t(k)] = 255;
  }
  RECT dirty{0, 0, 0, 0};
  {
    GAutoLock lock(m_pImage->GetLock());
    RECT cl = clip ? Intersect(ClipRect(), *clip) : ClipRect();
    bool keep = m_pImage->KeepsAlpha();
    uint32_t* bits = m_pImage->Bits();
    size_t pitch = size_t(m_pImage->Pitch());
    if (m_bkMode == OPAQUE) {
      RECT cell = Intersect(RECT{x, y, x + mask.advance, y + tm.tmHeight}, cl);
      uint32_t bk = RgbFromColorref(m_bkColor) | kAlpha;
      for (LONG row = cell.top; row < cell.bottom; ++row)
        std::fill(bits + size_t(row) * pitch + size_t(cell.left), bits + size_t(row) * pitch + size_t(cell.right), bk);
      dirty = cell;
    }
    RECT m{x + mask.left, y + mask.top, x + mask.left + mask.width, y + mask.top + mask.height};
    RECT r = Intersect(m, cl);
    uint32_t rgb = RgbFromColorref(m_textColor);
    for (LONG row = r.top; row < r.bottom; ++row) {
      const uint8_t* cov = mask.coverage.data() + size_t(row - m.top) * size_t(mask.width);
      uint32_t* to = bits + size_t(row) * pitch;
      for (LONG col = r.left; col < r.right; ++col)
        if (uint8_t c = cov[col - m.left]) to[col] = BlendOver(to[col], rgb, c, keep);
    }
    dirty = Union(dirty, r);
  }
  m_pImage->MarkDirty(dirty);
}

int DeviceContext::DrawText(const char16_t* text, int len, RECT* rc, UINT format) {
  FontEngine* engine = GetFontEngine();
  if (!engine || !text || !rc) return 0;
  std::u16string_view all = View(text, len);
  TEXTMETRIC tm{};
  engine->GetMetrics(*m_font, tm);
  bool single = (format & DT_SINGLELINE) != 0;
  std::vector<ShownLine> lines;
  for (size_t start = 0;;) {
    size_t end = single ? std::u16string_view::npos : all.find(u'\n', start);
    std::u16string_view line = all.substr(start, end == std::u16string_view::npos ? end : end - start);
    if (!single && !line.empty() && line.back() == u'\r') line.remove_suffix(1);
    lines.push_back(StripPrefix(line, !(format & DT_NOPREFIX)));
    if (end == std::u16string_view::npos) break;
    start = end + 1;
  }
  int height = int(lines.size()) * tm.tmHeight;
  auto width = [&](std::u16string_view s) { return engine->MeasureWidth(*m_font, s); };
  if (format & DT_CALCRECT) {
    int widest = 0;
    for (const ShownLine& line : lines) widest = std::max(widest, width(line.text));
    rc->right = rc->left + widest;
    rc->bottom = rc->top + height;
    return height;
  }
  LONG rcWidth = rc->right - rc->left;
  LONG y = rc->top;
  if (single && (format & DT_VCENTER)) y = rc->top + (rc->bottom - rc->top - tm.tmHeight) / 2;
  else if (single && (format & DT_BOTTOM)) y = rc->bottom - tm.tmHeight;
  RECT clip = Offset(*rc, m_org);
  for (ShownLine& line : lines) {
    int w = width(line.text);
    if ((format & DT_END_ELLIPSIS) && w > rcWidth) {
      Ellipsize(*engine, *m_font, line, rcWidth);
      w = width(line.text);
    }
    LONG x = rc->left;
    if (format & DT_CENTER) x = rc->left + (rcWidth - w) / 2;
    else if (format & DT_RIGHT) x = rc->right - w;
    int ulFrom = 0, ulTo = 0;
    if (line.ulIndex != std::u16string::npos) {
      ulFrom = width(std::u16string_view(line.text).substr(0, line.ulIndex));
      ulTo = width(std::u16string_view(line.text).substr(0, line.ulIndex + line.ulLength));
    }
    POINT d = Dev(x, y);
    DrawTextRun(d.x, d.y, line.text, (format & DT_NOCLIP) ? nullptr : &clip, ulFrom, ulTo);
    y += tm.tmHeight;
  }
  return height;
}

}  // namespace gui
