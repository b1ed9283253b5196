// Documents end to end, and the paint space's redraw.
//
// Save / Load: a document of 8 colour layers of 4096 x 4096 (four mostly transparent, four
// noisy) written and read through the document (container, worker job, sections, layer
// records, temporary file and rename; the load makes the layers and their mip levels),
// against compress2 / uncompress at the coder's level 4 of the same surface bytes in memory.
// "doc/zlib" is the speed ratio (1: as fast as zlib alone).
//
// Redraw: the time from a redraw request to the view's present through the worker, with 1, 8
// and 64 colour layers in a 1920 x 1080 view, against one bare composition of the same layers
// on the calling thread (DrawBegin, DrawLayer, DrawEnd). "request/bare" is the time ratio.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "BenchDocument.h"
#include "odata/GCompRef.h"
#include "odata/GSystem.h"
#include "platform/base/Files.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
constexpr int kSide = 4096;
constexpr int kDocLayers = 8;
constexpr int kLevel = 4;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// kind 0: transparent but for a few opaque bands; 1: opaque pixels of random colour.
void Fill(OLayer* l, int kind, uint64_t seed) {
  LayerLock lock;
  lock.Lock(l, 0);
  uint64_t x = 0x9E3779B97F4A7C15ull ^ seed;
  for (int y = 0; y < lock.nHeight; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(lock.Row(y));
    const bool band = y % 256 < 8;
    for (int i = 0; i < lock.nWidth; ++i) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      row[i] = kind ? uint32_t(x) | 0xFF000000u : band ? 0xC0000000u | (uint32_t(x) & 0xFFFFFF) : 0;
    }
  }
  lock.Unlock();
  l->MipRefresh(nullptr);
}

Bytes Surface(OLayer* l) {
  LayerLock lock;
  lock.Lock(l, 0);
  return Bytes(lock.pPixels, lock.pPixels + size_t(lock.cbRow) * size_t(lock.nHeight));
}

struct DocFixture {
  std::unique_ptr<CTavrikDoc> doc = NewDoc(kSide);
  std::vector<Bytes> surfaces;
  DocFixture() {
    for (int i = 0; i < kDocLayers; ++i) {
      GCompRef<OLayer> l = Device()->CreateLayer(kSide, kSide, OLayer::myFORMAT_C32, UINT(i + 1));
      Fill(l, i % 2, uint64_t(i));
      surfaces.push_back(Surface(l));
      doc->GetListLayer()->AddLayer(-1, l);
    }
  }
  size_t TotalBytes() const { return surfaces.size() * surfaces[0].size(); }
};

std::u16string DocPath() { return plat::GetTempFolder() + u"tavrik_document_bench.kelv"; }

void Report(benchmark::State& state, double bytes, double docSec, double zlibSec, double fileBytes) {
  state.counters["doc_MBps"] = bytes / docSec / 1e6;
  state.counters["zlib_MBps"] = bytes / zlibSec / 1e6;
  state.counters["doc/zlib"] = zlibSec / docSec;
  state.counters["file_%"] = 100.0 * fileBytes / bytes;
}

void BM_DocumentSave(benchmark::State& state) {
  DocFixture f;
  Bytes packed(compressBound(uLong(f.surfaces[0].size())));
  double docSec = 0, zlibSec = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    const BOOL ok = f.doc->SaveFile(DocPath());
    const auto t1 = Clock::now();
    for (const auto& s : f.surfaces) {
      uLongf n = uLongf(packed.size());
      if (compress2(packed.data(), &n, s.data(), uLong(s.size()), kLevel) != Z_OK) state.SkipWithError("zlib");
    }
    const auto t2 = Clock::now();
    if (!ok) {
      state.SkipWithError("save failed");
      return;
    }
    state.SetIterationTime(Seconds(t1 - t0));
    docSec += Seconds(t1 - t0);
    zlibSec += Seconds(t2 - t1);
  }
  Report(state, double(f.TotalBytes()), docSec, zlibSec, double(plat::GetFileLength(DocPath())));
}

void BM_DocumentLoad(benchmark::State& state) {
  double fileBytes = 0, total = 0;
  std::vector<Bytes> packed;
  std::vector<uLongf> packedSize;
  {
    DocFixture f;
    if (!f.doc->SaveFile(DocPath())) {
      state.SkipWithError("save failed");
      return;
    }
    fileBytes = double(plat::GetFileLength(DocPath()));
    total = double(kDocLayers) * kSide * kSide * 4;
    for (const auto& s : f.surfaces) {
      packed.emplace_back(compressBound(uLong(s.size())));
      uLongf n = uLongf(packed.back().size());
      compress2(packed.back().data(), &n, s.data(), uLong(s.size()), kLevel);
      packedSize.push_back(n);
    }
  }
  Bytes plain(size_t(kSide) * kSide * 4);
  double docSec = 0, zlibSec = 0;
  for (auto _ : state) {
    std::unique_ptr<CTavrikDoc> doc = NewDoc(16);
    const auto t0 = Clock::now();
    const BOOL ok = doc->LoadFile(DocPath());
    const auto t1 = Clock::now();
    for (size_t i = 0; i < packed.size(); ++i) {
      uLongf n = uLongf(plain.size());
      if (uncompress(plain.data(), &n, packed[i].data(), packedSize[i]) != Z_OK) state.SkipWithError("zlib");
    }
    const auto t2 = Clock::now();
    if (!ok || doc->GetListLayer()->GetCount() != kDocLayers) {
      state.SkipWithError("load failed");
      return;
    }
    state.SetIterationTime(Seconds(t1 - t0));
    docSec += Seconds(t1 - t0);
    zlibSec += Seconds(t2 - t1);
  }
  Report(state, total, docSec, zlibSec, fileBytes);
  plat::DeleteFile(DocPath());
}

void BM_RedrawRequestToPresent(benchmark::State& state) {
  const int count = int(state.range(0));
  std::unique_ptr<CTavrikDoc> doc = NewDoc(4096);
  CPaintSpace* space = doc->GetPaintSpace();
  CMyListLayer* list = doc->GetListLayer();
  for (int i = 0; i < count; ++i) {
    GCompRef<OLayer> l = Device()->CreateLayer(1024, 1024, OLayer::myFORMAT_C32, UINT(i + 1));
    Fill(l, i % 2, uint64_t(i));
    // Scattered over the part of the space the view shows.
    l->SetPosition(1024 + (i * 397) % 1500, 1536 + (i * 211) % 700, FALSE);
    list->AddLayer(-1, l);
  }
  list->SetCurSelect(0);
  OWorker* worker = space->GetWorker();
  OShowDevice* device = space->GetShowDevice();
  double requestSec = 0, bareSec = 0;
  for (auto _ : state) {
    // Each request shows a different view, as a pan would.
    space->m_pTransform->centreX = float(2048 + (state.iterations() % 2) * 3);
    const auto t0 = Clock::now();
    space->RefreshInWorker(nullptr);
    worker->Wait(FALSE);
    const Clock::time_point presented{Clock::duration(g_host.screen.last.load())};
    const auto t1 = Clock::now();
    {
      GAutoLock lock(space->GetDrawLock());
      device->DrawBegin(space->m_pTransform, TRUE);
      for (int i = 0; i < count; ++i) device->DrawLayer(list->GetLayer(i), i == 0 ? LYR_TIDY_CURRENT : 0, nullptr);
      device->DrawEnd(nullptr, nullptr);
    }
    const auto t2 = Clock::now();
    if (presented < t0) {
      state.SkipWithError("no present");
      return;
    }
    state.SetIterationTime(Seconds(presented - t0));
    requestSec += Seconds(presented - t0);
    bareSec += Seconds(t2 - t1);
  }
  state.counters["request_ms"] = 1e3 * requestSec / double(state.iterations());
  state.counters["bare_ms"] = 1e3 * bareSec / double(state.iterations());
  state.counters["request/bare"] = requestSec / bareSec;
}

BENCHMARK(BM_DocumentSave)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DocumentLoad)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedrawRequestToPresent)->Arg(1)->Arg(8)->Arg(64)->ArgName("layers")->Iterations(20)->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
