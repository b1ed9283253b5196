// One recorded stroke of 2,000 samples with the pen brush at radius 5, 50 and 300: painted by
// the paint engine into a 4096 x 4096 colour layer, against libmypaint's own fixed tiled
// surface painting the same stroke with the same prepared brush in the same run. Both get
// the same samples and the same time between them; the engine rasterises every dab itself
// (SSE2 coverage rows, marked blocks), the reference through libmypaint's tile renderer.
// Each iteration paints the stroke with both; the ratio line gives the medians.
#include <benchmark/benchmark.h>
#include <mypaint-brush.h>
#include <mypaint-fixed-tiled-surface.h>

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "BrushItems.h"
#include "DorvilBrush.h"
#include "DorvilEngine.h"
#include "Morvane.h"
#include "common/FakeSystem.h"
#include "odata/GCompRef.h"

namespace {

constexpr int kSide = 4096;
constexpr int kSamples = 2000;

struct Setup {
  FakeSystem sys;
  BrushContext ctx{};
  GCompRef<OBrush> brush;
  GCompRef<ODorvil> engine;
  GCompRef<OLayer> layer;
  GCompRef<OLayer> glass;
  std::vector<PaintSample> stroke;

  Setup() {
    sys.Register(u"Morvane", GCreateComponent<Morvane>);
    sys.Register(u"Pen", GCreateComponent<DorvilBrushOf<dorvil::FAMILY_PEN>>);
    sys.Register(u"Dorvil", GCreateComponent<DorvilEngine>);
    brush = static_cast<OBrush*>(sys.NewObj(u"Pen", nullptr)->GetInterface(u"OBrush"));
    engine = static_cast<ODorvil*>(sys.NewObj(u"Dorvil", nullptr)->GetInterface(u"ODorvil"));
    engine->Bind(&ctx, 0);
    layer = static_cast<OLayer*>(sys.NewObj(u"Morvane", nullptr)->GetInterface(u"OLayer"));
    layer->Initialize(nullptr, kSide, kSide, OLayer::myFORMAT_C32, 1);
    glass = static_cast<OLayer*>(sys.NewObj(u"Morvane", nullptr)->GetInterface(u"OLayer"));
    glass->Initialize(nullptr, kSide, kSide, OLayer::myFORMAT_A16, 0);
    // A loop over most of the layer, as a quick gesture draws it.
    for (int i = 0; i < kSamples; ++i) {
      const float t = float(i) / float(kSamples);
      PaintSample s{};
      s.x = 2048.0f + 1500.0f * std::sin(t * 6.2831853f * 3.0f);
      s.y = 2048.0f + 1500.0f * std::sin(t * 6.2831853f * 2.0f);
      s.weight = 1.0f;
      s.pressure = i == 0 ? 0.0f : 0.8f;
      s.color = 0xFF204080u;
      stroke.push_back(s);
    }
  }
  void Prepare(float radius) {
    auto* items = static_cast<OBrushProperty*>(brush->GetInterface(u"OBrushProperty"));
    UINT at = 0;
    items->FindByName(&at, u"RADIUS");
    items->SetValue(at, dorvil::ValueFromRadius(radius));
    brush->Activate(&ctx, nullptr);
  }
};

Setup& Get() {
  static Setup* s = new Setup();
  return *s;
}

const float kRadii[] = {5.0f, 50.0f, 300.0f};

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// The stroke through libmypaint's tile renderer, with the engine's timing: a long pause
// places the pen, then 1 ms between samples.
void LibmypaintStroke(Setup& s, MyPaintSurface* surface) {
  MyPaintBrush* b = s.ctx.brush;
  mypaint_brush_reset(b);
  mypaint_brush_new_stroke(b);
  mypaint_surface_begin_atomic(surface);
  mypaint_brush_stroke_to(b, surface, s.stroke[0].x, s.stroke[0].y, s.stroke[1].pressure, 0, 0, 10.0);
  for (int i = 0; i < kSamples; ++i)
    mypaint_brush_stroke_to(b, surface, s.stroke[size_t(i)].x, s.stroke[size_t(i)].y, s.stroke[size_t(i)].pressure, 0, 0,
                            0.001);
  MyPaintRectangle roi{};
  mypaint_surface_end_atomic(surface, &roi);
}

// Straight into the colour layer (over), or into a glass as a stroke of the paint tool goes;
// each iteration paints the stroke with the engine, then with libmypaint.
void DorvilStroke(benchmark::State& state, bool glass) {
  Setup& s = Get();
  const float radius = kRadii[state.range(0)];
  s.Prepare(radius);
  PaintTarget target{s.layer, nullptr, glass ? s.glass.get() : nullptr, 0};
  MyPaintFixedTiledSurface* fixed = mypaint_fixed_tiled_surface_new(kSide, kSide);
  MyPaintSurface* surface = mypaint_fixed_tiled_surface_interface(fixed);
  RatioTimes times;
  for (auto _ : state) {
    auto t0 = Clock::now();
    if (!s.engine->BeginStroke(s.brush, &target, nullptr, nullptr)) {
      state.SkipWithError("the stroke did not begin");
      break;
    }
    for (const PaintSample& p : s.stroke) s.engine->AddSample(&p);
    s.engine->EndStroke();
    auto t1 = Clock::now();
    s.layer->PAT_MarkClear();
    auto t2 = Clock::now();
    LibmypaintStroke(s, surface);
    auto t3 = Clock::now();
    state.SetIterationTime(Seconds(t0, t1));
    times.Add(Seconds(t0, t1), Seconds(t2, t3));
  }
  mypaint_surface_unref(surface);
  state.SetItemsProcessed(int64_t(state.iterations()) * kSamples);
  state.counters["radius"] = radius;
  state.counters["libmypaint_ms"] = times.RefMs();
  times.Print("dorvil_stroke_bench", std::string(glass ? "glass" : "layer") + " radius " + std::to_string(int(radius)),
              "libmypaint_tiled", "same samples, same brush");
}

void BM_DorvilStroke(benchmark::State& state) { DorvilStroke(state, false); }
void BM_DorvilStrokeGlass(benchmark::State& state) { DorvilStroke(state, true); }

BENCHMARK(BM_DorvilStroke)->DenseRange(0, 2)->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DorvilStrokeGlass)->DenseRange(0, 2)->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
