// Filling a star and an ellipse 2000 pixels across into a 2000 x 2000 colour layer as the
// outline and shape tools do it (the polygon filler at 8 x 8 sub-samples, then the "填充"
// blend of each coverage row, SSE2 and the scalar definition), against pixman rasterising
// the same polygon (as a fan of triangles into an a8 mask) and compositing a solid colour
// through it with OVER. Each side fills the same pixels in the same run; ratios below 1 are
// faster than pixman.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "Corbish.h"
#include "tools/FillKernels.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSide = 2000;
constexpr uint32_t kColour = 0xE0336699;  // alpha 224
// The result check: the share by which the counts of changed pixels may differ (the two
// rasterisers round the coverage of edge pixels differently, so a faint edge pixel may
// change on one side only).
constexpr double kChangedTolerance = 0.001;

struct Point {
  double x, y;
};

// The tools' templates at 2000 pixels across, centred in the layer.
std::vector<Point> Star() {
  std::vector<Point> p;
  for (int i = 0; i < 10; ++i) {
    const double t = i * 2 * M_PI / 10 - M_PI / 2, r = (i & 1) ? 400.0 : 999.5;
    p.push_back({1000 + r * std::cos(t), 1000 + r * std::sin(t)});
  }
  return p;
}

std::vector<Point> Ellipse() {
  std::vector<Point> p;
  for (int i = 0; i < 256; ++i) {
    const double t = i * 2 * M_PI / 256;
    p.push_back({1000 + 999.5 * std::cos(t), 1000 + 700.0 * std::sin(t)});
  }
  return p;
}

double Ns(Clock::time_point a, Clock::time_point b) { return double(std::chrono::duration_cast<std::chrono::nanoseconds>(b - a).count()); }

using Kernel = void (*)(uint32_t*, const uint16_t*, int, uint32_t, int);

// The filler alone: the rows are taken and nothing is blended.
void NoBlend(uint32_t* px, const uint16_t* cov, int n, uint32_t, int) {
  benchmark::DoNotOptimize(px);
  benchmark::DoNotOptimize(cov);
  benchmark::DoNotOptimize(n);
}

// The tools' fill: coverage rows from the filler, each blended where the filler says it is.
void FillOurs(Corbish& filler, const std::vector<Point>& poly, uint32_t* pixels, Kernel kernel) {
  filler.CollectBegin(8);
  for (const Point& p : poly) {
    const float xy[2] = {float(p.x), float(p.y)};
    filler.Collect(xy, FALSE);
  }
  if (!filler.CollectEnd()) return;
  const RECT rc{0, 0, kSide, kSide};
  const WORD* cov = filler.ScanBegin(&rc);
  RECT row;
  while (filler.Scan(&row)) {
    if (row.left >= row.right) continue;
    kernel(pixels + size_t(row.top) * kSide + row.left, cov + row.left, int(row.right - row.left), kColour,
           fill::myFILL);
  }
  filler.Reset();
}

// A fan of triangles from the centre: the polygons are star-shaped about it, so the
// triangles do not overlap and their union is the polygon.
std::vector<pixman_triangle_t> Fan(const std::vector<Point>& poly) {
  std::vector<pixman_triangle_t> tris;
  const pixman_point_fixed_t c{pixman_double_to_fixed(1000.0), pixman_double_to_fixed(1000.0)};
  for (size_t i = 0; i < poly.size(); ++i) {
    const Point& a = poly[i];
    const Point& b = poly[(i + 1) % poly.size()];
    tris.push_back({c,
                    {pixman_double_to_fixed(a.x), pixman_double_to_fixed(a.y)},
                    {pixman_double_to_fixed(b.x), pixman_double_to_fixed(b.y)}});
  }
  return tris;
}

void BM_ShapeFill(benchmark::State& state) {
  const bool star = state.range(0) == 0;
  const std::vector<Point> poly = star ? Star() : Ellipse();
  state.SetLabel(star ? "star 2000" : "ellipse 2000");
  // Half-transparent grey under the fill, the same for both sides.
  std::vector<uint32_t> ours(size_t(kSide) * kSide, 0x80808080u), scalar = ours, theirs = ours;
  Corbish filler;
  pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, theirs.data(), kSide * 4);
  // Premultiplied solid source of the same colour.
  const pixman_color_t colour{uint16_t(0x33 * 0xE0 / 255 * 257), uint16_t(0x66 * 0xE0 / 255 * 257),
                              uint16_t(0x99 * 0xE0 / 255 * 257), uint16_t(0xE0 * 257)};
  pixman_image_t* src = pixman_image_create_solid_fill(&colour);
  const std::vector<pixman_triangle_t> tris = Fan(poly);
  double nsOurs = 0, nsScalar = 0, nsPixman = 0, nsCoverage = 0;
  RatioTimes times;
  for (auto _ : state) {
    auto t0 = Clock::now();
    FillOurs(filler, poly, ours.data(), fill::BlendRowC32Sse2);
    auto t1 = Clock::now();
    FillOurs(filler, poly, scalar.data(), fill::BlendRowC32Scalar);
    auto t2 = Clock::now();
    pixman_composite_triangles(PIXMAN_OP_OVER, src, dst, PIXMAN_a8, 0, 0, 0, 0, int(tris.size()), tris.data());
    auto t3 = Clock::now();
    FillOurs(filler, poly, ours.data(), NoBlend);
    auto t4 = Clock::now();
    benchmark::DoNotOptimize(ours.data());
    benchmark::DoNotOptimize(theirs.data());
    benchmark::ClobberMemory();
    nsOurs += Ns(t0, t1);
    nsScalar += Ns(t1, t2);
    nsPixman += Ns(t2, t3);
    nsCoverage += Ns(t3, t4);
    times.Add(Ns(t0, t1) / 1e9, Ns(t2, t3) / 1e9);
  }
  const double n = double(state.iterations());
  state.counters["ours_ms"] = nsOurs / n / 1e6;
  state.counters["scalar_ms"] = nsScalar / n / 1e6;
  state.counters["pixman_ms"] = nsPixman / n / 1e6;
  state.counters["coverage_ms"] = nsCoverage / n / 1e6;
  state.counters["ours/pixman"] = nsOurs / nsPixman;
  state.counters["scalar/pixman"] = nsScalar / nsPixman;
  // Both sides filled the same area: the share of pixels each changed.
  size_t changedOurs = 0, changedTheirs = 0;
  for (size_t i = 0; i < ours.size(); ++i) {
    changedOurs += ours[i] != 0x80808080u;
    changedTheirs += theirs[i] != 0x80808080u;
  }
  state.counters["ours_px_changed"] = double(changedOurs);
  state.counters["pixman_px_changed"] = double(changedTheirs);
  const std::string note = "same polygon; pixels changed: ours " + std::to_string(changedOurs) + ", pixman " +
                           std::to_string(changedTheirs);
  if (scalar != ours) state.SkipWithError("the SSE2 fill and the scalar one give different pixels");
  const double apart = std::fabs(double(changedOurs) - double(changedTheirs));
  if (changedTheirs == 0 || apart > kChangedTolerance * double(changedTheirs))
    state.SkipWithError(("the two sides changed different pixels: " + note).c_str());
  times.Print("shape_fill_bench", star ? "star 2000" : "ellipse 2000", "pixman_triangles_over", note);
  pixman_image_unref(src);
  pixman_image_unref(dst);
}

BENCHMARK(BM_ShapeFill)->Arg(0)->Arg(1)->ArgName("shape")->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
