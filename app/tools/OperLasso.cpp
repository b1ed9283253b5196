#include "OperLasso.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "core/DataBlocks.h"
#include "core/LayerClipboard.h"
#include "core/PaintSpace.h"
#include "core/ViewDC.h"
#include "odata/GError.h"
#include "panels/MyListLayer.h"
#include "platform/gui/Dc.h"
#include "platform/gui/Messages.h"
#include "tools/LassoLift.h"

namespace {

constexpr COLORREF kOutlinePen = 0x909090;
constexpr COLORREF kFramePen = 0x606060;
constexpr int kHandleRadius = 8;
// The frame's outline runs through the corners in this order.
constexpr int kOutlineOrder[4] = {0, 1, 3, 2};

// The context a drawing was given, or the view's own for the length of the scope.
struct ToolDC {
  std::unique_ptr<CViewDC> own;
  gui::DeviceContext* dc;
  ToolDC(CPaintSpace* space, gui::DeviceContext* given) : dc(given) {
    if (dc) return;
    own = std::make_unique<CViewDC>(space->GetHost());
    dc = own->Get();
  }
};

// The part of the segment inside clip, if any.
void DrawClipped(gui::DeviceContext* dc, POINTF a, POINTF b, const RECT& clip) {
  if (!ClipSegmentToRect(&a, &b, &clip)) return;
  dc->MoveTo(int(a.x), int(a.y));
  dc->LineTo(int(b.x), int(b.y));
}

}  // namespace

COperLasso::COperLasso() { m_nOptionToolBar = IDR_OPT_LASSO; }

COperLasso::~COperLasso() {
  if (m_cpLayer) {
    try {
      m_cpLayer->PAT_Deactivate();
    } catch (GError* e) {
      e->AddRef();
      e->Release();
    }
  }
}

UINT COperLasso::GetID() { return ID_OPER_LASSO; }

DragThresholds COperLasso::GetDragThresholds() const {
  return {{DragThreshold::myAXIS, 1}, {DragThreshold::myAXIS, 8}, {DragThreshold::myAXIS, 8}};
}

// ---------------------------------------------------------------------------------------------
// Activation and notifications

int COperLasso::Activate() {
  try {
    HandOverOptions();
    if (!m_cpLasso) {
      m_cpLasso = NewInterface<OLasso>(m_pPaintSpace->GetSystem(), u"XLasso", u"OLasso");
      GVERIFY(m_cpLasso, u"!m_cpLasso.IsValid()");
    }
    return 0;
  }
  GCATCH(GetClassName(), u"::Activate()", ->AppendArg(GArgInt(m_myState)))
}

void COperLasso::Deactivate() {
  try {
    FinishWork();
    m_cpLasso = nullptr;
  }
  GCATCH(GetClassName(), u"::Deactivate()", ->AppendArg(GArgInt(m_myState)))
}

void COperLasso::OnEnvironmentVaryNotify(const char16_t*, DWORD code, void*) {
  try {
    FinishWork();
    m_pPaintSpace->InvalidateView();
  }
  GCATCH(GetClassName(), u"::OnEnvironmentVaryNotify()", ->AppendArg(GArgUint(code)))
}

void COperLasso::FinishWork() {
  // An outline whose drag ended elsewhere is dropped.
  if (m_myState == myLASSO) m_myState = myREADY;
  try {
    PutDown();
  } catch (GError* e) {
    try {
      DropLift();
    } catch (GError* again) {
      again->AddRef();
      again->Release();
    }
    m_myState = myREADY;
    CPaintSpace* space = m_pPaintSpace;
    if (space->GetUndoStore()) space->GetUndoStore()->Clear();
    if (space->GetRedoStore()) space->GetRedoStore()->Clear();
    if (GSystem* system = space->GetSystem()) {
      system->ReportError(e);
    } else {
      e->AddRef();
      e->Release();
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Commands

BOOL COperLasso::OnCmdMsg(UINT id, CmdUIState* ui) {
  const BOOL lifted = m_myState == myLIFT ? TRUE : FALSE;
  switch (id) {
    case ID_LASSO_DOWN:
      if (ui) ui->Enable(lifted);
      else OnLassoDown();
      return TRUE;
    case ID_LASSO_CUTMODE:
      if (ui) {
        ui->Enable(TRUE);
        ui->SetCheck(m_bCutMode);
      } else {
        m_bCutMode = !m_bCutMode;
      }
      return TRUE;
    case ID_EDIT_CUT:
      if (ui) ui->Enable(lifted);
      else OnEditCut();
      return TRUE;
    case ID_EDIT_COPY:
      if (ui) ui->Enable(lifted && m_cpLayerLift ? TRUE : FALSE);
      else OnEditCopy();
      return TRUE;
    case ID_EDIT_PASTE:
      if (ui) {
        CMyListLayer* list = m_pPaintSpace->m_pwndListLayer;
        LayerClipboard* clip = list ? list->GetClipboard() : nullptr;
        OLayer* layer = list ? list->GetCurLayer() : nullptr;
        ui->Enable(layer && ClipboardPixels(clip) && layer->GetPixelSize() == clip->info.nPixelSize ? TRUE : FALSE);
      } else {
        OnEditPaste();
      }
      return TRUE;
    case ID_EDIT_UNDO:
    case ID_EDIT_REDO: {
      // Not while an outline is drawn or a piece lifted: its transaction is open.
      if (m_myState == myREADY && !ui) return FALSE;
      if (ui) {
        OUndoRecorder* store = id == ID_EDIT_UNDO ? m_pPaintSpace->GetUndoStore() : m_pPaintSpace->GetRedoStore();
        ui->Enable(m_myState == myREADY && store && store->GetStepCount() > 0 ? TRUE : FALSE);
      }
      return TRUE;
    }
    default:
      return COperation::OnCmdMsg(id, ui);
  }
}

// ---------------------------------------------------------------------------------------------
// Messages

BOOL COperLasso::OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  try {
    switch (msg) {
      case WM_PAINT:
        OnDraw();
        return TRUE;
      case WM_SETCURSOR:
        return SetToolCursor(lParam, result,
                             m_myState == myLIFT ? IDC_MOVE : m_bCutMode ? IDC_LASSO_CUT : IDC_LASSO);
      case WM_KEYUP:
        return SpaceUpAsRightClick(wParam);
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
        OnLButtonDown(MsgPoint(lParam));
        return TRUE;
      case WM_LBUTTONUP:
        OnLButtonUp();
        return TRUE;
      case WM_MOUSEMOVE:
        OnMouseMove(wParam, MsgPoint(lParam));
        return TRUE;
      case WM_RBUTTONUP:
        RightButtonUp(lParam);
        return TRUE;
      case WM_CAPTURECHANGED:
        OnCaptureChanged();
        return TRUE;
      default:
        return NavigationMsg(msg, wParam, lParam, result);
    }
  }
  GCATCH(GetClassName(), u"::OnWndMsg()", ->AppendArg(GArgUint(msg))->AppendArg(GArgInt(m_myState)))
}

POINTF COperLasso::ClientToSpace(float x, float y) const {
  const float in[2] = {x, y};
  float out[2];
  m_pPaintSpace->GetShowDevice()->ClientToSpace(out, in, m_pPaintSpace->m_pTransform);
  return POINTF{out[0], out[1]};
}

POINTF COperLasso::SpaceToClient(const POINTF& p) const {
  const float in[2] = {p.x, p.y};
  float out[2];
  m_pPaintSpace->GetShowDevice()->SpaceToClient(out, in, m_pPaintSpace->m_pTransform);
  return POINTF{out[0], out[1]};
}

int COperLasso::HitTest(POINT pt) const {
  POINTF corners[4];
  m_rrFrame.GetCorners(corners);
  POINTF client[4];
  for (int k = 0; k < 4; ++k) client[k] = SpaceToClient(corners[k]);
  int hit = 0;
  for (int k = 0; k < 4; ++k)
    if (std::hypot(client[k].x - float(pt.x), client[k].y - float(pt.y)) < kCornerReach) {
      hit = kHitCorner | k;
      break;
    }
  float xy[8];
  for (int k = 0; k < 4; ++k) xy[2 * k] = client[kOutlineOrder[k]].x, xy[2 * k + 1] = client[kOutlineOrder[k]].y;
  if (IsInsideByWinding(double(pt.x), double(pt.y), xy, 4)) hit |= kHitInside;
  return hit;
}

void COperLasso::OnLButtonDown(POINT pt) {
  try {
    switch (m_myState) {
      case myREADY: {
        CMyListLayer* list = m_pPaintSpace->m_pwndListLayer;
        if (list && list->CheckWritable(FALSE)) {
          m_qLasso.clear();
          m_myState = myLASSO;
        }
        break;
      }
      case myLIFT:
        m_rrFrame.GetCorners(m_aptDown);
        std::copy(m_aptDown, m_aptDown + 4, m_aptLast);
        m_rrFrameSaved = m_rrFrame;
        m_nHit = HitTest(pt);
        if (m_nHit & kHitCorner) m_bRotate = (m_nHit & kHitInside) ? FALSE : TRUE;
        break;
      default:
        GTHROW(u"should not get here!");
    }
    ButtonDown(myLEFT, pt);
  }
  GCATCH(GetClassName(), u"::OnLButtonDown()", ->AppendArg(GArgInt(pt.x))->AppendArg(GArgInt(pt.y)))
}

void COperLasso::OnLButtonUp() {
  try {
    ReleaseButtonBit(myLEFT);
    const bool dragged = m_nLButton == myDRAGGING;
    m_nLButton = myUP;
    if (m_myState == myLASSO) {
      m_myState = myREADY;
      m_pPaintSpace->InvalidateView();
      LiftUp();
      if (m_bCutMode && m_myState == myLIFT) {
        PutDownFromCut();
        FullRedraw();
      }
    } else if (m_myState == myLIFT && dragged) {
      Impress(FALSE);
      FullRedraw();
    }
  }
  GCATCH(GetClassName(), u"::OnLButtonUp()", ->AppendArg(GArgInt(m_myState)))
}

void COperLasso::DragFrame(POINT pt) {
  const POINTF s = ClientToSpace(float(pt.x), float(pt.y));
  const float dx = std::floor(s.x) - m_ptDownSpace.x, dy = std::floor(s.y) - m_ptDownSpace.y;
  if (!IsSoundFrame(m_rrFrame)) return;
  if (m_nHit & kHitCorner) {
    const int c = m_nHit & 0x3, o = 3 - c;
    const POINTF to{m_aptDown[c].x + dx, m_aptDown[c].y + dy};
    RotatedRect next = m_rrFrame;
    next.Drag(o, &m_aptDown[o], &to, m_bRotate ? 1 : 0);
    if (IsSoundFrame(next)) m_rrFrame = next;
  } else {
    m_rrFrame.x = m_aptDown[m_rrFrame.anchor].x + dx;
    m_rrFrame.y = m_aptDown[m_rrFrame.anchor].y + dy;
  }
}

void COperLasso::OnMouseMove(WPARAM wParam, POINT pt) {
  try {
    const DWORD moved = MouseMove(wParam, pt);
    if (moved & myMOVE_DROPPED) return;
    if (moved & myMOVE_LDRAG) {
      const POINTF down = ClientToSpace(float(m_ptLButton.x), float(m_ptLButton.y));
      m_ptDownSpace = POINTF{std::floor(down.x), std::floor(down.y)};
    }
    if (m_nLButton == myDRAGGING) {
      if (m_myState == myLASSO) {
        m_qLasso.push_front(ClientToSpace(float(pt.x), float(pt.y)));
        DrawOutline(nullptr, 2);
      } else if (m_myState == myLIFT) {
        DragFrame(pt);
        DrawFrame(nullptr, TRUE);
      }
    } else if (m_nMButton == myDRAGGING || m_nRButton == myDRAGGING) {
      // The view is composed again; its paint draws the frame and the outline afresh.
      m_bFrameShown = FALSE;
    }
  }
  GCATCH(GetClassName(), u"::OnMouseMove()", ->AppendArg(GArgInt(pt.x))->AppendArg(GArgInt(pt.y)))
}

void COperLasso::OnRButtonUp_Function(POINT pt) {
  try {
    if (m_myState == myLASSO && m_nLButton != myUP) {
      m_myState = myREADY;
      m_qLasso.clear();
      m_pPaintSpace->InvalidateView(TRUE);
    } else if (m_myState == myLIFT) {
      if (m_nLButton == myDRAGGING) {
        // The frame as it was at the press; the drag is over.
        m_rrFrame = m_rrFrameSaved;
        m_nLButton = myUP;
      } else {
        PutDown();
      }
      FullRedraw();
    } else if (m_myState == myREADY) {
      ShowRingMenu(pt);
    }
  }
  GCATCH(GetClassName(), u"::OnRButtonUp_Function()", ->AppendArg(GArgInt(pt.x))->AppendArg(GArgInt(pt.y)))
}

void COperLasso::OnCaptureChanged() {
  if (!m_pPaintSpace->GetCaptureMask()) return;
  if (m_myState == myLASSO) {
    m_myState = myREADY;
    m_qLasso.clear();
  } else if (m_myState == myLIFT && m_nLButton == myDRAGGING) {
    m_rrFrame = m_rrFrameSaved;
  }
  DropButtons(FALSE);
  FullRedraw();
}

// ---------------------------------------------------------------------------------------------
// Drawing

void COperLasso::FullRedraw() {
  m_bFrameShown = FALSE;
  m_pPaintSpace->InvalidateComposite();
  m_pPaintSpace->InvalidateView();
}

void COperLasso::OnDraw() {
  m_pPaintSpace->OnDraw(nullptr);
  m_bFrameShown = FALSE;
  CViewDC dc(m_pPaintSpace->GetHost());
  DrawFrame(dc.Get(), TRUE);
  DrawOutline(dc.Get(), kPaintedPoints);
}

void COperLasso::DrawOutline(gui::DeviceContext* dc, int count) {
  if (m_myState != myLASSO || m_qLasso.size() < 2) return;
  ToolDC target(m_pPaintSpace, dc);
  if (!target.dc) return;
  const ViewTransform* view = m_pPaintSpace->m_pTransform;
  const RECT clip{1, 1, LONG(view->clientWidth) - 2, LONG(view->clientHeight) - 2};
  const int oldRop = target.dc->SetROP2(gui::R2_XORPEN);
  target.dc->SetPen(gui::PS_SOLID, kOutlinePen);
  const size_t n = std::min(m_qLasso.size(), size_t(count));
  for (size_t i = 0; i + 1 < n; ++i)
    DrawClipped(target.dc, SpaceToClient(m_qLasso[i]), SpaceToClient(m_qLasso[i + 1]), clip);
  target.dc->SetROP2(oldRop);
}

void COperLasso::DrawFrame(gui::DeviceContext* viewDc, BOOL show) {
  if (m_myState != myLIFT && !m_bFrameShown) return;
  ToolDC target(m_pPaintSpace, viewDc);
  gui::DeviceContext* dc = target.dc;
  if (!dc) return;
  const ViewTransform* view = m_pPaintSpace->m_pTransform;
  const RECT clip{0, 0, LONG(view->clientWidth) - 1, LONG(view->clientHeight) - 1};
  const int oldRop = dc->SetROP2(gui::R2_NOTXORPEN);
  dc->SetPen(gui::PS_SOLID, kFramePen);
  const auto draw = [&](const POINTF* c) {
    for (int k = 0; k < 4; ++k) DrawClipped(dc, c[kOutlineOrder[k]], c[kOutlineOrder[(k + 1) % 4]], clip);
    for (int k = 0; k < 4; ++k) {
      const int x = int(c[k].x), y = int(c[k].y);
      if (x < clip.left - 4 || y < clip.top - 4 || x > clip.right + 4 || y > clip.bottom + 4) continue;
      dc->MoveTo(x + kHandleRadius, y);
      dc->AngleArc(x, y, kHandleRadius, 0.0f, 360.0f);
    }
  };
  if (m_bFrameShown) {
    draw(m_aptShown);
    m_bFrameShown = FALSE;
  }
  if (show && m_myState == myLIFT) {
    POINTF corners[4];
    m_rrFrame.GetCorners(corners);
    for (int k = 0; k < 4; ++k) m_aptShown[k] = SpaceToClient(corners[k]);
    draw(m_aptShown);
    m_bFrameShown = TRUE;
  }
  dc->SetROP2(oldRop);
}

// ---------------------------------------------------------------------------------------------
// Ring menu

COperLasso::XMenu::XMenu(COperLasso* tool) : CFunctionMenu(IDB_RING_LASSO), m_pTool(tool) {}

const char16_t* COperLasso::XMenu::GetLabel(UINT item, int state) {
  if (state <= 0) return u"";
  switch (item) {
    case 4: return u"选择图层";
    case 9: return u"操作切换";
    case FLOWER_SECTOR_TOPLEFT: return u"辙消";
    case FLOWER_SECTOR_BOTTOMRIGHT: return u"视觉翻转";
    case FLOWER_SECTOR_BOTTOMLEFT: return u"模式切换";
    default: return u"";
  }
}

void COperLasso::XMenu::Run(int, int, UINT item, DWORD) {
  CPaintSpace* space = m_pTool->m_pPaintSpace;
  const POINT at = m_pTool->m_ptRButton;
  switch (item) {
    case 4: space->OnFlowerSelectLayer(at.x, at.y); break;
    case 9: space->SelectOperator(space->GetPrevOperatorID()); break;
    case FLOWER_SECTOR_TOPLEFT: space->Undo(1); break;
    case FLOWER_SECTOR_BOTTOMRIGHT: space->FlipViewAt(at.x, at.y); break;
    case FLOWER_SECTOR_BOTTOMLEFT: space->OnCmdMsg(ID_LASSO_CUTMODE, nullptr); break;
    default: break;
  }
}
