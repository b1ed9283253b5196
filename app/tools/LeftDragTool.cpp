#include "LeftDragTool.h"

#include "core/PaintSpace.h"
#include "odata/GError.h"
#include "platform/gui/Cursor.h"
#include "platform/gui/Messages.h"
#include "platform/gui/Resources.h"

void COperLeftDrag::OnPaint() { m_pPaintSpace->OnDraw(nullptr); }

BOOL COperLeftDrag::OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  try {
    switch (msg) {
      case WM_PAINT:
        OnPaint();
        return TRUE;
      case WM_SETCURSOR:
        return SetToolCursor(lParam, result, m_nCursorId);
      case WM_KEYUP:
        return SpaceUpAsRightClick(wParam);
      case WM_MOUSEMOVE:
        OnMouseMove(wParam, MsgPoint(lParam));
        return TRUE;
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
        OnLButtonDown(MsgPoint(lParam));
        return TRUE;
      case WM_LBUTTONUP:
        ReleaseButtonBit(myLEFT);
        OnLButtonUp();
        m_nLButton = myUP;
        return TRUE;
      case WM_RBUTTONUP:
        RightButtonUp(lParam);
        return TRUE;
      case WM_CAPTURECHANGED:
        // The buttons go up first, so that nothing the tool does waits for a release.
        if (DropButtons(FALSE)) OnCaptureLost();
        return TRUE;
      default:
        return NavigationMsg(msg, wParam, lParam, result);
    }
  }
  GCATCH(GetClassName(), u"::OnWndMsg()", ->AppendArg(GArgUint(msg)))
}
