// The distortion component "Talvene": the mesh warp render of a realistic layer (an opaque
// gradient with noise under soft-edged discs) through an identity lattice, a mild turn, a
// mild enlargement, a bulge, a 4x magnification and a 0.25x shrink, each beside pixman's
// bilinear transform of the same source into a destination of the same size, in the same
// run. Where the warp is affine pixman takes the same mapping; the bulge has none, so pixman
// takes the identity of the same size there. pixman's sample points sit half a source pixel
// from ours (the render puts source pixel k on [k, k + 1), pixman's centres on k + 1/2), so
// it interpolates every pixel rather than taking its copying shortcut. One ratio line per
// case: medians of the iterations; the render runs on the threads the process may use, and
// the identity and the turn once more on one thread. And the preview, ShowRefresh then Show
// on a 1920 x 1080 view, beside pixman's nearest transform composed over a frame of that size,
// against a 16 ms frame budget; with the scalar reference kernels too.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "BenchPixman.h"
#include "BenchRatio.h"
#include "Talvene.h"
#include "XShowDevice.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// A realistic layer, shared by the scenes of one size: an opaque gradient with noise, under
// soft-edged discs of other colours.
const std::vector<uint32_t>& Source(int side) {
  static std::map<int, std::vector<uint32_t>> cache;
  std::vector<uint32_t>& v = cache[side];
  if (!v.empty()) return v;
  v.resize(size_t(side) * size_t(side));
  std::mt19937 rng(7);
  std::vector<float> px(v.size() * 3);
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      float* p = &px[(size_t(y) * side + x) * 3];
      const float n = float(int(rng() % 17) - 8);
      p[0] = 40 + 170.0f * x / side + n, p[1] = 30 + 190.0f * y / side + n, p[2] = 120 + n;
    }
  for (int k = 0; k < 40; ++k) {
    const float cx = float(rng() % side), cy = float(rng() % side);
    const float r = float(side) * (0.03f + 0.1f * float(rng() % 100) / 100);
    const float col[3] = {float(rng() % 256), float(rng() % 256), float(rng() % 256)};
    const float soft = r * 0.3f;
    for (int y = std::max(0, int(cy - r)); y < std::min(side, int(cy + r) + 1); ++y)
      for (int x = std::max(0, int(cx - r)); x < std::min(side, int(cx + r) + 1); ++x) {
        const float d = std::hypot(x - cx, y - cy);
        const float a = std::clamp((r - d) / soft, 0.0f, 1.0f);
        float* p = &px[(size_t(y) * side + x) * 3];
        for (int c = 0; c < 3; ++c) p[c] += (col[c] - p[c]) * a;
      }
  }
  for (size_t i = 0; i < v.size(); ++i) {
    auto level = [&](int c) { return uint32_t(std::clamp(px[i * 3 + c], 0.0f, 255.0f)); };
    v[i] = 0xFF000000u | level(0) << 16 | level(1) << 8 | level(2);
  }
  return v;
}

Talvene* NewTalvene() {
  auto* t = static_cast<Talvene*>(GCreateComponent<Talvene>(nullptr, nullptr, nullptr));
  t->AddRef();
  return t;
}

enum SceneKind { kIdentity, kTurn, kEnlarge, kBulge, kMagnify, kShrink, kIdentityOneThread, kTurnOneThread };

struct Scene {
  int src, dest;
  float scale;  // destination pixels per source pixel
  float angle;  // turn about the destination's centre (radians)
  const char* label;
};

Scene SceneOf(int kind) {
  switch (kind) {
    case kTurn: return {2000, 2000, 1, 0.0873f, "2000 mild turn 5 deg"};
    case kEnlarge: return {2000, 2000, 1.2f, 0, "2000 mild enlargement 1.2x"};
    case kBulge: return {2000, 2000, 1, 0, "2000 bulge (pixman: identity)"};
    case kMagnify: return {1000, 4000, 4, 0, "1000 to 4000 magnification 4x"};
    case kShrink: return {4000, 1000, 0.25f, 0, "4000 to 1000 shrink 0.25x"};
    case kIdentityOneThread: return {2000, 2000, 1, 0, "2000 identity, 1 thread"};
    case kTurnOneThread: return {2000, 2000, 1, 0.0873f, "2000 mild turn 5 deg, 1 thread"};
    default: return {2000, 2000, 1, 0, "2000 identity"};
  }
}

// The render's map of source point (x, y): scaled about the source's origin, then turned
// about the destination's centre.
void MapPoint(const Scene& sc, double x, double y, double& ox, double& oy) {
  const double c = std::cos(double(sc.angle)), s = std::sin(double(sc.angle)), h = sc.dest / 2.0;
  const double sx = x * sc.scale - h, sy = y * sc.scale - h;
  ox = h + c * sx - s * sy, oy = h + s * sx + c * sy;
}

void BM_Render(benchmark::State& state) {
  const int kind = int(state.range(0));
  const Scene sc = SceneOf(kind);
  const std::vector<uint32_t>& src = Source(sc.src);
  std::vector<uint32_t> dst(size_t(sc.dest) * sc.dest);

  DistortArgs args{};
  args.nWidth = args.nHeight = args.nPitch = sc.src;
  args.nPixelSize = 4;
  args.dwColor = 0xFF000000u;
  args.pPixels = reinterpret_cast<BYTE*>(const_cast<uint32_t*>(src.data()));
  args.Density = {3, 3};
  // The samples, one pixel outside the source on every side, land where the map puts them.
  const double lo = -1, hi = sc.src + 1;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double x, y;
      MapPoint(sc, lo + (hi - lo) * j / 2, lo + (hi - lo) * i / 2, x, y);
      args.Point(i, j) = {float(x), float(y)};
    }
  if (kind == kBulge) args.Point(1, 1).x += float(sc.src) * 0.15f, args.Point(1, 1).y -= float(sc.src) * 0.1f;

  LayerLock dest;
  dest.nWidth = dest.nHeight = dest.nPitch = sc.dest;
  dest.nPixelSize = 4;
  dest.pPixels = reinterpret_cast<BYTE*>(dst.data());
  Talvene* t = NewTalvene();
  if (kind == kIdentityOneThread || kind == kTurnOneThread) t->Renderer().SetThreads(1);

  // pixman: destination to source, the inverse of the map, half a source pixel on.
  pixman_image_t* ps =
      pixman_image_create_bits(PIXMAN_a8r8g8b8, sc.src, sc.src, const_cast<uint32_t*>(src.data()), sc.src * 4);
  std::vector<uint32_t> pdst(dst.size());
  pixman_f_transform f;
  {
    double ox, oy, ax, ay, bx, by;
    const Scene affine = kind == kBulge ? SceneOf(kIdentity) : sc;
    MapPoint(affine, 0, 0, ox, oy);
    MapPoint(affine, 1, 0, ax, ay);
    MapPoint(affine, 0, 1, bx, by);
    pixman_f_transform fwd;
    pixman_f_transform_init_identity(&fwd);
    fwd.m[0][0] = ax - ox, fwd.m[0][1] = bx - ox, fwd.m[0][2] = ox;
    fwd.m[1][0] = ay - oy, fwd.m[1][1] = by - oy, fwd.m[1][2] = oy;
    pixman_f_transform_invert(&f, &fwd);
    f.m[0][2] += 0.5, f.m[1][2] += 0.5;
  }

  std::vector<double> own, ref;
  for (auto _ : state) {
    std::fill(dst.begin(), dst.end(), 0u);
    const auto t0 = Clock::now();
    if (t->Impress(&dest, &args, nullptr) != 1) state.SkipWithError("the render stopped");
    const auto t1 = Clock::now();
    ref.push_back(PixmanRun(ps, f, pdst, sc.dest, sc.dest));
    benchmark::ClobberMemory();
    state.SetIterationTime(Seconds(t0, t1));
    own.push_back(Seconds(t0, t1));
  }
  // Both must show the same picture: away from the edges most pixels agree within a few
  // levels (the bulge only where it leaves the picture in place).
  int agree = 0, probes = 0;
  for (int y = sc.dest / 8; y < sc.dest * 7 / 8; y += 7)
    for (int x = sc.dest / 8; x < sc.dest * 7 / 8; x += 5, ++probes) {
      const uint32_t a = dst[size_t(y) * sc.dest + x], b = pdst[size_t(y) * sc.dest + x];
      int d = 0;
      for (int sh = 0; sh < 32; sh += 8) d = std::max(d, std::abs(int((a >> sh) & 255) - int((b >> sh) & 255)));
      agree += d <= 12;
    }
  state.counters["agree_%"] = 100.0 * agree / probes;
  // DISTORT_BENCH_DUMP=DIR keeps each scene's picture, so that two builds' renders can be
  // compared pixel by pixel.
  if (const char* dir = std::getenv("DISTORT_BENCH_DUMP")) {
    std::ofstream out(std::string(dir) + "/scene" + std::to_string(kind) + ".raw", std::ios::binary);
    out.write(reinterpret_cast<const char*>(dst.data()), std::streamsize(dst.size() * sizeof(uint32_t)));
  }
  if (kind != kBulge && agree < probes * 9 / 10) state.SkipWithError("the pictures differ");
  const double oursMs = 1e3 * MedianOf(own), refMs = 1e3 * MedianOf(ref);
  state.counters["render_ms"] = oursMs;
  state.counters["pixman_ms"] = refMs;
  state.counters["threads"] = t->Renderer().GetThreads();
  PrintRatio("distort", sc.label, oursMs, "pixman bilinear", refMs,
             std::to_string(t->Renderer().GetThreads()) + " threads, median of " + std::to_string(own.size()));
  pixman_image_unref(ps);
  t->Release();
}

BENCHMARK(BM_Render)
    ->Arg(kIdentity)
    ->Arg(kTurn)
    ->Arg(kEnlarge)
    ->Arg(kBulge)
    ->Arg(kMagnify)
    ->Arg(kShrink)
    ->Arg(kIdentityOneThread)
    ->Arg(kTurnOneThread)
    ->ArgName("scene")
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The preview of a 1000 x 1000 source through a bulged lattice over most of a 1920 x 1080
// view: ShowRefresh re-rasterises it (after every lattice change), Show composes it over the
// back buffer and presents it (every view drawing); a drag costs both per frame.
void BM_Preview(benchmark::State& state) {
  const bool reference = state.range(0) == 1;
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
  // The reference: pixman's nearest affine transform of the source composed OVER a frame of
  // the same size, along the lattice's straight part (the same sampling and composing work).
  pixman_image_t* ps = pixman_image_create_bits(PIXMAN_a8r8g8b8, 1000, 1000, const_cast<uint32_t*>(src.data()), 4000);
  std::vector<uint32_t> frame(size_t(kW) * kH, 0xFF808080u);
  pixman_image_t* pd = pixman_image_create_bits(PIXMAN_a8r8g8b8, kW, kH, frame.data(), kW * 4);
  pixman_f_transform_t f;
  pixman_f_transform_init_translate(&f, -200, -50);
  pixman_f_transform_scale(&f, nullptr, 1000.0 / 1500, 1000.0 / 980);
  pixman_transform_t tr;
  pixman_transform_from_pixman_f_transform(&tr, &f);
  pixman_image_set_transform(ps, &tr);
  pixman_image_set_filter(ps, PIXMAN_FILTER_NEAREST, nullptr, 0);
  double refresh = 0, show = 0;
  std::vector<double> frames, refs;
  for (auto _ : state) {
    args.Point(1, 1).x += 1;  // a drag: the lattice changes every frame
    const auto t0 = Clock::now();
    t->ShowRefresh(dev, &args);
    const auto t1 = Clock::now();
    t->Show(dev, &screen, &client, TRUE);
    const auto t2 = Clock::now();
    pixman_image_composite32(PIXMAN_OP_OVER, ps, nullptr, pd, 0, 0, 0, 0, 0, 0, kW, kH);
    const auto t3 = Clock::now();
    state.SetIterationTime(Seconds(t0, t2));
    refresh += Seconds(t0, t1);
    show += Seconds(t1, t2);
    frames.push_back(Seconds(t0, t2));
    refs.push_back(Seconds(t2, t3));
  }
  pixman_image_unref(ps);
  pixman_image_unref(pd);
  const double frameMs = 1e3 * MedianOf(frames);
  const char* what = reference ? "preview frame 1920x1080, scalar kernels" : "preview frame 1920x1080";
  PrintRatio("distort", what, frameMs,
             "pixman nearest OVER", 1e3 * MedianOf(refs),
             frameMs < 16 ? "within the 16 ms frame" : "over the 16 ms frame");
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
