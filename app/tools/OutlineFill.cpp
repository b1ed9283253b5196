#include "OutlineFill.h"

#include <algorithm>

#include "core/PaintSpace.h"
#include "odata/GCompRef.h"
#include "odata/GError.h"
#include "odata/GSystem.h"
#include "tools/FillKernels.h"
#include "tools/ToolUndo.h"

namespace {

constexpr int kSubSamples = 8;

// The filler goes back to its ready state however the fill ends.
struct FillerReset {
  OShape* filler;
  ~FillerReset() { filler->Reset(); }
};

}  // namespace

BOOL FillOutline(CPaintSpace* space, OLayer* layer, OShape* filler, std::deque<POINTF>* outline,
                 const OutlineFillArgs& args) {
  if (outline->size() < 3) return FALSE;
  RECT layerRc;
  layer->GetRect(&layerRc);
  RECT rc = layerRc;
  if (!ClipPolygonToRect(outline, &rc)) return FALSE;
  rc.left = std::max(rc.left, layerRc.left);
  rc.top = std::max(rc.top, layerRc.top);
  rc.right = std::min(rc.right, layerRc.right);
  rc.bottom = std::min(rc.bottom, layerRc.bottom);
  if (rc.left >= rc.right || rc.top >= rc.bottom) return FALSE;

  FillerReset reset{filler};
  filler->CollectBegin(kSubSamples);
  for (const POINTF& p : *outline) {
    const float xy[2] = {p.x, p.y};
    filler->Collect(xy, FALSE);
  }
  if (!filler->CollectEnd()) return FALSE;

  // The step first, from the blocks as they are: nothing after it leaves the layer changed
  // without one.
  layer->PAT_MarkClear();
  layer->PAT_MarkSet(&rc, nullptr);
  {
    CToolUndoWriter step(space, layer, args.notCurrent);
    GCompRef<OData> old = layer->PAT_Backup(FALSE);
    step.AddData(old);
    step.Commit(args.owner, OUTLINE_FILL_TAG, args.label);
  }

  const WORD* cov = filler->ScanBegin(&rc);
  LayerLock lock;
  GCHECK(lock.Lock(layer, 0));
  const bool colour = lock.nPixelSize == 4;
  RECT row;
  // The filler skips rows without crossings: the row it reports is the one it holds.
  while (filler->Scan(&row)) {
    if (row.top < rc.top || row.top >= rc.bottom) continue;
    const LONG x0 = std::max(row.left, rc.left), x1 = std::min(row.right, rc.right);
    if (x0 >= x1) continue;
    BYTE* line = lock.Row(int(row.top - layerRc.top)) + size_t(x0 - layerRc.left) * size_t(lock.nPixelSize);
    const uint16_t* k = cov + (x0 - rc.left);
    if (colour) fill::BlendRowC32Sse2(reinterpret_cast<uint32_t*>(line), k, int(x1 - x0), args.colour, args.mode);
    else fill::BlendRowA16Sse2(reinterpret_cast<uint16_t*>(line), k, int(x1 - x0), args.colour >> 24, args.maskOp);
  }
  lock.Unlock();
  layer->MipRefresh(&rc);
  return TRUE;
}

void ReplayOutlineFill(CToolUndoReplay& step) {
  OLayer* layer = step.GetLayer();
  layer->AddChangeFlags(LYR_CHANGE_PIXELS);
  OData* data = step.NextData();
  GCompRef<OData> inverse = step.IsRedo() ? layer->PAT_Redo(data) : layer->PAT_Undo(data);
  step.AddInverse(inverse);
}

OShape* NewShapeFiller(CPaintSpace* space) {
  OComponent* c = space->GetSystem()->NewObj(u"Corbish", nullptr);
  OShape* shape = c ? static_cast<OShape*>(c->GetInterface(u"OShape")) : nullptr;
  if (!shape && c) {
    c->AddRef();
    c->Release();
  }
  GVERIFY(shape, u"!m_cpShape.IsValid()");
  return shape;
}
