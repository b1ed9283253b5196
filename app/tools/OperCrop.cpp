#include "OperCrop.h"

#include <algorithm>

#include "core/DataBlocks.h"
#include "core/PaintSpace.h"
#include "core/ShellServices.h"
#include "frame/ResourceIds.h"
#include "odata/GError.h"
#include "panels/MyListLayer.h"

namespace {

const char16_t* const kNotCurrent = u"!poLayer==m_pPaintSpace->m_pwndListLayer->GetLayer(nSel)";

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace

COperCrop::COperCrop() : COperFrameDrag(IDB_RING_CROP, TRUE, IDR_OPT_CROP, ID_CROP_NOMAGNET) {}

COperCrop::~COperCrop() = default;

UINT COperCrop::GetID() { return ID_OPER_CROP; }

void COperCrop::OnFrameDone() {
  CPaintSpace* space = m_pPaintSpace;
  CMyListLayer* list = space->m_pwndListLayer;
  IShellServices* shell = space->GetShell();
  if (!list || !shell) return;
  const RECT dragged = RectFromCorners(m_ptStart, m_ptEnd);
  RECT layerRect{0, 0, 0, 0};
  if (OLayer* current = list->GetCurLayer()) current->GetRect(&layerRect);
  const RECT whole{0, 0, LONG(space->GetWidth()), LONG(space->GetHeight())};
  CropQuestion q{std::clamp<int>(int(dragged.right - dragged.left), 1, int(LYR_MAX_WIDTH)),
                 std::clamp<int>(int(dragged.bottom - dragged.top), 1, int(LYR_MAX_HEIGHT)),
                 list->CheckWritable(FALSE), list->GetCurLayer() && SameRect(dragged, layerRect),
                 SameRect(dragged, whole)};
  const int action = shell->AskCrop(&q);
  const int width = std::clamp(q.nWidth, 1, int(LYR_MAX_WIDTH));
  const int height = std::clamp(q.nHeight, 1, int(LYR_MAX_HEIGHT));
  const RECT rc = RectFromCorner(m_ptStart, m_ptEnd, width, height);
  switch (action) {
    case myCROP_SPACE: TrimSpace(rc); break;
    case myCROP_LAYER:
    case myCROP_TILE:
    case myCROP_MIRROR: TrimLayer(rc, action - myCROP_LAYER); break;
    default: break;
  }
}

void COperCrop::TrimSpace(const RECT& rc) {
  CPaintSpace* space = m_pPaintSpace;
  const RECT whole{0, 0, LONG(space->GetWidth()), LONG(space->GetHeight())};
  if (SameRect(rc, whole)) return;
  const int width = int(rc.right - rc.left), height = int(rc.bottom - rc.top);
  if (!space->m_pwndListLayer->CheckMemory(width, height, OLayer::myFORMAT_A16, -1)) return;
  space->Reposition(RECT{rc.left, rc.top, LONG(width), LONG(height)}, u"修剪>空间");
}

void COperCrop::TrimLayer(const RECT& rc, int mode) {
  CMyListLayer* list = m_pPaintSpace->m_pwndListLayer;
  const int row = list->GetCurSel();
  OLayer* layer = list->GetLayer(row);
  // The dialog offers no layer action on a protected layer; the tool holds to that too.
  if (!layer || !list->CheckWritable(FALSE)) return;
  if (!list->CheckMemory(int(rc.right - rc.left), int(rc.bottom - rc.top), layer->GetFormat(), row)) return;
  RECT old;
  layer->GetRect(&old);
  if (SameRect(rc, old)) return;
  GCompRef<OLayer> clipped = ClipInPlace(layer, rc, mode);
  clipped->MipRefresh(nullptr);
  GCompRef<OData> backup(layer->Backup(nullptr));
  CToolUndoWriter step(m_pPaintSpace, row, layer, kNotCurrent);
  step.WriteInt(mode).WriteInt(rc.left).WriteInt(rc.top).WriteInt(rc.right).WriteInt(rc.bottom).AddData(backup);
  step.Commit(&m_parts.m_xUndoInner, kTagLayer, u"修剪>图层");
  ReplaceRow(row, clipped);
  list->SetCurSelect(row);
}

GCompRef<OLayer> COperCrop::ClipInPlace(OLayer* layer, const RECT& rc, int mode) {
  // A new component comes without a reference: this one is the first.
  GCompRef<OLayer> clipped(layer->Clip(&rc, mode));
  GVERIFY(clipped, u"!poLayerNew");
  // Later steps find the layer by its ID; its marks (nest, source ...) stay with it.
  clipped->SetID(layer->GetID());
  clipped->SetFlags(layer->GetFlags());
  return clipped;
}

void COperCrop::ReplaceRow(int row, OLayer* layer) {
  GAutoLock lock(m_pPaintSpace->GetDrawLock());
  m_pPaintSpace->m_pwndListLayer->SetLayer(row, layer);
}

BOOL COperCrop::ApplyUndoStep(CToolUndoReplay& step) {
  if (step.GetTag() != kTagLayer) return FALSE;
  const int mode = step.ReadInt();
  RECT rc;
  rc.left = step.ReadInt();
  rc.top = step.ReadInt();
  rc.right = step.ReadInt();
  rc.bottom = step.ReadInt();
  OLayer* layer = step.GetLayer();
  layer->AddChangeFlags(LYR_CHANGE_SIZE);
  GCompRef<OLayer> replacement;
  if (!step.IsRedo()) {
    OData* backup = step.NextData();
    GVERIFY(backup, u"!poData");
    replacement = NewInterface<OLayer>(m_pPaintSpace->GetSystem(), u"Morvane", u"OLayer__");
    GVERIFY(replacement, u"!cpLayer.IsValid()");
    backup->Rewind();
    GVERIFY(replacement->Restore(backup, m_pPaintSpace->GetShowDevice()), u"!cpLayer->Restore(poData,m_pShowDevice)");
  } else {
    step.AddInverse(layer->Backup(nullptr));
    replacement = ClipInPlace(layer, rc, mode);
  }
  replacement->AddChangeFlags(LYR_CHANGE_NEW);
  replacement->PAT_MarkSet(nullptr, nullptr);
  replacement->MipRefresh(nullptr);
  ReplaceRow(step.GetSel(), replacement);
  return TRUE;
}
