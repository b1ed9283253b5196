// One 1920 x 1080 view frame of 1, 8 and 64 colour layers of 4096 x 4096 through the view
// renderer (SetView, AddLayer from each layer's show record, Render) on a tile pool that
// follows the cores this process may use, beside pixman compositing the same pixels,
// premultiplied, over a white background with OVER: on one thread, and split into row bands
// over the same pool's threads.
//
// Equal work: pixman reads the level the renderer reads (zoom 0.5 composes mip level 1 at
// 1:1 on both sides) and only the part of each layer the frame shows (a premultiplied copy of
// the view's footprint, made before timing). At zoom 1 and 0.5 pixman composites without a
// transform; at zoom 2 and turned 15 degrees through the same affine map with the nearest and
// the bilinear filter (the renderer averages eight sub-samples a pixel, so the pictures differ
// where the filters do).
//
// Layers: the bottom one an opaque gradient with noise, the others soft-edged discs of
// straight colour on clear (dense: every layer reaches over most of the frame), or, in the
// realistic set, strokes (chains of discs) and rectangles over 5-30 % of each layer, as
// loaded, or then painted on as in a session: a few brush strokes through the dab target, each
// followed by the refresh of its blocks the program does. The
// realistic set is also rendered without leaving out empty blocks, and the case fails unless
// both pictures are the same bit for bit. Each comparison prints one RATIO line (medians of the frames) with
// the largest colour channel difference between the two pictures and their mean difference;
// a last line times memcpy of the layer bytes the frame reads, on the same threads.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "DabTarget.h"
#include "Morvane.h"
#include "platform/base/TilePool.h"
#include "ViewMath.h"
#include "ViewRenderer.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kViewW = 1920, kViewH = 1080, kSide = 4096, kBand = 16;
constexpr uint32_t kWhite = 0xFFFFFF;
// The result check: the largest colour channel difference where pixman composes without a
// transform, and the mean difference of every case.
constexpr int kRoundingLimit = 6;
constexpr double kMeanLimit = 2.0;

struct ViewCase {
  const char* name;
  float zoom;
  int degrees;
};
const ViewCase kViews[] = {{"zoom 1", 1.0f, 0}, {"zoom 0.5", 0.5f, 0}, {"zoom 2", 2.0f, 0}, {"zoom 1 turned 15 deg", 1.0f, 15}};

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

TilePool& Pool() {
  static TilePool pool;
  return pool;
}

uint32_t Hash(uint32_t v) {
  v ^= v >> 16;
  v *= 0x7feb352d;
  v ^= v >> 15;
  v *= 0x846ca68b;
  return v ^ (v >> 16);
}

// A soft-edged disc of straight colour over what is there.
void Disc(uint8_t* bits, size_t rowBytes, float cx, float cy, float radius, float peak, const float (&col)[3]) {
  const float soft = std::max(1.0f, radius / 4);
  const int x0 = std::max(0, int(cx - radius)), x1 = std::min(kSide, int(cx + radius) + 1);
  const int y0 = std::max(0, int(cy - radius)), y1 = std::min(kSide, int(cy + radius) + 1);
  for (int y = y0; y < y1; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(bits + size_t(y) * rowBytes);
    for (int x = x0; x < x1; ++x) {
      const float dist = std::hypot(float(x) - cx, float(y) - cy);
      const float a = std::clamp((radius - dist) / soft, 0.0f, 1.0f) * peak;
      if (a <= 0) continue;
      const uint32_t p = row[x];
      const float da = float(p >> 24) / 255.0f, out = a + da * (1 - a);
      uint32_t v = uint32_t(std::lround(out * 255)) << 24;
      for (int c = 0; c < 3; ++c) {
        const float dc = float((p >> (8 * c)) & 255);
        v |= uint32_t(std::lround((col[c] * a + dc * da * (1 - a)) / out)) << (8 * c);
      }
      row[x] = v;
    }
  }
}

// Strokes and rectangles over 5-30 % of a clear layer.
void PaintSparse(int index, uint8_t* bits, size_t rowBytes) {
  for (int y = 0; y < kSide; ++y) std::memset(bits + size_t(y) * rowBytes, 0, size_t(kSide) * 4);
  std::mt19937 rng(uint32_t(index) * 104729u);
  const double target = (0.05 + 0.25 * double(rng() % 1000) / 1000.0) * kSide * kSide;
  for (double covered = 0; covered < target;) {
    const float col[3] = {float(rng() & 255), float(rng() & 255), float(rng() & 255)};
    if (rng() % 4 == 0) {  // a rectangle
      const int w = 100 + int(rng() % 700), h = 100 + int(rng() % 700);
      const int x0 = int(rng() % uint32_t(kSide - w)), y0 = int(rng() % uint32_t(kSide - h));
      const uint32_t v = (uint32_t(160 + rng() % 96) << 24) | uint32_t(col[2]) << 16 | uint32_t(col[1]) << 8 | uint32_t(col[0]);
      for (int y = y0; y < y0 + h; ++y)
        std::fill_n(reinterpret_cast<uint32_t*>(bits + size_t(y) * rowBytes) + x0, w, v);
      covered += double(w) * h;
      continue;
    }
    // A stroke: a random walk of discs a third of their radius apart.
    float x = float(rng() % kSide), y = float(rng() % kSide), angle = float(rng() % 628) / 100.0f;
    const float radius = float(6 + rng() % 40);
    const int steps = 60 + int(rng() % 400);
    for (int i = 0; i < steps; ++i) {
      Disc(bits, rowBytes, x, y, radius, 1.0f, col);
      angle += (float(rng() % 200) - 100.0f) / 400.0f;
      x = std::clamp(x + std::cos(angle) * radius / 3, 0.0f, float(kSide - 1));
      y = std::clamp(y + std::sin(angle) * radius / 3, 0.0f, float(kSide - 1));
    }
    covered += double(steps) * radius / 3 * 2 * radius;
  }
}

// Straight BGRA pixels of layer index into a side x side block of rows.
void Paint(int index, uint8_t* bits, size_t rowBytes, bool sparse) {
  if (index == 0) {
    for (int y = 0; y < kSide; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(bits + size_t(y) * rowBytes);
      for (int x = 0; x < kSide; ++x) {
        const int noise = int(Hash(uint32_t(y * kSide + x)) & 31) - 16;
        const uint32_t r = uint32_t(x * 255 / kSide), g = uint32_t(y * 255 / kSide);
        const uint32_t b = uint32_t(std::clamp(128 + noise, 0, 255));
        row[x] = 0xFF000000u | r << 16 | g << 8 | b;
      }
    }
    return;
  }
  if (sparse) return PaintSparse(index, bits, rowBytes);
  for (int y = 0; y < kSide; ++y) std::memset(bits + size_t(y) * rowBytes, 0, size_t(kSide) * 4);
  std::mt19937 rng(uint32_t(index) * 7919u);
  for (int d = 0; d < 24; ++d) {
    const float cx = float(rng() % kSide), cy = float(rng() % kSide);
    const float radius = float(40 + rng() % 280);
    const float peak = rng() % 3 ? 1.0f : float(96 + rng() % 128) / 255.0f;
    const float col[3] = {float(rng() & 255), float(rng() & 255), float(rng() & 255)};
    Disc(bits, rowBytes, cx, cy, radius, peak, col);
  }
}

struct Layer {
  OLayer* layer = nullptr;
  ~Layer() {
    if (layer) layer->Release();
  }
};

// A painter's work after the layer was loaded: strokes of round dabs straight into it, each
// followed by the refresh of the blocks it marked.
void PaintStrokes(OLayer* l, int index) {
  std::mt19937 rng(uint32_t(index) * 104729u + 1u);
  const dab::Shape shape = dab::MakeShape(14.0f, 0.8f, 1.0f, 0.0f, 1.0f);
  dorvil::DabTarget dabs;
  for (int stroke = 0; stroke < 3; ++stroke) {
    l->PAT_MarkClear();
    dabs.Open(l, dorvil::DabMode::OVER, rng() & 0xFFFFFFu);
    float x = float(rng() % kSide), y = float(rng() % kSide);
    const float angle = float(rng() % 628) / 100.0f;
    for (int d = 0; d < 150; ++d, x += 4.0f * std::cos(angle), y += 4.0f * std::sin(angle)) dabs.Paint(x, y, shape);
    dabs.Close();
    l->PAT_MarkMipRefresh();
  }
}

// The layers of a content kind (0 dense, 1 strokes, 2 strokes then painted on), made once and
// shared by every case (the first of each count are the same).
const std::vector<std::unique_ptr<Layer>>& Layers(int count, int kind) {
  static std::vector<std::unique_ptr<Layer>> sets[3];
  std::vector<std::unique_ptr<Layer>>& set = sets[kind];
  const size_t first = set.size();
  while (int(set.size()) < count) {
    auto l = std::make_unique<Layer>();
    l->layer = static_cast<OLayer*>(GCreateComponent<Morvane>(nullptr, nullptr, nullptr)->GetInterface(u"OLayer__"));
    l->layer->AddRef();
    l->layer->Initialize(nullptr, kSide, kSide, OLayer::myFORMAT_C32, UINT(set.size() + 1));
    set.push_back(std::move(l));
  }
  struct Job {
    std::vector<std::unique_ptr<Layer>>* set;
    size_t first;
    int kind;
  } job{&set, first, kind};
  Pool().Run(int(set.size() - first),
             [](void* c, int i, int) {
               auto* j = static_cast<Job*>(c);
               OLayer* l = (*j->set)[j->first + size_t(i)]->layer;
               LayerLock lock;
               lock.Lock(l, 0);
               Paint(int(j->first) + i, lock.pPixels, lock.cbRow, j->kind != 0);
               lock.Unlock();
               l->MipRefresh(nullptr);
               if (j->kind == 2) PaintStrokes(l, int(j->first) + i);
             },
             &job);
  return set;
}

// pixman's side of a case: a premultiplied copy of the footprint of every layer at the level,
// one image header per layer and thread (pixman images are not shared between threads).
struct PixmanSide {
  int x0 = 0, y0 = 0, w = 0, h = 0;  // the footprint at the level
  std::vector<std::vector<uint32_t>> copies;
  std::vector<std::vector<pixman_image_t*>> images;  // [thread][layer]
  std::vector<uint32_t> out;
  std::vector<pixman_image_t*> dst;  // [thread]
  pixman_image_t* background = nullptr;
  pixman_transform_t transform{};
  bool identity = false;
  int srcX = 0, srcY = 0;

  ~PixmanSide() {
    for (auto& t : images)
      for (pixman_image_t* i : t) pixman_image_unref(i);
    for (pixman_image_t* d : dst) pixman_image_unref(d);
    if (background) pixman_image_unref(background);
  }

  void SetFilter(pixman_filter_t filter) {
    for (auto& t : images)
      for (pixman_image_t* i : t) pixman_image_set_filter(i, filter, nullptr, 0);
  }

  // Rows [top, bottom) of the frame on thread t.
  void Compose(int t, int top, int bottom) {
    pixman_image_composite32(PIXMAN_OP_SRC, background, nullptr, dst[size_t(t)], 0, 0, 0, 0, 0, top, kViewW, bottom - top);
    for (pixman_image_t* img : images[size_t(t)]) {
      if (identity)
        pixman_image_composite32(PIXMAN_OP_OVER, img, nullptr, dst[size_t(t)], srcX, srcY + top, 0, 0, 0, top, kViewW,
                                 bottom - top);
      else
        pixman_image_composite32(PIXMAN_OP_OVER, img, nullptr, dst[size_t(t)], 0, top, 0, 0, 0, top, kViewW, bottom - top);
    }
  }
};

void MakePixmanSide(PixmanSide& p, const std::vector<std::unique_ptr<Layer>>& layers, int count, const ViewTransform& v,
                    int mip) {
  const double s = 1.0 / v.scale / double(1 << mip), c = std::cos(double(v.angle)), n = std::sin(double(v.angle));
  const double cx = v.centreX / double(1 << mip), cy = v.centreY / double(1 << mip);
  const int levelSide = kSide >> mip;
  const double hw = s * (kViewW / 2.0 * std::fabs(c) + kViewH / 2.0 * std::fabs(n)) + 2;
  const double hh = s * (kViewW / 2.0 * std::fabs(n) + kViewH / 2.0 * std::fabs(c)) + 2;
  p.x0 = std::max(0, int(std::floor(cx - hw)));
  p.y0 = std::max(0, int(std::floor(cy - hh)));
  p.w = std::min(levelSide, int(std::ceil(cx + hw))) - p.x0;
  p.h = std::min(levelSide, int(std::ceil(cy + hh))) - p.y0;
  p.identity = s == 1.0 && n == 0.0;
  p.srcX = int(cx) - kViewW / 2 - p.x0;
  p.srcY = int(cy) - kViewH / 2 - p.y0;
  // Destination pixel centre (i + 0.5, j + 0.5) to the level's copy, as the view maps it.
  pixman_f_transform ft;
  pixman_f_transform_init_identity(&ft);
  ft.m[0][0] = s * c;
  ft.m[0][1] = s * n;
  ft.m[0][2] = cx - p.x0 - s * (c * kViewW / 2 + n * kViewH / 2);
  ft.m[1][0] = -s * n;
  ft.m[1][1] = s * c;
  ft.m[1][2] = cy - p.y0 - s * (c * kViewH / 2 - n * kViewW / 2);
  pixman_transform_from_pixman_f_transform(&p.transform, &ft);

  p.copies.resize(size_t(count));
  for (int i = 0; i < count; ++i) {
    ShowParam sp;
    layers[size_t(i)]->layer->GetShowParam(&sp, mip);
    auto& copy = p.copies[size_t(i)];
    copy.resize(size_t(p.w) * size_t(p.h));
    for (int y = 0; y < p.h; ++y) {
      const auto* src = reinterpret_cast<const uint32_t*>(sp.pPixels) + size_t(p.y0 + y) * sp.nPitch + size_t(p.x0);
      for (int x = 0; x < p.w; ++x) {
        const uint32_t v0 = src[x], a = v0 >> 24;
        uint32_t pm = a << 24;
        for (int ch = 0; ch < 24; ch += 8) pm |= ((((v0 >> ch) & 255) * a + 127) / 255) << ch;
        copy[size_t(y) * size_t(p.w) + size_t(x)] = pm;
      }
    }
  }
  const int threads = Pool().Workers();
  p.out.assign(size_t(kViewW) * kViewH, 0);
  p.images.resize(size_t(threads));
  for (int t = 0; t < threads; ++t) {
    p.dst.push_back(pixman_image_create_bits(PIXMAN_a8r8g8b8, kViewW, kViewH, p.out.data(), kViewW * 4));
    for (int i = 0; i < count; ++i) {
      pixman_image_t* img =
          pixman_image_create_bits(PIXMAN_a8r8g8b8, p.w, p.h, p.copies[size_t(i)].data(), p.w * 4);
      if (!p.identity) pixman_image_set_transform(img, &p.transform);
      p.images[size_t(t)].push_back(img);
    }
  }
  const pixman_color_t white{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
  p.background = pixman_image_create_solid_fill(&white);
}

// The largest and the mean difference of the colour channels of our back buffer (bottom-up)
// and pixman's picture, as text and into largestOut and meanOut.
std::string Difference(const ViewRenderer& r, const std::vector<uint32_t>& ref, int& largestOut, double& meanOut) {
  LayerLock bb;
  r.GetBackBuffer(&bb);
  int largest = 0;
  double sum = 0;
  for (int y = 0; y < kViewH; ++y) {
    const auto* ours = reinterpret_cast<const uint32_t*>(bb.pPixels + size_t(bb.nHeight - 1 - y) * bb.cbRow);
    const uint32_t* theirs = ref.data() + size_t(y) * kViewW;
    for (int x = 0; x < kViewW; ++x)
      for (int ch = 0; ch < 24; ch += 8) {
        const int d = std::abs(int((ours[x] >> ch) & 255) - int((theirs[x] >> ch) & 255));
        largest = std::max(largest, d);
        sum += d;
      }
  }
  largestOut = largest;
  meanOut = sum / (3.0 * kViewW * kViewH);
  char text[96];
  std::snprintf(text, sizeof text, "largest channel difference %d, mean %.2f", largest, sum / (3.0 * kViewW * kViewH));
  return text;
}

void BM_ViewFrame(benchmark::State& state) {
  const int count = int(state.range(0));
  const ViewCase& vc = kViews[state.range(1)];
  const int kind = int(state.range(2));
  const bool sparse = kind != 0;
  const auto& layers = Layers(count, kind);

  ViewTransform v{};
  v.spaceWidth = v.spaceHeight = uint32_t(kSide);
  v.background = kWhite;
  v.clientWidth = kViewW;
  v.clientHeight = kViewH;
  v.centreX = v.centreY = float(kSide / 2);
  v.angle = float(vc.degrees) * 3.14159265f / 180.0f;
  v.scale = vc.zoom;
  ViewRenderer renderer;
  renderer.SetPool(&Pool());
  const int mip = MipLevelFor(InverseScale(vc.zoom));
  PixmanSide pix;
  MakePixmanSide(pix, layers, count, v, mip);

  auto ourFrame = [&]() {
    const int got = renderer.SetView(&v);
    for (int i = 0; i < count; ++i) {
      ShowParam sp;
      layers[size_t(i)]->layer->GetShowParam(&sp, got);
      renderer.AddLayer(&sp, nullptr);
    }
    renderer.Render(nullptr, nullptr);
  };
  auto pixmanFrame = [&]() { pix.Compose(0, 0, kViewH); };
  // memcpy of the bytes the frame reads (every layer's footprint at the level) into a row
  // per thread, in bands over the pool: what reading them alone costs.
  struct CopyJob {
    std::vector<const uint8_t*> rows;  // every layer's first footprint row
    std::vector<size_t> pitch;
    size_t bytes;
    int height;
    std::vector<std::vector<uint8_t>> sink;
  } copy;
  for (int i = 0; i < count; ++i) {
    ShowParam sp;
    layers[size_t(i)]->layer->GetShowParam(&sp, mip);
    copy.rows.push_back(sp.pPixels + (size_t(pix.y0) * sp.nPitch + size_t(pix.x0)) * 4);
    copy.pitch.push_back(size_t(sp.nPitch) * 4);
  }
  copy.bytes = size_t(pix.w) * 4;
  copy.height = pix.h;
  copy.sink.assign(size_t(Pool().Workers()), std::vector<uint8_t>(copy.bytes));
  auto memcpyBands = [&]() {
    Pool().Run((copy.height + kBand - 1) / kBand,
               [](void* c, int band, int t) {
                 auto* j = static_cast<CopyJob*>(c);
                 uint8_t* sink = j->sink[size_t(t)].data();
                 for (size_t i = 0; i < j->rows.size(); ++i)
                   for (int y = band * kBand; y < std::min(j->height, (band + 1) * kBand); ++y)
                     std::memcpy(sink, j->rows[i] + size_t(y) * j->pitch[i], j->bytes);
                 benchmark::DoNotOptimize(sink);
               },
               &copy);
  };
  auto pixmanBands = [&]() {
    Pool().Run((kViewH + kBand - 1) / kBand,
               [](void* c, int i, int t) {
                 static_cast<PixmanSide*>(c)->Compose(t, i * kBand, std::min(kViewH, (i + 1) * kBand));
               },
               &pix);
  };

  const pixman_filter_t filters[] = {PIXMAN_FILTER_NEAREST, PIXMAN_FILTER_BILINEAR};
  const int nFilters = pix.identity ? 1 : 2;
  std::vector<double> ours, copied;
  std::vector<double> single[2], banded[2];
  ourFrame();  // the back buffer made, pages touched
  for (auto _ : state) {
    auto t0 = Clock::now();
    ourFrame();
    auto t1 = Clock::now();
    ours.push_back(Ms(t0, t1));
    state.SetIterationTime(Ms(t0, t1) / 1000.0);
    memcpyBands();
    copied.push_back(Ms(t1, Clock::now()));
    for (int f = 0; f < nFilters; ++f) {
      pix.SetFilter(filters[f]);
      auto p0 = Clock::now();
      pixmanFrame();
      auto p1 = Clock::now();
      pixmanBands();
      auto p2 = Clock::now();
      single[f].push_back(Ms(p0, p1));
      banded[f].push_back(Ms(p1, p2));
    }
  }
  if (sparse) {  // the same picture without leaving out empty blocks, bit for bit
    LayerLock bb;
    renderer.GetBackBuffer(&bb);
    const std::vector<uint8_t> skipped(bb.pPixels, bb.pPixels + size_t(bb.cbRow) * size_t(bb.nHeight));
    renderer.SetBlockSkipping(false);
    ourFrame();
    renderer.SetBlockSkipping(true);
    renderer.GetBackBuffer(&bb);
    if (std::memcmp(skipped.data(), bb.pPixels, skipped.size()) != 0) {
      state.SkipWithError("the frame differs without leaving out empty blocks");
      return;
    }
  }
  const std::string name = std::to_string(count) + " x 4096^2" + (kind == 2 ? " strokes 5-30 % then painted, " : sparse ? " strokes 5-30 %, " : ", ") + vc.name +
                           " (mip " + std::to_string(mip) + ")";
  const double oursMs = MedianOf(ours);
  const std::string threads = std::to_string(Pool().Workers());
  for (int f = 0; f < nFilters; ++f) {
    pix.SetFilter(filters[f]);
    pixmanFrame();
    int largest = 0;
    double mean = 0;
    const std::string note = Difference(renderer, pix.out, largest, mean);
    // Without a transform both sides compose the same pixels and differ only by rounding;
    // through one the filters differ where the picture changes, not on the whole.
    if (largest > (pix.identity ? kRoundingLimit : 255) || mean > kMeanLimit) {
      state.SkipWithError(("our picture and pixman's differ: " + note).c_str());
      return;
    }
    const std::string ref = std::string("pixman OVER") + (pix.identity ? "" : f == 0 ? " nearest" : " bilinear");
    PrintRatio("view_bench", name + ", " + threads + " threads", oursMs, ref.c_str(), MedianOf(single[f]),
               note + "; pixman on 1 thread");
    PrintRatio("view_bench", name + ", " + threads + " threads", oursMs, (ref + " in bands").c_str(),
               MedianOf(banded[f]), "pixman in 16-row bands on the same " + threads + " threads");
  }
  PrintRatio("view_bench", name + ", " + threads + " threads", oursMs, "memcpy of the bytes read", MedianOf(copied),
             "in 16-row bands on the same " + threads + " threads");
  state.counters["ours_ms"] = oursMs;
}

// Iterations hold for a whole family, so the 64 layers, which take fewer, are families of their
// own; the third argument picks the realistic document (strokes over part of each layer), 2
// with strokes painted on it after loading.
void Cases(benchmark::internal::Benchmark* b, std::initializer_list<int> counts) {
  for (int count : counts)
    for (int view = 0; view < int(std::size(kViews)); ++view) b->Args({count, view, 0});
}

BENCHMARK(BM_ViewFrame)
    ->Apply([](benchmark::internal::Benchmark* b) { Cases(b, {1, 8}); })
    ->Iterations(21)
    ->ArgNames({"layers", "view", "strokes"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewFrame)
    ->Apply([](benchmark::internal::Benchmark* b) { Cases(b, {64}); })
    ->Iterations(9)
    ->ArgNames({"layers", "view", "strokes"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewFrame)
    ->Apply([](benchmark::internal::Benchmark* b) {
      for (int kind : {1, 2})
        for (int view : {0, 1}) b->Args({64, view, kind});  // realistic: zoom 1 and 0.5
    })
    ->Iterations(9)
    ->ArgNames({"layers", "view", "strokes"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
