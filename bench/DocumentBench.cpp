// Documents end to end, and the paint space's redraw.
//
// Save / Load: a document of 8 layers of 4096 x 4096 (six colour, two masks) painted as work
// is (bench/BenchContent.h), written and read through the document (container, worker job,
// sections, layer records, temporary file and rename; the load makes the layers and their mip
// levels). The references do the same I/O and allocation on one thread with zlib alone: the
// save compress2's every surface at the coder's level 4 and writes the streams to a file; the
// load reads the streams back and uncompress'es each into a freshly allocated surface.
//
// Redraw: the time from a redraw request to the view's present through the worker, with 1, 8
// and 64 colour layers in a 1920 x 1080 view, against one bare composition of the same layers
// on the calling thread (DrawBegin, DrawLayer, DrawEnd). "request/bare" is the time ratio.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "BenchContent.h"
#include "BenchDocument.h"
#include "BenchRatio.h"
#include "odata/GCompRef.h"
#include "odata/GSystem.h"
#include "platform/base/Files.h"
#include "platform/base/Text.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
constexpr int kSide = 4096;
constexpr int kDocLayers = 8;
constexpr int kLevel = 4;
constexpr int kRuns = 5;

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
      const int format = i % 4 == 3 ? OLayer::myFORMAT_A16 : OLayer::myFORMAT_C32;
      GCompRef<OLayer> l = Device()->CreateLayer(kSide, kSide, format, UINT(i + 1));
      bench_content::Paint(l, uint64_t(i));
      surfaces.push_back(Surface(l));
      doc->GetListLayer()->AddLayer(-1, l);
    }
  }
  size_t TotalBytes() const {
    size_t n = 0;
    for (const auto& s : surfaces) n += s.size();
    return n;
  }
};

std::u16string DocPath() { return plat::GetTempFolder() + u"tavrik_document_bench.kelv"; }
std::string RefPath() { return plat::ToUtf8(plat::GetTempFolder() + u"tavrik_document_bench.ref"); }

std::string Note(double bytes, double fileBytes) {
  char text[96];
  std::snprintf(text, sizeof text, "%.0f MB of surfaces, file %.1f %%", bytes / 1e6, 100.0 * fileBytes / bytes);
  return text;
}

// The save's reference: every surface through compress2 on this thread, the streams into a
// file. Returns the stream sizes, or nothing when zlib or the file failed.
std::vector<uLongf> ReferenceSave(const std::vector<Bytes>& surfaces, Bytes& packed) {
  std::vector<uLongf> sizes;
  FILE* f = std::fopen(RefPath().c_str(), "wb");
  if (!f) return sizes;
  bool ok = true;
  for (const auto& s : surfaces) {
    uLongf n = uLongf(packed.size());
    ok = ok && compress2(packed.data(), &n, s.data(), uLong(s.size()), kLevel) == Z_OK &&
         std::fwrite(packed.data(), 1, n, f) == n;
    sizes.push_back(n);
  }
  ok = std::fclose(f) == 0 && ok;
  if (!ok) sizes.clear();
  return sizes;
}

// The load's reference: the streams read back and each uncompress'ed into a new surface.
bool ReferenceLoad(const std::vector<uLongf>& sizes, const std::vector<Bytes>& surfaces) {
  FILE* f = std::fopen(RefPath().c_str(), "rb");
  if (!f) return false;
  bool ok = true;
  for (size_t i = 0; i < sizes.size() && ok; ++i) {
    auto* packed = static_cast<Bytef*>(std::malloc(sizes[i]));
    auto* plain = static_cast<Bytef*>(std::malloc(surfaces[i].size()));
    uLongf n = uLongf(surfaces[i].size());
    ok = packed && plain && std::fread(packed, 1, sizes[i], f) == sizes[i] &&
         uncompress(plain, &n, packed, sizes[i]) == Z_OK && n == surfaces[i].size() &&
         plain[n / 2] == surfaces[i][n / 2];
    std::free(packed);
    std::free(plain);
  }
  std::fclose(f);
  return ok;
}

void BM_DocumentSave(benchmark::State& state) {
  DocFixture f;
  Bytes packed(compressBound(uLong(f.TotalBytes())));
  RatioTimes times;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    const BOOL ok = f.doc->SaveFile(DocPath());
    const auto t1 = Clock::now();
    const bool refOk = !ReferenceSave(f.surfaces, packed).empty();
    const auto t2 = Clock::now();
    if (!ok || !refOk) {
      state.SkipWithError("save failed");
      return;
    }
    state.SetIterationTime(Seconds(t1 - t0));
    times.Add(Seconds(t1 - t0), Seconds(t2 - t1));
  }
  const double bytes = double(f.TotalBytes());
  times.Print("document", "save 8 layers 4096x4096", "compress2 one thread",
              Note(bytes, double(plat::GetFileLength(DocPath()))));
  std::remove(RefPath().c_str());
}

void BM_DocumentLoad(benchmark::State& state) {
  double fileBytes = 0, bytes = 0;
  std::vector<Bytes> surfaces;
  std::vector<uLongf> sizes;
  {
    DocFixture f;
    Bytes packed(compressBound(uLong(f.TotalBytes())));
    sizes = ReferenceSave(f.surfaces, packed);
    if (!f.doc->SaveFile(DocPath()) || sizes.empty()) {
      state.SkipWithError("save failed");
      return;
    }
    fileBytes = double(plat::GetFileLength(DocPath()));
    bytes = double(f.TotalBytes());
    surfaces = std::move(f.surfaces);
  }
  RatioTimes times;
  for (auto _ : state) {
    std::unique_ptr<CTavrikDoc> doc = NewDoc(16);
    const auto t0 = Clock::now();
    const BOOL ok = doc->LoadFile(DocPath());
    const auto t1 = Clock::now();
    const bool refOk = ReferenceLoad(sizes, surfaces);
    const auto t2 = Clock::now();
    bool same = ok && doc->GetListLayer()->GetCount() == kDocLayers;
    // Each layer back bit for bit (layer i + 1 was painted from surfaces[i]).
    for (int i = 0; same && i < kDocLayers; ++i) {
      OLayer* l = doc->GetListLayer()->GetLayer(i);
      same = l->GetID() >= 1 && l->GetID() <= UINT(kDocLayers) && Surface(l) == surfaces[l->GetID() - 1];
    }
    if (!same || !refOk) {
      state.SkipWithError(!ok ? "load failed" : !same ? "loaded layers differ" : "reference load failed");
      return;
    }
    state.SetIterationTime(Seconds(t1 - t0));
    times.Add(Seconds(t1 - t0), Seconds(t2 - t1));
  }
  times.Print("document", "load 8 layers 4096x4096", "uncompress one thread", Note(bytes, fileBytes));
  plat::DeleteFile(DocPath());
  std::remove(RefPath().c_str());
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

BENCHMARK(BM_DocumentSave)->Iterations(kRuns)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DocumentLoad)->Iterations(kRuns)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedrawRequestToPresent)->Arg(1)->Arg(8)->Arg(64)->ArgName("layers")->Iterations(20)->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
