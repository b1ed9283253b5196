// Latency of a stroke on the screen: samples fed from this thread at about 1 kHz while the
// paint engine renders on a worker into the glass of the top of eight 4096 x 4096 colour
// layers (the bottom one opaque, the others half-transparent squares); each batch's sink
// composes the dirty rectangle of a 1920 x 1080 view through the display device and presents
// it. At 100 % (600 samples) and zoomed out to 1/2 and 1/16 (2,000 samples), where the view
// reads the mip levels and the sink first rebuilds the glass's levels over the batch's blocks.
//
// Each iteration draws the stroke twice. The first measures the latency alone: the median and
// 99th percentile of the time from AddSample to the present that showed the sample (goal:
// under one 60 Hz frame, 16.7 ms, at the median and two at the 99th percentile). The second
// also composes every batch's rectangle with pixman, the outside reference, from the same
// level of the same layers and glass: the white background, the eight layers and the glass's
// colour through its coverage (OVER), presented into a screen of its own; its pixels must
// agree with ours and the dab must show. pixman's inputs in its own formats (premultiplied
// copies of the layers' part in view, the glass's coverage as a8) are made before its timing,
// the glass's levels are ours alone and reported apart: the ratio compares compose and present.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "BenchRatio.h"
#include "BrushItems.h"
#include "DorvilBrush.h"
#include "DorvilEngine.h"
#include "Morvane.h"
#include "XShowDevice.h"
#include "ViewMath.h"
#include "XWorker.h"
#include "common/FakeSystem.h"
#include "odata/GCompRef.h"
#include "platform/base/Present.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSide = 4096, kLayers = 8, kViewW = 1920, kViewH = 1080;
constexpr uint32_t kBackground = 0xFFFFFF;
// The result checks: the largest colour channel difference of the two pictures (each side
// rounds its blends its own way, nine of them on a pixel), and the share of batches whose last
// dab must change the screen at its centre (a dab over the stroke's own earlier dabs may not).
constexpr int kLargestDifference = 8;
constexpr double kShownShare = 0.9;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Scene {
  FakeSystem sys;
  GCompRef<OShowDevice> device;
  GCompRef<OWorker> worker;
  GCompRef<ODorvil> engine;
  GCompRef<OBrush> brush;
  BrushContext ctx{};
  std::vector<GCompRef<OLayer>> layers;  // bottom first
  GCompRef<OLayer> glass;
  ViewTransform view{};
  plat::MemoryPresentTarget screen;

  Scene() {
    sys.Register(u"Morvane", GCreateComponent<Morvane>);
    sys.Register(u"XShowDevice", GCreateComponent<XShowDevice>);
    sys.Register(u"XWorker", GCreateComponent<XWorker>);
    sys.Register(u"Dorvil", GCreateComponent<DorvilEngine>);
    sys.Register(u"Pen", GCreateComponent<DorvilBrushOf<dorvil::FAMILY_PEN>>);
    device = static_cast<OShowDevice*>(sys.NewObj(u"XShowDevice", nullptr)->GetInterface(u"OShowDevice"));
    worker = static_cast<OWorker*>(sys.NewObj(u"XWorker", nullptr)->GetInterface(u"OWorker"));
    engine = static_cast<ODorvil*>(sys.NewObj(u"Dorvil", nullptr)->GetInterface(u"ODorvil"));
    brush = static_cast<OBrush*>(sys.NewObj(u"Pen", nullptr)->GetInterface(u"OBrush"));
    engine->Bind(&ctx, 0);
    auto* items = static_cast<OBrushProperty*>(brush->GetInterface(u"OBrushProperty"));
    UINT at = 0;
    items->FindByName(&at, u"RADIUS");
    items->SetValue(at, dorvil::ValueFromRadius(20.0f));
    brush->Activate(&ctx, nullptr);
    for (int i = 0; i < kLayers; ++i) {
      GCompRef<OLayer> l = device->CreateLayer(kSide, kSide, OLayer::myFORMAT_C32, UINT(i + 1));
      LayerLock lock;
      lock.Lock(l, 0);
      for (int y = 0; y < kSide; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(lock.Row(y));
        for (int x = 0; x < kSide; ++x) {
          const uint32_t a = i == 0 ? 255u : (((x >> 6) + (y >> 6) + i) % 3 == 0 ? 128u : 0u);
          row[x] = (a << 24) | (uint32_t(x * 7 + i * 40) & 0xFFu) << 16 | (uint32_t(y * 5) & 0xFFu) << 8 | 0x40u;
        }
      }
      lock.Unlock();
      l->MipRefresh(nullptr);
      layers.push_back(l);
    }
    glass = device->CreateLayer(kSide, kSide, OLayer::myFORMAT_A16, 0);
    view = ViewTransform{0, kSide, kSide, kBackground, kViewW, kViewH, kSide / 2.0f, kSide / 2.0f, 0.0f, 1.0f};
  }

  // The stack through the display device, top first as the device takes it: the top layer
  // (the one painted) with its glass, down to the opaque bottom one; presented.
  void Draw(const ViewTransform* v, const RECT* rc, bool withGlass) {
    device->DrawBegin(v, TRUE);
    for (int i = kLayers - 1; i >= 0; --i)
      device->DrawLayer(layers[size_t(i)], LYR_TIDY_CURRENT, withGlass && i == kLayers - 1 ? glass.get() : nullptr);
    device->DrawEnd(rc, nullptr);
    device->Preset(&screen, rc);
  }
};

Scene& Get() {
  static Scene* s = new Scene();
  return *s;
}

// pixman's side at one mip level: premultiplied copies of the part of each layer the view
// shows at that level, the glass's coverage of a batch's rectangle as a8, and a screen.
// Client point (x, y) shows level point (x + dx, y + dy).
struct PixmanView {
  PixmanView(Scene& s, int mip) : scene(s), level(mip) {
    const int side = kSide >> mip;
    dx = side / 2 - kViewW / 2, dy = side / 2 - kViewH / 2;
    x0 = std::max(0, dx), y0 = std::max(0, dy);
    w = std::min(side, dx + kViewW) - x0, h = std::min(side, dy + kViewH) - y0;
    copies.resize(size_t(kLayers));
    for (int i = 0; i < kLayers; ++i) {
      ShowParam sp;
      s.layers[size_t(i)]->GetShowParam(&sp, mip);
      std::vector<uint32_t>& copy = copies[size_t(i)];
      copy.resize(size_t(w) * size_t(h));
      for (int y = 0; y < h; ++y) {
        const auto* src = reinterpret_cast<const uint32_t*>(sp.pPixels) + size_t(y0 + y) * sp.nPitch + size_t(x0);
        for (int x = 0; x < w; ++x) {
          const uint32_t v = src[x], a = v >> 24;
          uint32_t pm = a << 24;
          for (int ch = 0; ch < 24; ch += 8) pm |= ((((v >> ch) & 255) * a + 127) / 255) << ch;
          copy[size_t(y) * size_t(w) + size_t(x)] = pm;
        }
      }
      images.push_back(pixman_image_create_bits(PIXMAN_a8r8g8b8, w, h, copy.data(), w * 4));
    }
    const pixman_color_t white{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    background = pixman_image_create_solid_fill(&white);
    mask = pixman_image_create_bits(PIXMAN_a8, kViewW, kViewH, reinterpret_cast<uint32_t*>(coverage.data()), kViewW);
    target = pixman_image_create_bits(PIXMAN_a8r8g8b8, kViewW, kViewH, pixels.data(), kViewW * 4);
    // The screen as ours was before the stroke.
    screen.Present(s.screen.Pixels().data(), kViewW, kViewH, kViewW, false, RECT{0, 0, kViewW, kViewH});
  }
  ~PixmanView() {
    for (pixman_image_t* i : images) pixman_image_unref(i);
    pixman_image_unref(background);
    pixman_image_unref(mask);
    pixman_image_unref(target);
    if (glassColour) pixman_image_unref(glassColour);
  }

  // Untimed: the glass's coverage over rc (the high byte of its A16 level) and its colour.
  void Prepare(const RECT& rc) {
    ShowParam sp;
    scene.glass->GetShowParam(&sp, level);
    const int side = kSide >> level;
    for (LONG y = rc.top; y < rc.bottom; ++y)
      for (LONG x = rc.left; x < rc.right; ++x) {
        const int lx = int(x) + dx, ly = int(y) + dy;
        const bool in = lx >= 0 && ly >= 0 && lx < side && ly < side;
        coverage[size_t(y) * kViewW + size_t(x)] =
            in ? uint8_t(reinterpret_cast<const uint16_t*>(sp.pPixels)[size_t(ly) * sp.nPitch + size_t(lx)] >> 8) : 0;
      }
    if (sp.dwColor != colourWord) {
      if (glassColour) pixman_image_unref(glassColour);
      // Opacity in the top byte out of 128; the colour premultiplied by it.
      const uint32_t a = std::min<uint32_t>(255, ((sp.dwColor >> 24) * 255 + 64) / 128);
      auto lane = [&](int shift) { return uint16_t(((sp.dwColor >> shift & 255) * a + 127) / 255 * 257); };
      const pixman_color_t c{lane(16), lane(8), lane(0), uint16_t(a * 257)};
      glassColour = pixman_image_create_solid_fill(&c);
      colourWord = sp.dwColor;
    }
  }

  // Timed: the rectangle composed bottom up over the background and presented.
  void Compose(const RECT& rc) {
    const int l = int(rc.left), t = int(rc.top), cw = int(rc.right - rc.left), ch = int(rc.bottom - rc.top);
    pixman_image_composite32(PIXMAN_OP_SRC, background, nullptr, target, 0, 0, 0, 0, l, t, cw, ch);
    for (pixman_image_t* img : images)
      pixman_image_composite32(PIXMAN_OP_OVER, img, nullptr, target, l + dx - x0, t + dy - y0, 0, 0, l, t, cw, ch);
    pixman_image_composite32(PIXMAN_OP_OVER, glassColour, mask, target, 0, 0, l, t, l, t, cw, ch);
    screen.Present(pixels.data(), kViewW, kViewH, kViewW, false, rc);
  }

  Scene& scene;
  int level;
  int dx = 0, dy = 0, x0 = 0, y0 = 0, w = 0, h = 0;
  std::vector<std::vector<uint32_t>> copies;
  std::vector<pixman_image_t*> images;
  std::vector<uint8_t> coverage = std::vector<uint8_t>(size_t(kViewW) * kViewH);
  std::vector<uint32_t> pixels = std::vector<uint32_t>(size_t(kViewW) * kViewH);
  pixman_image_t* background = nullptr;
  pixman_image_t* mask = nullptr;
  pixman_image_t* target = nullptr;
  pixman_image_t* glassColour = nullptr;
  uint32_t colourWord = 0;
  plat::MemoryPresentTarget screen;
};

// The paint tool's sink in small: the dirty rectangle of the batch's dabs composed and
// presented, every sample's wait recorded; with a reference, pixman composes and presents the
// same rectangle after ours, and the two screens are compared there.
struct LatencySink final : PaintDirtySink {
  LatencySink(Scene& s, const ViewTransform& v, PixmanView* p) : scene(s), view(v), reference(p) {}
  void Reset(ViewTransform* out) override {
    *out = view;
    rc = RECT{100000, 100000, -100000, -100000};
    dabs = 0;
    std::lock_guard<std::mutex> lock(mutex);
    batchUpTo = added;
  }
  void AddDab(const float p[2], float radius) override {
    float c[2];
    scene.device->SpaceToClient(c, p, &view);
    const float half = (radius + 1.9999f) * view.scale + 1.0f;
    rc.left = std::min<LONG>(rc.left, LONG(std::floor(c[0] - half)));
    rc.top = std::min<LONG>(rc.top, LONG(std::floor(c[1] - half)));
    rc.right = std::max<LONG>(rc.right, LONG(std::ceil(c[0] + half)));
    rc.bottom = std::max<LONG>(rc.bottom, LONG(std::ceil(c[1] + half)));
    centre = POINT{LONG(std::floor(c[0])), LONG(std::floor(c[1]))};
    ++dabs;
  }
  void Flush() override {
    Clock::time_point shown = Clock::now();
    if (dabs > 0) {
      const bool centreInView = centre.x >= 0 && centre.y >= 0 && centre.x < kViewW && centre.y < kViewH;
      const uint32_t before = centreInView ? scene.screen.At(int(centre.x), int(centre.y)) : 0;
      const auto t0 = Clock::now();
      blocks += scene.glass->PAT_MarkMipRefreshPending();
      const auto t1 = Clock::now();
      scene.Draw(&view, &rc, true);
      shown = Clock::now();
      refreshMs.push_back(Ms(t1 - t0));
      flushMs.push_back(Ms(shown - t0));
      drawMs.push_back(Ms(shown - t1));
      if (centreInView) {
        ++centres;
        shownCentres += scene.screen.At(int(centre.x), int(centre.y)) != before;
      }
      if (reference) Compare();
    }
    std::lock_guard<std::mutex> lock(mutex);
    for (; presented < batchUpTo; ++presented) latencyMs.push_back(Ms(shown - addedAt[presented]));
  }
  // pixman's compose and present of the same rectangle, and the largest difference of the
  // two screens' colours there.
  void Compare() {
    const RECT clip{std::max<LONG>(rc.left, 0), std::max<LONG>(rc.top, 0), std::min<LONG>(rc.right, kViewW),
                    std::min<LONG>(rc.bottom, kViewH)};
    if (clip.right <= clip.left || clip.bottom <= clip.top) return;
    reference->Prepare(clip);
    const auto t0 = Clock::now();
    reference->Compose(clip);
    pixmanMs.push_back(Ms(Clock::now() - t0));
    for (LONG y = clip.top; y < clip.bottom; ++y)
      for (LONG x = clip.left; x < clip.right; ++x) {
        const uint32_t a = scene.screen.At(int(x), int(y)) & 0xFFFFFF, b = reference->screen.At(int(x), int(y)) & 0xFFFFFF;
        largest = std::max(largest, LargestChannelDifference(&a, &b, 1));
      }
  }

  Scene& scene;
  ViewTransform view;
  PixmanView* reference;
  RECT rc{};
  POINT centre{};  // the client pixel of the batch's last dab
  int dabs = 0;
  int64_t blocks = 0;  // whose levels the flushes rebuilt
  int centres = 0, shownCentres = 0;
  int largest = 0;  // the largest colour difference of the two screens
  std::mutex mutex;
  std::vector<Clock::time_point> addedAt;
  size_t added = 0, batchUpTo = 0, presented = 0;
  std::vector<double> latencyMs, refreshMs, flushMs, drawMs, pixmanMs;
};

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

struct StrokeResult {
  std::vector<double> latency, refresh, flush, draw, pixman;
  int64_t blocks = 0;
  int centres = 0, shownCentres = 0, largest = 0;
};

// One stroke of the given samples through a sink with the given reference (or none); false
// when the stroke did not begin.
bool Stroke(Scene& s, const ViewTransform& view, int samples, PixmanView* reference, StrokeResult& out) {
  LatencySink sink(s, view, reference);
  sink.addedAt.resize(size_t(samples));
  PaintTarget target{s.layers.back(), nullptr, s.glass, 0};
  GCompRef<OData> args = GNewData(64);
  JobRecord job{args, nullptr, 0, -1, nullptr, nullptr};
  s.glass->PAT_MarkClear();
  if (!s.engine->BeginStroke(s.brush, &target, &sink, &job)) return false;
  for (int i = 0; i < samples; ++i) {
    const float t = float(i) / float(samples);
    PaintSample p{};
    p.x = kSide / 2.0f + 800.0f * std::sin(t * 12.566f);
    p.y = kSide / 2.0f + 400.0f * std::sin(t * 18.85f);
    p.weight = 1.0f;
    p.pressure = i ? 0.8f : 0.0f;
    p.color = 0xFF3060A0u;
    {
      std::lock_guard<std::mutex> lock(sink.mutex);
      sink.addedAt[size_t(i)] = Clock::now();
      sink.added = size_t(i) + 1;
    }
    s.engine->AddSample(&p);
    if (i == 0) s.worker->Launch(&job, nullptr);
    std::this_thread::sleep_for(std::chrono::microseconds(1000));
  }
  s.engine->EndStroke();
  s.worker->Wait(FALSE);
  out.latency.insert(out.latency.end(), sink.latencyMs.begin(), sink.latencyMs.end());
  out.refresh.insert(out.refresh.end(), sink.refreshMs.begin(), sink.refreshMs.end());
  out.flush.insert(out.flush.end(), sink.flushMs.begin(), sink.flushMs.end());
  out.draw.insert(out.draw.end(), sink.drawMs.begin(), sink.drawMs.end());
  out.pixman.insert(out.pixman.end(), sink.pixmanMs.begin(), sink.pixmanMs.end());
  out.blocks += sink.blocks;
  out.centres += sink.centres;
  out.shownCentres += sink.shownCentres;
  out.largest = std::max(out.largest, sink.largest);
  s.glass->Cleanup();
  // The glass is gone: the screen as it was before the stroke.
  s.Draw(&view, nullptr, false);
  return true;
}

// Per iteration a stroke of the given samples timed alone and one beside pixman, with the view
// at the given scale (on the screen before the pen goes down, as in the program).
void RunStroke(benchmark::State& state, int samples, float scale, const std::string& caseName) {
  Scene& s = Get();
  ViewTransform view = s.view;
  view.scale = scale;
  s.Draw(&view, nullptr, false);
  PixmanView reference(s, MipLevelFor(InverseScale(scale)));
  StrokeResult alone, beside;
  for (auto _ : state) {
    if (!Stroke(s, view, samples, nullptr, alone) || !Stroke(s, view, samples, &reference, beside)) {
      state.SkipWithError("the stroke did not begin");
      return;
    }
  }
  state.counters["latency_median_ms"] = Percentile(alone.latency, 0.5);
  state.counters["latency_p99_ms"] = Percentile(alone.latency, 0.99);
  state.counters["flush_median_ms"] = Percentile(alone.flush, 0.5);
  state.counters["flush_p99_ms"] = Percentile(alone.flush, 0.99);
  state.counters["levels_median_ms"] = Percentile(alone.refresh, 0.5);
  state.counters["pixman_median_ms"] = Percentile(beside.pixman, 0.5);
  state.counters["flushes"] = double(alone.flush.size());
  state.counters["blocks_per_flush"] = alone.flush.empty() ? 0.0 : double(alone.blocks) / double(alone.flush.size());
  state.counters["largest_difference"] = beside.largest;
  state.counters["dab_shown_%"] = beside.centres ? 100.0 * beside.shownCentres / beside.centres : 0.0;
  if (beside.largest > kLargestDifference) {
    state.SkipWithError(("our screen and pixman's differ by " + std::to_string(beside.largest)).c_str());
    return;
  }
  if (beside.centres == 0 || beside.shownCentres < kShownShare * beside.centres) {
    state.SkipWithError(("the dabs do not show: " + std::to_string(beside.shownCentres) + " of " +
                         std::to_string(beside.centres) + " batches changed the screen at their last dab")
                            .c_str());
    return;
  }
  char note[300];
  std::snprintf(note, sizeof note,
                "same rectangles, %zu flushes, largest colour difference %d; dab shown in %d of %d; our levels of "
                "%.1f blocks %.3f ms apart; sample to screen median %.2f ms, p99 %.2f ms",
                beside.draw.size(), beside.largest, beside.shownCentres, beside.centres,
                alone.flush.empty() ? 0.0 : double(alone.blocks) / double(alone.flush.size()),
                Percentile(alone.refresh, 0.5), Percentile(alone.latency, 0.5), Percentile(alone.latency, 0.99));
  PrintRatio("stroke_latency_bench", caseName, Percentile(beside.draw, 0.5), "pixman_over",
             Percentile(beside.pixman, 0.5), note);
}

void BM_StrokeLatency(benchmark::State& state) { RunStroke(state, 600, 1.0f, "compose and present per batch at 100 %"); }
BENCHMARK(BM_StrokeLatency)->Iterations(3)->Unit(benchmark::kMillisecond);

// Zoomed out to 1 / range(0).
void BM_StrokeZoomedOut(benchmark::State& state) {
  const int denominator = int(state.range(0));
  RunStroke(state, 2000, 1.0f / float(denominator), "compose and present per batch at 1/" + std::to_string(denominator));
}
BENCHMARK(BM_StrokeZoomedOut)->Arg(2)->Arg(16)->Iterations(2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
