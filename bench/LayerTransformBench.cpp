// The per-format layer operations through the command path, as the user runs them from the
// Layer menu on a 4096 x 4096 colour layer of a document: the operation's menu row with the
// dialog's answer scripted, the worker job, the new layer's reduced levels, the backup and
// the undo step. Between runs an undo (not timed) puts the layer back.
//
// Rotate by 15 degrees and scale to 3000 x 3000 stand beside pixman's affine transform with
// a bilinear filter of the same pixels (premultiplied) into an image of the same size:
// "cmd/pixman" is our time over pixman's (1: as fast; the command does more than the
// transform). Convert to a mask and the flips stand beside memcpy of the layer's bytes:
// "cmd/memcpy".
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BenchDocument.h"
#include "BenchPixman.h"
#include "BenchRatio.h"
#include "core/ScriptedLayerAsk.h"
#include "odata/GCompRef.h"
#include "panels/LayerReshape.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSide = 4096;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// A document with one 4096 x 4096 colour layer, selected: flat blocks crossed by soft bands
// and a transparent margin, and the same pixels premultiplied for pixman.
struct Document {
  std::unique_ptr<CTavrikDoc> doc = NewDoc(kSide);
  ScriptedLayerAsk ask;
  std::vector<uint32_t> premultiplied = std::vector<uint32_t>(size_t(kSide) * kSide);
  pixman_image_t* image = nullptr;

  Document() {
    CMyListLayer* list = doc->GetListLayer();
    list->SetAsk(&ask);
    GCompRef<OLayer> l = Device()->CreateLayer(kSide, kSide, OLayer::myFORMAT_C32, 1);
    LayerLock lock;
    lock.Lock(l, 0);
    for (int y = 0; y < kSide; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(lock.Row(y));
      for (int x = 0; x < kSide; ++x) {
        const bool margin = x < 64 || y < 64 || x >= kSide - 64 || y >= kSide - 64;
        const int band = (x + y) % 512;
        const uint32_t base = ((x / 256 + y / 256) % 2) ? 0xFF3060A0 : 0xFFE0C040;
        const uint32_t p = margin ? 0 : band < 64 ? 0x80000000 | uint32_t(band * 4) * 0x010101u : base;
        row[x] = p;
        const uint32_t a = p >> 24;
        uint32_t q = a << 24;
        for (int c = 0; c < 3; ++c) q |= (((p >> (8 * c)) & 0xFF) * a + 127) / 255 << (8 * c);
        premultiplied[size_t(y) * kSide + x] = q;
      }
    }
    lock.Unlock();
    l->MipRefresh(nullptr);
    list->AddLayer(0, l);
    list->SetCurSelect(0);
    image = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, premultiplied.data(), kSide * 4);
  }
  ~Document() { pixman_image_unref(image); }
  CMyListLayer* List() { return doc->GetListLayer(); }
  // One menu row of the current layer, timed; the undo after it is not.
  double Run(int row) {
    auto t0 = Clock::now();
    List()->GetAppendixMenu(List()->GetCurLayer()->GetFormat())->OnHit(row);
    auto t1 = Clock::now();
    if (doc->GetPaintSpace()->GetUndoStore()->GetStepCount() != 1) std::abort();
    doc->GetPaintSpace()->Undo(1);
    return Seconds(t1 - t0);
  }
};

// caseName and refName name the ratio line; note says how the two differ.
template <class Reference>
void Compare(benchmark::State& state, Document& d, int row, const char* ratioName, Reference&& reference,
             const std::function<void()>& script, const std::string& caseName, const char* refName,
             const char* note) {
  double own = 0, other = 0;
  RatioTimes times;
  for (auto _ : state) {
    script();
    const double t = d.Run(row);
    const double r = reference();
    state.SetIterationTime(t);
    own += t;
    other += r;
    times.Add(t, r);
  }
  const double n = double(state.iterations());
  state.counters["cmd_ms"] = own / n * 1e3;
  state.counters["ref_ms"] = other / n * 1e3;
  state.counters[ratioName] = own / other;
  times.Print("layer_transform_bench", caseName, refName, note);
}

void BM_RotateCommand(benchmark::State& state) {
  Document d;
  const int degrees = 15;
  const float angle = LayerAngle(degrees);
  RECT r;
  NewLayerUtility(&g_system)->GetRotatedRect(d.List()->GetCurLayer(), angle, &r);
  const int W = r.right - r.left, H = r.bottom - r.top;
  std::vector<uint32_t> out(size_t(W) * H);
  const pixman_f_transform ft = RotationTransform(angle, kSide, W, H);
  PixmanRun(d.image, ft, out, W, H);  // every page touched once
  Compare(
      state, d, 5, "cmd/pixman", [&] { return PixmanRun(d.image, ft, out, W, H); },
      [&] { d.ask.rotates = {{LYR_ROTATE_ANGLE, degrees}}; }, "Rotate command 15 deg", "pixman_bilinear",
      "same source; the command also makes levels, backup and undo step");
}

void BM_ScaleCommand(benchmark::State& state) {
  Document d;
  const int side = 3000;
  std::vector<uint32_t> out(size_t(side) * side);
  pixman_f_transform ft;
  pixman_f_transform_init_scale(&ft, double(kSide) / side, double(kSide) / side);
  PixmanRun(d.image, ft, out, side, side);
  Compare(
      state, d, 6, "cmd/pixman", [&] { return PixmanRun(d.image, ft, out, side, side); },
      [&] { d.ask.scales = {{TRUE, side, side}}; }, "Scale command to 3000", "pixman_bilinear",
      "same source; the command also makes levels, backup and undo step");
}

// memcpy of the layer's bytes into a buffer whose pages are already touched.
struct LayerCopy {
  explicit LayerCopy(const Document& d) : from(d.premultiplied), to(from.size()) { (*this)(); }
  double operator()() {
    auto t0 = Clock::now();
    std::memcpy(to.data(), from.data(), from.size() * 4);
    benchmark::DoNotOptimize(to.data());
    return Seconds(Clock::now() - t0);
  }
  const std::vector<uint32_t>& from;
  std::vector<uint32_t> to;
};

void BM_ConvertToMaskCommand(benchmark::State& state) {
  Document d;
  LayerCopy copy(d);
  Compare(
      state, d, 0, "cmd/memcpy", copy, [&] { d.ask.converts = {int(state.range(0))}; },
      "Convert to mask, mode " + std::to_string(state.range(0)), "memcpy", "floor: memcpy of the layer's bytes");
}

// Flip in place: the undo of the timed run flips back.
void BM_FlipCommand(benchmark::State& state) {
  Document d;
  LayerCopy copy(d);
  Compare(
      state, d, int(state.range(0)), "cmd/memcpy", copy, [] {},
      state.range(0) == 3 ? "Flip horizontally" : "Flip vertically", "memcpy",
      "floor: memcpy of the layer's bytes; the command also refreshes the levels");
}

// The picture export's composition: the document's layers over the opaque background into a
// new layer of the space's size, as the export makes it before it writes the file. Beside
// pixman compositing the same premultiplied pixels over a background it fills first.
void BM_SampleComposition(benchmark::State& state) {
  Document d;
  CPaintSpace* space = d.doc->GetPaintSpace();
  std::vector<uint32_t> picture(size_t(kSide) * kSide);
  pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, picture.data(), kSide * 4);
  pixman_color_t white{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
  pixman_image_t* background = pixman_image_create_solid_fill(&white);
  auto pixman = [&] {
    auto t0 = Clock::now();
    pixman_image_composite32(PIXMAN_OP_SRC, background, nullptr, dst, 0, 0, 0, 0, 0, 0, kSide, kSide);
    pixman_image_composite32(PIXMAN_OP_OVER, d.image, nullptr, dst, 0, 0, 0, 0, 0, 0, kSide, kSide);
    return Seconds(Clock::now() - t0);
  };
  pixman();
  double own = 0, other = 0;
  RatioTimes times;
  for (auto _ : state) {
    auto t0 = Clock::now();
    ViewTransform view = *space->m_pTransform;
    OShowDevice* device = space->GetShowDevice();
    if (!device->DrawBegin(&view, FALSE)) std::abort();
    device->DrawLayer(d.List()->GetLayer(0), 0, nullptr);
    LayerLock lock;
    GCompRef<OLayer> sample = device->DrawEndForSample(&lock);
    lock.Unlock();
    const double t = Seconds(Clock::now() - t0);
    const double r = pixman();
    state.SetIterationTime(t);
    own += t;
    other += r;
    times.Add(t, r);
  }
  pixman_image_unref(background);
  pixman_image_unref(dst);
  const double n = double(state.iterations());
  state.counters["cmd_ms"] = own / n * 1e3;
  state.counters["ref_ms"] = other / n * 1e3;
  state.counters["cmd/pixman"] = own / other;
  times.Print("layer_transform_bench", "Picture export composition", "pixman_over",
              "same pixels over a filled background; ours also makes the picture's layer");
}

BENCHMARK(BM_RotateCommand)->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScaleCommand)->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertToMaskCommand)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("mode")
    ->Iterations(7)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SampleComposition)->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlipCommand)->Arg(3)->Arg(4)->ArgName("row")->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
