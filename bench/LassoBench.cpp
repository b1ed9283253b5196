// XLasso mapping a 2000 x 2000 colour source turned by 30 degrees into a destination that
// holds it, nearest (drawn at once) and 4 x 4 supersampled (the worker job, run here),
// beside pixman's affine transform of the same source with the nearest and the bilinear
// filter composited OVER the same destination, in the same run. Rates count source pixels.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "XLasso.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSrc = 2000;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

struct Scene {
  std::vector<uint32_t> src, dst;
  int side = 0;  // the destination's width and height
  float quad[8];
  pixman_transform_t toSource;
  Scene() {
    const double pi = std::acos(-1.0), c = std::cos(pi / 6), s = std::sin(pi / 6);
    side = int(std::ceil(kSrc * (c + s))) + 4;
    src.resize(size_t(kSrc) * kSrc);
    for (size_t i = 0; i < src.size(); ++i) src[i] = 0xFF000000u | (uint32_t(i * 2654435761u) >> 8);
    dst.assign(size_t(side) * side, 0xFF808080u);
    // The grown source (one pixel more on every side) turned about the destination's centre.
    const double h = side / 2.0, g = kSrc / 2.0 + 1;
    const double corners[4][2] = {{-g, -g}, {g, -g}, {-g, g}, {g, g}};
    for (int k = 0; k < 4; ++k) {
      quad[2 * k] = float(h + c * corners[k][0] - s * corners[k][1]);
      quad[2 * k + 1] = float(h + s * corners[k][0] + c * corners[k][1]);
    }
    // pixman maps destination to source: turn back about the centre, then into the source.
    pixman_f_transform_t f;
    pixman_f_transform_init_translate(&f, -h, -h);
    pixman_f_transform_rotate(&f, nullptr, c, -s);
    pixman_f_transform_translate(&f, nullptr, kSrc / 2.0, kSrc / 2.0);
    pixman_transform_from_pixman_f_transform(&toSource, &f);
  }
};

Scene& TheScene() {
  static Scene scene;
  return scene;
}

void BM_Lasso(benchmark::State& state) {
  const bool super = state.range(0) == 1;
  state.SetLabel(super ? "supersampled vs pixman bilinear" : "nearest vs pixman nearest");
  Scene& sc = TheScene();
  LayerLock src, dst;
  src.nWidth = src.nHeight = src.nPitch = kSrc;
  src.nPixelSize = 4;
  src.pPixels = reinterpret_cast<BYTE*>(sc.src.data());
  dst.nWidth = dst.nHeight = dst.nPitch = sc.side;
  dst.nPixelSize = 4;
  dst.pPixels = reinterpret_cast<BYTE*>(sc.dst.data());
  // The source's own position only names its corners; the quadrilateral places it.
  src.x = src.y = sc.side / 2 - kSrc / 2;
  dst.x = dst.y = 0;
  auto* lasso = static_cast<OLasso*>(GCreateComponent<XLasso>(nullptr, nullptr, nullptr)->GetInterface(u"OLasso"));
  lasso->AddRef();
  OData* args = GNewData(4096);
  args->AddRef();

  pixman_image_t* ps = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSrc, kSrc, sc.src.data(), kSrc * 4);
  std::vector<uint32_t> pdst(sc.dst.size(), 0xFF808080u);
  pixman_image_t* pd = pixman_image_create_bits(PIXMAN_a8r8g8b8, sc.side, sc.side, pdst.data(), sc.side * 4);
  pixman_image_set_transform(ps, &sc.toSource);
  pixman_image_set_filter(ps, super ? PIXMAN_FILTER_BILINEAR : PIXMAN_FILTER_NEAREST, nullptr, 0);

  double own = 0, ref = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    if (super) {
      JobRecord job{args, u"lasso", 0, -1, nullptr, nullptr};
      lasso->Impress(&dst, &src, sc.quad, &job);
      job.proc(job.object, &job, nullptr);
    } else {
      lasso->Impress(&dst, &src, sc.quad, nullptr);
    }
    auto t1 = Clock::now();
    pixman_image_composite32(PIXMAN_OP_OVER, ps, nullptr, pd, 0, 0, 0, 0, 0, 0, sc.side, sc.side);
    auto t2 = Clock::now();
    benchmark::ClobberMemory();
    state.SetIterationTime(Seconds(t0, t1));
    own += Seconds(t0, t1);
    ref += Seconds(t1, t2);
  }
  // Both must have drawn the same picture: inside the turned source the two agree, within
  // a step of filtering and rounding.
  int agree = 0, probes = 0;
  for (int y = sc.side / 4; y < 3 * sc.side / 4; y += 17)
    for (int x = sc.side / 4; x < 3 * sc.side / 4; x += 13, ++probes) {
      const uint32_t a = sc.dst[size_t(y) * sc.side + x], b = pdst[size_t(y) * sc.side + x];
      int d = 0;
      for (int sh = 0; sh < 32; sh += 8) d = std::max(d, std::abs(int((a >> sh) & 255) - int((b >> sh) & 255)));
      agree += d <= (super ? 24 : 0);
    }
  if (agree < probes * 9 / 10) state.SkipWithError("the pictures differ");
  state.counters["agree_%"] = 100.0 * agree / probes;
  const double px = double(kSrc) * kSrc * double(state.iterations());
  state.counters["lasso_Mpx_s"] = px / own / 1e6;
  state.counters["pixman_Mpx_s"] = px / ref / 1e6;
  state.counters["lasso/pixman"] = ref / own;  // speed ratio: 1 means as fast as pixman
  pixman_image_unref(ps);
  pixman_image_unref(pd);
  args->Release();
  lasso->Release();
}

BENCHMARK(BM_Lasso)->Arg(0)->Arg(1)->ArgName("super")->Iterations(8)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
