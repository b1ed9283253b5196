// The distortion component "Talvene": the mesh warp render of an identity 3 x 3 lattice on
// 1000 x 1000 and 4000 x 4000 sources, a bulge, a 4x magnification and a 0.25x shrink, each
// with its counting pass timed apart (it is part of the render's time); the magnification and
// the shrink beside pixman's bilinear affine scale of the same source composited OVER the same
// destination, in the same run. And the preview, ShowRefresh then Show on a 1920 x 1080 view,
// against a 16 ms frame budget. The production kernels are set against the scalar reference
// kernels on the 1000 x 1000 identity and on the preview.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

#include "Talvene.h"
#include "XShowDevice.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// A smooth opaque picture, shared by the scenes of one size.
const std::vector<uint32_t>& Source(int side) {
  static std::map<int, std::vector<uint32_t>> cache;
  std::vector<uint32_t>& v = cache[side];
  if (v.empty()) {
    v.resize(size_t(side) * size_t(side));
    for (int y = 0; y < side; ++y)
      for (int x = 0; x < side; ++x) {
        const uint32_t r = uint32_t(x * 255 / side), g = uint32_t(y * 255 / side);
        const uint32_t b = uint32_t(128 + 100 * std::sin(x / 37.0) * std::cos(y / 53.0));
        v[size_t(y) * side + x] = 0xFF000000u | r << 16 | g << 8 | b;
      }
  }
  return v;
}

Talvene* NewTalvene() {
  auto* t = static_cast<Talvene*>(GCreateComponent<Talvene>(nullptr, nullptr, nullptr));
  t->AddRef();
  return t;
}

enum SceneKind { kIdentity, kBulge, kMagnify, kShrink, kIdentityReference };

struct Scene {
  int src, dest;
  float scale;  // destination pixels per source pixel
  bool pixman;
  const char* label;
};

Scene SceneOf(int kind, int side) {
  switch (kind) {
    case kBulge: return {side, side, 1, false, "bulge"};
    case kMagnify: return {side, side * 4, 4, true, "4x magnification vs pixman bilinear"};
    case kShrink: return {side, side / 4, 0.25f, true, "0.25x shrink vs pixman bilinear"};
    case kIdentityReference: return {side, side, 1, false, "identity, scalar reference kernels"};
    default: return {side, side, 1, false, "identity"};
  }
}

void BM_Render(benchmark::State& state) {
  const int kind = int(state.range(0));
  const Scene sc = SceneOf(kind, int(state.range(1)));
  state.SetLabel(sc.label);
  const std::vector<uint32_t>& src = Source(sc.src);
  std::vector<uint32_t> dst(size_t(sc.dest) * sc.dest, 0xFF808080u);

  DistortArgs args{};
  args.nWidth = args.nHeight = args.nPitch = sc.src;
  args.nPixelSize = 4;
  args.dwColor = 0xFF000000u;
  args.pPixels = reinterpret_cast<BYTE*>(const_cast<uint32_t*>(src.data()));
  args.Density = {3, 3};
  // The samples, one pixel outside the source on every side, land at scale times themselves.
  const float lo = -sc.scale, hi = float(sc.src + 1) * sc.scale;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) args.Point(i, j) = {lo + (hi - lo) * float(j) / 2, lo + (hi - lo) * float(i) / 2};
  if (kind == kBulge) args.Point(1, 1).x += float(sc.src) * 0.15f, args.Point(1, 1).y -= float(sc.src) * 0.1f;

  LayerLock dest;
  dest.nWidth = dest.nHeight = dest.nPitch = sc.dest;
  dest.nPixelSize = 4;
  dest.pPixels = reinterpret_cast<BYTE*>(dst.data());
  Talvene* t = NewTalvene();
  t->UseReferenceKernels(kind == kIdentityReference);

  pixman_image_t *ps = nullptr, *pd = nullptr;
  std::vector<uint32_t> pdst;
  if (sc.pixman) {
    ps = pixman_image_create_bits(PIXMAN_a8r8g8b8, sc.src, sc.src, const_cast<uint32_t*>(src.data()), sc.src * 4);
    pdst.assign(dst.size(), 0xFF808080u);
    pd = pixman_image_create_bits(PIXMAN_a8r8g8b8, sc.dest, sc.dest, pdst.data(), sc.dest * 4);
    // Destination to source: the render puts source pixel k's sample on k * scale, so a
    // destination pixel's centre looks half a source pixel further than pixman's centres.
    pixman_f_transform_t f;
    pixman_f_transform_init_scale(&f, 1.0 / sc.scale, 1.0 / sc.scale);
    pixman_f_transform_translate(&f, nullptr, 0.5, 0.5);
    pixman_transform_t tr;
    pixman_transform_from_pixman_f_transform(&tr, &f);
    pixman_image_set_transform(ps, &tr);
    pixman_image_set_filter(ps, PIXMAN_FILTER_BILINEAR, nullptr, 0);
  }

  double own = 0, count = 0, ref = 0;
  int64_t cells = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    t->Renderer().Prepare(dest, dest.pPixels, args);
    cells = t->Renderer().CountCells();
    const auto t1 = Clock::now();
    if (t->Impress(&dest, &args, nullptr) != 1) state.SkipWithError("the render stopped");
    const auto t2 = Clock::now();
    if (sc.pixman) pixman_image_composite32(PIXMAN_OP_OVER, ps, nullptr, pd, 0, 0, 0, 0, 0, 0, sc.dest, sc.dest);
    const auto t3 = Clock::now();
    benchmark::ClobberMemory();
    state.SetIterationTime(Seconds(t1, t2));
    count += Seconds(t0, t1);
    own += Seconds(t1, t2);
    ref += Seconds(t2, t3);
  }
  const double n = double(state.iterations());
  state.counters["render_ms"] = 1e3 * own / n;
  state.counters["count_pass_ms"] = 1e3 * count / n;
  state.counters["count_pass_%"] = 100 * count / own;
  state.counters["cells_drawn"] = double(cells);
  state.counters["src_Mpx_s"] = double(sc.src) * sc.src * n / own / 1e6;
  state.counters["dest_Mpx_s"] = double(sc.dest) * sc.dest * n / own / 1e6;
  if (sc.pixman) {
    state.counters["pixman_ms"] = 1e3 * ref / n;
    state.counters["pixman/render"] = ref / own;  // speed ratio: 1 means as fast as pixman
    // Both must show the same picture: away from the edges they agree within a few levels.
    int agree = 0, probes = 0;
    for (int y = sc.dest / 8; y < sc.dest * 7 / 8; y += 7)
      for (int x = sc.dest / 8; x < sc.dest * 7 / 8; x += 5, ++probes) {
        const uint32_t a = dst[size_t(y) * sc.dest + x], b = pdst[size_t(y) * sc.dest + x];
        int d = 0;
        for (int sh = 0; sh < 32; sh += 8) d = std::max(d, std::abs(int((a >> sh) & 255) - int((b >> sh) & 255)));
        agree += d <= 8;
      }
    state.counters["agree_%"] = 100.0 * agree / probes;
    if (agree < probes * 9 / 10) state.SkipWithError("the pictures differ");
    pixman_image_unref(ps);
    pixman_image_unref(pd);
  }
  t->Release();
}

BENCHMARK(BM_Render)
    ->Args({kIdentity, 1000})
    ->Args({kIdentityReference, 1000})
    ->Args({kIdentity, 4000})
    ->Args({kBulge, 1000})
    ->Args({kMagnify, 1000})
    ->Args({kShrink, 4000})
    ->ArgNames({"scene", "side"})
    ->Iterations(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The preview of a 1000 x 1000 source through a bulged lattice over most of a 1920 x 1080
// view: ShowRefresh re-rasterises it (after every lattice change), Show composes it over the
// back buffer and presents it (every view drawing); a drag costs both per frame.
void BM_Preview(benchmark::State& state) {
  const bool reference = state.range(0) == 1;
  state.SetLabel(reference ? "scalar reference kernels" : "production kernels");
  constexpr int kW = 1920, kH = 1080;
  XShowDevice* dev = static_cast<XShowDevice*>(GCreateComponent<XShowDevice>(nullptr, nullptr, nullptr));
  dev->AddRef();
  ViewTransform v{};
  v.spaceWidth = kW, v.spaceHeight = kH, v.background = 0x808080;
  v.clientWidth = kW, v.clientHeight = kH;
  v.centreX = kW / 2.0f, v.centreY = kH / 2.0f, v.scale = 1;
  dev->DrawBegin(&v, TRUE);
  dev->DrawEnd(nullptr, nullptr);

  const std::vector<uint32_t>& src = Source(1000);
  DistortArgs args{};
  args.nWidth = args.nHeight = args.nPitch = 1000;
  args.nPixelSize = 4;
  args.dwColor = 0xFF000000u;
  args.pPixels = reinterpret_cast<BYTE*>(const_cast<uint32_t*>(src.data()));
  args.Density = {3, 3};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) args.Point(i, j) = {200 + 750.0f * float(j), 50 + 490.0f * float(i)};
  args.Point(1, 1).x += 180, args.Point(1, 1).y += 90;

  Talvene* t = NewTalvene();
  t->UseReferenceKernels(reference);
  plat::MemoryPresentTarget screen;
  const RECT client{0, 0, kW, kH};
  double refresh = 0, show = 0;
  for (auto _ : state) {
    args.Point(1, 1).x += 1;  // a drag: the lattice changes every frame
    const auto t0 = Clock::now();
    t->ShowRefresh(dev, &args);
    const auto t1 = Clock::now();
    t->Show(dev, &screen, &client, TRUE);
    const auto t2 = Clock::now();
    state.SetIterationTime(Seconds(t0, t2));
    refresh += Seconds(t0, t1);
    show += Seconds(t1, t2);
  }
  const double n = double(state.iterations());
  state.counters["refresh_ms"] = 1e3 * refresh / n;
  state.counters["show_ms"] = 1e3 * show / n;
  state.counters["frame_ms"] = 1e3 * (refresh + show) / n;
  state.counters["of_16ms_budget_%"] = 100 * (refresh + show) / n / 0.016;
  t->Release();
  dev->Release();
}

BENCHMARK(BM_Preview)->Arg(0)->Arg(1)->ArgName("reference")->Iterations(40)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
