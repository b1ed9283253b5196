// The layer commands through the command path, as the user runs them on a 4096 x 4096 colour
// layer of a document: the per-format operations of the Layer menu with the dialog's answer
// scripted, the layer bar's delete and merge down, and a filter's dialog answered with OK;
// each with its worker job, the new layer's reduced levels, the backup and the undo step.
// After every run the result is checked, then an undo (not timed) must put the layer's very
// pixels back.
//
// Rotate by 15 degrees and scale to 3000 x 3000 stand beside pixman's affine transform with
// a bilinear filter of the same pixels (premultiplied) into an image of the same size:
// "cmd/pixman" is our time over pixman's (1: as fast; the command does more than the
// transform). Merge down stands beside pixman composing the lower layer and then the upper
// one into an image. Convert to a mask, the flips, clear, delete and the filter stand beside
// memcpy of the layer's bytes: "cmd/memcpy".
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BenchDocument.h"
#include "BenchPixman.h"
#include "BenchRatio.h"
#include "MorvaneFilterBright.h"
#include "PanelBenchMain.h"
#include "core/ScriptedLayerAsk.h"
#include "frame/Dialogs.h"
#include "odata/GCompRef.h"
#include "panels/LayerReshape.h"
#include "panels/MyListLayer.h"
#include "platform/base/Text.h"
#include "platform/gui/Settings.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSide = 4096;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

uint32_t Premultiplied(uint32_t p) {
  const uint32_t a = p >> 24;
  uint32_t q = a << 24;
  for (int c = 0; c < 3; ++c) q |= (((p >> (8 * c)) & 0xFF) * a + 127) / 255 << (8 * c);
  return q;
}

// A layer's level-0 pixels, row after row.
std::vector<uint32_t> PixelsOf(OLayer* layer) {
  LayerLock lock;
  lock.Lock(layer, LYR_LOCK_READ);
  std::vector<uint32_t> out(size_t(lock.nWidth) * size_t(lock.nHeight));
  for (int y = 0; y < lock.nHeight; ++y)
    std::memcpy(out.data() + size_t(y) * size_t(lock.nWidth), lock.Row(y), size_t(lock.nWidth) * 4);
  lock.Unlock();
  return out;
}

// Whether want(i, p) holds for every pixel p of the layer, i its index row after row; the
// layer must be side x side.
template <class Want>
bool EveryPixel(OLayer* layer, Want&& want) {
  LayerLock lock;
  lock.Lock(layer, LYR_LOCK_READ);
  bool all = lock.nWidth == kSide && lock.nHeight == kSide;
  for (int y = 0; y < lock.nHeight && all; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(lock.Row(y));
    for (int x = 0; x < lock.nWidth; ++x) all &= want(size_t(y) * kSide + size_t(x), row[x]);
  }
  lock.Unlock();
  return all;
}

// A 4096 x 4096 colour layer of the document's device, its pixels made by pixel(x, y).
template <class Pixel>
GCompRef<OLayer> NewFilledLayer(UINT id, Pixel&& pixel) {
  GCompRef<OLayer> l = Device()->CreateLayer(kSide, kSide, OLayer::myFORMAT_C32, id);
  LayerLock lock;
  lock.Lock(l, 0);
  for (int y = 0; y < kSide; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(lock.Row(y));
    for (int x = 0; x < kSide; ++x) row[x] = pixel(x, y);
  }
  lock.Unlock();
  l->MipRefresh(nullptr);
  return l;
}

// A document with one 4096 x 4096 colour layer, selected: flat blocks crossed by soft bands
// and a transparent margin, kept as made and premultiplied for pixman.
struct Document {
  std::unique_ptr<CTavrikDoc> doc = NewDoc(kSide);
  ScriptedLayerAsk ask;
  std::vector<uint32_t> pixels;
  std::vector<uint32_t> premultiplied;
  pixman_image_t* image = nullptr;

  Document() {
    CMyListLayer* list = doc->GetListLayer();
    list->SetAsk(&ask);
    GCompRef<OLayer> l = NewFilledLayer(1, [](int x, int y) {
      const bool margin = x < 64 || y < 64 || x >= kSide - 64 || y >= kSide - 64;
      const int band = (x + y) % 512;
      const uint32_t base = ((x / 256 + y / 256) % 2) ? 0xFF3060A0 : 0xFFE0C040;
      return margin ? 0u : band < 64 ? 0x80000000u | uint32_t(band * 4) * 0x010101u : base;
    });
    pixels = PixelsOf(l);
    premultiplied.resize(pixels.size());
    for (size_t i = 0; i < pixels.size(); ++i) premultiplied[i] = Premultiplied(pixels[i]);
    list->AddLayer(0, l);
    list->SetCurSelect(0);
    image = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, premultiplied.data(), kSide * 4);
  }
  ~Document() { pixman_image_unref(image); }
  CMyListLayer* List() { return doc->GetListLayer(); }
  CPaintSpace* Space() { return doc->GetPaintSpace(); }
  // One command, timed. It must leave one step; done checks its result. The undo after it
  // (not timed) must give back the rows as they were, the layer's pixels bit for bit.
  double Run(benchmark::State& state, const std::function<void()>& command, const std::function<bool()>& done) {
    const int rows = List()->GetCount();
    auto t0 = Clock::now();
    command();
    auto t1 = Clock::now();
    if (Space()->GetUndoStore()->GetStepCount() != 1) state.SkipWithError("the command left no step");
    if (done && !done()) state.SkipWithError("the command's result is not what was expected");
    Space()->Undo(1);
    if (List()->GetCount() != rows || !Holds(List()->GetLayer(rows - 1), pixels))
      state.SkipWithError("the undo did not bring the layer back");
    return Seconds(t1 - t0);
  }
  static bool Holds(OLayer* layer, const std::vector<uint32_t>& expected) {
    return EveryPixel(layer, [&](size_t i, uint32_t p) { return p == expected[i]; });
  }
  // One menu row of the current layer.
  void Hit(int row) { List()->GetAppendixMenu(List()->GetCurLayer()->GetFormat())->OnHit(row); }
};

// caseName and refName name the ratio line; note says how the two differ.
template <class Reference>
void Compare(benchmark::State& state, Document& d, const std::function<void()>& command, const char* ratioName,
             Reference&& reference, const std::function<void()>& script, const std::string& caseName,
             const char* refName, const char* note, const std::function<bool()>& done = {}) {
  double own = 0, other = 0;
  RatioTimes times;
  for (auto _ : state) {
    script();
    const double t = d.Run(state, command, done);
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
      state, d, [&] { d.Hit(5); }, "cmd/pixman", [&] { return PixmanRun(d.image, ft, out, W, H); },
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
      state, d, [&] { d.Hit(6); }, "cmd/pixman", [&] { return PixmanRun(d.image, ft, out, side, side); },
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
      state, d, [&] { d.Hit(0); }, "cmd/memcpy", copy, [&] { d.ask.converts = {int(state.range(0))}; },
      "Convert to mask, mode " + std::to_string(state.range(0)), "memcpy", "floor: memcpy of the layer's bytes");
}

// Flip in place: the undo of the timed run flips back.
void BM_FlipCommand(benchmark::State& state) {
  Document d;
  LayerCopy copy(d);
  const int row = int(state.range(0));
  Compare(
      state, d, [&] { d.Hit(row); }, "cmd/memcpy", copy, [] {},
      state.range(0) == 3 ? "Flip horizontally" : "Flip vertically", "memcpy",
      "floor: memcpy of the layer's bytes; the command also refreshes the levels");
}

// Clear (the layer at full opacity): every pixel keeps its colour and loses its alpha.
void BM_ClearCommand(benchmark::State& state) {
  Document d;
  LayerCopy copy(d);
  auto cleared = [&] {
    return EveryPixel(d.List()->GetLayer(0), [&](size_t i, uint32_t p) { return p == (d.pixels[i] & 0x00FFFFFFu); });
  };
  Compare(
      state, d, [&] { d.Hit(1); }, "cmd/memcpy", copy, [] {}, "Clear layer", "memcpy",
      "floor: memcpy of the layer's bytes; the command also refreshes the levels", cleared);
}

// Delete of the only row: the undo brings the layer back in it.
void BM_DeleteCommand(benchmark::State& state) {
  Document d;
  LayerCopy copy(d);
  Compare(
      state, d, [&] { d.List()->OnTbvcLyrDel(); }, "cmd/memcpy", copy, [] {}, "Delete layer", "memcpy",
      "floor: memcpy of the layer's bytes", [&] { return d.List()->GetCount() == 0; });
}

// Merge down of a second 4096 x 4096 layer above the first: translucent stripes over a
// diagonal ramp of opacity. Beside pixman putting the lower layer into an image (SRC) and
// the upper one over it (OVER), premultiplied; the merged layer, premultiplied, must agree
// with pixman's picture within one step of a channel.
void BM_MergeDownCommand(benchmark::State& state) {
  Document d;
  GCompRef<OLayer> upper = NewFilledLayer(2, [](int x, int y) {
    const uint32_t a = uint32_t((x * 3 + y) / 64 % 4) * 85;
    return a << 24 | (((x / 128) % 2) ? 0x00C02040u : 0x0020A0E0u);
  });
  std::vector<uint32_t> upperPremultiplied = PixelsOf(upper);
  for (uint32_t& p : upperPremultiplied) p = Premultiplied(p);
  d.List()->AddLayer(0, upper);
  d.List()->SetCurSelect(0);
  pixman_image_t* top =
      pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, upperPremultiplied.data(), kSide * 4);
  std::vector<uint32_t> picture(size_t(kSide) * kSide);
  pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, picture.data(), kSide * 4);
  auto pixman = [&] {
    auto t0 = Clock::now();
    pixman_image_composite32(PIXMAN_OP_SRC, d.image, nullptr, dst, 0, 0, 0, 0, 0, 0, kSide, kSide);
    pixman_image_composite32(PIXMAN_OP_OVER, top, nullptr, dst, 0, 0, 0, 0, 0, 0, kSide, kSide);
    return Seconds(Clock::now() - t0);
  };
  pixman();
  const std::vector<uint32_t> upperPixels = PixelsOf(upper);
  upper.Release();
  auto merged = [&] {
    return d.List()->GetCount() == 1 && EveryPixel(d.List()->GetLayer(0), [&](size_t i, uint32_t p) {
             const uint32_t q = Premultiplied(p);
             return LargestChannelDifference(&q, &picture[i], 1) <= 1;
           });
  };
  Compare(
      state, d,
      [&] {
        d.ask.merges = {LYR_MERGE_PLAIN};
        d.List()->OnTbvcLyrMerge();
      },
      "cmd/pixman", pixman, [] {}, "Merge down", "pixman_src_over",
      "same pixels premultiplied; the command also makes the new layer's levels and the undo step", merged);
  if (!Document::Holds(d.List()->GetLayer(0), upperPixels))
    state.SkipWithError("the undo did not bring the upper layer back");
  pixman_image_unref(dst);
  pixman_image_unref(top);
}

// The brightness filter's dialog on the layer, answered at once with OK: the transaction's
// backup, the filter's run on the worker, the undo step from the backup and the levels. The
// brightness filter is a table lookup per byte, the lightest there is, so that the work
// around it shows.
void BM_FilterCommand(benchmark::State& state) {
  Document d;
  LayerCopy copy(d);
  constexpr int kBright = 30;
  BYTE table[256];
  MorvaneFilterBright::BuildTable(kBright, 0, table);
  auto brightened = [&] {
    return EveryPixel(d.List()->GetLayer(0), [&](size_t i, uint32_t now) {
      const uint32_t p = d.pixels[i];
      return now == ((p & 0xFF000000u) | uint32_t(table[(p >> 16) & 255]) << 16 |
                     uint32_t(table[(p >> 8) & 255]) << 8 | table[p & 255]);
    });
  };
  // The dialog keeps its values in the settings: a scratch file, not the user's.
  const std::filesystem::path settings = std::filesystem::temp_directory_path() / "layer_transform_bench.ini";
  gui::Settings::UseFile(plat::FromUtf8(settings.string()));
  g_system.Register(u"MorvaneFilterBright", GCreateComponent<MorvaneFilterBright>);
  GCompRef<OLayerFilter> filter = GNewObj<OLayerFilter>(&g_system, u"MorvaneFilterBright", u"OLayerFilter");
  Compare(
      state, d,
      [&] {
        CDlgFilter dialog(nullptr, d.Space(), 0, filter, u"亮度/对比度", u"BenchBright");
        dialog.SetValue(0, kBright);
        dialog.SetValue(1, 0);
        dialog.accept();
      },
      "cmd/memcpy", copy, [] {}, "Filter (brightness) OK", "memcpy",
      "floor: memcpy of the layer's bytes; the command also runs the filter, makes the undo step and the levels",
      brightened);
  gui::Settings::UseFile(u"");
  std::filesystem::remove(settings);
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
BENCHMARK(BM_ClearCommand)->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeleteCommand)->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MergeDownCommand)->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterCommand)->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

// The filter's dialog needs the (offscreen) Qt application.
int main(int argc, char** argv) { return RunPanelBenchmarks(argc, argv); }
