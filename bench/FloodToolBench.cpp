// The paint bucket's whole press-to-filled path on a 4000 x 4000 line-art picture (a ring of
// radius 1900 with 40 small rings inside it as holes): the press and release messages through
// the paint space and the tool (mask, flood, disc merge, outline trace, smoothing, 16 x 16
// coverage, blend, undo backup, mip refresh), against, in the same run and on the same
// picture, the floor of that work: a plain breadth-first flood from the same pixel with the
// same colour test, then each row's runs of region pixels filled with std::fill (a memset of
// 32-bit words). First the peak memory of one fill at the far corner of a 10000 x 10000 mask
// layer: the peak resident size reached during the fill above what was resident before it
// (Linux's peak reset), and the tool's own buffers.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "BenchDocument.h"
#include "BenchRatio.h"
#include "Corbish.h"
#include "XCreateShapeFromBitmap.h"
#include "XFlood.h"
#include "core/PaintSpace.h"
#include "panels/MyListLayer.h"
#include "platform/gui/Messages.h"
#include "tools/OperFlood.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSide = 4000;
constexpr uint32_t kWhite = 0xFFFFFFFFu, kInk = 0xFF000000u;
constexpr uint32_t kFill = 0xFF000000u;  // the document's current colour, opaque
constexpr unsigned kTolerance = 10;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The plug-in's components beside the document's own.
FakeSystem& System() {
  static FakeSystem& system = [] () -> FakeSystem& {
    g_system.Register(u"Corbish", GCreateComponent<Corbish>);
    g_system.Register(u"XFlood", GCreateComponent<XFlood>);
    g_system.Register(u"XCreateShapeFromBitmap", GCreateComponent<XCreateShapeFromBitmap>);
    return g_system;
  }();
  return system;
}

// Rings two pixels wide.
void Ring(std::vector<uint32_t>& px, int w, double cx, double cy, double r) {
  for (int i = 0; i < int(8 * r); ++i) {
    const double t = i * 2 * M_PI / (8 * r);
    for (double rr : {r, r + 1}) {
      const int x = int(cx + rr * std::cos(t)), y = int(cy + rr * std::sin(t));
      if (x >= 0 && y >= 0 && x < w && y < w) px[size_t(y) * size_t(w) + size_t(x)] = kInk;
    }
  }
}

std::vector<uint32_t> LineArt() {
  std::vector<uint32_t> px(size_t(kSide) * kSide, kWhite);
  Ring(px, kSide, 2000, 2000, 1900);
  for (int i = 0; i < 40; ++i) {
    const double t = i * 2 * M_PI / 40;
    Ring(px, kSide, 2000 + 1200 * std::cos(t), 2000 + 1200 * std::sin(t), 60 + 2 * i);
  }
  return px;
}

// The floor: a breadth-first flood with the bucket's colour test (the four byte differences
// against the pixel a neighbour is reached from), then every row's runs filled.
size_t ReferenceFill(std::vector<uint32_t>& px, int w, int h, int sx, int sy, uint32_t colour) {
  std::vector<uint8_t> in(px.size(), 0);
  std::vector<int32_t> queue;
  queue.reserve(px.size() / 4);
  in[size_t(sy) * size_t(w) + size_t(sx)] = 1;
  queue.push_back(sy * w + sx);
  const auto close = [](uint32_t a, uint32_t b) {
    unsigned d = 0;
    for (int s = 0; s < 32; s += 8) d += unsigned(std::abs(int((a >> s) & 255) - int((b >> s) & 255)));
    return d < kTolerance;
  };
  for (size_t head = 0; head < queue.size(); ++head) {
    const int32_t p = queue[head];
    const int x = p % w, y = p / w;
    const int32_t next[4] = {x > 0 ? p - 1 : -1, y > 0 ? p - w : -1, x + 1 < w ? p + 1 : -1, y + 1 < h ? p + w : -1};
    for (int32_t n : next) {
      if (n < 0 || in[size_t(n)] || !close(px[size_t(p)], px[size_t(n)])) continue;
      in[size_t(n)] = 1;
      queue.push_back(n);
    }
  }
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = in.data() + size_t(y) * size_t(w);
    for (int x = 0; x < w;) {
      if (!row[x]) {
        ++x;
        continue;
      }
      int e = x;
      while (e < w && row[e]) ++e;
      std::fill(px.begin() + ptrdiff_t(size_t(y) * size_t(w) + size_t(x)),
                px.begin() + ptrdiff_t(size_t(y) * size_t(w) + size_t(e)), colour);
      x = e;
    }
  }
  return queue.size();
}

// A new document with the paint bucket current and one layer, the farthest reach set.
struct Scene {
  std::unique_ptr<CTavrikDoc> doc;
  CPaintSpace* space = nullptr;
  COperFlood* tool = nullptr;
  GCompRef<OLayer> layer;

  Scene(int side, int format) {
    System();
    doc = NewDoc(side);
    space = doc->GetPaintSpace();
    space->SelectOperator(ID_OPER_FLOOD);
    tool = dynamic_cast<COperFlood*>(space->GetCurOperator());
    layer = Device()->CreateLayer(side, side, format, 1);
    doc->GetListLayer()->AddLayer(-1, layer);
    doc->GetListLayer()->SetCurSelect(0);
    // 2000 space pixels at the view's scale.
    if (tool) tool->m_fRadius = 2000.0f * space->m_pTransform->scale;
  }
  void Load(const std::vector<uint32_t>& px) {
    LayerLock lock;
    lock.Lock(layer, 0);
    for (int y = 0; y < lock.nHeight; ++y)
      std::copy_n(px.data() + size_t(y) * size_t(lock.nWidth), lock.nWidth, reinterpret_cast<uint32_t*>(lock.Row(y)));
    lock.Unlock();
    layer->MipRefresh(nullptr);
  }
  POINT ClientOf(float x, float y) {
    const float in[2] = {x, y};
    float out[2];
    Device()->SpaceToClient(out, in, space->m_pTransform);
    return POINT{LONG(std::floor(out[0])), LONG(std::floor(out[1]))};
  }
  // The space pixel a press at the client point floods from.
  POINT SeedOf(POINT c) {
    const float in[2] = {float(c.x) + 0.5f, float(c.y) + 0.5f};
    float out[2];
    Device()->ClientToSpace(out, in, space->m_pTransform);
    return POINT{LONG(std::floor(out[0])), LONG(std::floor(out[1]))};
  }
  void Click(POINT c) {
    LRESULT r = 0;
    space->OnWndMsg(WM_LBUTTONDOWN, MK_LBUTTON, MakePointLParam(c.x, c.y), &r);
    space->OnWndMsg(WM_LBUTTONUP, 0, MakePointLParam(c.x, c.y), &r);
  }
  size_t Changed(const std::vector<uint32_t>& before) {
    LayerLock lock;
    lock.Lock(layer, 0);
    size_t n = 0;
    for (int y = 0; y < lock.nHeight; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(lock.Row(y));
      for (int x = 0; x < lock.nWidth; ++x) n += row[x] != before[size_t(y) * size_t(lock.nWidth) + size_t(x)];
    }
    return n;
  }
};

// A line of /proc/self/status in kB (VmRSS now, VmHWM the peak since the last reset).
long StatusKb(const char* key) {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  long kb = -1;
  const size_t n = std::strlen(key);
  while (std::fgets(line, sizeof line, f))
    if (std::strncmp(line, key, n) == 0) kb = std::atol(line + n + 1);
  std::fclose(f);
  return kb;
}

// Sets the peak resident size back to the present one.
bool ResetPeak() {
  std::FILE* f = std::fopen("/proc/self/clear_refs", "w");
  if (!f) return false;
  const bool ok = std::fputs("5", f) >= 0;
  return std::fclose(f) == 0 && ok;
}

void BM_PeakMemory10000(benchmark::State& state) {
  for (auto _ : state) {
    Scene scene(10000, OLayer::myFORMAT_A16);
    if (!scene.tool) {
      state.SkipWithError("no paint bucket");
      return;
    }
    {
      // A vertical line: the fill at the far corner stops there.
      LayerLock lock;
      lock.Lock(scene.layer, 0);
      for (int y = 0; y < lock.nHeight; ++y) {
        auto* row = reinterpret_cast<uint16_t*>(lock.Row(y));
        std::fill(row, row + lock.nWidth, uint16_t(0));
        row[6000] = 0xFF00;
      }
    }
    scene.layer->MipRefresh(nullptr);
    const bool reset = ResetPeak();
    const long before = StatusKb("VmRSS:");
    const auto t0 = Clock::now();
    scene.Click(scene.ClientOf(8000.5f, 8000.5f));
    const double ms = Ms(Clock::now() - t0);
    const long after = StatusKb("VmHWM:");
    if (!reset || before < 0 || after < 0) {
      state.SkipWithError("no peak resident size to read");
      return;
    }
    state.SetIterationTime(ms / 1e3);
    state.counters["fill_ms"] = ms;
    state.counters["rss_before_mb"] = double(before) / 1024;
    state.counters["peak_growth_mb"] = double(after - before) / 1024;
    state.counters["tool_buffers_mb"] = double(scene.tool->m_mask.HeldBytes()) / 1048576.0;
    std::printf("PEAK flood_tool | one press at (8000, 8000) of a 10000 x 10000 mask layer (200 MB) | %.1f ms | "
                "resident %.1f MB before, peak %.1f MB above it during the fill | mask and bit box %.1f MB\n",
                ms, double(before) / 1024, double(after - before) / 1024,
                double(scene.tool->m_mask.HeldBytes()) / 1048576.0);
    std::fflush(stdout);
  }
}
// First, before the other case's buffers are freed into the heap.
BENCHMARK(BM_PeakMemory10000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_PressToFilled(benchmark::State& state) {
  const std::vector<uint32_t> art = LineArt();
  Scene scene(kSide, OLayer::myFORMAT_C32);
  scene.Load(art);
  if (!scene.tool) {
    state.SkipWithError("no paint bucket");
    return;
  }
  const POINT c = scene.ClientOf(2000.5f, 2000.5f);
  const POINT seed = scene.SeedOf(c);
  std::vector<uint32_t> ref;
  std::vector<double> ours, theirs;
  size_t refPixels = 0, changed = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    scene.Click(c);
    const double ms = Ms(Clock::now() - t0);
    state.SetIterationTime(ms / 1e3);
    ours.push_back(ms);
    state.PauseTiming();
    if (changed == 0) changed = scene.Changed(art);
    scene.space->Undo(1);
    ref = art;
    state.ResumeTiming();
    const auto t1 = Clock::now();
    refPixels = ReferenceFill(ref, kSide, kSide, int(seed.x), int(seed.y), kFill);
    theirs.push_back(Ms(Clock::now() - t1));
    benchmark::DoNotOptimize(ref.data());
  }
  const double oursMs = MedianOf(ours), refMs = MedianOf(theirs);
  state.counters["ours_ms"] = oursMs;
  state.counters["bfs_fill_ms"] = refMs;
  state.counters["region_px"] = double(refPixels);
  state.counters["changed_px"] = double(changed);
  char note[160];
  std::snprintf(note, sizeof note, "region %zu px by the plain flood, %zu px changed by the bucket", refPixels,
                changed);
  PrintRatio("flood_tool", "press to filled, 4000 x 4000 line art", oursMs, "bfs+fill", refMs, note);
}
BENCHMARK(BM_PressToFilled)->Iterations(8)->UseManualTime()->Unit(benchmark::kMillisecond);


}  // namespace

BENCHMARK_MAIN();
