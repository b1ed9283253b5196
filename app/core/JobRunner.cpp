#include "JobRunner.h"

int32_t CHeadlessJobRunner::Run(OWorker* worker, JobRecord* job, const char16_t*, int total, uint32_t* flags) {
  JobControl control;
  control.total = total > 0 ? total : 1;
  int32_t result = 0;
  if (worker->Launch(job, &control)) {
    worker->Wait(FALSE);
    result = job->result;
  }
  // A caption the job set is the control's to release.
  if (control.pObj) control.pObj->Release();
  if (flags) *flags = control.flags;
  return result;
}

CJobRunner* RunnerOrHeadless(CJobRunner* runner) {
  static CHeadlessJobRunner headless;  // keeps no state between runs
  return runner ? runner : &headless;
}
