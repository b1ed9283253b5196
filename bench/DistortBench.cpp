// The distortion component "Talvene": the mesh warp render of a realistic layer (an opaque
// gradient with noise under soft-edged discs) through an identity lattice, a mild turn, a
// mild enlargement, a bulge, a 4x magnification and a 0.25x shrink, each beside pixman's
// bilinear transform of the same source into a destination of the same size, in the same
// run. Where the warp is affine pixman takes the same mapping; for the bulge it warps through
// the render's own mesh, each cell as two triangles with the affine map of their corners
// (added, so that the antialiased edges of neighbours sum to a whole). pixman's sample points
// sit half a source pixel from ours (the render puts source pixel k on [k, k + 1), pixman's
// centres on k + 1/2), so it interpolates every pixel rather than taking its copying shortcut.
// pixman runs in as many row bands, on as many threads, as the render. One ratio line per
// case: medians of the iterations; the render runs on the threads the process may use, and
// the identity and the turn once more on one thread. And the preview, ShowRefresh then Show on
// a 1920 x 1080 view, beside pixman doing the same: the half-density mesh's cells drawn with
// the nearest filter and without antialiasing into a cleared preview, that composed OVER the
// back buffer and presented; against a 16 ms frame budget; with the scalar reference kernels
// too. Every case fails when the two pictures disagree.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "BenchPixman.h"
#include "BenchRatio.h"
#include "Distort.h"
#include "Talvene.h"
#include "XShowDevice.h"
#include "platform/base/Present.h"

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

// The result check: the share of probes away from the edges where the pictures agree within
// a few levels (the filters and the sample points differ, the picture must not).
constexpr double kAgreeShare = 0.9;
constexpr int kAgreeLevels = 12;

// The share of probes of the inner three quarters of two w x h pictures whose colours (and,
// with alpha, alphas) agree.
double AgreeShare(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int w, int h, bool alpha) {
  const uint32_t keep = alpha ? 0xFFFFFFFFu : 0xFFFFFFu;
  int agree = 0, probes = 0;
  for (int y = h / 8; y < h * 7 / 8; y += 7)
    for (int x = w / 8; x < w * 7 / 8; x += 5, ++probes) {
      const size_t i = size_t(y) * size_t(w) + size_t(x);
      const uint32_t pa = a[i] & keep, pb = b[i] & keep;
      agree += LargestChannelDifference(&pa, &pb, 1) <= kAgreeLevels;
    }
  return probes ? double(agree) / probes : 0.0;
}

// Runs band(i) for i in 0..n-1, each on a thread of its own (the first on this one).
template <class Band>
void InBands(int n, const Band& band) {
  std::vector<std::thread> threads;
  for (int i = 1; i < n; ++i) threads.emplace_back([&band, i] { band(i); });
  band(0);
  for (std::thread& t : threads) t.join();
}

// The affine map (destination to source, destination relative to (ox, oy)) that takes
// triangle a, b, c of the destination onto source points sa, sb, sc.
pixman_transform_t TriangleMap(const DistortPoint d[3], const DistortPoint src[3], double ox, double oy, double shift) {
  pixman_f_transform fwd, inv;
  pixman_f_transform_init_identity(&fwd);
  // Source to destination: the source triangle's edges onto the destination's.
  const double ux = src[1].x - src[0].x, uy = src[1].y - src[0].y, vx = src[2].x - src[0].x, vy = src[2].y - src[0].y;
  const double det = ux * vy - uy * vx;
  const double ax = d[1].x - d[0].x, ay = d[1].y - d[0].y, bx = d[2].x - d[0].x, by = d[2].y - d[0].y;
  fwd.m[0][0] = (ax * vy - bx * uy) / det, fwd.m[0][1] = (bx * ux - ax * vx) / det;
  fwd.m[1][0] = (ay * vy - by * uy) / det, fwd.m[1][1] = (by * ux - ay * vx) / det;
  fwd.m[0][2] = d[0].x - ox - fwd.m[0][0] * src[0].x - fwd.m[0][1] * src[0].y;
  fwd.m[1][2] = d[0].y - oy - fwd.m[1][0] * src[0].x - fwd.m[1][1] * src[0].y;
  pixman_f_transform_invert(&inv, &fwd);
  inv.m[0][2] += shift, inv.m[1][2] += shift;
  pixman_transform_t t;
  pixman_transform_from_pixman_f_transform(&t, &inv);
  return t;
}

// The cells of a mesh drawn by pixman from src into dst, each as two triangles with their own
// affine map (relative to the cell's corner, which keeps the fixed-point map exact), in the
// cells' order. aliased: an a1 mask (no antialiasing), else a8. y flipped for a bottom-up dst
// of height flipHeight (0: none). Only the cells whose rows meet [top, bottom) are drawn.
void PixmanMesh(const DistortMesh& m, pixman_image_t* src, pixman_image_t* dst, pixman_op_t op, bool aliased,
                double shift, int flipHeight, int top, int bottom, bool facing) {
  auto fix = [](double v) { return pixman_double_to_fixed(v); };
  for (int r = m.nRows - 2; r >= 0; --r)
    for (int q = m.nCols - 2; q >= 0; --q) {
      DistortPoint c[4] = {m.grid[r][q], m.grid[r][q + 1], m.grid[r + 1][q], m.grid[r + 1][q + 1]};
      if (!IsFrontFacing(c[0], c[1], c[2], c[3], facing)) continue;
      if (flipHeight)
        for (DistortPoint& p : c) p.y = float(flipHeight) - p.y;
      const float lo = std::min({c[0].y, c[1].y, c[2].y, c[3].y}), hi = std::max({c[0].y, c[1].y, c[2].y, c[3].y});
      if (hi < float(top) || lo >= float(bottom)) continue;
      const double ox = std::floor(std::min({c[0].x, c[1].x, c[2].x, c[3].x})), oy = std::floor(lo);
      const DistortPoint s[4] = {{float(m.xs[q]), float(m.ys[r])},
                                 {float(m.xs[q + 1]), float(m.ys[r])},
                                 {float(m.xs[q]), float(m.ys[r + 1])},
                                 {float(m.xs[q + 1]), float(m.ys[r + 1])}};
      static constexpr int kTriangles[2][3] = {{0, 1, 3}, {0, 3, 2}};
      for (const int* k : kTriangles) {
        const DistortPoint dt[3] = {c[k[0]], c[k[1]], c[k[2]]}, st[3] = {s[k[0]], s[k[1]], s[k[2]]};
        const pixman_transform_t t = TriangleMap(dt, st, ox, oy, shift);
        pixman_image_set_transform(src, &t);
        const pixman_triangle_t tri{{fix(dt[0].x - ox), fix(dt[0].y - oy)},
                                    {fix(dt[1].x - ox), fix(dt[1].y - oy)},
                                    {fix(dt[2].x - ox), fix(dt[2].y - oy)}};
        pixman_composite_triangles(op, src, dst, aliased ? PIXMAN_a1 : PIXMAN_a8, 0, 0, int(ox), int(oy), 1, &tri);
      }
    }
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
    case kBulge: return {2000, 2000, 1, 0, "2000 bulge"};
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

  // pixman: destination to source, the inverse of the map, half a source pixel on; the
  // bulge through the render's mesh.
  const bool affine = kind != kBulge;
  pixman_f_transform f;
  {
    double ox, oy, ax, ay, bx, by;
    MapPoint(sc, 0, 0, ox, oy);
    MapPoint(sc, 1, 0, ax, ay);
    MapPoint(sc, 0, 1, bx, by);
    pixman_f_transform fwd;
    pixman_f_transform_init_identity(&fwd);
    fwd.m[0][0] = ax - ox, fwd.m[0][1] = bx - ox, fwd.m[0][2] = ox;
    fwd.m[1][0] = ay - oy, fwd.m[1][1] = by - oy, fwd.m[1][2] = oy;
    pixman_f_transform_invert(&f, &fwd);
    f.m[0][2] += 0.5, f.m[1][2] += 0.5;
  }
  auto mesh = std::make_unique<DistortMesh>();
  mesh->Clear();
  BuildMesh(*mesh, args, args.dwFlags);
  // One source and one destination header per band (pixman images are not shared between
  // threads), the destination clipped to the band.
  const int bands = t->Renderer().GetThreads();
  std::vector<uint32_t> pdst(dst.size());
  std::vector<pixman_image_t*> srcs, dsts;
  for (int b = 0; b < bands; ++b) {
    pixman_image_t* ps =
        pixman_image_create_bits(PIXMAN_a8r8g8b8, sc.src, sc.src, const_cast<uint32_t*>(src.data()), sc.src * 4);
    pixman_image_set_filter(ps, PIXMAN_FILTER_BILINEAR, nullptr, 0);
    pixman_transform_t tr;
    pixman_transform_from_pixman_f_transform(&tr, &f);
    pixman_image_set_transform(ps, &tr);
    srcs.push_back(ps);
    pixman_image_t* pd = pixman_image_create_bits(PIXMAN_a8r8g8b8, sc.dest, sc.dest, pdst.data(), sc.dest * 4);
    const int top = sc.dest * b / bands, bottom = sc.dest * (b + 1) / bands;
    pixman_region32_t clip;
    pixman_region32_init_rect(&clip, 0, top, unsigned(sc.dest), unsigned(bottom - top));
    pixman_image_set_clip_region32(pd, &clip);
    pixman_region32_fini(&clip);
    dsts.push_back(pd);
  }
  auto pixmanBand = [&](int b) {
    const int top = sc.dest * b / bands, bottom = sc.dest * (b + 1) / bands;
    if (affine)
      pixman_image_composite32(PIXMAN_OP_SRC, srcs[size_t(b)], nullptr, dsts[size_t(b)], 0, top, 0, 0, 0, top, sc.dest,
                               bottom - top);
    else
      PixmanMesh(*mesh, srcs[size_t(b)], dsts[size_t(b)], PIXMAN_OP_ADD, false, 0.5, 0, top, bottom, false);
  };

  std::vector<double> own, ref;
  for (auto _ : state) {
    std::fill(dst.begin(), dst.end(), 0u);
    std::fill(pdst.begin(), pdst.end(), 0u);
    const auto t0 = Clock::now();
    if (t->Impress(&dest, &args, nullptr) != 1) state.SkipWithError("the render stopped");
    const auto t1 = Clock::now();
    InBands(bands, pixmanBand);
    const auto t2 = Clock::now();
    benchmark::ClobberMemory();
    state.SetIterationTime(Seconds(t0, t1));
    own.push_back(Seconds(t0, t1));
    ref.push_back(Seconds(t1, t2));
  }
  for (pixman_image_t* i : srcs) pixman_image_unref(i);
  for (pixman_image_t* i : dsts) pixman_image_unref(i);
  // Both must show the same picture: away from the edges most pixels agree within a few levels.
  const double agree = AgreeShare(dst, pdst, sc.dest, sc.dest, true);
  state.counters["agree_%"] = 100.0 * agree;
  // DISTORT_BENCH_DUMP=DIR keeps each scene's picture, so that two builds' renders can be
  // compared pixel by pixel.
  if (const char* dir = std::getenv("DISTORT_BENCH_DUMP")) {
    std::ofstream out(std::string(dir) + "/scene" + std::to_string(kind) + ".raw", std::ios::binary);
    out.write(reinterpret_cast<const char*>(dst.data()), std::streamsize(dst.size() * sizeof(uint32_t)));
  }
  if (agree < kAgreeShare) state.SkipWithError("the pictures differ");
  const double oursMs = 1e3 * MedianOf(own), refMs = 1e3 * MedianOf(ref);
  state.counters["render_ms"] = oursMs;
  state.counters["pixman_ms"] = refMs;
  state.counters["threads"] = bands;
  char note[120];
  std::snprintf(note, sizeof note, "%d threads both, %.1f%% of probes agree, median of %zu", bands, 100.0 * agree,
                own.size());
  PrintRatio("distort", sc.label, oursMs, affine ? "pixman bilinear" : "pixman bilinear mesh", refMs, note);
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
  plat::MemoryPresentTarget screen, pixmanScreen;
  const RECT client{0, 0, kW, kH};
  // pixman's frame: the preview mesh's cells drawn nearest and aliased into a cleared preview
  // (bottom-up, as the back buffer), that composed OVER the back buffer and presented.
  LayerLock bb;
  dev->GetBackBuffer(&bb);
  pixman_image_t* ps = pixman_image_create_bits(PIXMAN_a8r8g8b8, 1000, 1000, const_cast<uint32_t*>(src.data()), 4000);
  pixman_image_set_filter(ps, PIXMAN_FILTER_NEAREST, nullptr, 0);
  std::vector<uint32_t> preview(size_t(kW) * kH), frame(size_t(kW) * kH);
  pixman_image_t* pPreview = pixman_image_create_bits(PIXMAN_a8r8g8b8, kW, kH, preview.data(), kW * 4);
  pixman_image_t* pFrame = pixman_image_create_bits(PIXMAN_a8r8g8b8, kW, kH, frame.data(), kW * 4);
  pixman_image_t* pBack =
      pixman_image_create_bits(PIXMAN_a8r8g8b8, kW, kH, reinterpret_cast<uint32_t*>(bb.pPixels), int(bb.cbRow));
  auto mesh = std::make_unique<DistortMesh>();
  double refresh = 0, show = 0;
  std::vector<double> frames, refs;
  double agree = 1;
  for (auto _ : state) {
    args.Point(1, 1).x += 1;  // a drag: the lattice changes every frame
    const auto t0 = Clock::now();
    t->ShowRefresh(dev, &args);
    const auto t1 = Clock::now();
    t->Show(dev, &screen, &client, TRUE);
    const auto t2 = Clock::now();
    std::memset(preview.data(), 0, preview.size() * 4);
    mesh->Clear();
    BuildMesh(*mesh, args, args.dwFlags | DISTORT_F_HALF);
    PixmanMesh(*mesh, ps, pPreview, PIXMAN_OP_OVER, true, 0.0, kH, 0, kH, false);
    pixman_image_composite32(PIXMAN_OP_SRC, pBack, nullptr, pFrame, 0, 0, 0, 0, 0, 0, kW, kH);
    pixman_image_composite32(PIXMAN_OP_OVER, pPreview, nullptr, pFrame, 0, 0, 0, 0, 0, 0, kW, kH);
    pixmanScreen.Present(frame.data(), kW, kH, kW, true, client);
    const auto t3 = Clock::now();
    state.SetIterationTime(Seconds(t0, t2));
    refresh += Seconds(t0, t1);
    show += Seconds(t1, t2);
    frames.push_back(Seconds(t0, t2));
    refs.push_back(Seconds(t2, t3));
    agree = std::min(agree, AgreeShare(screen.Pixels(), pixmanScreen.Pixels(), kW, kH, false));
  }
  for (pixman_image_t* i : {ps, pPreview, pFrame, pBack}) pixman_image_unref(i);
  if (agree < kAgreeShare) state.SkipWithError("the previews differ");
  const double frameMs = 1e3 * MedianOf(frames);
  const char* what = reference ? "preview frame 1920x1080, scalar kernels" : "preview frame 1920x1080";
  char note[120];
  std::snprintf(note, sizeof note, "%s; %.1f%% of probes agree", frameMs < 16 ? "within the 16 ms frame" : "over the 16 ms frame",
                100.0 * agree);
  PrintRatio("distort", what, frameMs, "pixman nearest mesh OVER", 1e3 * MedianOf(refs), note);
  const double n = double(state.iterations());
  state.counters["refresh_ms"] = 1e3 * refresh / n;
  state.counters["show_ms"] = 1e3 * show / n;
  state.counters["frame_ms"] = 1e3 * (refresh + show) / n;
  state.counters["of_16ms_budget_%"] = 100 * (refresh + show) / n / 0.016;
  state.counters["agree_%"] = 100.0 * agree;
  t->Release();
  dev->Release();
}

BENCHMARK(BM_Preview)->Arg(0)->Arg(1)->ArgName("reference")->Iterations(40)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
