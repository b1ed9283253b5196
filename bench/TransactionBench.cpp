// Paint transactions on a 4096 x 4096 colour layer beside memcpy of the same bytes: the
// prepare's backup copy, and the undo data of sparse (every 7th block) and full marks.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "Morvane.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSide = 4096;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

OLayer* NewLayer() {
  auto* l = static_cast<OLayer*>(GCreateComponent<Morvane>(nullptr, nullptr, nullptr)->GetInterface(u"OLayer__"));
  l->AddRef();
  l->Initialize(nullptr, kSide, kSide, OLayer::myFORMAT_C32, 1);
  LayerLock lock;
  lock.Lock(l, 0);
  auto* p = reinterpret_cast<uint32_t*>(lock.pPixels);
  for (size_t i = 0; i < size_t(kSide) * kSide; ++i) p[i] = uint32_t(i * 2654435761u);
  return l;
}

void Report(benchmark::State& state, double bytes, double ownSec, double copySec, const RatioTimes& times,
            const std::string& caseName) {
  bytes *= double(state.iterations());
  state.counters["own_GBps"] = bytes / ownSec / 1e9;
  state.counters["memcpy_GBps"] = bytes / copySec / 1e9;
  state.counters["own/memcpy"] = copySec / ownSec;  // speed ratio: 1 means as fast as memcpy
  state.SetBytesProcessed(int64_t(bytes));
  times.Print("transaction_bench", caseName, "memcpy", "floor: memcpy of the same bytes");
}

void BM_PrepareBackup(benchmark::State& state) {
  OLayer* l = NewLayer();
  const size_t bytes = size_t(kSide) * kSide * 4 + 4;
  std::vector<uint8_t> from(bytes, 1), to(bytes);
  l->PAT_PrepareActivate(PAT_F_BACKUP, nullptr);  // the surface exists from here on
  double own = 0, copy = 0;
  RatioTimes times;
  for (auto _ : state) {
    auto t0 = Clock::now();
    l->PAT_PrepareActivate(PAT_F_BACKUP, nullptr);
    auto t1 = Clock::now();
    std::memcpy(to.data(), from.data(), bytes);
    auto t2 = Clock::now();
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
    state.SetIterationTime(Seconds(t0, t1));
    own += Seconds(t0, t1);
    copy += Seconds(t1, t2);
    times.Add(Seconds(t0, t1), Seconds(t1, t2));
  }
  Report(state, double(bytes), own, copy, times, "prepare backup");
  l->Release();
}

enum Op { kBackup, kRestore, kUndo };

void BM_Patch(benchmark::State& state) {
  const int op = int(state.range(0));
  const bool full = state.range(1) != 0;
  OLayer* l = NewLayer();
  BYTE* map = l->PAT_GetMarkMap();
  int marked = 0;
  for (int r = 0; r < kSide / 64; ++r)
    for (int c = 0; c < kSide / 64; ++c) {
      bool on = full || (r * (kSide / 64) + c) % 7 == 0;
      map[r * LYR_MARK_SIDE + c] = on ? 1 : 0;
      marked += on;
    }
  const std::string caseName = std::string(op == kBackup    ? "backup"
                                           : op == kRestore ? "restore"
                                                            : "undo (out and in)") +
                               (full ? ", full" : ", every 7th block");
  state.SetLabel(caseName);
  // Undo moves the marked bytes twice: out into the new block, then in from the old one.
  const size_t bytes = size_t(marked) * 64 * 64 * 4 * (op == kUndo ? 2 : 1);
  std::vector<uint8_t> from(bytes, 1), to(bytes);
  OData* record = l->PAT_Backup(FALSE);
  record->AddRef();
  double own = 0, copy = 0;
  RatioTimes times;
  for (auto _ : state) {
    auto t0 = Clock::now();
    if (op == kBackup) {
      OData* b = l->PAT_Backup(FALSE);
      b->AddRef();
      b->Release();
    } else if (op == kRestore) {
      l->PAT_Restore(record);
    } else {
      OData* back = l->PAT_Undo(record);
      back->AddRef();
      record->Release();
      record = back;
    }
    auto t1 = Clock::now();
    std::memcpy(to.data(), from.data(), bytes);
    auto t2 = Clock::now();
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
    state.SetIterationTime(Seconds(t0, t1));
    own += Seconds(t0, t1);
    copy += Seconds(t1, t2);
    times.Add(Seconds(t0, t1), Seconds(t1, t2));
  }
  Report(state, double(bytes), own, copy, times, caseName);
  record->Release();
  l->Release();
}

BENCHMARK(BM_PrepareBackup)->Iterations(15)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Patch)
    ->ArgsProduct({{kBackup, kRestore, kUndo}, {0, 1}})
    ->ArgNames({"op", "full"})
    ->Iterations(15)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
