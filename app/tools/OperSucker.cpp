#include "OperSucker.h"

#include <cstring>

#include "core/ColorBar.h"
#include "core/PaintSpace.h"
#include "frame/ResourceIds.h"
#include "odata/GError.h"
#include "panels/MyListLayer.h"
#include "platform/gui/Cursor.h"
#include "platform/gui/Messages.h"
#include "platform/gui/Resources.h"

namespace {

// The picked colour (0x00RRGGBB) becomes the bar's current one and its newest recent one,
// exactly as picked (a round trip through HSV could move a channel by one step).
void MakeCurrentColour(CColorBar* bar, COLORREF rgb) { bar->PushRgb(rgb); }

}  // namespace

UINT COperSucker::GetID() { return ID_OPER_SUCKER; }

DragThresholds COperSucker::GetDragThresholds() const {
  return {{DragThreshold::myAXIS, 1}, {DragThreshold::myAXIS, 0}, {DragThreshold::myAXIS, 12}};
}

void COperSucker::OnEnvironmentVaryNotify(const char16_t*, DWORD, void*) {
  try {
    FinishWork();
  }
  GCATCH(GetClassName(), u"::OnEnvironmentVaryNotify()")
}

BOOL COperSucker::OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  try {
    switch (msg) {
      case WM_PAINT:
        m_pPaintSpace->OnDraw(nullptr);
        return TRUE;
      case WM_SETCURSOR:
        return SetToolCursor(lParam, result, IDC_SUCKER);
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
        OnLButtonDown(MsgPoint(lParam));
        return TRUE;
      case WM_LBUTTONUP:
        OnLButtonUp();
        return TRUE;
      case WM_RBUTTONUP:
        // The bit first: the switch needs an empty capture mask.
        ReleaseButtonBit(myRIGHT);
        if (m_nRButton == myPRESSED) OnRButtonUp_Function(m_ptMouse);
        m_nRButton = myUP;
        return TRUE;
      case WM_KEYUP:
        if (wParam != VK_SPACE) return FALSE;
        if (IsCursorOverView()) OnRButtonUp_Function(m_ptMouse);
        return TRUE;
      case WM_CAPTURECHANGED:
        // Nothing is pending: no FinishWork.
        if (DropButtons(FALSE)) m_myState = myREADY;
        return TRUE;
      default:
        return NavigationMsg(msg, wParam, lParam, result);
    }
  }
  GCATCH(GetClassName(), u"::OnWndMsg()", ->AppendArg(GArgUint(msg)))
}

void COperSucker::OnLButtonDown(POINT pt) {
  try {
    const uint32_t colour = SuckColor(pt.x, pt.y);
    if (CColorBar* bar = m_pPaintSpace->GetColorBar()) MakeCurrentColour(bar, colour & 0xFFFFFFu);
    ButtonDown(myLEFT, pt);
  }
  GCATCH(GetClassName(), u"::OnLButtonDown()", ->AppendArg(GArgInt(pt.x))->AppendArg(GArgInt(pt.y)))
}

// Every pick hands back to the tool that was current before: a press seen here is a pick.
void COperSucker::OnLButtonUp() {
  try {
    if (m_nLButton != myUP) m_pPaintSpace->SelectOperator(m_pPaintSpace->GetPrevOperatorID());
    ButtonUp(myLEFT);
  }
  GCATCH(GetClassName(), u"::OnLButtonUp()")
}

void COperSucker::OnRButtonUp_Function(POINT) {
  try {
    if (m_myState == myREADY && m_pPaintSpace->GetCaptureMask() == 0)
      m_pPaintSpace->SelectOperator(m_pPaintSpace->GetPrevOperatorID());
  }
  GCATCH(GetClassName(), u"::OnRButtonUp_Function()")
}

uint32_t COperSucker::SuckColor(int x, int y) {
  try {
    return ColorAt(m_pPaintSpace, x, y);
  }
  GCATCH(GetClassName(), u"::SuckColor()", ->AppendArg(GArgInt(x))->AppendArg(GArgInt(y)))
}

namespace {

uint32_t Background(CPaintSpace* space) { return 0xFF000000u | (space->GetBackground() & 0xFFFFFFu); }

}  // namespace

uint32_t COperSucker::ColorAt(CPaintSpace* space, int x, int y) {
  POINT at;
  const int index = space->PickLayerAt(x, y, &at);
  if (index < 0) return Background(space);
  uint32_t colour;
  if (ComposedAt(space, x, y, &colour)) return colour;
  // No composed picture to read (a view without pixels): the layer's own colour there.
  return OwnColorAt(space, index, at);
}

uint32_t COperSucker::LayerColorAt(CPaintSpace* space, int x, int y) {
  POINT at;
  const int index = space->PickLayerAt(x, y, &at);
  return index < 0 ? Background(space) : OwnColorAt(space, index, at);
}

uint32_t COperSucker::OwnColorAt(CPaintSpace* space, int index, POINT at) {
  BOOL inside = FALSE;
  const uint32_t colour = space->m_pwndListLayer->GetLayer(index)->GetColor(&at, &inside);
  return inside ? colour : Background(space);
}

BOOL COperSucker::ComposedAt(CPaintSpace* space, int x, int y, uint32_t* colour) {
  GAutoLock lock(space->GetDrawLock());
  // The back buffer holds the view's picture while the composite is valid.
  if (!space->IsCompositeValid()) space->RefreshDraw(nullptr, nullptr);
  if (!space->IsCompositeValid()) return FALSE;
  LayerLock back;
  space->GetShowDevice()->GetBackBuffer(&back);
  if (!back.pPixels || x < 0 || y < 0 || x >= back.nWidth || y >= back.nHeight) return FALSE;
  uint32_t pixel;
  // Rows bottom-up.
  std::memcpy(&pixel, back.pPixels + size_t(back.nHeight - 1 - y) * back.cbRow + size_t(x) * 4, sizeof pixel);
  *colour = 0xFF000000u | (pixel & 0xFFFFFFu);
  return TRUE;
}
