#include "ColorPicker.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "ColorCanvas.h"
#include "platform/base/Text.h"
#include "platform/gui/Dc.h"
#include "platform/gui/Font.h"

namespace {

// The layout, in client pixels.
constexpr int kAreaSide = 160;
constexpr int kAreaLast = kAreaSide - 1;
constexpr RECT kArea{12, 12, 12 + kAreaSide, 12 + kAreaSide};
constexpr RECT kStrip{184, 12, 204, 12 + kAreaSide};
constexpr RECT kNew{216, 12, 272, 34};
constexpr RECT kOld{216, 34, 272, 56};
constexpr RECT kHex{212, 59, 276, 77};
constexpr int kRowTop = 79;
constexpr int kRowHeight = 15;
constexpr RECT kOk{216, 128, 272, 148};
constexpr RECT kCancel{216, 152, 272, 172};

constexpr uint32_t kPanel = 0xFFF6F7F9;
constexpr uint32_t kFrame = 0xFF9AA1AB;
constexpr uint32_t kEdge = 0x60000000;
constexpr uint32_t kAccent = 0xFF2F6FD6;
constexpr uint32_t kAccentHot = 0xFF2860C0;
constexpr uint32_t kPlain = 0xFFE6E9ED;
constexpr uint32_t kPlainHot = 0xFFD9DDE2;
constexpr uint32_t kPlainEdge = 0xFFC2C8D0;
constexpr COLORREF kText = RGB(0x2B, 0x2F, 0x36);
constexpr COLORREF kLabel = RGB(0x7A, 0x81, 0x8C);

bool Inside(const RECT& rc, int x, int y) { return x >= rc.left && x < rc.right && y >= rc.top && y < rc.bottom; }
RECT Grow(const RECT& rc, int by) { return RECT{rc.left - by, rc.top - by, rc.right + by, rc.bottom + by}; }

int SatAt(int x) { return std::clamp(int(std::lround((x - kArea.left) * 256.0 / kAreaLast)), 0, HSV_MAX); }
int ValAt(int y) { return std::clamp(int(std::lround((kArea.top + kAreaLast - y) * 256.0 / kAreaLast)), 0, HSV_MAX); }
// Red at the top, hues growing downwards as they grow clockwise on the wheel.
int StripHue(int y) {
  const int row = std::clamp(y - int(kStrip.top), 0, kAreaLast);
  return int(512 + std::lround((row + 0.5) * HSV_HUES / kAreaSide)) % HSV_HUES;
}
float StripY(int hue) { return float(kStrip.top) + float((hue + HSV_HUES - 512) % HSV_HUES) * kAreaSide / HSV_HUES; }

void DrawCentred(gui::DeviceContext& dc, const std::u16string& text, RECT rc) {
  dc.DrawText(text.c_str(), int(text.size()), &rc, gui::DT_CENTER | gui::DT_VCENTER | gui::DT_SINGLELINE);
}

}  // namespace

CColorPicker::CColorPicker() = default;

CColorPicker::~CColorPicker() {
  DestroyWindow();
  if (m_hFont) gui::DeleteObject(m_hFont);
}

BOOL CColorPicker::Create(gui::GWindow* owner) {
  if (GetSafeHwnd()) return TRUE;
  const DWORD ex = WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_GUI_CLOSEONDEACTIVATE;
  if (!CreateEx(ex, owner, RECT{0, 0, kWidth, kHeight}, WS_POPUP)) return FALSE;
  if (!m_hFont) m_hFont = gui::CreateFont(13, gui::FW_NORMAL, u"");
  return TRUE;
}

BOOL CColorPicker::Popup(const RECT& anchor, HSVCOLOR colour, HWND notify) {
  if (!GetSafeHwnd()) return FALSE;
  Cancel();
  m_hNotify = notify;
  m_color = m_original =
      MakeHsv(HsvHue(colour) % HSV_HUES, std::min(HsvSat(colour), HSV_MAX), std::min(HsvVal(colour), HSV_MAX));
  m_track = m_hot = Part::kNone;
  const RECT work = gui::GetWorkArea(POINT{anchor.left, anchor.top});
  int left = anchor.left, top = anchor.top - kHeight - 4;
  if (top < work.top) top = anchor.bottom + 4;
  if (work.right - work.left >= kWidth) left = std::clamp<int>(left, work.left, work.right - kWidth);
  if (work.bottom - work.top >= kHeight) top = std::clamp<int>(top, work.top, work.bottom - kHeight);
  Invalidate();
  SetWindowPos(gui::HWND_TOP, left, top, kWidth, kHeight, SWP_SHOWWINDOW);
  return TRUE;
}

void CColorPicker::Choose() { End(true); }

void CColorPicker::Cancel() { End(false); }

void CColorPicker::End(bool chosen) {
  if (!IsWindowVisible() || m_bEnding) return;
  m_bEnding = true;
  m_track = m_hot = Part::kNone;
  if (gui::GetCapture() == GetSafeHwnd()) gui::ReleaseCapture();
  ShowWindow(SW_HIDE);
  m_bEnding = false;
  if (gui::IsWindow(m_hNotify))
    gui::SendMessage(m_hNotify, WM_MYCOLORRESULT, WPARAM(chosen ? m_color : m_original), chosen ? 1 : 0);
}

void CColorPicker::SetColor(HSVCOLOR colour) {
  if (colour == m_color) return;
  m_color = colour;
  Invalidate(FALSE);
}

POINT CColorPicker::AreaPoint(int sat, int val) {
  return POINT{LONG(kArea.left + std::lround(sat * kAreaLast / 256.0)),
               LONG(kArea.top + kAreaLast - std::lround(val * kAreaLast / 256.0))};
}

POINT CColorPicker::StripPoint(int hue) {
  return POINT{(kStrip.left + kStrip.right) / 2, LONG(std::floor(StripY(hue % HSV_HUES)))};
}

RECT CColorPicker::OkRect() { return kOk; }
RECT CColorPicker::CancelRect() { return kCancel; }
RECT CColorPicker::OldSwatchRect() { return kOld; }

CColorPicker::Part CColorPicker::HitTest(int x, int y) {
  if (Inside(kArea, x, y)) return Part::kArea;
  if (Inside(Grow(kStrip, 2), x, y)) return Part::kStrip;
  if (Inside(kOld, x, y)) return Part::kOld;
  if (Inside(kOk, x, y)) return Part::kOk;
  if (Inside(kCancel, x, y)) return Part::kCancel;
  return Part::kNone;
}

void CColorPicker::TrackTo(Part part, int x, int y) {
  if (part == Part::kArea) SetColor(MakeHsv(HsvHue(m_color), SatAt(x), ValAt(y)));
  else if (part == Part::kStrip) SetColor(MakeHsv(StripHue(y), HsvSat(m_color), HsvVal(m_color)));
}

void CColorPicker::SetHot(Part part) {
  if (part != Part::kOk && part != Part::kCancel) part = Part::kNone;
  if (part == m_hot) return;
  m_hot = part;
  if (part != Part::kNone) TrackMouseEvent(TME_LEAVE);
  Invalidate(FALSE);
}

void CColorPicker::OnButtonDown(int x, int y) {
  const Part part = HitTest(x, y);
  if (part == Part::kOld) {
    SetColor(m_original);
    return;
  }
  if (part == Part::kNone) return;
  m_track = part;
  SetCapture();
  TrackTo(part, x, y);
  SetHot(part);
}

void CColorPicker::OnMouseMove(int x, int y) {
  if (m_track == Part::kArea || m_track == Part::kStrip) {
    TrackTo(m_track, x, y);
    return;
  }
  // A pressed button shows pressed only while the mouse is over it.
  const Part over = HitTest(x, y);
  SetHot(m_track == Part::kNone || over == m_track ? over : Part::kNone);
}

void CColorPicker::OnButtonUp(int x, int y) {
  const Part pressed = m_track;
  m_track = Part::kNone;
  if (gui::GetCapture() == GetSafeHwnd()) gui::ReleaseCapture();
  if (pressed == Part::kOk && HitTest(x, y) == Part::kOk) Choose();
  else if (pressed == Part::kCancel && HitTest(x, y) == Part::kCancel) Cancel();
}

void CColorPicker::OnKey(UINT vk) {
  const int step = gui::GetKeyState(VK_SHIFT) < 0 ? 16 : 1;
  const int hue = HsvHue(m_color), sat = HsvSat(m_color), val = HsvVal(m_color);
  auto level = [](int v) { return std::clamp(v, 0, HSV_MAX); };
  switch (vk) {
    case VK_RETURN: Choose(); break;
    case VK_ESCAPE: Cancel(); break;
    case VK_LEFT: SetColor(MakeHsv(hue, level(sat - step), val)); break;
    case VK_RIGHT: SetColor(MakeHsv(hue, level(sat + step), val)); break;
    case VK_UP: SetColor(MakeHsv(hue, sat, level(val + step))); break;
    case VK_DOWN: SetColor(MakeHsv(hue, sat, level(val - step))); break;
    case VK_PRIOR: SetColor(MakeHsv((hue - step + HSV_HUES) % HSV_HUES, sat, val)); break;
    case VK_NEXT: SetColor(MakeHsv((hue + step) % HSV_HUES, sat, val)); break;
    default: break;
  }
}

void CColorPicker::OnPaint() {
  const int hue = HsvHue(m_color), sat = HsvSat(m_color), val = HsvVal(m_color);
  const COLORREF rgb = HsvToRgb(m_color);
  CColorCanvas c(kWidth, kHeight, kPanel);
  c.StrokeRoundRect(RECT{0, 0, kWidth, kHeight}, 0.0f, 1.0f, kFrame);

  c.PutRect(kArea, [hue](int x, int y) { return Opaque(HsvToRgb(hue, SatAt(x), ValAt(y))); });
  c.StrokeRoundRect(Grow(kArea, 1), 0.0f, 1.0f, kEdge);
  c.PutRect(kStrip, [](int, int y) { return Opaque(HsvToRgb(StripHue(y), HSV_MAX, HSV_MAX)); });
  c.StrokeRoundRect(Grow(kStrip, 1), 0.0f, 1.0f, kEdge);

  // New over old, framed together.
  c.PutRect(kNew, [rgb](int, int) { return Opaque(rgb); });
  c.PutRect(kOld, [this](int, int) { return Opaque(HsvToRgb(m_original)); });
  c.StrokeRoundRect(RECT{kNew.left - 1, kNew.top - 1, kOld.right + 1, kOld.bottom + 1}, 0.0f, 1.0f, kEdge);

  // The strip's mark: a slim bar across it with the hue inside.
  const float y = StripY(hue) + 0.5f;
  const RECT bar{kStrip.left - 3, LONG(std::lround(y - 4)), kStrip.right + 3, LONG(std::lround(y + 4))};
  c.FillRoundRect(Grow(bar, 1), 4.0f, 0x90000000);
  c.FillRoundRect(bar, 3.5f, 0xFFFFFFFF);
  c.FillRoundRect(Grow(bar, -2), 1.5f, Opaque(HsvToRgb(hue, HSV_MAX, HSV_MAX)));
  c.DrawMark(kArea.left + sat * kAreaLast / 256.0f + 0.5f, kArea.top + kAreaLast - val * kAreaLast / 256.0f + 0.5f,
             5.5f, rgb);

  const bool okHot = m_hot == Part::kOk, cancelHot = m_hot == Part::kCancel;
  c.FillRoundRect(kOk, 4.0f, okHot ? kAccentHot : kAccent);
  c.FillRoundRect(kCancel, 4.0f, kPlainEdge);
  c.FillRoundRect(Grow(kCancel, -1), 3.0f, cancelHot ? kPlainHot : kPlain);

  gui::DeviceContext dc(GetScreenImage());
  c.CopyTo(dc, 0, 0);
  dc.SelectFont(m_hFont);
  dc.SetBkMode(gui::TRANSPARENT);
  dc.SetTextColor(kText);
  DrawCentred(dc, HexText(rgb), kHex);
  const char16_t* names[] = {u"H", u"S", u"V"};
  const int values[] = {hue, sat, val};
  for (int i = 0; i < 3; ++i) {
    const std::u16string number = plat::Widen(std::to_string(values[i]));
    RECT row{kNew.left + 2, kRowTop + i * kRowHeight, kNew.right - 2, kRowTop + (i + 1) * kRowHeight};
    dc.SetTextColor(kLabel);
    dc.DrawText(names[i], 1, &row, gui::DT_LEFT | gui::DT_VCENTER | gui::DT_SINGLELINE);
    dc.SetTextColor(kText);
    dc.DrawText(number.c_str(), int(number.size()), &row, gui::DT_RIGHT | gui::DT_VCENTER | gui::DT_SINGLELINE);
  }
  dc.SetTextColor(RGB(0xFF, 0xFF, 0xFF));
  DrawCentred(dc, u"确定", kOk);
  dc.SetTextColor(kText);
  DrawCentred(dc, u"取消", kCancel);
}

LRESULT CColorPicker::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
  switch (msg) {
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_LBUTTONDOWN:
      OnButtonDown(x, y);
      return 0;
    case WM_LBUTTONDBLCLK:
      if (HitTest(x, y) == Part::kArea) {
        TrackTo(Part::kArea, x, y);
        Choose();
      } else {
        OnButtonDown(x, y);
      }
      return 0;
    case WM_MOUSEMOVE:
      OnMouseMove(x, y);
      return 0;
    case WM_LBUTTONUP:
      OnButtonUp(x, y);
      return 0;
    case WM_MOUSELEAVE:
      if (m_track == Part::kNone) SetHot(Part::kNone);
      return 0;
    case WM_KEYDOWN:
      OnKey(UINT(wParam));
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) Cancel();
      break;
    case WM_CAPTURECHANGED:
      if (HWND(lParam) != GetSafeHwnd()) m_track = Part::kNone;
      return 0;
    default:
      break;
  }
  return DefWindowProc(msg, wParam, lParam);
}
