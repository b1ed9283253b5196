// The worker: runs one job at a time on a thread of its own.
#pragma once
#include <atomic>
#include <cstdint>

#include "OComponent.h"
#include "OData.h"

struct JobRecord;
struct JobControl;

// A job is an object and a member function; JobThunk turns the pair into this callable.
using JobProc = int32_t (*)(void* object, JobRecord* job, JobControl* control);

struct JobRecord {
  OData* pArgs;          // rewound by the worker before the call
  const char16_t* name;  // shown in error traces
  int32_t kind;    // set to 6 by the worker when the job ends; read it with std::atomic_ref while one may run
  int32_t result;  // callers set -1 before the launch
  void* object;
  JobProc proc;
};

constexpr uint32_t JOB_ABORT = 0x1;       // abort requested; jobs poll it
constexpr uint32_t JOB_FAILED = 0x10000;  // the job ended with an error

struct JobControl {
  OBeing* pObj = nullptr;  // the caption (a GText) the progress dialog shows; owned once set
  std::atomic<uint32_t> flags{0};
  std::atomic<int32_t> progress{0};
  std::atomic<int32_t> total{10};
};

template <class C, int32_t (C::*Method)(JobRecord*, JobControl*)>
int32_t JobThunk(void* object, JobRecord* job, JobControl* control) {
  return (static_cast<C*>(object)->*Method)(job, control);
}

struct ODATA_EXPORT OWorker : OComponent {
  // Returns when the worker is idle; with abort set, asks the running job to stop.
  virtual void Wait(BOOL abort) = 0;
  // Hands a job to the thread: 1 when launched, 0 when the worker stayed busy. A caller's
  // control keeps the bits the caller left in it; without one the job gets the worker's own,
  // clear at the start of every job.
  virtual BOOL Launch(JobRecord* job, JobControl* control) = 0;
  virtual BOOL IsReady() = 0;
  // Asks the running job to stop; on an idle worker it does nothing, so no request outlives its job.
  virtual void Abort() = 0;
};
