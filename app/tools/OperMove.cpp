#include "OperMove.h"

#include <cmath>

#include "core/PaintSpace.h"
#include "frame/ResourceIds.h"
#include "odata/GError.h"
#include "panels/MyListLayer.h"

namespace {
const char16_t* const kNotInList = u"!m_poLayer==m_pPaintSpace->m_pwndListLayer->GetLayer(nSel)";
}  // namespace

COperMove::COperMove() : COperLeftDrag(IDC_MOVE), m_menu(this, IDB_RING_MOVE, FALSE) { m_nOptionToolBar = IDR_OPT_MOVE; }

COperMove::~COperMove() = default;

UINT COperMove::GetID() { return ID_OPER_MOVE; }

DragThresholds COperMove::GetDragThresholds() const {
  return {{DragThreshold::myAXIS, 1}, {DragThreshold::myAXIS, 0}, {DragThreshold::myAXIS, 0}};
}

BOOL COperMove::OnCmdMsg(UINT id, CmdUIState* ui) {
  BOOL* flag = id == ID_MOVE_NOMAGNET ? &m_bNoMagnet : id == ID_MOVE_KEEPLAYER ? &m_bKeepLayer : nullptr;
  if (!flag) return COperation::OnCmdMsg(id, ui);
  if (ui) {
    ui->Enable(TRUE);
    ui->SetCheck(*flag);
  } else {
    *flag = !*flag;
  }
  return TRUE;
}

void COperMove::OnEnvironmentVaryNotify(const char16_t*, DWORD, void*) {
  try {
    FinishWork();
  }
  GCATCH(GetClassName(), u"::OnEnvironmentVaryNotify()")
}

void COperMove::FinishWork() {
  try {
    EndMove(TRUE);
  }
  GCATCH(GetClassName(), u"::FinishWork()", ->AppendArg(GArgInt(m_myState)))
}

void COperMove::OnCaptureLost() {
  try {
    EndMove(FALSE);
  }
  GCATCH(GetClassName(), u"::OnCaptureLost()", ->AppendArg(GArgInt(m_myState)))
}

POINT COperMove::SpacePixel(POINT pt) const {
  // The pixel whose area holds the centre of the client pixel.
  const float in[2] = {float(pt.x) + 0.5f, float(pt.y) + 0.5f};
  float out[2];
  m_pPaintSpace->GetShowDevice()->ClientToSpace(out, in, m_pPaintSpace->m_pTransform);
  return POINT{LONG(std::floor(out[0])), LONG(std::floor(out[1]))};
}

void COperMove::OnLButtonDown(POINT pt) {
  try {
    m_cpLayer = nullptr;
    m_snap.Fill(m_pPaintSpace);
    PickLayer(pt);
    ButtonDown(myLEFT, pt);
  }
  GCATCH(GetClassName(), u"::OnLButtonDown()", ->AppendArg(GArgInt(pt.x))->AppendArg(GArgInt(pt.y)))
}

void COperMove::PickLayer(POINT pt) {
  CMyListLayer* list = m_pPaintSpace->m_pwndListLayer;
  if (!list || list->GetCount() < 1) return;
  if (m_bKeepLayer) {
    if (OLayer* current = list->GetCurLayer()) {
      const POINT p = SpacePixel(pt);
      RECT r;
      current->GetRect(&r);
      if (p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom) return;
    }
  }
  m_pPaintSpace->OnFlowerSelectLayer(pt.x, pt.y);
}

void COperMove::OnMouseMove(WPARAM wParam, POINT pt) {
  try {
    const DWORD moved = MouseMove(wParam, pt);
    if (moved & myMOVE_DROPPED) return;
    if (moved & myMOVE_LDRAG) BeginMove();
    // Panning and turning the view come before moving.
    if (m_nMButton == myDRAGGING || m_nRButton == myDRAGGING) return;
    if (m_nLButton != myDRAGGING || m_myState != myMOVING) return;
    SetLayerPosition(m_cpLayer, SnapPosition(pt));
    GAutoLock lock(m_pPaintSpace->GetDrawLock());
    m_pPaintSpace->RefreshDraw(nullptr, nullptr);
  }
  GCATCH(GetClassName(), u"::OnMouseMove()", ->AppendArg(GArgInt(pt.x))->AppendArg(GArgInt(pt.y)))
}

void COperMove::BeginMove() {
  CMyListLayer* list = m_pPaintSpace->m_pwndListLayer;
  m_cpLayer = list ? list->GetCurLayer() : nullptr;
  if (!m_cpLayer) return;
  m_cpLayer->SavePosition();
  m_ptGrab = SpacePixel(m_ptLButton);
  m_myState = myMOVING;
}

POINT COperMove::SnapPosition(POINT pt) {
  const POINT p = SpacePixel(pt);
  POINT saved;
  m_cpLayer->GetPosition(&saved, TRUE);
  float left = float(saved.x + (p.x - m_ptGrab.x));
  float top = float(saved.y + (p.y - m_ptGrab.y));
  if (!m_bNoMagnet) {
    const float t = CSnapLines::Tolerance(m_pPaintSpace);
    left = CSnapLines::SnapSpan(m_snap.m_aSnapX, left, float(m_cpLayer->GetWidth()), t);
    top = CSnapLines::SnapSpan(m_snap.m_aSnapY, top, float(m_cpLayer->GetHeight()), t);
  }
  return POINT{LONG(left), LONG(top)};
}

void COperMove::SetLayerPosition(OLayer* layer, POINT at) {
  // The worker's pass reads the position.
  GAutoLock lock(m_pPaintSpace->GetDrawLock());
  layer->SetPosition(int(at.x), int(at.y), FALSE);
}

void COperMove::OnLButtonUp() {
  try {
    EndMove(TRUE);
  }
  GCATCH(GetClassName(), u"::OnLButtonUp()", ->AppendArg(GArgInt(m_myState)))
}

void COperMove::OnRButtonUp_Function(POINT pt) {
  try {
    if (m_myState == myREADY) ShowRingMenu(pt);
    else EndMove(FALSE);
  }
  GCATCH(GetClassName(), u"::OnRButtonUp_Function()", ->AppendArg(GArgInt(m_myState)))
}

int COperMove::RowOf(OLayer* layer) const {
  CMyListLayer* list = m_pPaintSpace->m_pwndListLayer;
  for (int i = list ? list->GetCount() - 1 : -1; i >= 0; --i)
    if (list->GetLayer(i) == layer) return i;
  return -1;
}

void COperMove::EndMove(BOOL commit) {
  if (m_myState != myMOVING) return;
  m_myState = myREADY;
  // The step is written for the layer's own row: the selection may have moved on meanwhile.
  GCompRef<OLayer> layer = std::move(m_cpLayer);
  POINT old, now;
  layer->GetPosition(&old, TRUE);
  layer->GetPosition(&now, FALSE);
  if (!commit) {
    SetLayerPosition(layer, old);
  } else if (old.x != now.x || old.y != now.y) {
    const int row = RowOf(layer);
    // A layer no longer in the list has no place an undo could find it again.
    if (row >= 0) {
      CToolUndoWriter step(m_pPaintSpace, row, layer, kNotInList);
      step.WriteInt(int32_t(old.x)).WriteInt(int32_t(old.y)).WriteInt(int32_t(now.x)).WriteInt(int32_t(now.y));
      step.Commit(&m_parts.m_xUndoInner, kTagMove, u"移动");
    }
    layer->MipRefresh(nullptr);
  }
  m_pPaintSpace->InvalidateComposite();
  m_pPaintSpace->InvalidateView();
}

BOOL COperMove::ApplyUndoStep(CToolUndoReplay& step) {
  if (step.GetTag() != kTagMove) return FALSE;
  POINT old, now;
  old.x = step.ReadInt();
  old.y = step.ReadInt();
  now.x = step.ReadInt();
  now.y = step.ReadInt();
  OLayer* layer = step.GetLayer();
  layer->AddChangeFlags(LYR_CHANGE_POSITION);
  SetLayerPosition(layer, step.IsRedo() ? now : old);
  return TRUE;
}
