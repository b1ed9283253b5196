#include "ColorPopup.h"

#include <algorithm>
#include <cmath>

#include "ColorCanvas.h"

int SatValSquare::SatAt(int x) const {
  return std::clamp(int(std::lround((x - rc.left) * 256.0 / (rc.right - rc.left - 1))), 0, HSV_MAX);
}

int SatValSquare::ValAt(int y) const {
  return std::clamp(int(std::lround((rc.bottom - 1 - y) * 256.0 / (rc.bottom - rc.top - 1))), 0, HSV_MAX);
}

POINT SatValSquare::PointOf(int sat, int val) const {
  return POINT{LONG(rc.left + std::lround(sat * (rc.right - rc.left - 1) / 256.0)),
               LONG(rc.bottom - 1 - std::lround(val * (rc.bottom - rc.top - 1) / 256.0))};
}

void SatValSquare::Draw(CColorCanvas& canvas, HSVCOLOR colour) const {
  const int hue = HsvHue(colour), sat = HsvSat(colour), val = HsvVal(colour);
  canvas.PutRect(rc, [&](int x, int y) { return Opaque(HsvToRgb(hue, SatAt(x), ValAt(y))); });
  canvas.StrokeRoundRect(RECT{rc.left - 1, rc.top - 1, rc.right + 1, rc.bottom + 1}, 0.0f, 1.0f, 0x68000000);
  // The mark sits where the continuous levels put it, between pixels when they fall so.
  const float x = rc.left + sat * float(rc.right - rc.left - 1) / 256 + 0.5f;
  const float y = rc.bottom - 1 - val * float(rc.bottom - rc.top - 1) / 256 + 0.5f;
  canvas.DrawMark(x, y, 5.5f, HsvToRgb(colour));
}

CColorPopup::~CColorPopup() {
  DestroyWindow();
  if (m_hFont) gui::DeleteObject(m_hFont);
}

BOOL CColorPopup::CreatePopup(gui::GWindow* owner, DWORD exStyle, int width, int height) {
  if (GetSafeHwnd()) return TRUE;
  if (!CreateEx(exStyle | WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_GUI_CLOSEONDEACTIVATE, owner,
                RECT{0, 0, width, height}, WS_POPUP))
    return FALSE;
  m_nWidth = width;
  m_nHeight = height;
  if (!m_hFont) m_hFont = gui::CreateFont(13, gui::FW_NORMAL, u"");
  return TRUE;
}

void CColorPopup::Begin(HSVCOLOR colour, HWND notify) {
  m_color = NormalizeHsv(colour);
  m_hNotify = notify;
}

void CColorPopup::ShowAt(int left, int top) {
  const RECT work = gui::GetWorkArea(POINT{left + m_nWidth / 2, top + m_nHeight / 2});
  if (work.right - work.left >= m_nWidth) left = std::clamp<int>(left, work.left, work.right - m_nWidth);
  if (work.bottom - work.top >= m_nHeight) top = std::clamp<int>(top, work.top, work.bottom - m_nHeight);
  Invalidate();
  SetWindowPos(gui::HWND_TOP, left, top, m_nWidth, m_nHeight, SWP_SHOWWINDOW);
}

void CColorPopup::SetColor(HSVCOLOR colour) {
  if (colour == m_color) return;
  m_color = colour;
  Invalidate(FALSE);
}

void CColorPopup::Hide() {
  if (gui::GetCapture() == GetSafeHwnd()) gui::ReleaseCapture();
  ShowWindow(SW_HIDE);
}

LRESULT CColorPopup::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
  switch (msg) {
    case WM_PAINT: OnPaint(); return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: OnButtonDown(x, y, false); return 0;
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK: OnButtonDown(x, y, true); return 0;
    case WM_MOUSEMOVE: OnMouseMove(x, y); return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: OnButtonUp(x, y); return 0;
    case WM_MOUSELEAVE: OnMouseLeave(); return 0;
    case WM_KEYDOWN: OnKey(UINT(wParam)); return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) Cancel();
      break;
    case WM_CAPTURECHANGED:
      if (HWND(lParam) != GetSafeHwnd()) OnCaptureLost();
      return 0;
    default: break;
  }
  return DefWindowProc(msg, wParam, lParam);
}
