// The layer utility's Rotate and Scale of a 4096 x 4096 colour layer beside pixman's affine
// transform with a bilinear filter of the same pixels (premultiplied for pixman) into an
// image of the same size. Rotate and pixman both sample bilinearly; Scale averages areas
// when it shrinks, where pixman's bilinear filter reads four pixels an output and aliases.
// speed_vs_pixman is pixman's time over ours: 1 means as fast.
//
// Content 0 mixes alphas pixel by pixel (no flat neighbourhood anywhere: the general way
// throughout); content 1 is an opaque painting of soft strokes and flat areas.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "BenchPixman.h"
#include "BenchRatio.h"
#include "Morvane.h"
#include "MorvaneUtility.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSide = 4096;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

OLayer* NewLayer(int w, int h) {
  auto* l = static_cast<OLayer*>(GCreateComponent<Morvane>(nullptr, nullptr, nullptr)->GetInterface(u"OLayer__"));
  l->AddRef();
  l->Initialize(nullptr, w, h, OLayer::myFORMAT_C32, 1);
  return l;
}

// The source layer and the same pixels premultiplied for pixman.
struct Source {
  OLayer* layer = nullptr;
  std::vector<uint32_t> premultiplied;
  pixman_image_t* image = nullptr;

  explicit Source(bool painted) : layer(NewLayer(kSide, kSide)), premultiplied(size_t(kSide) * kSide) {
    LayerLock lock;
    lock.Lock(layer, 0);
    for (int y = 0; y < kSide; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(lock.Row(y));
      for (int x = 0; x < kSide; ++x) {
        uint32_t p;
        if (painted) {
          // Flat blocks crossed by soft diagonal bands.
          const int band = (x + y) % 512;
          const uint32_t base = ((x / 256 + y / 256) % 2) ? 0xFF3060A0 : 0xFFE0C040;
          p = band < 64 ? 0xFF000000 | uint32_t(band * 4) * 0x010101u : base;
        } else {
          const uint32_t v = uint32_t((size_t(y) * kSide + x) * 2654435761u);
          const uint32_t kind = (v >> 7) & 3;
          p = kind == 1 ? v | 0xFF000000 : kind == 0 ? v & 0xFFFFFF : v;
        }
        row[x] = p;
        const uint32_t a = p >> 24;
        uint32_t q = a << 24;
        for (int c = 0; c < 3; ++c) q |= (((p >> (8 * c)) & 0xFF) * a + 127) / 255 << (8 * c);
        premultiplied[size_t(y) * kSide + x] = q;
      }
    }
    image = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, premultiplied.data(), kSide * 4);
  }
  ~Source() {
    pixman_image_unref(image);
    layer->Release();
  }
};

template <class RunOwn>
void Measure(benchmark::State& state, const std::string& caseName, const char* note, Source& source, int w, int h,
             const pixman_f_transform& ft, RunOwn&& own) {
  std::vector<uint32_t> out(size_t(w) * h);
  PixmanRun(source.image, ft, out, w, h);  // touch every page once
  double ownTime = 0, pixmanTime = 0;
  RatioTimes times;
  for (auto _ : state) {
    auto t0 = Clock::now();
    own();
    auto t1 = Clock::now();
    const double p = PixmanRun(source.image, ft, out, w, h);
    benchmark::DoNotOptimize(out.data());
    state.SetIterationTime(Seconds(t0, t1));
    ownTime += Seconds(t0, t1);
    pixmanTime += p;
    times.Add(Seconds(t0, t1), p);
  }
  const double n = double(state.iterations());
  state.counters["own_ms"] = ownTime / n * 1e3;
  state.counters["pixman_ms"] = pixmanTime / n * 1e3;
  state.counters["speed_vs_pixman"] = pixmanTime / ownTime;
  state.counters["Mpix_per_s"] = double(w) * h * n / ownTime / 1e6;
  times.Print("utility_bench", caseName, "pixman_bilinear", note);
}

OLayerUtility* NewUtility() {
  auto* u = static_cast<OLayerUtility*>(
      GCreateComponent<MorvaneUtility>(nullptr, nullptr, nullptr)->GetInterface(u"OLayerUtility"));
  u->AddRef();
  return u;
}

void BM_Rotate(benchmark::State& state) {
  const bool painted = state.range(0) == 1;
  const double degrees = double(state.range(1));
  state.SetLabel(painted ? "painted" : "mixed alpha");
  Source source(painted);
  OLayerUtility* util = NewUtility();
  const float angle = float(degrees * M_PI / 180);
  RECT r;
  util->GetRotatedRect(source.layer, angle, &r);
  const int W = r.right - r.left, H = r.bottom - r.top;
  OLayer* dest = NewLayer(W, H);
  const pixman_f_transform ft = RotationTransform(angle, kSide, W, H);
  const std::string caseName =
      std::string("Rotate ") + (painted ? "painted " : "mixed alpha ") + std::to_string(int(degrees)) + " deg";
  Measure(state, caseName, "same source, both bilinear", source, W, H, ft,
          [&] { util->Rotate(dest, source.layer, angle, nullptr); });
  dest->Release();
  util->Release();
}

void BM_Scale(benchmark::State& state) {
  const bool painted = state.range(0) == 1;
  const int side = int(state.range(1));
  state.SetLabel(painted ? "painted" : "mixed alpha");
  Source source(painted);
  OLayerUtility* util = NewUtility();
  OLayer* dest = NewLayer(side, side);
  pixman_f_transform ft;
  pixman_f_transform_init_scale(&ft, double(kSide) / side, double(kSide) / side);
  const std::string caseName =
      std::string("Scale ") + (painted ? "painted " : "mixed alpha ") + "to " + std::to_string(side);
  // Shrinking, Scale averages areas where pixman's bilinear filter reads four pixels an output.
  Measure(state, caseName, side < kSide ? "ours averages areas, pixman bilinear" : "same source, both bilinear",
          source, side, side, ft, [&] { util->Scale(dest, source.layer, nullptr); });
  dest->Release();
  util->Release();
}

BENCHMARK(BM_Rotate)
    ->ArgsProduct({{0, 1}, {1, 30}})
    ->ArgNames({"content", "degrees"})
    ->Iterations(7)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Scale)
    ->ArgsProduct({{0, 1}, {1024, 2896, 5793}})
    ->ArgNames({"content", "side"})
    ->Iterations(7)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
