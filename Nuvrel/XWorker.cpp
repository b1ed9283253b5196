#include "XWorker.h"

#include "odata/GSystem.h"
#include "platform/base/Text.h"

namespace {
constexpr DWORD kPollMs = 50;
constexpr int kPolls = 101;
constexpr DWORD kWaitMs = 20;
}  // namespace

XWorker::~XWorker() {
  RequestAbort();
  m_bLive = false;
  m_event.Set();
  m_thread.Join();
  if (m_ownControl.pObj) m_ownControl.pObj->Release();
}

void XWorker::InitInstance() {
  m_bLive = true;
  if (!m_thread.Start([this] { ThreadEntry(); })) {
    m_bLive = false;
    GTHROW(u"THREAD DO NOT WORK!");
  }
  // A new worker answers IsReady at once: a save or a stroke right after a document was made
  // must not find it still starting.
  for (int i = 0; m_state == myNOTSTARTED; ++i) {
    GVERIFY(i < kPolls * int(kPollMs), u"THREAD DO NOT WORK!");
    plat::Sleep(1);
  }
}

void* XWorker::FindInterface(const char16_t* name) {
  return plat::StrCmp(name, u"OWorker") == 0 ? static_cast<OWorker*>(this) : nullptr;
}

void XWorker::ThreadEntry() {
  while (m_bLive) {
    {
      // With the state, under the lock: an abort request for the job that just ended lands
      // before this reset or finds the worker idle, never on the next job's control.
      GAutoLock lock(m_lock);
      m_ownControl.flags = 0;
      m_ownControl.progress = 0;
      m_ownControl.total = 10;
      m_pControl = &m_ownControl;
      m_state = myIDLE;
    }
    JobRecord* job = nullptr;
    // A job handed over while the event was set is taken; wake-ups without one wait again.
    while (m_bLive && !(job = m_pJob.exchange(nullptr))) m_event.Wait();
    if (!job) break;
    RunJob(job, CurrentControl());
  }
}

void XWorker::RunJob(JobRecord* job, JobControl* control) {
  try {
    if (job->pArgs) job->pArgs->Rewind();
    job->result = job->proc ? job->proc(job->object, job, control) : -1;
  } catch (GErrRecord* e) {
    e->AddRef();
    GTrace(e, GetClassName(), u"::ThreadEntry() ")->AppendString(job->name);
    control->flags |= JOB_FAILED;
    if (GetSystem()) GetSystem()->ReportError(e);
    e->Release();
  } catch (GError* e) {
    e->AddRef();
    control->flags |= JOB_FAILED;
    if (GetSystem()) GetSystem()->ReportError(e);
    e->Release();
  } catch (...) {
    control->flags |= JOB_FAILED;
  }
  job->object = nullptr;
  job->proc = nullptr;
  // A caller may read the kind of a shared record while its job ends: that field is stored atomically.
  std::atomic_ref<int32_t>(job->kind).store(6);
  job->name = u"unknown";
}

BOOL XWorker::Launch(JobRecord* job, JobControl* control) {
  try {
    GVERIFY(job && m_bLive, u"!pAgm&&m_bLive");
    for (int i = 0; m_state == myNOTSTARTED; ++i) {
      GVERIFY(i < kPolls, u"THREAD DO NOT WORK!");
      plat::Sleep(kPollMs);
    }
    for (int i = 0; !Claim(control); ++i) {
      if (i >= kPolls) return 0;
      plat::Sleep(kPollMs);
    }
    m_pJob = job;
    m_event.Set();
    return 1;
  }
  GCATCH(GetClassName(), u"::Launch()", ->AppendArg(GArgInt(m_state))
                                            ->AppendMemory({sizeof(JobRecord), job})
                                            ->AppendMemory({sizeof(JobControl), control}))
}

void XWorker::Wait(BOOL abort) {
  for (int i = 0; m_state == myNOTSTARTED; ++i) {
    GVERIFY(i < kPolls && m_bLive, u"THREAD DO NOT WORK!");
    plat::Sleep(kPollMs);
  }
  while (m_state != myIDLE) {
    if (abort) RequestAbort();
    plat::Sleep(kWaitMs);
  }
}

BOOL XWorker::IsReady() { return m_state == myIDLE ? TRUE : FALSE; }

void XWorker::Abort() { RequestAbort(); }

BOOL XWorker::Claim(JobControl* control) {
  GAutoLock lock(m_lock);
  if (m_state != myIDLE) return FALSE;
  m_state = myRUNNING;
  m_pControl = control ? control : &m_ownControl;
  return TRUE;
}

void XWorker::RequestAbort() {
  GAutoLock lock(m_lock);
  if (m_state == myRUNNING) CurrentControl()->flags |= JOB_ABORT;
}
