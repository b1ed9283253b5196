#include "frame/Splash.h"

#include "platform/gui/Resources.h"

CSplashWnd::~CSplashWnd() { DestroyWindow(); }

BOOL CSplashWnd::Show(UINT bitmapId, UINT closeAfterMs) {
  Close();
  m_pPicture = gui::LoadBitmapResource(bitmapId);
  if (!m_pPicture) return FALSE;
  const int cx = m_pPicture->Width(), cy = m_pPicture->Height();
  // The primary screen: the frame that would tell another one is not there yet.
  const RECT area = gui::GetWorkArea(POINT{0, 0});
  const int x = area.left + (area.right - area.left - cx) / 2, y = area.top + (area.bottom - area.top - cy) / 2;
  if (!CreateEx(WS_EX_TOPMOST | WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW, nullptr, RECT{x, y, x + cx, y + cy},
                WS_POPUP | WS_VISIBLE)) {
    m_pPicture.reset();
    return FALSE;
  }
  if (closeAfterMs) SetTimer(kTimerId, closeAfterMs);
  // Drawn now: the frame that builds meanwhile gives the event loop little time.
  Paint();
  return TRUE;
}

void CSplashWnd::Close() {
  if (!GetSafeHwnd()) return;
  KillTimer(kTimerId);
  DestroyWindow();
  m_pPicture.reset();
}

void CSplashWnd::Paint() {
  if (!m_pPicture) return;
  gui::DeviceContext dc(GetScreenImage());
  dc.BitBlt(0, 0, m_pPicture->Width(), m_pPicture->Height(), *m_pPicture, 0, 0);
}

LRESULT CSplashWnd::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_PAINT:
      Paint();
      return 0;
    case WM_TIMER:
      if (wParam != kTimerId) break;
      Close();
      return 0;
    case WM_LBUTTONDOWN:
      Close();
      return 0;
    default:
      break;
  }
  return GWindow::WindowProc(msg, wParam, lParam);
}
