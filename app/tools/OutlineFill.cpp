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

  LayerLock lock;
  GCHECK(lock.Lock(layer, LYR_LOCK_MARKED));  // rc was marked
  const bool colour = lock.nPixelSize == 4;
  ScanIntoLayer(filler, rc, layerRc, lock, [&](BYTE* line, const uint16_t* k, int n) {
    if (colour) fill::BlendRowC32Sse2(reinterpret_cast<uint32_t*>(line), k, n, args.colour, args.mode);
    else fill::BlendRowA16Sse2(reinterpret_cast<uint16_t*>(line), k, n, args.colour >> 24, args.maskOp);
  });
  lock.Unlock();
  layer->MipRefresh(&rc);
  return TRUE;
}

BOOL ReplayOutlineFill(CToolUndoReplay& step) {
  if (step.GetTag() != OUTLINE_FILL_TAG) return FALSE;
  OLayer* layer = step.GetLayer();
  layer->AddChangeFlags(LYR_CHANGE_PIXELS);
  OData* data = step.NextData();
  GCompRef<OData> inverse = step.IsRedo() ? layer->PAT_Redo(data) : layer->PAT_Undo(data);
  step.AddInverse(inverse);
  return TRUE;
}

void* NewToolComponent(CPaintSpace* space, const char16_t* name, const char16_t* iface, const char16_t* assertion) {
  OComponent* c = space->GetSystem()->NewObj(name, nullptr);
  void* found = c ? c->GetInterface(iface) : nullptr;
  if (!found && c) {
    c->AddRef();
    c->Release();
  }
  GVERIFY(found, assertion);
  return found;
}

OShape* NewShapeFiller(CPaintSpace* space) {
  return static_cast<OShape*>(NewToolComponent(space, u"Corbish", u"OShape", u"!m_cpShape.IsValid()"));
}
