// Undo swap files: a 256 MiB step swapped out and read back by the recorder, against plain
// fwrite / fread of the same bytes in 1 MiB pieces; and the latency of storing small steps
// while another thread swaps a large one.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "BenchRatio.h"
#include "XUndoRecorder.h"
#include "odata/GError.h"
#include "platform/base/Files.h"
#include "platform/base/Text.h"

namespace {

constexpr size_t kStepBytes = size_t(256) << 20;
constexpr double kMB = 1024.0 * 1024.0;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Consumes each step; checks the size of the large one when asked to.
class BenchHandler final : public OUndoHandler {
 public:
  int32_t AddRef() override { return ++m_refs; }
  int32_t Release() override { return --m_refs; }
  void* GetInterface(const char16_t*) override { return nullptr; }
  int32_t Execute(OUndoRestore* restore, OUndoStore*) override {
    restore->Begin();
    if (m_check) {
      OData* d = restore->GetData();
      m_checked = d && d->GetSize() == kStepBytes && d->GetFragmentCount() == kStepBytes / NUVREL_FRAGMENT &&
                  d->GetFragment(0)[7] == 7 && d->GetFragment(255)[0xFFFFF] == 0xA5;
      if (d) d->Release();
    }
    restore->End();
    return 0;
  }
  void AfterUndo() override {}

  std::atomic<int32_t> m_refs{0};
  bool m_check = false;
  bool m_checked = false;
};

XUndoRecorder* NewRecorder() {
  auto* r = static_cast<XUndoRecorder*>(GCreateComponent<XUndoRecorder>(nullptr, nullptr, nullptr));
  r->AddRef();
  return r;
}

OData* NewBigStep() {
  NuvrelFragmented* d = new NuvrelFragmented();
  d->Init(kStepBytes);
  for (UINT i = 0; i < d->GetFragmentCount(); ++i) {
    BYTE* f = d->GetFragment(i);
    for (size_t k = 0; k < NUVREL_FRAGMENT; ++k) f[k] = BYTE(k + i);
  }
  d->GetFragment(255)[0xFFFFF] = 0xA5;
  return d;
}

void StoreSmall(OUndoStore* s, BenchHandler& h) {
  s->Begin(&h, 1, nullptr);
  s->SetData(GNewData(64));
  s->End(TRUE);
}

int32_t Refs(OBeing* o) {
  int32_t n = o->AddRef();
  o->Release();
  return n - 1;
}

// The recorder against plain stdio on the same bytes. Swap-in allocates its blocks, so the
// reference reads into a newly allocated block too.
void BM_SwapStep256MB(benchmark::State& state) {
  BenchHandler handler;
  XUndoRecorder* rec = NewRecorder();
  XUndoRecorder* opp = NewRecorder();
  const std::u16string folder = rec->GetSwapFolder();
  double outSec = 0, inSec = 0, refOutSec = 0, refInSec = 0;
  RatioTimes out, in;
  try {
    for (auto _ : state) {
      GCompRef<OData> big = NewBigStep();
      rec->Clear();
      rec->SetLimits(24, 1);
      rec->Begin(&handler, 2, nullptr);
      rec->SetData(big);
      rec->End(TRUE);
      StoreSmall(rec, handler);
      StoreSmall(rec, handler);

      // Out: the step is third, above the in-memory count.
      auto t0 = Clock::now();
      rec->ManageMemoryFile(u"qvbench");
      auto t1 = Clock::now();
      if (Refs(big) != 1) {
        state.SkipWithError("the step was not swapped out");
        break;
      }
      // In: undo the two steps above it, so it is newest.
      rec->Undo(2, opp);
      auto t2 = Clock::now();
      rec->ManageMemoryFile(u"qvbench");
      auto t3 = Clock::now();
      handler.m_check = true;
      handler.m_checked = false;
      rec->Undo(1, opp);
      handler.m_check = false;
      if (!handler.m_checked) {
        state.SkipWithError("the step did not come back");
        break;
      }
      outSec += Seconds(t0, t1);
      inSec += Seconds(t2, t3);

      // Reference: the same fragments written and read in 1 MiB pieces.
      std::u16string path = folder + u"qvbench_ref.tmp";
      plat::DeleteFile(path);
      FILE* f = plat::CreateExclusiveFile(path);
      if (!f) {
        state.SkipWithError("cannot create the reference file");
        break;
      }
      auto r0 = Clock::now();
      bool ok = true;
      for (UINT i = 0; i < big->GetFragmentCount(); ++i) {
        ok &= std::fwrite(big->GetFragment(i), 1, NUVREL_FRAGMENT, f) == NUVREL_FRAGMENT;
      }
      ok &= std::fflush(f) == 0;
      auto r1 = Clock::now();
      // The original stays alive while reading, as it did for the recorder: both read into
      // memory that is new to the process.
      auto r2 = Clock::now();
      plat::SeekFile(f, 0, SEEK_SET);
      NuvrelFragmented* back = new NuvrelFragmented();
      back->Init(kStepBytes);
      for (UINT i = 0; i < back->GetFragmentCount(); ++i) {
        ok &= std::fread(back->GetFragment(i), 1, NUVREL_FRAGMENT, f) == NUVREL_FRAGMENT;
      }
      benchmark::DoNotOptimize(back->GetFragment(255)[0xFFFFF]);
      // The recorder closes and removes its file as the read-back ends; so does this.
      std::fclose(f);
      plat::DeleteFile(path);
      auto r3 = Clock::now();
      delete back;
      big.Release();
      if (!ok) {
        state.SkipWithError("reference I/O failed");
        break;
      }
      refOutSec += Seconds(r0, r1);
      refInSec += Seconds(r2, r3);
      out.Add(Seconds(t0, t1), Seconds(r0, r1));
      in.Add(Seconds(t2, t3), Seconds(r2, r3));
      state.SetIterationTime(Seconds(t0, t1) + Seconds(t2, t3));
    }
  } catch (GErrRecord* e) {
    state.SkipWithError("the recorder threw");
    e->AddRef();
    e->Release();
  }
  rec->Release();
  opp->Release();

  const double mb = double(kStepBytes) / kMB * double(state.iterations());
  if (outSec > 0 && inSec > 0 && refOutSec > 0 && refInSec > 0) {
    state.counters["out_MBps"] = mb / outSec;
    state.counters["in_MBps"] = mb / inSec;
    state.counters["ref_write_MBps"] = mb / refOutSec;
    state.counters["ref_read_MBps"] = mb / refInSec;
    // Above 1: the recorder is slower than plain stdio.
    state.counters["out_time_ratio"] = outSec / refOutSec;
    state.counters["in_time_ratio"] = inSec / refInSec;
    out.Print("undo_swap_bench", "swap out 256 MiB", "stdio_fwrite", "same fragments, 1 MiB writes");
    in.Print("undo_swap_bench", "swap in 256 MiB", "stdio_fread", "same fragments into a new block, 1 MiB reads");
  }
}
BENCHMARK(BM_SwapStep256MB)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

struct EndStats {
  double worstUs = 0;
  double totalUs = 0;
  uint64_t count = 0;
};

// Stores small steps, one every 20 us, until done says stop (or n steps are stored when
// done is null).
EndStats StoreWhile(OUndoStore* s, BenchHandler& h, const std::atomic<bool>* done, uint64_t n) {
  EndStats st;
  auto next = Clock::now();
  while (done ? !done->load() : st.count < n) {
    while (Clock::now() < next) {
    }
    next += std::chrono::microseconds(20);
    s->Begin(&h, 1, nullptr);
    s->SetData(GNewData(64));
    auto t0 = Clock::now();
    s->End(TRUE);
    double us = Seconds(t0, Clock::now()) * 1e6;
    st.worstUs = std::max(st.worstUs, us);
    st.totalUs += us;
    ++st.count;
  }
  return st;
}

// End() while a 256 MiB step is swapped out and back in on another thread, against End()
// with no swap running.
void BM_EndDuringSwap(benchmark::State& state) {
  BenchHandler handler;
  XUndoRecorder* rec = NewRecorder();
  double worstIdle = 0, worstOut = 0, worstIn = 0, swapSec = 0;
  uint64_t endsDuringSwap = 0;
  try {
    for (auto _ : state) {
      rec->Clear();
      // Deep enough that the stores below never drop the large step.
      rec->SetLimits(1000000, 0);
      rec->Begin(&handler, 2, nullptr);
      rec->SetData(NewBigStep());
      rec->End(TRUE);
      StoreSmall(rec, handler);  // the large step is second: it goes out

      EndStats idle = StoreWhile(rec, handler, nullptr, 5000);
      worstIdle = std::max(worstIdle, idle.worstUs);

      for (int pass = 0; pass < 2; ++pass) {
        // The second pass reads it back: every index is in memory then.
        if (pass == 1) rec->SetLimits(1000000, 1000000);
        std::atomic<bool> done{false};
        double sec = 0;
        std::thread swapper([&] {
          auto t0 = Clock::now();
          try {
            rec->ManageMemoryFile(u"qvbench");
          } catch (GErrRecord* e) {
            e->AddRef();
            e->Release();
          }
          sec = Seconds(t0, Clock::now());
          done = true;
        });
        EndStats busy = StoreWhile(rec, handler, &done, 0);
        swapper.join();
        swapSec += sec;
        endsDuringSwap += busy.count;
        (pass == 0 ? worstOut : worstIn) = std::max(pass == 0 ? worstOut : worstIn, busy.worstUs);
      }
      state.SetIterationTime(swapSec);
    }
  } catch (GErrRecord* e) {
    state.SkipWithError("the recorder threw");
    e->AddRef();
    e->Release();
  }
  rec->Release();

  state.counters["end_worst_us_idle"] = worstIdle;
  state.counters["end_worst_us_swap_out"] = worstOut;
  state.counters["end_worst_us_swap_in"] = worstIn;
  state.counters["ends_during_swap"] = double(endsDuringSwap);
  state.counters["swap_ms_avg"] = swapSec * 1e3 / (2.0 * double(std::max<int64_t>(1, state.iterations())));
  // Below 1: no End waited for a whole swap.
  if (swapSec > 0) {
    const double swapMs = swapSec * 1e3 / (2.0 * double(state.iterations()));
    const double worstMs = std::max(worstOut, worstIn) / 1e3;
    state.counters["worst_end_per_swap"] = worstMs / swapMs;
    // Not a race: the worst store during a swap against one whole swap (above 1: no store
    // waited for the swap).
    PrintRatio("undo_swap_bench", "worst End during a swap", worstMs, "one_swap", swapMs,
               "latency bound, not a speed race; worst End idle " + std::to_string(int(worstIdle)) + " us");
  }
}
BENCHMARK(BM_EndDuringSwap)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
