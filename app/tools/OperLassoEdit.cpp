// The surgery tool's edits: the lift and the paste, the mappings into the layer, the
// put-down and the cut with their steps, and the clipboard.
#include <algorithm>
#include <cmath>

#include "core/DataBlocks.h"
#include "core/JobRunner.h"
#include "core/LayerClipboard.h"
#include "core/PaintSpace.h"
#include "odata/GError.h"
#include "odata/OShape.h"
#include "panels/MyListLayer.h"
#include "tools/LassoLift.h"
#include "tools/OperLasso.h"
#include "tools/OutlineFill.h"

namespace {

const char16_t* const kNotInList = u"!m_cpLayer.m_ptr==m_pPaintSpace->m_pwndListLayer->GetLayer(nSel)";
const char16_t* const kLabel = u"手术";
const char16_t* const kLabelPaste = u"手术>粘贴";
const char16_t* const kLabelCut = u"手术>剪切";
const char16_t* const kLabelJob = u"帖合";
constexpr int kFactor = 8;

// The filler goes back to its ready state however the lift ends.
struct FillerReset {
  OShape* filler;
  ~FillerReset() { filler->Reset(); }
};

// A piece's image record: its description and pixels, locked by nobody.
void SetImage(LayerLock& img, const LayerInfo& info, BYTE* pixels) {
  static_cast<LayerInfo&>(img) = info;
  img.pPixels = pixels;
  img.cbRow = uint32_t(info.nPitch) * uint32_t(info.nPixelSize);
  img.pLayer = nullptr;
}

RECT Union(const RECT& a, const RECT& b) {
  return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
              std::max(a.bottom, b.bottom)};
}

bool Overlaps(const RECT& a, const RECT& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Lift and paste

void COperLasso::LiftUp() {
  try {
    CPaintSpace* space = m_pPaintSpace;
    CMyListLayer* list = space->m_pwndListLayer;
    OLayer* layer = list ? list->GetCurLayer() : nullptr;
    if (!layer || m_myState != myREADY) return;
    RECT rc;
    layer->GetRect(&rc);
    // The outline stays as drawn; its clipped copy is what is lifted.
    std::deque<POINTF> outline = m_qLasso;
    if (!ClipPolygonToRect(&outline, &rc)) return;
    if (rc.left >= rc.right || rc.top >= rc.bottom || outline.size() < 4) return;

    GCompRef<OShape> filler = NewShapeFiller(space);
    FillerReset reset{filler};
    filler->CollectBegin(kFactor);
    for (const POINTF& p : outline) {
      const float xy[2] = {p.x, p.y};
      filler->Collect(xy, FALSE);
    }
    if (!filler->CollectEnd()) return;

    GCompRef<OLayer> piece = layer->Clip(&rc, 0);
    GCompRef<OLayer> mask = space->GetShowDevice()->CreateLayer(int(rc.right - rc.left), int(rc.bottom - rc.top),
                                                                 OLayer::myFORMAT_A16, 0);
    mask->SetPosition(rc.left, rc.top, FALSE);
    {
      LayerLock lp, lm;
      GCHECK(lp.Lock(piece, 0));
      GCHECK(lm.Lock(mask, 0));
      CutPieceByCoverage(filler, rc, lp, lm);
      SetImage(m_imgLift, lp, lp.pPixels);
    }

    BeginLift(layer, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, FALSE);
    m_cpLayerLift = piece;
    m_cpLayerAlpha = mask;
    m_bImpressed = FALSE;
    space->InvalidateView();
  }
  GCATCH(GetClassName(), u"::LiftUp()", ->AppendArg(GArgInt(m_myState)))
}

void COperLasso::BeginLift(OLayer* layer, LONG left, LONG top, LONG width, LONG height, BOOL fromPaste) {
  const RECT grown{left - 1, top - 1, left + width + 1, top + height + 1};
  m_rrFrame.SetRect(&grown);
  m_rrFrame.GetCorners(m_aptLast);
  {
    GAutoLock lock(m_pPaintSpace->GetDrawLock());
    layer->PAT_PrepareActivate(PAT_F_BACKUP, nullptr);
  }
  m_cpLayer = layer;
  m_myState = myLIFT;
  m_bFromPaste = fromPaste;
  m_bFrameShown = FALSE;
}

void COperLasso::LiftUpFromPaste() {
  try {
    GVERIFY(m_myState == myREADY, u"!m_myState==myREADY");
    CPaintSpace* space = m_pPaintSpace;
    CMyListLayer* list = space->m_pwndListLayer;
    if (!list || !list->CheckWritable(TRUE)) return;
    LayerClipboard* clip = list->GetClipboard();
    BYTE* pixels = ClipboardPixels(clip);
    OLayer* layer = list->GetCurLayer();
    if (!pixels || !layer || layer->GetPixelSize() != clip->info.nPixelSize) return;

    const LayerInfo& info = clip->info;
    RECT lr;
    layer->GetRect(&lr);
    const ViewTransform* t = space->m_pTransform;
    const int64_t cx = std::clamp<int64_t>(int64_t(t->centreX), lr.left, int64_t(lr.right) - 1);
    const int64_t cy = std::clamp<int64_t>(int64_t(t->centreY), lr.top, int64_t(lr.bottom) - 1);
    // The block stays alive under the piece whatever the clipboard does meanwhile.
    m_cpPasteData = clip->cpData;
    SetImage(m_imgLift, info, pixels);
    BeginLift(layer, LONG(cx - info.nWidth / 2), LONG(cy - info.nHeight / 2), info.nWidth, info.nHeight, TRUE);
    try {
      Impress(FALSE);
    } catch (...) {
      DropLift();
      throw;
    }
    m_bImpressed = TRUE;
    FullRedraw();
  }
  GCATCH(GetClassName(), u"::LiftUpFromPaste()", ->AppendArg(GArgInt(m_myState)))
}

// ---------------------------------------------------------------------------------------------
// Mapping

RECT COperLasso::TurnBack(const RECT& rc) {
  OLayer* layer = m_cpLayer;
  RECT marked;
  layer->PAT_MarkClear();
  layer->PAT_MarkSet(&rc, &marked);
  layer->PAT_Turn(TRUE);
  if (m_cpLayerAlpha) {
    LayerLock dest, mask;
    GCHECK(dest.Lock(layer, LYR_LOCK_MARKED));
    GCHECK(mask.Lock(m_cpLayerAlpha, LYR_LOCK_READ));
    EraseUnderMask(dest, mask, marked);
  }
  return marked;
}

BOOL COperLasso::RunMappingJob(const LayerLock& dest, const float quad[8]) {
  CPaintSpace* space = m_pPaintSpace;
  OWorker* worker = space->GetWorker();
  if (!worker) return FALSE;
  worker->Wait(FALSE);
  if (!worker->IsReady()) return FALSE;
  JobRecord& job = space->m_job;
  m_cpLasso->Impress(&dest, &m_imgLift, quad, &job);
  ILayerAsk* ask = space->m_pwndListLayer ? space->m_pwndListLayer->GetAsk() : nullptr;
  CJobRunner* runner = RunnerOrHeadless(ask ? ask->GetJobRunner() : nullptr);
  uint32_t flags = 0;
  const int32_t result = runner->Run(worker, &job, kLabelJob, 0, &flags);
  return result == 1 && !(flags & (JOB_ABORT | JOB_FAILED));
}

BOOL COperLasso::Impress(BOOL withJob) {
  try {
    GVERIFY(m_myState == myLIFT, u"!m_myState==myLIFT");
    GVERIFY(m_cpLasso, u"!m_cpLasso.IsValid()");
    if (!IsSoundFrame(m_rrFrame)) return FALSE;
    m_bImpressed = TRUE;
    CPaintSpace* space = m_pPaintSpace;
    OLayer* layer = m_cpLayer;
    const RECT old = CornerBox(m_aptLast);
    m_rrFrame.GetCorners(m_aptLast);
    const RECT now = CornerBox(m_aptLast);
    float quad[8];
    for (int k = 0; k < 4; ++k) quad[2 * k] = m_aptLast[k].x, quad[2 * k + 1] = m_aptLast[k].y;
    RECT lr;
    layer->GetRect(&lr);

    BOOL done = TRUE;
    {
      GAutoLock lock(space->GetDrawLock());
      TurnBack(old);
      // The mapping writes inside the new frame's box only: its blocks are marked first.
      layer->PAT_MarkSet(&now, nullptr);
    }
    if (Overlaps(now, lr)) {
      if (withJob) {
        // The job draws while the UI waits behind the progress display; a redraw of the view
        // meanwhile reads the layer as it is.
        LayerLock dest;
        GCHECK(dest.Lock(layer, LYR_LOCK_MARKED));
        done = RunMappingJob(dest, quad);
      }
      GAutoLock lock(space->GetDrawLock());
      if (!done) {
        // Rows of the cancelled job may be drawn already: both frames' blocks go back to the
        // lift (with the hole) before the fast mapping, so the piece shows once.
        TurnBack(Union(old, now));
      }
      if (!withJob || !done) {
        LayerLock dest;
        GCHECK(dest.Lock(layer, LYR_LOCK_MARKED));
        m_cpLasso->Impress(&dest, &m_imgLift, quad, nullptr);
      }
    }
    GAutoLock lock(space->GetDrawLock());
    layer->PAT_MarkMipRefresh();
    layer->AddChangeFlags(LYR_CHANGE_PIXELS);
    return done;
  }
  GCATCH(GetClassName(), u"::Impress()", ->AppendArg(GArgInt(m_myState))->AppendArg(GArgInt(withJob)))
}

// ---------------------------------------------------------------------------------------------
// Put down and cut

int COperLasso::EditedRow() const {
  GVERIFY(m_cpLayer.IsValid(), u"!m_cpLayer.IsValid()");
  // The layer's own row: the selection may have moved on before the list told the tool.
  CMyListLayer* list = m_pPaintSpace->m_pwndListLayer;
  for (int i = list ? list->GetCount() - 1 : -1; i >= 0; --i)
    if (list->GetLayer(i) == m_cpLayer.get()) return i;
  GTHROW(kNotInList);
}

void COperLasso::WriteStep(int row, const char16_t* label) {
  OLayer* layer = m_cpLayer;
  CToolUndoWriter step(m_pPaintSpace, row, layer, kNotInList);
  GCompRef<OData> blocks;
  {
    GAutoLock lock(m_pPaintSpace->GetDrawLock());
    blocks = layer->PAT_Backup(TRUE);
  }
  step.AddData(blocks);
  step.Commit(&m_parts.m_xUndoInner, kTagSurgery, label);
  m_pPaintSpace->m_pwndListLayer->MarkChanged(row);
}

void COperLasso::DropLift() {
  if (m_cpLayer) {
    GAutoLock lock(m_pPaintSpace->GetDrawLock());
    m_cpLayer->PAT_MarkClear();
    m_cpLayer->PAT_Deactivate();
  }
  m_cpLayer = nullptr;
  m_cpLayerLift = nullptr;
  m_cpLayerAlpha = nullptr;
  m_cpPasteData = nullptr;
  SetImage(m_imgLift, LayerInfo{}, nullptr);
  m_myState = myREADY;
  m_bFrameShown = FALSE;
}

void COperLasso::PutDown() {
  try {
    if (m_myState != myLIFT) return;
    const int row = EditedRow();
    OLayer* layer = m_cpLayer;
    {
      GAutoLock lock(m_pPaintSpace->GetDrawLock());
      layer->PAT_MarkClear();
      const RECT box = CornerBox(m_aptLast);
      layer->PAT_MarkSet(&box, nullptr);
      if (m_cpLayerAlpha) {
        RECT hole;
        m_cpLayerAlpha->GetRect(&hole);
        layer->PAT_MarkSet(&hole, nullptr);
      }
    }
    m_pPaintSpace->GetRedoStore()->Clear();
    if (m_bImpressed) WriteStep(row, m_bFromPaste ? kLabelPaste : kLabel);
    DropLift();
  }
  GCATCH(GetClassName(), u"::PutDown()", ->AppendArg(GArgInt(m_myState)))
}

void COperLasso::PutDownFromCut() {
  try {
    if (m_myState != myLIFT) return;
    const int row = EditedRow();
    OLayer* layer = m_cpLayer;
    const RECT box = CornerBox(m_aptLast);
    if (m_bFromPaste) {
      // The paste leaves no trace.
      {
        GAutoLock lock(m_pPaintSpace->GetDrawLock());
        TurnBack(box);
        layer->PAT_MarkMipRefresh();
      }
      m_pPaintSpace->GetRedoStore()->Clear();
    } else {
      GVERIFY(m_cpLayerAlpha, u"!m_cpLayerAlpha.IsValid()");
      {
        GAutoLock lock(m_pPaintSpace->GetDrawLock());
        TurnBack(box);
        layer->PAT_MarkMipRefresh();
        layer->AddChangeFlags(LYR_CHANGE_PIXELS);
        // Outside the hole every block is as it was at the lift.
        RECT hole;
        m_cpLayerAlpha->GetRect(&hole);
        layer->PAT_MarkClear();
        layer->PAT_MarkSet(&hole, nullptr);
      }
      WriteStep(row, kLabelCut);
    }
    DropLift();
  }
  GCATCH(GetClassName(), u"::PutDownFromCut()", ->AppendArg(GArgInt(m_myState)))
}

BOOL COperLasso::ApplyUndoStep(CToolUndoReplay& step) {
  if (step.GetTag() != kTagSurgery) return FALSE;
  step.ReplayBlocks();
  return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Commands

void COperLasso::OnLassoDown() {
  try {
    if (m_myState != myLIFT) return;
    if (!m_bImpressed) PutDown();
    else if (Impress(TRUE)) PutDown();
    FullRedraw();
  }
  GCATCH(GetClassName(), u"::OnLassoDown()", ->AppendArg(GArgInt(m_myState)))
}

void COperLasso::OnEditCopy() {
  try {
    if (m_myState != myLIFT || !m_cpLayerLift) return;
    LayerClipboard* clip = m_pPaintSpace->m_pwndListLayer->GetClipboard();
    if (!clip) return;
    LayerInfo info{};
    GCompRef<OData> data = m_cpLayerLift->Backup(&info);
    GVERIFY(data.IsValid(), u"!poData");
    clip->cpData = data;
    clip->info = info;
  }
  GCATCH(GetClassName(), u"::OnEditCopy()", ->AppendArg(GArgInt(m_myState)))
}

void COperLasso::OnEditCut() {
  try {
    if (m_myState != myLIFT) return;
    if (m_cpLayerLift) OnEditCopy();
    PutDownFromCut();
    FullRedraw();
  }
  GCATCH(GetClassName(), u"::OnEditCut()", ->AppendArg(GArgInt(m_myState)))
}

void COperLasso::OnEditPaste() {
  try {
    CMyListLayer* list = m_pPaintSpace->m_pwndListLayer;
    LayerClipboard* clip = list ? list->GetClipboard() : nullptr;
    OLayer* layer = list ? list->GetCurLayer() : nullptr;
    if (!layer || !ClipboardPixels(clip) || layer->GetPixelSize() != clip->info.nPixelSize) return;
    if (m_myState == myLIFT) PutDown();
    if (m_myState == myREADY) LiftUpFromPaste();
  }
  GCATCH(GetClassName(), u"::OnEditPaste()", ->AppendArg(GArgInt(m_myState)))
}

