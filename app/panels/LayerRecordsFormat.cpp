// The per-format records: the mask from transparency, the conversions, clear and fade, invert,
// the rotations, the flips and the scale.
#include "LayerRecords.h"
#include "odata/GError.h"

int32_t CMyListLayer::ExecuteFormatStep(StepRun& run) {
  (void)run;
  GTHROW(u"Should not get here!");
}
