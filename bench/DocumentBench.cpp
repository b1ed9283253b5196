// Documents end to end, and the paint space's redraw.
//
// Save / Load: a document of 8 layers of 4096 x 4096 (six colour, two masks) painted as work
// is (bench/BenchContent.h), written and read through the document (container, worker job,
// sections, layer records, temporary file and rename; the load makes the layers and their mip
// levels). The save runs on every core the process may use; its references compress2 every
// surface at level 4 and write the streams to a file, once on one thread and once on as many
// threads as the save has. The load's reference reads the streams back and uncompress'es each
// on one thread into one surface buffer that is reused (a fresh one would pay its page faults
// on every run), checking every byte.
//
// Levels: libdeflate's levels against compress2 at level 4 on the same 8 surfaces, one thread
// each: the stream sizes and times that chose the layer records' level.
//
// Redraw: the time from a redraw request to the view's present through the worker, with 1, 8
// and 64 colour layers in a 1920 x 1080 view, against one bare composition of the same layers
// on the calling thread (DrawBegin, DrawLayer, DrawEnd). "request/bare" is the time ratio.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
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
#include "platform/base/TilePool.h"

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

// Writes the streams to the reference file in order; false when the file failed.
bool WriteStreams(const std::vector<const Bytef*>& streams, const std::vector<uLongf>& sizes) {
  FILE* f = std::fopen(RefPath().c_str(), "wb");
  if (!f) return false;
  bool ok = true;
  for (size_t i = 0; i < streams.size(); ++i) ok = ok && std::fwrite(streams[i], 1, sizes[i], f) == sizes[i];
  return std::fclose(f) == 0 && ok;
}

// The save's reference on one thread: every surface through compress2 into one reused buffer,
// each stream written before the next is made. Returns the stream sizes, or nothing when zlib
// or the file failed.
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

// The save's reference on the save's cores: the surfaces through compress2 on a pool of as
// many threads, each into its own buffer, then the streams written in order.
struct ParallelReference {
  const std::vector<Bytes>* surfaces;
  std::vector<Bytes> packed;
  std::vector<uLongf> sizes;
  std::atomic<bool> ok{true};

  explicit ParallelReference(const std::vector<Bytes>& s) : surfaces(&s), sizes(s.size()) {
    for (const auto& surface : s) packed.emplace_back(compressBound(uLong(surface.size())));
  }
  static void One(void* context, int i, int) {
    auto& r = *static_cast<ParallelReference*>(context);
    const Bytes& s = (*r.surfaces)[size_t(i)];
    uLongf n = uLongf(r.packed[size_t(i)].size());
    if (compress2(r.packed[size_t(i)].data(), &n, s.data(), uLong(s.size()), kLevel) != Z_OK) r.ok = false;
    r.sizes[size_t(i)] = n;
  }
  bool Run(TilePool& pool) {
    ok = true;
    pool.Run(int(surfaces->size()), One, this);
    std::vector<const Bytef*> streams;
    for (const auto& p : packed) streams.push_back(p.data());
    return ok && WriteStreams(streams, sizes);
  }
};

// The load's reference: the streams read back into one buffer and each uncompress'ed into one
// reused surface buffer, every byte compared with the surface saved.
bool ReferenceLoad(const std::vector<uLongf>& sizes, const std::vector<Bytes>& surfaces, Bytes& packed,
                   Bytes& plain) {
  FILE* f = std::fopen(RefPath().c_str(), "rb");
  if (!f) return false;
  bool ok = true;
  for (size_t i = 0; i < sizes.size() && ok; ++i) {
    uLongf n = uLongf(surfaces[i].size());
    ok = sizes[i] <= packed.size() && n <= plain.size() && std::fread(packed.data(), 1, sizes[i], f) == sizes[i] &&
         uncompress(plain.data(), &n, packed.data(), sizes[i]) == Z_OK && n == surfaces[i].size() &&
         std::memcmp(plain.data(), surfaces[i].data(), n) == 0;
  }
  std::fclose(f);
  return ok;
}

void BM_DocumentSave(benchmark::State& state) {
  DocFixture f;
  Bytes packed(compressBound(uLong(f.TotalBytes())));
  ParallelReference parallel(f.surfaces);
  TilePool pool(std::min(TilePool::Cores(), kDocLayers));  // as many threads as the save uses
  RatioTimes oneThread, sameThreads;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    const BOOL ok = f.doc->SaveFile(DocPath());
    const auto t1 = Clock::now();
    const bool refOk = !ReferenceSave(f.surfaces, packed).empty();
    const auto t2 = Clock::now();
    const bool parallelOk = parallel.Run(pool);
    const auto t3 = Clock::now();
    if (!ok || !refOk || !parallelOk) {
      state.SkipWithError("save failed");
      return;
    }
    state.SetIterationTime(Seconds(t1 - t0));
    oneThread.Add(Seconds(t1 - t0), Seconds(t2 - t1));
    sameThreads.Add(Seconds(t1 - t0), Seconds(t3 - t2));
  }
  const double bytes = double(f.TotalBytes());
  const std::string note = Note(bytes, double(plat::GetFileLength(DocPath())));
  const std::string threads = std::to_string(pool.Workers());
  // Ours runs on every core; the first reference on one, the second on the same cores.
  oneThread.Print("document", "save 8 layers 4096x4096 on " + threads + " threads vs one", "compress2 one thread",
                  note);
  sameThreads.Print("document", "save 8 layers 4096x4096 on " + threads + " threads", ("compress2 " + threads +
                    " threads").c_str(), note);
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
  Bytes packed(*std::max_element(sizes.begin(), sizes.end()));
  Bytes plain(surfaces[0].size());
  for (const auto& surface : surfaces) plain.resize(std::max(plain.size(), surface.size()));
  RatioTimes times;
  for (auto _ : state) {
    std::unique_ptr<CTavrikDoc> doc = NewDoc(16);
    const auto t0 = Clock::now();
    const BOOL ok = doc->LoadFile(DocPath());
    const auto t1 = Clock::now();
    const bool refOk = ReferenceLoad(sizes, surfaces, packed, plain);
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
  times.Print("document", "load 8 layers 4096x4096 on " + std::to_string(std::min(TilePool::Cores(), kDocLayers)) +
              " threads", "uncompress one thread, reused buffer", Note(bytes, fileBytes));
  plat::DeleteFile(DocPath());
  std::remove(RefPath().c_str());
}

void BM_DocumentLevel(benchmark::State& state) {
  static DocFixture f;  // painted once for every level
  const int level = int(state.range(0));
  libdeflate_compressor* c = libdeflate_alloc_compressor(level);
  Bytes ours(libdeflate_zlib_compress_bound(c, f.surfaces[0].size())), theirs(compressBound(uLong(ours.size())));
  RatioTimes times;
  double oursBytes = 0, theirBytes = 0;
  for (auto _ : state) {
    double oursSec = 0, theirSec = 0;
    oursBytes = theirBytes = 0;
    for (const Bytes& s : f.surfaces) {
      const auto t0 = Clock::now();
      const size_t n = libdeflate_zlib_compress(c, s.data(), s.size(), ours.data(), ours.size());
      const auto t1 = Clock::now();
      uLongf z = uLongf(theirs.size());
      const int rc = compress2(theirs.data(), &z, s.data(), uLong(s.size()), kLevel);
      const auto t2 = Clock::now();
      if (n == 0 || rc != Z_OK) {
        state.SkipWithError("compress failed");
        libdeflate_free_compressor(c);
        return;
      }
      oursSec += Seconds(t1 - t0);
      theirSec += Seconds(t2 - t1);
      oursBytes += double(n);
      theirBytes += double(z);
    }
    state.SetIterationTime(oursSec);
    times.Add(oursSec, theirSec);
  }
  libdeflate_free_compressor(c);
  char note[80];
  std::snprintf(note, sizeof note, "streams %.2f %% of compress2's", 100.0 * oursBytes / theirBytes);
  times.Print("document", "8 surfaces, libdeflate level " + std::to_string(level) + " one thread", "compress2 level 4",
              note);
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
BENCHMARK(BM_DocumentLevel)->DenseRange(1, 7)->ArgName("level")->Iterations(1)->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedrawRequestToPresent)->Arg(1)->Arg(8)->Arg(64)->ArgName("layers")->Iterations(20)->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
