// A filter applied to one layer: reads the layer's backup surface (the state when its paint
// transaction was opened) and writes the layer's pixels. Its two values are the items of
// its property set ("OProperty").
#pragma once
#include <cstdint>

#include "OComponent.h"
#include "OWorker.h"

struct OLayer;

struct ODATA_EXPORT OLayerFilter : OComponent {
  // With a job record: fills it (this filter as object, its worker routine as callback,
  // kind 6, name "unknown", result 0) and writes the layer and the argument into its data
  // block; returns 1 and the caller launches the job. Without: runs the filter at once on
  // the calling thread and returns 1 when done, 0 when aborted.
  virtual int Filter(OLayer* layer, uint32_t argument, JobRecord* job) = 0;
};
