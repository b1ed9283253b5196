#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "XWorker.h"
#include "common/FakeSystem.h"
#include "odata/GCompRef.h"

namespace {

// Jobs for the worker: each is a member function run through JobThunk.
struct Jobs {
  std::atomic<int> runs{0};
  std::atomic<bool> release{false};
  std::atomic<bool> started{false};
  std::atomic<bool> ended{false};
  int32_t Count(JobRecord*, JobControl*) { return ++runs; }
  int32_t Fail(JobRecord*, JobControl*) { GTHROW(u"!jobFails"); }
  // Runs until released or asked to abort.
  int32_t Hold(JobRecord*, JobControl* c) {
    started = true;
    while (!release && !(c->flags & JOB_ABORT)) plat::Sleep(1);
    return (c->flags & JOB_ABORT) ? 2 : 1;
  }
  // Hold without the sleep: ends within moments of the release.
  int32_t Spin(JobRecord*, JobControl* c) {
    started = true;
    while (!release && !(c->flags & JOB_ABORT)) std::this_thread::yield();
    ended = true;
    return 1;
  }
  // 1 when the job was asked to abort before it began.
  int32_t StartsAborted(JobRecord*, JobControl* c) { return (c->flags & JOB_ABORT) ? 1 : 0; }
  int32_t ReadArgs(JobRecord* j, JobControl*) {
    int32_t v;
    j->pArgs->Read(&v, sizeof v);  // the worker rewound the block
    return v;
  }
};

JobRecord MakeJob(Jobs* jobs, JobProc proc, const char16_t* name = u"test job") {
  return JobRecord{nullptr, name, 0, -1, jobs, proc};
}

class WorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sys.Register(u"XWorker", GCreateComponent<XWorker>);
    worker = static_cast<OWorker*>(sys.NewObj(u"XWorker", nullptr)->GetInterface(u"OWorker"));
  }
  void WaitStarted(Jobs& jobs) {
    while (!jobs.started) plat::Sleep(1);
  }
  // Wait(FALSE) without its 20 ms poll.
  void SpinUntilIdle() {
    while (!worker->IsReady()) std::this_thread::yield();
  }
  FakeSystem sys;
  GCompRef<OWorker> worker;
  Jobs jobs;
};

TEST_F(WorkerTest, RunsJobsWithRewoundArgumentsAndClearsTheRecord) {
  GCompRef<OData> args = GNewData(4);
  int32_t v = 77;
  args->Write(&v, 4);  // cursor at the end: the worker must rewind
  JobRecord job = MakeJob(&jobs, JobThunk<Jobs, &Jobs::ReadArgs>);
  job.pArgs = args;
  JobControl control;
  ASSERT_EQ(worker->Launch(&job, &control), 1);
  worker->Wait(FALSE);
  EXPECT_EQ(job.result, 77);
  EXPECT_EQ(job.proc, nullptr);
  EXPECT_EQ(job.object, nullptr);
  EXPECT_EQ(job.kind, 6);
  EXPECT_EQ(std::u16string(job.name), u"unknown");
  EXPECT_EQ(control.flags, 0u);
}

TEST_F(WorkerTest, BusyRightAfterLaunchAndASecondLaunchCannotOverwrite) {
  JobRecord hold = MakeJob(&jobs, JobThunk<Jobs, &Jobs::Hold>);
  ASSERT_EQ(worker->Launch(&hold, nullptr), 1);
  EXPECT_FALSE(worker->IsReady());  // no window in which the worker looks idle
  WaitStarted(jobs);
  std::atomic<BOOL> second{-1};
  JobRecord count = MakeJob(&jobs, JobThunk<Jobs, &Jobs::Count>);
  std::thread t([&] { second = worker->Launch(&count, nullptr); });
  plat::Sleep(200);
  EXPECT_EQ(second, -1);  // still polling while the first job runs
  jobs.release = true;
  t.join();
  EXPECT_EQ(second, 1);  // launched once the worker became idle
  worker->Wait(FALSE);
  EXPECT_EQ(hold.result, 1);
  EXPECT_EQ(count.result, 1);
}

TEST_F(WorkerTest, FailingJobSetsTheFailureBitAndTheNextJobRuns) {
  JobRecord fail = MakeJob(&jobs, JobThunk<Jobs, &Jobs::Fail>, u"failing job");
  JobControl control;
  ASSERT_EQ(worker->Launch(&fail, &control), 1);
  worker->Wait(FALSE);
  EXPECT_EQ(control.flags & (JOB_FAILED | JOB_ABORT), JOB_FAILED);
  ASSERT_EQ(sys.ErrorCount(), 1u);
  std::u16string text = sys.ErrorText(0);
  EXPECT_NE(text.find(u"E: !jobFails"), std::u16string::npos);
  EXPECT_NE(text.find(u"XWorker ::ThreadEntry()  failing job "), std::u16string::npos) << U8(text);

  JobRecord count = MakeJob(&jobs, JobThunk<Jobs, &Jobs::Count>);
  JobControl second;
  ASSERT_EQ(worker->Launch(&count, &second), 1);
  worker->Wait(FALSE);
  EXPECT_EQ(count.result, 1);
  EXPECT_EQ(second.flags, 0u);
}

TEST_F(WorkerTest, AbortAndWaitWithAbort) {
  worker->Wait(TRUE);  // idle: returns at once
  JobRecord hold = MakeJob(&jobs, JobThunk<Jobs, &Jobs::Hold>);
  JobControl control;
  ASSERT_EQ(worker->Launch(&hold, &control), 1);
  WaitStarted(jobs);
  worker->Abort();
  worker->Wait(FALSE);
  EXPECT_EQ(hold.result, 2);
  EXPECT_TRUE(control.flags & JOB_ABORT);

  jobs.started = false;
  JobRecord again = MakeJob(&jobs, JobThunk<Jobs, &Jobs::Hold>);
  ASSERT_EQ(worker->Launch(&again, nullptr), 1);
  WaitStarted(jobs);
  worker->Wait(TRUE);
  EXPECT_EQ(again.result, 2);
  EXPECT_TRUE(worker->IsReady());
}

// An abort request races the end of a job; the next job, launched with the worker's own
// control once the request has returned, must not start aborted.
TEST_F(WorkerTest, AnAbortRacingTheEndOfAJobNeverReachesTheNextJob) {
  struct Case {
    const char* name;
    std::function<void(OWorker*)> request;
    int rounds;
  };
  // Wait(TRUE) misses the worker's few instructions between the end and idle far more often.
  const Case cases[] = {{"Abort", [](OWorker* w) { w->Abort(); }, 400},
                        {"Wait(TRUE)", [](OWorker* w) { w->Wait(TRUE); }, 1000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::atomic<int> round{-1}, answered{-1};
    std::thread requester([&] {
      for (int r = 0; r < c.rounds; ++r) {
        while (round.load() < r) std::this_thread::yield();
        jobs.release = true;
        // Spin to meet the worker within moments; yield should it have lost its core.
        for (int n = 0; !jobs.ended; ++n)
          if (n > 10000) std::this_thread::yield();
        // The job has returned: the request meets the worker somewhere on its way to idle.
        for (std::atomic<int> spin{0}; spin < (r * 37) % 256; ++spin) {}
        c.request(worker);
        answered = r;
      }
    });
    int startedAborted = 0;
    for (int r = 0; r < c.rounds; ++r) {
      jobs.release = false;
      jobs.started = false;
      jobs.ended = false;
      JobRecord ending = MakeJob(&jobs, JobThunk<Jobs, &Jobs::Spin>);
      ASSERT_EQ(worker->Launch(&ending, nullptr), 1);
      while (!jobs.started) std::this_thread::yield();
      round = r;
      while (answered.load() < r) std::this_thread::yield();
      SpinUntilIdle();
      JobRecord next = MakeJob(&jobs, JobThunk<Jobs, &Jobs::StartsAborted>);
      ASSERT_EQ(worker->Launch(&next, nullptr), 1);
      SpinUntilIdle();
      startedAborted += next.result;
    }
    requester.join();
    EXPECT_EQ(startedAborted, 0) << "of " << c.rounds << " jobs";
  }
}

TEST_F(WorkerTest, DestroyingABusyWorkerStopsItsJob) {
  JobRecord hold = MakeJob(&jobs, JobThunk<Jobs, &Jobs::Hold>);
  ASSERT_EQ(worker->Launch(&hold, nullptr), 1);
  WaitStarted(jobs);
  worker.Release();  // asks the job to abort and joins the thread
  EXPECT_EQ(hold.result, 2);
  EXPECT_EQ(sys.Entry(u"XWorker")->Refs(), 0);
}

TEST_F(WorkerTest, LaunchWithoutAJobFails) {
  try {
    worker->Launch(nullptr, nullptr);
    FAIL();
  } catch (GErrRecord* e) {
    e->AddRef();
    std::u16string text(0x1000, u'\0');
    text.resize(e->CopyText(text.data(), 0x1000));
    EXPECT_EQ(std::u16string(e->GetCondition()), u"!pAgm&&m_bLive");
    // The state (0 before the thread's loop, 1 after) and both records, null here.
    size_t at = text.find(u"XWorker ::Launch() ");
    ASSERT_NE(at, std::u16string::npos) << U8(text);
    EXPECT_NE(text.find(u" _NULL _NULL ", at), std::u16string::npos) << U8(text);
    e->Release();
  }
}

}  // namespace
