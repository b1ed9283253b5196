// "XWorker": runs one job at a time on a thread of its own (redraw, load and save,
// filters, rotate and scale, stroke rendering).
#pragma once
#include <atomic>

#include "odata/GError.h"
#include "odata/GLock.h"
#include "odata/OComponent.h"
#include "odata/OWorker.h"
#include "platform/base/Sync.h"

class XWorker final : public GComponent<OWorker> {
 public:
  enum State : int32_t { myNOTSTARTED = 0, myIDLE = 1, myRUNNING = 2 };

  XWorker() = default;
  ~XWorker() override;

  void InitInstance() override;

  void Wait(BOOL abort) override;
  BOOL Launch(JobRecord* job, JobControl* control) override;
  BOOL IsReady() override;
  void Abort() override;

  static const char16_t* GetClassName() { return u"XWorker"; }

 protected:
  void* FindInterface(const char16_t* name) override;

 private:
  void ThreadEntry();
  void RunJob(JobRecord* job, JobControl* control);
  // Takes the idle worker for one job: only one launch can win it. FALSE when busy.
  BOOL Claim(JobControl* control);
  // Sets the abort bit of the running job's control; an idle worker has no job to stop.
  void RequestAbort();
  JobControl* CurrentControl() const { return m_pControl.load(); }

  // Busy from Launch until the job has finished: IsReady right after Launch is FALSE,
  // a second Launch cannot overwrite a pending job and Wait cannot return while it runs.
  std::atomic<int32_t> m_state{myNOTSTARTED};
  // Held while the state changes between idle and running together with the current
  // control, and while an abort request checks the state and sets the bit: a request
  // can reach only the job that runs when it is made.
  GLock m_lock;
  std::atomic<bool> m_bLive{false};
  JobControl m_ownControl;
  std::atomic<JobControl*> m_pControl{&m_ownControl};
  std::atomic<JobRecord*> m_pJob{nullptr};
  plat::Event m_event;
  plat::Thread m_thread;
};
