// Runs a worker job behind a progress display and waits for it. The program shows its
// progress dialog; tests and headless use wait without one. A job that sets its control's
// total to 0 has no progress to report: the display then only shows that it is busy.
#pragma once
#include "odata/OWorker.h"

class CJobRunner {
 public:
  virtual ~CJobRunner() = default;
  // Launches the job on the worker with a control block whose total is total, shows the
  // caption and the progress until the worker is ready again, and returns the job's result
  // (0 when the worker could not take the job). *flags receives the control's last flags.
  virtual int32_t Run(OWorker* worker, JobRecord* job, const char16_t* caption, int total, uint32_t* flags) = 0;
};

// Waits for the job on the calling thread, without a display.
class CHeadlessJobRunner final : public CJobRunner {
 public:
  int32_t Run(OWorker* worker, JobRecord* job, const char16_t* caption, int total, uint32_t* flags) override;
};

// The runner given, or a headless one when there is none (no frame, a fuzz target).
CJobRunner* RunnerOrHeadless(CJobRunner* runner);
