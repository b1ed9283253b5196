// Data blocks against memcpy: 64 MiB written into and read out of a block in 64 KiB
// pieces, beside memcpy of the same pieces between plain buffers.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "odata/OData.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kTotal = size_t(64) << 20;
constexpr size_t kPiece = size_t(64) << 10;

enum Kind { kFragmented, kContiguous };
enum Direction { kWrite, kRead };

OData* NewBlock(int kind) {
  OData* d = kind == kFragmented ? static_cast<OData*>((new NuvrelFragmented())->Init(kTotal))
                                 : static_cast<OData*>((new Nuvrel())->Init(kTotal));
  d->AddRef();
  return d;
}

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

void BM_Data(benchmark::State& state) {
  const int kind = int(state.range(0));
  const int dir = int(state.range(1));
  const std::string caseName =
      std::string(kind == kFragmented ? "fragmented " : "contiguous ") + (dir == kWrite ? "write" : "read");
  state.SetLabel(caseName);
  std::vector<uint8_t> plain(kTotal), other(kTotal), ref(kTotal);
  for (size_t i = 0; i < kTotal; ++i) plain[i] = uint8_t(i * 31 + (i >> 12));
  OData* block = NewBlock(kind);
  block->Write(plain.data(), kTotal);  // fault every page in before timing

  double dataSec = 0, copySec = 0;
  RatioTimes times;
  for (auto _ : state) {
    block->Rewind();
    auto t0 = Clock::now();
    for (size_t at = 0; at < kTotal; at += kPiece) {
      if (dir == kWrite) block->Write(plain.data() + at, kPiece);
      else block->Read(other.data() + at, kPiece);
    }
    auto t1 = Clock::now();
    for (size_t at = 0; at < kTotal; at += kPiece) std::memcpy(ref.data() + at, plain.data() + at, kPiece);
    auto t2 = Clock::now();
    benchmark::DoNotOptimize(other.data());
    benchmark::DoNotOptimize(ref.data());
    benchmark::ClobberMemory();
    state.SetIterationTime(Seconds(t0, t1));
    dataSec += Seconds(t0, t1);
    copySec += Seconds(t1, t2);
    times.Add(Seconds(t0, t1), Seconds(t1, t2));
  }
  if (dir == kRead && std::memcmp(other.data(), plain.data(), kTotal) != 0) {
    state.SkipWithError("read gave other bytes");
  }
  const double bytes = double(kTotal) * double(state.iterations());
  state.counters["data_GBps"] = bytes / dataSec / 1e9;
  state.counters["memcpy_GBps"] = bytes / copySec / 1e9;
  state.counters["data/memcpy"] = copySec / dataSec;  // speed ratio: 1 means as fast as memcpy
  state.SetBytesProcessed(int64_t(bytes));
  times.Print("data_bench", caseName, "memcpy", "floor: memcpy of the same 64 KiB pieces");
  block->Release();
}

BENCHMARK(BM_Data)
    ->ArgsProduct({{kFragmented, kContiguous}, {kWrite, kRead}})
    ->ArgNames({"kind", "dir"})
    ->Iterations(15)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
