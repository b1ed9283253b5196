#include "OperDefault.h"

#include "core/PaintSpace.h"
#include "odata/GError.h"
#include "platform/gui/Messages.h"

COperDefault::COperDefault() = default;

BOOL COperDefault::OnWndMsg(UINT msg, WPARAM /*wParam*/, LPARAM lParam, LRESULT* /*result*/) {
  try {
    const POINT pt = MsgPoint(lParam);
    switch (msg) {
      case WM_PAINT:
        m_pPaintSpace->OnDraw(nullptr);
        return TRUE;
      case WM_MOUSEMOVE:
        m_ptMouse = pt;
        return TRUE;
      case WM_LBUTTONDOWN:
        m_ptLButton = pt;
        m_nLButton = myPRESSED;
        return TRUE;
      case WM_LBUTTONUP:
        m_nLButton = myUP;
        return TRUE;
      case WM_RBUTTONDOWN:
        m_ptRButton = pt;
        m_nRButton = myPRESSED;
        return TRUE;
      case WM_RBUTTONUP:
        m_nRButton = myUP;
        return TRUE;
      case WM_MBUTTONDOWN:
        m_ptMButton = pt;
        m_nMButton = myPRESSED;
        return TRUE;
      case WM_MBUTTONUP:
        m_nMButton = myUP;
        return TRUE;
      case WM_KEYUP:
      case WM_HSCROLL:
      case WM_VSCROLL:
      case WM_CAPTURECHANGED:
        return TRUE;
      default:
        return FALSE;
    }
  }
  GCATCH(GetClassName(), u"::OnWndMsg()", ->AppendArg(GArgUint(msg)))
}
