// The layer utility component "MorvaneUtility" (turns and scaling of whole layers).
#pragma once
#include <cstdint>

#include "odata/GError.h"
#include "odata/OLayer.h"
#include "odata/OLayerUtility.h"

class MorvaneUtility final : public GComponent<OLayerUtility> {
 public:
  MorvaneUtility() = default;
  ~MorvaneUtility() override = default;

  static const char16_t* GetClassName() { return u"MorvaneUtility"; }

  BOOL GetRotatedRect(OLayer* layer, float angle, RECT* out) override;
  int Rotate(OLayer* dest, OLayer* source, float angle, JobRecord* job) override;
  BOOL Rotate90(OLayer* dest, OLayer* source) override;
  BOOL Rotate270(OLayer* dest, OLayer* source) override;
  int Scale(OLayer* dest, OLayer* source, JobRecord* job) override;

 protected:
  void* FindInterface(const char16_t* name) override;

 private:
  // The worker routines: 1 when done, 0 when aborted. Progress counts destination rows; the
  // abort bit is read before each row, and the rows done by then stay written.
  int32_t RotateWorker(JobRecord* job, JobControl* control);
  int32_t ScaleWorker(JobRecord* job, JobControl* control);
  // Fills the job (or runs it at once without one) with the two layers and the angle as
  // its arguments.
  int PrepareJob(JobRecord* job, JobProc proc, OLayer* dest, OLayer* source, float angle);
  BOOL Turn(OLayer* dest, OLayer* source, bool clockwise);
};
