#include "LayerMerge.h"

#include "MyListLayer.h"
#include "core/DataBlocks.h"
#include "core/JobRunner.h"
#include "core/PaintSpace.h"
#include "odata/GError.h"

namespace {

// The rows of the composed image, handed to the layer's nest job one at a time.
class ComposedRows final : public ORowSource {
 public:
  explicit ComposedRows(OLayer* image) { m_lock.Lock(image, LYR_LOCK_READ); }
  const BYTE* GetRow(int row, UINT bytes) override {
    if (row < 0 || row >= m_lock.nHeight || bytes != UINT(m_lock.nWidth) * UINT(m_lock.nPixelSize)) return nullptr;
    return m_lock.Row(row);
  }

 private:
  LayerLock m_lock;
};

}  // namespace

GCompRef<OLayer> NewMergedLayer(CMyListLayer* list, OLayer* upper, OLayer* lower, const RECT& rect) {
  OShowDevice* device = list->GetShowDevice();
  GVERIFY(device, u"!m_pShowDevice");
  GCompRef<OLayer> merged(
      device->CreateLayer(rect.right - rect.left, rect.bottom - rect.top, OLayer::myFORMAT_C32, lower->GetID()));
  GVERIFY(merged.IsValid(), u"!cpLayerNew.IsValid()");
  merged->SetName(lower->GetName());
  merged->SetFlags(lower->GetFlags());
  merged->SetPosition(rect.left, rect.top, FALSE);
  merged->Merge(lower);
  merged->Merge(upper);
  return merged;
}

uint64_t MarkNestBlocks(CMyListLayer* list, int row, int count, OLayer* base) {
  base->PAT_MarkClear();
  uint64_t bytes = 0;
  for (int i = row; i < row + count; ++i) {
    OLayer* layer = list->GetLayer(i);
    RECT r;
    layer->GetRect(&r);
    base->PAT_MarkSet(&r, nullptr);
    bytes += layer->GetMemorySize();
  }
  return bytes;
}

BOOL RunNestMerge(CMyListLayer* list, int row, int count, OLayer* base) {
  CPaintSpace* space = list->GetSpace();
  GVERIFY(space && space->GetWorker() && space->m_job.pArgs, u"!m_pPaintSpace");
  // The composed image: base as it is, the shown nested layers painted over it from the
  // lowest up (the top row also when hidden, as the current row is drawn), base's coverage
  // kept so that nothing shows outside it.
  RECT rect;
  base->GetRect(&rect);
  GCompRef<OLayer> image(base->Clip(&rect, 0));
  GVERIFY(image.IsValid(), u"!cpImage.IsValid()");
  {
    GCompRef<OData> alpha(image->AlphaBackup());
    for (int i = row + count - 1; i >= row; --i) {
      OLayer* layer = list->GetLayer(i);
      if (i == row || !(layer->GetFlags() & LYR_FLAG_HIDDEN)) image->Merge(layer);
    }
    image->AlphaRestore(alpha);
  }

  ComposedRows rows(image);
  JobRecord* job = &space->m_job;
  job->result = -1;
  GVERIFY(base->MergeNest(&rows, job), u"!poLayerDest->MergeNest(&rows,pJob)");
  ILayerAsk* ask = list->GetAsk();
  CJobRunner* runner = RunnerOrHeadless(ask ? ask->GetJobRunner() : nullptr);
  space->GetWorker()->Wait(FALSE);
  uint32_t flags = 0;
  const int32_t result = runner->Run(space->GetWorker(), job, u"", base->GetHeight(), &flags);
  return result == 1 && !(flags & (JOB_ABORT | JOB_FAILED)) ? TRUE : FALSE;
}
