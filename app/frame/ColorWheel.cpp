#include "ColorWheel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "ColorCanvas.h"
#include "platform/gui/Dc.h"

namespace {

// The layout, in client pixels: everything is centred on the popup's middle.
constexpr float kCentre = CColorWheel::kSize / 2.0f;
constexpr float kDiscRadius = 116.0f;
constexpr float kShadowRadius = 120.0f;
constexpr float kRingOuter = 111.0f;
constexpr float kRingInner = 88.0f;
constexpr float kRingMiddle = (kRingOuter + kRingInner) / 2;
// The square of saturation and value in the middle.
constexpr int kAreaSide = 116;
constexpr int kAreaLeft = CColorWheel::kSize / 2 - kAreaSide / 2;
constexpr RECT kArea{kAreaLeft, kAreaLeft, kAreaLeft + kAreaSide, kAreaLeft + kAreaSide};
constexpr SatValSquare kSquare{kArea};
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

}  // namespace

CColorWheel::CColorWheel() = default;

CColorWheel::~CColorWheel() {
  // While this class still answers the messages that going away may bring; no answer to
  // anyone then.
  m_hNotify = nullptr;
  DestroyWindow();
}

BOOL CColorWheel::Create(gui::GWindow* owner) {
  if (!CreatePopup(owner, WS_EX_LAYERED, kSize, kSize)) return FALSE;
  SetDoubleClicks(false);
  return TRUE;
}

BOOL CColorWheel::Popup(int x, int y, HSVCOLOR colour, HWND notify, DWORD flags, COLORREF rgb) {
  if (!GetSafeHwnd()) return FALSE;
  Cancel();
  Begin(colour, notify);
  m_oldRgb = rgb == kNoColor ? HsvToRgb(m_color) : rgb & 0xFFFFFF;
  m_bDragMode = (flags & COLORWHEEL_DRAG) != 0;
  m_track = Part::kNone;
  ShowAt(x - kSize / 2, y - kSize / 2);
  SetCapture();
  return TRUE;
}

void CColorWheel::Cancel() {
  if (IsWindowVisible()) Close();
}

void CColorWheel::Close() {
  m_bHiding = true;
  m_track = Part::kNone;
  m_bDragMode = false;
  Hide();
  m_bHiding = false;
}

void CColorWheel::Choose() {
  const HSVCOLOR colour = m_color;
  const HWND notify = m_hNotify;
  Close();
  if (gui::IsWindow(notify)) gui::SendMessage(notify, WM_MYCOLORPICKED, WPARAM(colour), 0);
}

POINT CColorWheel::HuePoint(int hue) {
  const float a = HueAngle(hue);
  return POINT{LONG(std::floor(kCentre + kRingMiddle * std::sin(a))),
               LONG(std::floor(kCentre - kRingMiddle * std::cos(a)))};
}

POINT CColorWheel::AreaPoint(int sat, int val) { return kSquare.PointOf(sat, val); }

CColorWheel::Part CColorWheel::HitTest(int x, int y) {
  if (x >= kArea.left && x < kArea.right && y >= kArea.top && y < kArea.bottom) return Part::kArea;
  const float d = std::hypot(x + 0.5f - kCentre, y + 0.5f - kCentre);
  if (d >= kRingInner - 1 && d <= kRingOuter + 1) return Part::kRing;
  return d <= kDiscRadius ? Part::kNone : Part::kOutside;
}

void CColorWheel::TrackTo(Part part, int x, int y) {
  if (part == Part::kRing) {
    const int sat = HsvSat(m_color), val = HsvVal(m_color);
    SetColor(MakeHsv(HueAt(x + 0.5f, y + 0.5f), sat ? sat : HSV_MAX, val ? val : HSV_MAX));
  } else if (part == Part::kArea) {
    SetColor(MakeHsv(HsvHue(m_color), kSquare.SatAt(x), kSquare.ValAt(y)));
  }
}

void CColorWheel::OnButtonDown(int x, int y, bool) {
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
  const int hue = HsvHue(m_color);
  const COLORREF rgb = HsvToRgb(m_color);
  kSquare.Draw(canvas, m_color);

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

  gui::DeviceContext dc(GetScreenImage());
  canvas.CopyTo(dc, 0, 0);
  dc.SelectFont(m_hFont);
  dc.SetBkMode(gui::TRANSPARENT);
  dc.SetTextColor(RGB(0xD8, 0xDC, 0xE2));
  RECT text = kTextBox;
  const std::u16string hex = HexText(rgb);
  dc.DrawText(hex.c_str(), int(hex.size()), &text, gui::DT_CENTER | gui::DT_VCENTER | gui::DT_SINGLELINE);
}

void CColorWheel::OnKey(UINT vk) {
  if (vk == VK_ESCAPE) Cancel();
  else if (vk == VK_RETURN && IsWindowVisible()) Choose();
}

// Another window took the mouse: the wheel cannot follow it any more.
void CColorWheel::OnCaptureLost() {
  if (!m_bHiding) Cancel();
}
