#include "frame/DockContext.h"

#include <cstdlib>

#include "frame/DockBar.h"
#include "platform/gui/Window.h"

// The frame on the screen that shows the proposal: a translucent outline, thin where the bar
// would dock and thick where it would float. It holds the mouse during the drag and hands
// the mouse to its context in screen coordinates.
class CMyDockContext::Tracker final : public gui::GWindow {
 public:
  static constexpr int kDockedBorder = 2;
  static constexpr int kFloatingBorder = 4;
  static constexpr uint32_t kColour = 0xC0505458;  // straight 0xAARRGGBB

  explicit Tracker(CMyDockContext* context) : m_pContext(context) {}
  ~Tracker() override { DestroyWindow(); }

  BOOL Place(const RECT& rc, bool docked) {
    const int border = docked ? kDockedBorder : kFloatingBorder;
    if (!GetSafeHwnd() &&
        !CreateEx(WS_EX_LAYERED | WS_EX_NOACTIVATE | WS_EX_TOPMOST | WS_EX_TOOLWINDOW, nullptr, rc, WS_POPUP))
      return FALSE;
    if (border != m_nBorder) Invalidate();
    m_nBorder = border;
    return SetWindowPos(nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                        SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  }

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    switch (msg) {
      case WM_PAINT: Paint(); return 0;
      case WM_SIZE: Invalidate(); return 0;
      case WM_MOUSEMOVE: m_pContext->Move(ToScreen(lParam)); return 0;
      case WM_LBUTTONUP: m_pContext->Drop(ToScreen(lParam)); return 0;
      case WM_RBUTTONDOWN: m_pContext->Cancel(); return 0;
      case WM_CAPTURECHANGED:
        if (HWND(lParam) != GetSafeHwnd()) m_pContext->Cancel();
        return 0;
      default: return GWindow::WindowProc(msg, wParam, lParam);
    }
  }

 private:
  POINT ToScreen(LPARAM lParam) const {
    POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ClientToScreen(&pt);
    return pt;
  }
  void Paint() {
    RECT rc;
    GetClientRect(&rc);
    gui::DeviceContext dc(GetScreenImage());
    dc.FillArgbRect(rc, 0);
    const int b = m_nBorder;
    dc.FillArgbRect(RECT{rc.left, rc.top, rc.right, rc.top + b}, kColour);
    dc.FillArgbRect(RECT{rc.left, rc.bottom - b, rc.right, rc.bottom}, kColour);
    dc.FillArgbRect(RECT{rc.left, rc.top + b, rc.left + b, rc.bottom - b}, kColour);
    dc.FillArgbRect(RECT{rc.right - b, rc.top + b, rc.right, rc.bottom - b}, kColour);
  }

  CMyDockContext* m_pContext;
  int m_nBorder = 0;
};

CMyDockContext::CMyDockContext(HWND bar) : m_hBar(bar) {}

CMyDockContext::~CMyDockContext() {
  if (m_bDragging) End();
}

HWND CMyDockContext::GetTrackerWindow() const {
  return m_bDragging && m_pTracker ? m_pTracker->GetSafeHwnd() : nullptr;
}

BOOL CMyDockContext::StartDrag(POINT pt) {
  if (m_bDragging) Cancel();
  IDockSite* site = IDockSite::ForBar(m_hBar);
  RECT rc;
  if (!site || !site->GetBarRect(m_hBar, &rc)) return FALSE;
  if (!m_pTracker) m_pTracker = std::make_unique<Tracker>(this);
  // The frame shows at once where the bar is, so that it can hold the mouse.
  if (!m_pTracker->Place(rc, false)) return FALSE;
  m_ptStart = pt;
  m_rcStart = m_rcProposed = rc;
  m_nSide = DOCK_NONE;
  m_bMoved = false;
  m_bDragging = true;
  m_pTracker->SetCapture();
  return TRUE;
}

void CMyDockContext::Move(POINT pt) {
  if (!m_bDragging) return;
  if (!m_bMoved) {
    if (std::abs(pt.x - m_ptStart.x) < kDragDistance && std::abs(pt.y - m_ptStart.y) < kDragDistance) return;
    m_bMoved = true;
  }
  Propose(pt);
}

void CMyDockContext::Propose(POINT pt) {
  IDockSite* site = IDockSite::ForBar(m_hBar);
  RECT rc;
  int side = site ? site->DockSideAt(m_hBar, pt, &rc) : DOCK_NONE;
  if (side == DOCK_NONE) {
    const LONG dx = pt.x - m_ptStart.x, dy = pt.y - m_ptStart.y;
    rc = RECT{m_rcStart.left + dx, m_rcStart.top + dy, m_rcStart.right + dx, m_rcStart.bottom + dy};
  }
  gui::SendMessage(m_hBar, WM_MYDOCKQUERY, 0, LPARAM(&rc));
  // The bar may have gone meanwhile (the query is the bar's code).
  if (!m_bDragging) return;
  m_nSide = side;
  m_rcProposed = rc;
  m_pTracker->Place(rc, side != DOCK_NONE);
}

void CMyDockContext::Drop(POINT pt) {
  if (!m_bDragging) return;
  const bool moved = m_bMoved;
  if (moved) Propose(pt);
  if (!m_bDragging) return;
  End();
  IDockSite* site = IDockSite::ForBar(m_hBar);
  if (!moved || !site) return;
  if (m_nSide == DOCK_NONE) {
    site->FloatBar(m_hBar, m_rcProposed);
    return;
  }
  // Let go on its own side: it stays where it is.
  for (const IDockSite::DockedBar& d : site->GetDockedBars(m_nSide))
    if (d.hwnd == m_hBar) return;
  site->DockBar(m_hBar, m_nSide);
}

void CMyDockContext::Cancel() {
  if (!m_bDragging) return;
  End();
  m_nSide = DOCK_NONE;
  m_rcProposed = m_rcStart;
}

void CMyDockContext::End() {
  // Not dragging first: the capture's release comes back as WM_CAPTURECHANGED.
  m_bDragging = false;
  if (m_pTracker) {
    if (gui::GetCapture() == m_pTracker->GetSafeHwnd()) gui::ReleaseCapture();
    m_pTracker->ShowWindow(SW_HIDE);
  }
}
