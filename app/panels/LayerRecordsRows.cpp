// The row records: paste and load, create, delete and cut, the three merges, the order and the
// partition mask.
#include "LayerRecords.h"
#include "odata/GError.h"

int32_t CMyListLayer::ExecuteRowStep(StepRun& run) {
  (void)run;
  GTHROW(u"Should not get here!");
}
