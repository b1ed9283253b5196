// One stroke of 2,000 samples at radius 20 with the pen and the charcoal, painted as the paint
// tool paints it: the engine's dabs into a 4096 x 4096 glass, merged onto the colour layer at
// the stroke's opacity. Beside it, in the same run, libmypaint paints the same events with the
// brush read from the same preset into its own fixed tiled surface, cleared to transparent.
// The time between samples is scripted alike for both (8 ms), so both brushes see the same
// speeds. Each iteration paints the stroke with both; the ratio line gives the medians.
//
// Result check: both cover a comparable area (pixels of alpha at least 1/8): if ours painted
// nothing, or elsewhere, or at the wrong size, the areas part.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "BrushItems.h"
#include "BrushPreset.h"
#include "DorvilBrush.h"
#include "DorvilEngine.h"
#include "Dorvil/MypaintReference.h"
#include "Dorvil/ScriptedStroke.h"
#include "Morvane.h"
#include "common/FakeSystem.h"
#include "odata/GCompRef.h"

namespace {

using dorvil_test::MypaintReference;
using dorvil_test::FeedScriptedStroke;
using dorvil_test::StrokeEvent;

constexpr int kSide = 4096;
constexpr int kSamples = 2000;
constexpr float kRadius = 20.0f;
constexpr uint32_t kColour = 0x204080u;
// kColour in libmypaint's hue, saturation and value.
constexpr float kHue = (4.0f - 32.0f / 96.0f) / 6.0f, kSaturation = 0.75f, kValue = 128.0f / 255.0f;
constexpr double kDtime = 0.008;
// The covered areas may differ by this share: the pen's glass keeps the highest coverage where
// libmypaint adds up dabs, and their rims are anti-aliased differently.
constexpr double kAreaTolerance = 0.15;

struct Setup {
  FakeSystem sys;
  BrushContext ctx{};
  GCompRef<ODorvil> engine;
  GCompRef<OLayer> layer;
  GCompRef<OLayer> glass;
  std::vector<StrokeEvent> stroke;

  Setup() {
    sys.Register(u"Morvane", GCreateComponent<Morvane>);
    sys.Register(u"Pen", GCreateComponent<DorvilBrushOf<dorvil::FAMILY_PEN>>);
    sys.Register(u"Charcoal", GCreateComponent<DorvilBrushOf<dorvil::FAMILY_CHARCOAL>>);
    sys.Register(u"Dorvil", GCreateComponent<DorvilEngine>);
    engine = static_cast<ODorvil*>(sys.NewObj(u"Dorvil", nullptr)->GetInterface(u"ODorvil"));
    engine->Bind(&ctx, 0);
    layer = static_cast<OLayer*>(sys.NewObj(u"Morvane", nullptr)->GetInterface(u"OLayer"));
    layer->Initialize(nullptr, kSide, kSide, OLayer::myFORMAT_C32, 1);
    glass = static_cast<OLayer*>(sys.NewObj(u"Morvane", nullptr)->GetInterface(u"OLayer"));
    glass->Initialize(nullptr, kSide, kSide, OLayer::myFORMAT_A16, 0);
    glass->SetColor(((kColour & 0xFFu) << 16) | (kColour & 0xFF00u) | (kColour >> 16));
    // A loop over most of the layer, as a quick gesture draws it.
    for (int i = 0; i < kSamples; ++i) {
      const float t = float(i) / float(kSamples);
      stroke.push_back(StrokeEvent{2048.0f + 1500.0f * std::sin(t * 6.2831853f * 3.0f),
                                   2048.0f + 1500.0f * std::sin(t * 6.2831853f * 2.0f), 0.8f, 0.0f, 0.0f, kDtime});
    }
  }

  // The brush at the radius, with the glass taking its opacity as the tool sets it.
  GCompRef<OBrush> Prepare(const char16_t* name) {
    GCompRef<OBrush> brush = static_cast<OBrush*>(sys.NewObj(name, nullptr)->GetInterface(u"OBrush"));
    auto* items = static_cast<OBrushProperty*>(brush->GetInterface(u"OBrushProperty"));
    UINT at = 0;
    items->FindByName(&at, u"RADIUS");
    items->SetValue(at, dorvil::ValueFromRadius(kRadius));
    brush->Activate(&ctx, nullptr);
    auto* glassItems = static_cast<OProperty*>(glass->GetInterface(u"OProperty"));
    UINT alpha = 0, mode = 0;
    glassItems->FindByName(&alpha, u"ALPHA");
    glassItems->FindByName(&mode, u"MODE");
    glassItems->SetValue(alpha, items->FindByName(&at, u"OPACITY")->value);
    glassItems->SetValue(mode, 0);
    return brush;
  }

  // The stroke through the engine into the glass, 8 ms apart on its clock, then the merge.
  void PaintOurs(OBrush* brush) {
    PaintTarget target{layer, nullptr, glass, 0};
    if (!FeedScriptedStroke(engine.get(), brush, &target, nullptr, stroke, kColour)) return;
    glass->PAT_GlassMergeTo(layer);
  }

  // Empties the glass and the layer for the next stroke.
  void Clear() {
    glass->Cleanup();
    glass->PAT_MarkClear();
    LayerLock lock;
    lock.Lock(layer, 0);
    for (int y = 0; y < lock.nHeight; ++y) std::memset(lock.Row(y), 0, size_t(lock.nWidth) * 4);
  }

  size_t Covered() {
    LayerLock lock;
    lock.Lock(layer, 0);
    size_t n = 0;
    for (int y = 0; y < lock.nHeight; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(lock.Row(y));
      for (int x = 0; x < lock.nWidth; ++x) n += (row[x] >> 24) >= 32;
    }
    return n;
  }
};

Setup& Get() {
  static Setup* s = new Setup();
  return *s;
}

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

void Stroke(benchmark::State& state, const char16_t* name, size_t family, const char* caseName) {
  Setup& s = Get();
  GCompRef<OBrush> brush = s.Prepare(name);
  std::unique_ptr<MyPaintBrush, void (*)(MyPaintBrush*)> reference(
      dorvil_test::LoadMypaintBrush(dorvil::PresetFolder() + "/" + dorvil::kBrushFamilies[family].preset),
      mypaint_brush_unref);
  if (!reference || !s.ctx.brush) {
    state.SkipWithError("the preset or our brush is missing");
    return;
  }
  mypaint_brush_set_base_value(reference.get(), MYPAINT_BRUSH_SETTING_RADIUS_LOGARITHMIC, std::log(s.ctx.radius));
  mypaint_brush_set_base_value(reference.get(), MYPAINT_BRUSH_SETTING_COLOR_H, kHue);
  mypaint_brush_set_base_value(reference.get(), MYPAINT_BRUSH_SETTING_COLOR_S, kSaturation);
  mypaint_brush_set_base_value(reference.get(), MYPAINT_BRUSH_SETTING_COLOR_V, kValue);
  MypaintReference ref(kSide, kSide);
  RatioTimes times;
  for (auto _ : state) {
    s.Clear();
    ref.Fill(0, 0.0f);
    const auto t0 = Clock::now();
    s.PaintOurs(brush);
    const auto t1 = Clock::now();
    ref.Stroke(reference.get(), s.stroke);
    const auto t2 = Clock::now();
    state.SetIterationTime(Seconds(t0, t1));
    times.Add(Seconds(t0, t1), Seconds(t1, t2));
  }
  const double ours = double(s.Covered()), theirs = double(ref.Covered(1.0f / 8.0f));
  brush->Deactivate();
  state.SetItemsProcessed(int64_t(state.iterations()) * kSamples);
  state.counters["covered_ours"] = ours;
  state.counters["covered_libmypaint"] = theirs;
  state.counters["libmypaint_ms"] = times.RefMs();
  if (!(theirs > 0.0) || std::fabs(ours / theirs - 1.0) > kAreaTolerance) {
    state.SkipWithError("the covered areas differ");
    return;
  }
  times.Print("dorvil_stroke_bench", caseName, "libmypaint_tiled", "same events, same preset, glass + merge");
}

void BM_PenStroke(benchmark::State& state) { Stroke(state, u"Pen", dorvil::FAMILY_PEN, "pen radius 20"); }
void BM_CharcoalStroke(benchmark::State& state) {
  Stroke(state, u"Charcoal", dorvil::FAMILY_CHARCOAL, "charcoal radius 20");
}

BENCHMARK(BM_PenStroke)->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CharcoalStroke)->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
