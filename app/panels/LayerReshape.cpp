#include "LayerReshape.h"

#include "core/DataBlocks.h"
#include "core/JobRunner.h"
#include "core/PaintSpace.h"
#include "odata/GError.h"
#include "odata/OProperty.h"

POINT CentredOn(const RECT& rect, int width, int height) {
  return POINT{(rect.left + rect.right) / 2 - width / 2, (rect.top + rect.bottom) / 2 - height / 2};
}

GCompRef<OLayerUtility> NewLayerUtility(GSystem* system) {
  GCompRef<OLayerUtility> utility = NewInterface<OLayerUtility>(system, u"MorvaneUtility", u"OLayerUtility");
  GVERIFY(utility.IsValid(), u"!cpLayerUtility.IsValid()");
  return utility;
}

BOOL WorkerIdle(CPaintSpace* space) {
  OWorker* worker = space ? space->GetWorker() : nullptr;
  if (!worker) return FALSE;
  worker->Wait(FALSE);
  return worker->IsReady();
}

GCompRef<OLayer> RunReshapeJob(CMyListLayer* list, OLayer* layer, int width, int height, const float* angle,
                               const char16_t* caption) {
  CPaintSpace* space = list->GetSpace();
  GVERIFY(space && space->GetWorker(), u"!m_pPaintSpace");
  GCompRef<OLayerUtility> utility = NewLayerUtility(list->GetSystem());
  GCompRef<OLayer> fresh = list->GetShowDevice()->CreateLayer(width, height, layer->GetFormat(), layer->GetID());
  GVERIFY(fresh.IsValid(), u"!cpLayerNew.IsValid()");
  JobRecord* job = &space->m_job;
  if (angle)
    utility->Rotate(fresh, layer, *angle, job);
  else
    utility->Scale(fresh, layer, job);
  // Without an asker (a redo outside the program's frame) the job runs without a display.
  ILayerAsk* ask = list->GetAsk();
  CJobRunner* runner = RunnerOrHeadless(ask ? ask->GetJobRunner() : nullptr);
  uint32_t flags = 0;
  // Both layers and the utility outlive the job: Run returns once the worker is idle.
  const int32_t result = runner->Run(space->GetWorker(), job, caption, height, &flags);
  if (result != 1 || (flags & (JOB_ABORT | JOB_FAILED))) return {};
  return fresh;
}

GCompRef<OLayer> TurnQuarter(CMyListLayer* list, OLayer* layer, bool clockwise) {
  GCompRef<OLayerUtility> utility = NewLayerUtility(list->GetSystem());
  GCompRef<OLayer> fresh =
      list->GetShowDevice()->CreateLayer(layer->GetHeight(), layer->GetWidth(), layer->GetFormat(), layer->GetID());
  GVERIFY(fresh.IsValid(), u"!cpLayerNew.IsValid()");
  const BOOL turned = clockwise ? utility->Rotate90(fresh, layer) : utility->Rotate270(fresh, layer);
  if (!turned) return {};
  return fresh;
}

void TakeOver(OLayer* fresh, OLayer* old, POINT at) {
  fresh->CopyInfoFrom(old);
  // The row's flags belong to the row: a turned layer stays hidden, nested or the source.
  fresh->SetFlags(old->GetFlags());
  fresh->SetPosition(at.x, at.y, FALSE);
}

namespace {
// The ALPHA item of the layer's properties and its index.
PropertyItem* AlphaItem(OLayer* layer, OProperty** set, UINT* index) {
  *set = static_cast<OProperty*>(layer->GetInterface(u"OProperty"));
  GVERIFY(*set, u"!poProperty");
  *index = 0;
  PropertyItem* item = (*set)->FindByName(index, u"ALPHA");
  GVERIFY(item, u"!pItem");
  return item;
}
}  // namespace

int GetLayerAlpha(OLayer* layer) {
  OProperty* set;
  UINT index;
  return AlphaItem(layer, &set, &index)->value;
}

void SetLayerAlpha(OLayer* layer, int value) {
  OProperty* set;
  UINT index;
  AlphaItem(layer, &set, &index);
  set->SetValue(index, value);  // within the item's bounds
}
