#include "ColorPicker.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "ColorCanvas.h"
#include "platform/base/Text.h"
#include "platform/gui/Dc.h"

namespace {

// The layout, in client pixels.
constexpr int kAreaSide = 160;
constexpr RECT kArea{12, 12, 12 + kAreaSide, 12 + kAreaSide};
constexpr SatValSquare kSquare{kArea};
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

// Red at the top, hues growing downwards as they grow clockwise on the wheel.
int StripHue(int y) {
  const int row = std::clamp(y - int(kStrip.top), 0, kAreaSide - 1);
  return int(512 + std::lround((row + 0.5) * HSV_HUES / kAreaSide)) % HSV_HUES;
}
float StripY(int hue) { return float(kStrip.top) + float((hue + HSV_HUES - 512) % HSV_HUES) * kAreaSide / HSV_HUES; }

void DrawCentred(gui::DeviceContext& dc, const std::u16string& text, RECT rc) {
  dc.DrawText(text.c_str(), int(text.size()), &rc, gui::DT_CENTER | gui::DT_VCENTER | gui::DT_SINGLELINE);
}

}  // namespace

CColorPicker::CColorPicker() = default;

CColorPicker::~CColorPicker() {
  // While this class still answers the messages that going away may bring; no answer to
  // anyone then.
  m_hNotify = nullptr;
  DestroyWindow();
}

BOOL CColorPicker::Create(gui::GWindow* owner) { return CreatePopup(owner, 0, kWidth, kHeight); }

BOOL CColorPicker::Popup(const RECT& anchor, HSVCOLOR colour, HWND notify) {
  if (!GetSafeHwnd()) return FALSE;
  Cancel();
  Begin(colour, notify);
  m_original = m_color;
  m_track = m_hot = Part::kNone;
  const RECT work = gui::GetWorkArea(POINT{anchor.left, anchor.top});
  const int above = anchor.top - kHeight - 4;
  ShowAt(anchor.left, above >= work.top ? above : anchor.bottom + 4);
  return TRUE;
}

void CColorPicker::Choose() { End(true); }

void CColorPicker::Cancel() { End(false); }

void CColorPicker::End(bool chosen) {
  if (!IsWindowVisible() || m_bEnding) return;
  m_bEnding = true;
  m_track = m_hot = Part::kNone;
  Hide();
  m_bEnding = false;
  if (gui::IsWindow(m_hNotify))
    gui::SendMessage(m_hNotify, WM_MYCOLORRESULT, WPARAM(chosen ? m_color : m_original), chosen ? 1 : 0);
}

POINT CColorPicker::AreaPoint(int sat, int val) { return kSquare.PointOf(sat, val); }

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
  if (part == Part::kArea) SetColor(MakeHsv(HsvHue(m_color), kSquare.SatAt(x), kSquare.ValAt(y)));
  else if (part == Part::kStrip) SetColor(MakeHsv(StripHue(y), HsvSat(m_color), HsvVal(m_color)));
}

void CColorPicker::SetHot(Part part) {
  if (part != Part::kOk && part != Part::kCancel) part = Part::kNone;
  if (part == m_hot) return;
  m_hot = part;
  if (part != Part::kNone) TrackMouseEvent(TME_LEAVE);
  Invalidate(FALSE);
}

void CColorPicker::OnButtonDown(int x, int y, bool twice) {
  const Part part = HitTest(x, y);
  if (twice && part == Part::kArea) {
    TrackTo(part, x, y);
    Choose();
    return;
  }
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

  kSquare.Draw(c, m_color);
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

void CColorPicker::OnMouseLeave() {
  if (m_track == Part::kNone) SetHot(Part::kNone);
}

void CColorPicker::OnCaptureLost() { m_track = Part::kNone; }
