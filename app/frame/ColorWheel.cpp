#include "ColorWheel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "ColorCanvas.h"
#include "platform/gui/Dc.h"
#include "platform/gui/Font.h"

namespace {

// The layout, in client pixels: everything is centred on the popup's middle.
constexpr float kCentre = CColorWheel::kSize / 2.0f;
constexpr float kDiscRadius = 116.0f;
constexpr float kShadowRadius = 120.0f;
constexpr float kRingOuter = 111.0f;
constexpr float kRingInner = 88.0f;
constexpr float kRingMiddle = (kRingOuter + kRingInner) / 2;
// The square of saturation and value: pixels kAreaLeft .. kAreaLeft + kAreaSide - 1.
constexpr int kAreaSide = 116;
constexpr int kAreaLeft = CColorWheel::kSize / 2 - kAreaSide / 2;
constexpr int kAreaLast = kAreaSide - 1;
constexpr RECT kArea{kAreaLeft, kAreaLeft, kAreaLeft + kAreaSide, kAreaLeft + kAreaSide};
// Old and new colour side by side under the square; the new colour's text above it.
constexpr RECT kSwatch{94, 184, 146, 200};
constexpr RECT kTextBox{60, 38, 180, 58};

constexpr uint32_t kBacking = 0xF0202329;
constexpr uint32_t kRim = 0x38FFFFFF;
constexpr uint32_t kEdge = 0x70000000;
constexpr float kTurn = 2 * std::numbers::pi_v<float>;

// Red sits at the top and hues run clockwise (the screen's y grows downwards).
int HueAt(float x, float y) {
  float turn = std::atan2(x - kCentre, kCentre - y) / kTurn;
  if (turn < 0) turn += 1;
  return int(std::lround(512 + turn * HSV_HUES)) % HSV_HUES;
}

float HueAngle(int hue) { return float(hue - 512) * kTurn / HSV_HUES; }

int SatAt(int x) { return std::clamp(int(std::lround((x - kAreaLeft) * 256.0 / kAreaLast)), 0, HSV_MAX); }
int ValAt(int y) { return std::clamp(int(std::lround((kAreaLeft + kAreaLast - y) * 256.0 / kAreaLast)), 0, HSV_MAX); }

}  // namespace

CColorWheel::CColorWheel() = default;

CColorWheel::~CColorWheel() {
  DestroyWindow();
  if (m_hFont) gui::DeleteObject(m_hFont);
}

BOOL CColorWheel::Create(gui::GWindow* owner) {
  if (GetSafeHwnd()) return TRUE;
  const DWORD ex = WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_LAYERED | WS_EX_GUI_CLOSEONDEACTIVATE;
  if (!CreateEx(ex, owner, RECT{0, 0, kSize, kSize}, WS_POPUP)) return FALSE;
  SetDoubleClicks(false);
  if (!m_hFont) m_hFont = gui::CreateFont(13, gui::FW_NORMAL, u"");
  return TRUE;
}

BOOL CColorWheel::Popup(int x, int y, HSVCOLOR colour, HWND notify, DWORD flags, COLORREF rgb) {
  if (!GetSafeHwnd()) return FALSE;
  Cancel();
  m_color = MakeHsv(HsvHue(colour) % HSV_HUES, std::min(HsvSat(colour), HSV_MAX), std::min(HsvVal(colour), HSV_MAX));
  m_oldRgb = rgb == kNoColor ? HsvToRgb(m_color) : rgb & 0xFFFFFF;
  m_hNotify = notify;
  m_bDragMode = (flags & COLORWHEEL_DRAG) != 0;
  m_track = Part::kNone;
  int left = x - kSize / 2, top = y - kSize / 2;
  const RECT work = gui::GetWorkArea(POINT{x, y});
  if (work.right - work.left >= kSize && work.bottom - work.top >= kSize) {
    left = std::clamp<int>(left, work.left, work.right - kSize);
    top = std::clamp<int>(top, work.top, work.bottom - kSize);
  }
  Invalidate();
  SetWindowPos(gui::HWND_TOP, left, top, kSize, kSize, SWP_SHOWWINDOW);
  SetCapture();
  return TRUE;
}

void CColorWheel::Cancel() {
  if (IsWindowVisible()) Hide();
}

void CColorWheel::Hide() {
  m_bHiding = true;
  m_track = Part::kNone;
  m_bDragMode = false;
  if (gui::GetCapture() == GetSafeHwnd()) gui::ReleaseCapture();
  ShowWindow(SW_HIDE);
  m_bHiding = false;
}

void CColorWheel::Choose() {
  const HSVCOLOR colour = m_color;
  const HWND notify = m_hNotify;
  Hide();
  if (gui::IsWindow(notify)) gui::SendMessage(notify, WM_MYCOLORPICKED, WPARAM(colour), 0);
}

POINT CColorWheel::HuePoint(int hue) {
  const float a = HueAngle(hue);
  return POINT{LONG(std::floor(kCentre + kRingMiddle * std::sin(a))),
               LONG(std::floor(kCentre - kRingMiddle * std::cos(a)))};
}

POINT CColorWheel::AreaPoint(int sat, int val) {
  return POINT{LONG(kAreaLeft + std::lround(sat * kAreaLast / 256.0)),
               LONG(kAreaLeft + kAreaLast - std::lround(val * kAreaLast / 256.0))};
}

CColorWheel::Part CColorWheel::HitTest(int x, int y) {
  if (x >= kArea.left && x < kArea.right && y >= kArea.top && y < kArea.bottom) return Part::kArea;
  const float d = std::hypot(x + 0.5f - kCentre, y + 0.5f - kCentre);
  if (d >= kRingInner - 1 && d <= kRingOuter + 1) return Part::kRing;
  return d <= kDiscRadius ? Part::kNone : Part::kOutside;
}

void CColorWheel::SetColor(HSVCOLOR colour) {
  if (colour == m_color) return;
  m_color = colour;
  Invalidate(FALSE);
}

void CColorWheel::TrackTo(Part part, int x, int y) {
  if (part == Part::kRing) {
    const int sat = HsvSat(m_color), val = HsvVal(m_color);
    SetColor(MakeHsv(HueAt(x + 0.5f, y + 0.5f), sat ? sat : HSV_MAX, val ? val : HSV_MAX));
  } else if (part == Part::kArea) {
    SetColor(MakeHsv(HsvHue(m_color), SatAt(x), ValAt(y)));
  }
}

void CColorWheel::OnButtonDown(int x, int y) {
  m_bDragMode = false;
  const Part part = HitTest(x, y);
  if (part == Part::kOutside) {
    Cancel();
    return;
  }
  if (part == Part::kNone) return;
  m_track = part;
  TrackTo(part, x, y);
}

void CColorWheel::OnMouseMove(int x, int y) {
  if (m_track == Part::kNone && m_bDragMode && HitTest(x, y) == Part::kRing) m_track = Part::kRing;
  TrackTo(m_track, x, y);
}

void CColorWheel::OnButtonUp(int x, int y) {
  if (m_track != Part::kNone) {
    Choose();
  } else if (m_bDragMode) {
    // Let go before reaching the ring: the wheel stays for clicks unless the pointer left it.
    m_bDragMode = false;
    if (HitTest(x, y) == Part::kOutside) Cancel();
  }
}

const CColorCanvas& CColorWheel::Base() {
  if (m_pBase) return *m_pBase;
  m_pBase = std::make_unique<CColorCanvas>(kSize, kSize);
  CColorCanvas& c = *m_pBase;
  const RECT all{0, 0, kSize, kSize};
  // A soft shade around the disc lifts it off whatever lies beneath.
  c.Fill(
      all, [](float x, float y) { return CColorCanvas::CircleDistance(x, y, kCentre, kCentre, kShadowRadius); },
      [](int x, int y) {
        const float d = std::hypot(x + 0.5f - kCentre, y + 0.5f - kCentre);
        const float t = std::clamp((kShadowRadius - d) / (kShadowRadius - kDiscRadius + 2), 0.0f, 1.0f);
        return uint32_t(t * t * 0x60) << 24;
      });
  c.FillCircle(kCentre, kCentre, kDiscRadius, kBacking);
  c.StrokeCircle(kCentre, kCentre, kDiscRadius - 0.5f, 1.0f, kRim);
  c.Fill(
      all,
      [](float x, float y) {
        const float d = std::hypot(x - kCentre, y - kCentre);
        return std::max(d - kRingOuter, kRingInner - d);
      },
      [](int x, int y) { return Opaque(HsvToRgb(HueAt(x + 0.5f, y + 0.5f), HSV_MAX, HSV_MAX)); });
  c.StrokeCircle(kCentre, kCentre, kRingOuter, 1.0f, kEdge);
  c.StrokeCircle(kCentre, kCentre, kRingInner, 1.0f, kEdge);
  return c;
}

void CColorWheel::OnPaint() {
  CColorCanvas canvas = Base();
  const int hue = HsvHue(m_color), sat = HsvSat(m_color), val = HsvVal(m_color);
  const COLORREF rgb = HsvToRgb(m_color);
  canvas.PutRect(kArea, [hue](int x, int y) { return Opaque(HsvToRgb(hue, SatAt(x), ValAt(y))); });
  canvas.StrokeRoundRect(RECT{kArea.left - 1, kArea.top - 1, kArea.right + 1, kArea.bottom + 1}, 1.0f, 1.0f, kEdge);

  // Old colour on the left, new on the right, in one rounded swatch.
  const float middle = (kSwatch.left + kSwatch.right) / 2.0f;
  const float round = (kSwatch.bottom - kSwatch.top) / 2.0f;
  canvas.FillRoundRect(kSwatch, round, Opaque(m_oldRgb));
  canvas.Fill(
      kSwatch,
      [&](float x, float y) { return std::max(CColorCanvas::RoundRectDistance(x, y, kSwatch, round), middle - x); },
      Opaque(rgb));
  canvas.StrokeRoundRect(kSwatch, round, 1.0f, kRim);

  const float a = HueAngle(hue);
  canvas.DrawMark(kCentre + kRingMiddle * std::sin(a), kCentre - kRingMiddle * std::cos(a), 8.5f,
                  HsvToRgb(hue, HSV_MAX, HSV_MAX));
  canvas.DrawMark(kAreaLeft + sat * kAreaLast / 256.0f + 0.5f,
                  kAreaLeft + kAreaLast - val * kAreaLast / 256.0f + 0.5f, 5.5f, rgb);

  gui::DeviceContext dc(GetScreenImage());
  canvas.CopyTo(dc, 0, 0);
  dc.SelectFont(m_hFont);
  dc.SetBkMode(gui::TRANSPARENT);
  dc.SetTextColor(RGB(0xD8, 0xDC, 0xE2));
  RECT text = kTextBox;
  const std::u16string hex = HexText(rgb);
  dc.DrawText(hex.c_str(), int(hex.size()), &text, gui::DT_CENTER | gui::DT_VCENTER | gui::DT_SINGLELINE);
}

LRESULT CColorWheel::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
  switch (msg) {
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      OnButtonDown(x, y);
      return 0;
    case WM_MOUSEMOVE:
      OnMouseMove(x, y);
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      OnButtonUp(x, y);
      return 0;
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE) Cancel();
      else if (wParam == VK_RETURN && IsWindowVisible()) Choose();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) Cancel();
      break;
    case WM_CAPTURECHANGED:
      // Another window took the mouse: the wheel cannot follow it any more.
      if (!m_bHiding && HWND(lParam) != GetSafeHwnd()) Cancel();
      return 0;
    default:
      break;
  }
  return DefWindowProc(msg, wParam, lParam);
}
