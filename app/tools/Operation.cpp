#include "Operation.h"

#include <cstdlib>

#include "core/PaintSpace.h"
#include "odata/GError.h"
#include "platform/gui/Messages.h"

static_assert(CAPTURE_LBUTTON == MK_LBUTTON && CAPTURE_RBUTTON == MK_RBUTTON && CAPTURE_MBUTTON == MK_MBUTTON);

int COperation::Release() {
  int n = --m_nRef;
  if (n == 0) delete this;
  return n;
}

// ---------------------------------------------------------------------------------------------
// COperDefault

BOOL COperDefault::OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  try {
    CPaintSpace* space = m_pPaintSpace;
    if (!space) return FALSE;
    const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (msg) {
      case WM_MOUSEMOVE:
        OnMouseMove(wParam, pt);
        return TRUE;
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
        OnButton(m_nLButton, m_ptLButton, CAPTURE_LBUTTON, true, pt);
        return TRUE;
      case WM_LBUTTONUP:
        OnButton(m_nLButton, m_ptLButton, CAPTURE_LBUTTON, false, pt);
        return TRUE;
      case WM_RBUTTONDOWN:
      case WM_RBUTTONDBLCLK:
        OnButton(m_nRButton, m_ptRButton, CAPTURE_RBUTTON, true, pt);
        return TRUE;
      case WM_RBUTTONUP:
        OnButton(m_nRButton, m_ptRButton, CAPTURE_RBUTTON, false, pt);
        return TRUE;
      case WM_MBUTTONDOWN:
      case WM_MBUTTONDBLCLK:
        OnButton(m_nMButton, m_ptMButton, CAPTURE_MBUTTON, true, pt);
        return TRUE;
      case WM_MBUTTONUP:
        OnButton(m_nMButton, m_ptMButton, CAPTURE_MBUTTON, false, pt);
        return TRUE;
      case WM_CAPTURECHANGED:
        if (space->GetCaptureMask()) {
          space->ReleaseAllButtons();
          DropButtons();
        }
        return TRUE;
      case WM_MOUSEWHEEL:
      case WM_MOUSEHWHEEL:
        // Not while a drag moves the view.
        if (m_nRButton == myUP && m_nMButton == myUP) space->OnMouseWheel(msg, wParam, m_ptMouse);
        if (result) *result = 0;
        return TRUE;
      case WM_HSCROLL:
        space->OnHScroll(wParam, lParam);
        return TRUE;
      case WM_VSCROLL:
        space->OnVScroll(wParam, lParam);
        return TRUE;
      case WM_KEYUP:
        return TRUE;
      default:
        return FALSE;
    }
  }
  GCATCH(GetClassName(), u"::OnWndMsg()", ->AppendArg(GArgUint(msg)))
}

void COperDefault::OnButton(int& state, POINT& where, DWORD bit, bool down, POINT pt) {
  if (down) {
    where = pt;
    state = myPRESSED;
    m_pPaintSpace->CaptureButton(bit);
    return;
  }
  m_pPaintSpace->ReleaseButton(bit);
  state = myUP;
}

void COperDefault::OnMouseMove(WPARAM wParam, POINT pt) {
  CPaintSpace* space = m_pPaintSpace;
  m_ptMouse = pt;
  // A button went up outside the view: the drag has ended, this move is not part of it.
  // (The mask's bits are the MK_ bits of the same buttons.)
  const DWORD mask = space->GetCaptureMask();
  if (mask && mask != DWORD(wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON))) {
    space->ReleaseAllButtons();
    DropButtons();
    return;
  }
  if (m_nMButton == myPRESSED && (pt.x != m_ptMButton.x || pt.y != m_ptMButton.y)) {
    m_nMButton = myDRAGGING;
    space->BeginGesture();
  }
  if (m_nRButton == myPRESSED &&
      (std::abs(pt.x - m_ptRButton.x) > kPanThreshold || std::abs(pt.y - m_ptRButton.y) > kPanThreshold))
    m_nRButton = myDRAGGING;
  if (m_nMButton == myDRAGGING) {
    // Measured from the press: the press point stays.
    space->RotateZoomBy(pt.x, pt.y, pt.x - m_ptMButton.x, pt.y - m_ptMButton.y, FALSE);
  } else if (m_nRButton == myDRAGGING) {
    space->ScrollBy(pt.x, pt.y, pt.x - m_ptRButton.x, pt.y - m_ptRButton.y, nullptr);
    m_ptRButton = pt;
  }
}

void COperDefault::DropButtons() {
  m_nLButton = m_nMButton = m_nRButton = myUP;
  FinishWork();
}
