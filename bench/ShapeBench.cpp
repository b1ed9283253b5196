// The polygon filler against FreeType's smooth rasteriser filling the same outlines into
// rows of coverage: a disc 4000 pixels across at factor 16, a traced noise outline with
// thousands of contours at factor 16, and a rotated rectangle on a 10000-pixel layer at
// factor 8. Mpixel/s counts the pixels of the scan rectangle.
#include <benchmark/benchmark.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <array>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "BenchRatio.h"
#include "Corbish.h"
#include "XCreateShapeFromBitmap.h"

namespace {

using Clock = std::chrono::steady_clock;
using Contour = std::vector<std::array<float, 2>>;
// The result check: both fill the same outline, so their covered areas agree but for how
// each rounds the edge pixels' coverage.
constexpr double kAreaTolerancePercent = 0.01;

struct Scene {
  const char* name;
  int factor;
  RECT scan;
  std::vector<Contour> contours;
};

Scene Disc() {
  Scene s{"disc 4000 f16", 16, RECT{0, 0, 4000, 4000}, {}};
  Contour c;
  const int n = 4096;
  for (int i = 0; i < n; ++i) {
    const double a = 2 * M_PI * i / n;
    c.push_back({float(2000 + 1999.5 * std::cos(a)), float(2000 + 1999.5 * std::sin(a))});
  }
  s.contours.push_back(c);
  return s;
}

Scene RotatedRect() {
  Scene s{"rotated rect 10000 f8", 8, RECT{0, 0, 10000, 10000}, {}};
  const double a = M_PI / 6, ca = std::cos(a), sa = std::sin(a);
  Contour c;
  for (auto [x, y] : {std::pair{-3500.0, -2000.0}, {3500.0, -2000.0}, {3500.0, 2000.0}, {-3500.0, 2000.0}})
    c.push_back({float(5000 + x * ca - y * sa), float(5000 + x * sa + y * ca)});
  s.contours.push_back(c);
  return s;
}

// Value noise (random levels on a 3-pixel grid, interpolated) cut high, traced by the
// outline tracer as the paint bucket does it: about 3600 small blobs and holes. (A FreeType
// outline holds at most 32767 points, which bounds the size.)
Scene TracedNoise() {
  const int side = 512, cell = 3, grid = side / cell + 2;
  std::mt19937 rng(11);
  std::vector<float> level(size_t(grid) * grid);
  for (float& v : level) v = std::uniform_real_distribution<float>(0, 1)(rng);
  const RECT bm{0, 0, side + 32, side + 2};
  std::vector<DWORD> bits(size_t(bm.right / 32) * bm.bottom, 0);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const int gx = x / cell, gy = y / cell;
      const float fx = float(x % cell) / cell, fy = float(y % cell) / cell;
      auto at = [&](int i, int j) { return level[size_t(j) * grid + i]; };
      const float v = (at(gx, gy) * (1 - fx) + at(gx + 1, gy) * fx) * (1 - fy) +
                      (at(gx, gy + 1) * (1 - fx) + at(gx + 1, gy + 1) * fx) * fy;
      if (v > 0.75f) bits[(size_t(y + 1) * bm.right + x + 1) >> 5] |= DWORD(1) << ((x + 1) & 31);
    }
  }
  Scene s{"traced noise f16", 16, RECT{1, 1, side + 1, side + 1}, {}};
  auto* tracer =
      static_cast<OCreateShapeFromBitmap*>(GCreateComponent<XCreateShapeFromBitmap>(nullptr, nullptr, nullptr)
                                               ->GetInterface(u"OCreateShapeFromBitmap"));
  tracer->AddRef();
  if (tracer->Begin(bits.data(), &bm, &s.scan) > 0) {
    POINT p;
    int fresh = 0;
    while (tracer->GetPoint(&p, &fresh)) {
      if (fresh) s.contours.emplace_back();
      s.contours.back().push_back({float(p.x), float(p.y)});
    }
  }
  tracer->End();
  tracer->Release();
  return s;
}

const Scene& GetScene(int i) {
  static const Scene scenes[3] = {Disc(), TracedNoise(), RotatedRect()};
  return scenes[i];
}

// Fills the scene through the filler; returns the total coverage in pixels.
double FillCorbish(OShape* shape, const Scene& s) {
  shape->CollectBegin(s.factor);
  for (const Contour& c : s.contours)
    for (size_t i = 0; i < c.size(); ++i) shape->Collect(c[i].data(), i == 0);
  uint64_t sum = 0;
  if (shape->CollectEnd()) {
    const WORD* buf = shape->ScanBegin(&s.scan);
    RECT row;
    while (shape->Scan(&row)) {
      // The tools read every entry of the row; a light sample keeps the work visible.
      if (row.right > row.left)
        sum += buf[(row.left + row.right) / 2 - s.scan.left] + buf[row.left - s.scan.left];
    }
  }
  shape->Reset();
  return double(sum);
}

// FreeType's spans written into a coverage row, cleared when the row changes, as a caller
// of the filler gets its row.
struct FtSink {
  std::vector<uint8_t> row;
  int y = INT32_MIN, lo = 0, hi = 0;
  uint64_t sample = 0;
  uint64_t area = 0;  // coverage x length, for the cross-check
};

void FtSpans(int y, int count, const FT_Span* spans, void* user) {
  auto* sink = static_cast<FtSink*>(user);
  if (y != sink->y) {
    if (sink->hi > sink->lo) {
      sink->sample += sink->row[size_t(sink->lo)];
      std::memset(sink->row.data() + sink->lo, 0, size_t(sink->hi - sink->lo));
    }
    sink->y = y;
    sink->lo = INT32_MAX;
    sink->hi = 0;
  }
  for (int i = 0; i < count; ++i) {
    const FT_Span& sp = spans[i];
    std::memset(sink->row.data() + sp.x, sp.coverage, sp.len);
    sink->lo = std::min(sink->lo, int(sp.x));
    sink->hi = std::max(sink->hi, sp.x + sp.len);
    sink->area += uint64_t(sp.coverage) * sp.len;
  }
}

struct FtScene {
  FT_Outline outline{};
  FT_Library lib = nullptr;
  FtScene(FT_Library l, const Scene& s) : lib(l) {
    size_t points = 0;
    for (const Contour& c : s.contours) points += c.size();
    FT_Outline_New(lib, FT_UInt(points), FT_Int(s.contours.size()), &outline);
    size_t k = 0;
    for (size_t ci = 0; ci < s.contours.size(); ++ci) {
      for (const auto& p : s.contours[ci]) {
        outline.points[k] = FT_Vector{FT_Pos(std::lround(p[0] * 64.0)), FT_Pos(std::lround(p[1] * 64.0))};
        outline.tags[k] = FT_CURVE_TAG_ON;
        ++k;
      }
      outline.contours[ci] = short(k - 1);
    }
    outline.flags = FT_OUTLINE_NONE;
  }
  ~FtScene() { FT_Outline_Done(lib, &outline); }
};

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

void BM_Fill(benchmark::State& state) {
  const Scene& s = GetScene(int(state.range(0)));
  state.SetLabel(s.name);
  auto* shape =
      static_cast<OShape*>(GCreateComponent<Corbish>(nullptr, nullptr, nullptr)->GetInterface(u"OShape"));
  shape->AddRef();
  size_t points = 0;
  for (const Contour& c : s.contours) points += c.size();
  if (points > 32767 || s.contours.size() > 32767) {
    state.SkipWithError("too many points for a FreeType outline");
    shape->Release();
    return;
  }
  FT_Library lib = nullptr;
  FT_Init_FreeType(&lib);
  {
    FtScene ft(lib, s);
    FtSink sink;
    sink.row.assign(size_t(s.scan.right) + 64, 0);
    FT_Raster_Params params{};
    params.source = &ft.outline;
    params.flags = FT_RASTER_FLAG_AA | FT_RASTER_FLAG_DIRECT | FT_RASTER_FLAG_CLIP;
    params.gray_spans = FtSpans;
    params.user = &sink;
    params.clip_box = FT_BBox{s.scan.left, s.scan.top, s.scan.right, s.scan.bottom};

    double ourSec = 0, ftSec = 0, ourArea = 0;
    RatioTimes times;
    for (auto _ : state) {
      auto t0 = Clock::now();
      FillCorbish(shape, s);
      auto t1 = Clock::now();
      sink.area = 0;
      sink.y = INT32_MIN;
      const FT_Error err = FT_Outline_Render(lib, &ft.outline, &params);
      auto t2 = Clock::now();
      if (err) {
        state.SkipWithError("FreeType failed");
        break;
      }
      state.SetIterationTime(Seconds(t0, t1));
      ourSec += Seconds(t0, t1);
      ftSec += Seconds(t1, t2);
      times.Add(Seconds(t0, t1), Seconds(t1, t2));
    }
    // Coverage area of both, for the cross-check (outside the timing).
    {
      shape->CollectBegin(s.factor);
      for (const Contour& c : s.contours)
        for (size_t i = 0; i < c.size(); ++i) shape->Collect(c[i].data(), i == 0);
      shape->CollectEnd();
      const WORD* buf = shape->ScanBegin(&s.scan);
      RECT row;
      while (shape->Scan(&row))
        for (int x = row.left; x < row.right; ++x) ourArea += buf[x - s.scan.left];
      shape->Reset();
      ourArea /= double(s.factor * s.factor);
    }
    if (ourSec > 0) {
      const double px =
          double(s.scan.right - s.scan.left) * (s.scan.bottom - s.scan.top) * double(state.iterations());
      state.counters["corbish_Mpix/s"] = px / ourSec / 1e6;
      state.counters["freetype_Mpix/s"] = px / ftSec / 1e6;
      state.counters["corbish/freetype"] = ftSec / ourSec;  // speed ratio: above 1 is faster
      state.counters["contours"] = double(s.contours.size());
      state.counters["points"] = double(points);
      const double areaDiff = 100.0 * (ourArea - double(sink.area) / 255.0) / ourArea;
      state.counters["area_diff_%"] = areaDiff;
      if (std::fabs(areaDiff) > kAreaTolerancePercent) {
        char error[96];
        std::snprintf(error, sizeof error, "the covered areas differ by %.3f%%", areaDiff);
        state.SkipWithError(error);
      }
      char note[64];
      std::snprintf(note, sizeof note, "same outline, covered area differs by %.3f%%", areaDiff);
      times.Print("shape_bench", s.name, "freetype_smooth", note);
    }
  }
  FT_Done_FreeType(lib);
  shape->Release();
}

}  // namespace

BENCHMARK(BM_Fill)->Arg(0)->Arg(1)->Arg(2)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);

BENCHMARK_MAIN();
