// One 1920 x 1080 view frame of N colour layers through the view renderer (SetView, AddLayer
// from each layer's show record, Render), beside pixman compositing the same a8r8g8b8 bytes
// into a 1920 x 1080 image (OVER; at zoom 1 without rotation untransformed, otherwise through
// the same affine map with the nearest and the bilinear filter) and beside memcpy of the
// layer bytes the frame reads. Counters: ms per frame of each, and pixman / ours (above 1:
// ours is faster).
//
// Layers are 4096 x 4096 for 1 and 8 layers and 2048 x 2048 for 64 (64 x 4096^2 x 4 bytes
// with mips would take 5.4 GiB); the space is the layers' size, the view centred on it.
// Content: 32 x 32 blocks, a third transparent, a third opaque, a third of mixed alpha
// (premultiplied), the bottom layer opaque.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "Morvane.h"
#include "ViewMath.h"
#include "ViewRenderer.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kViewW = 1920, kViewH = 1080;
constexpr float kZooms[] = {1.0f, 0.5f, 2.0f};

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

struct Layer {
  OLayer* layer = nullptr;
  pixman_image_t* image = nullptr;
  ~Layer() {
    if (image) pixman_image_unref(image);
    if (layer) layer->Release();
  }
};

std::unique_ptr<Layer> MakeLayer(int side, int index) {
  auto out = std::make_unique<Layer>();
  auto* l = static_cast<OLayer*>(GCreateComponent<Morvane>(nullptr, nullptr, nullptr)->GetInterface(u"OLayer__"));
  l->AddRef();
  l->Initialize(nullptr, side, side, OLayer::myFORMAT_C32, UINT(index + 1));
  out->layer = l;
  LayerLock lock;
  lock.Lock(l, 0);
  for (int y = 0; y < side; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(lock.Row(y));
    for (int x = 0; x < side; ++x) {
      uint32_t h = uint32_t((y * 40503u + x * 2654435761u) ^ uint32_t(index) * 97u);
      uint32_t block = uint32_t((x >> 5) * 7919u + (y >> 5) * 104729u + uint32_t(index) * 31u) % 3;
      if (index == 0) block = 1;
      uint32_t a = block == 0 ? 0 : block == 1 ? 255 : (h >> 24);
      uint32_t r = ((h & 0xFF) * a) / 255, g = (((h >> 8) & 0xFF) * a) / 255, b = (((h >> 16) & 0xFF) * a) / 255;
      row[x] = (a << 24) | (r << 16) | (g << 8) | b;
    }
  }
  out->image = pixman_image_create_bits(PIXMAN_a8r8g8b8, side, side, reinterpret_cast<uint32_t*>(lock.pPixels),
                                        int(lock.cbRow));
  lock.Unlock();
  l->MipRefresh(nullptr);
  return out;
}

// The layers of a count, made once and kept (the 1- and 8-layer cases share theirs).
const std::vector<std::unique_ptr<Layer>>& Layers(int count) {
  static std::map<int, std::vector<std::unique_ptr<Layer>>> sets;
  const int side = count > 8 ? 2048 : 4096;
  auto& set = sets[side];
  while (int(set.size()) < count) set.push_back(MakeLayer(side, int(set.size())));
  return set;
}

void BM_ViewFrame(benchmark::State& state) {
  const int count = int(state.range(0));
  const float zoom = kZooms[state.range(1)];
  const float angle = float(state.range(2)) * 3.14159265f / 180.0f;
  const auto& all = Layers(count);
  const int side = all[0]->layer->GetWidth();

  ViewTransform v{};
  v.spaceWidth = v.spaceHeight = uint32_t(side);
  v.background = 0xFFFFFF;
  v.clientWidth = kViewW;
  v.clientHeight = kViewH;
  v.centreX = v.centreY = float(side / 2);
  v.angle = angle;
  v.scale = zoom;
  ViewRenderer renderer;

  // pixman: destination, background, and the affine map from destination to layer pixels.
  std::vector<uint32_t> dstBits(size_t(kViewW) * kViewH);
  pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, kViewW, kViewH, dstBits.data(), kViewW * 4);
  const pixman_color_t white{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
  pixman_image_t* background = pixman_image_create_solid_fill(&white);
  const double s = 1.0 / zoom, c = std::cos(double(angle)), n = std::sin(double(angle));
  const double cx = kViewW / 2, cy = kViewH / 2;
  pixman_transform_t t;
  pixman_transform_init_identity(&t);
  t.matrix[0][0] = pixman_double_to_fixed(s * c);
  t.matrix[0][1] = pixman_double_to_fixed(s * n);
  t.matrix[0][2] = pixman_double_to_fixed(v.centreX - s * (c * cx + n * cy));
  t.matrix[1][0] = pixman_double_to_fixed(-s * n);
  t.matrix[1][1] = pixman_double_to_fixed(s * c);
  t.matrix[1][2] = pixman_double_to_fixed(v.centreY - s * (c * cy - n * cx));
  const bool identity = zoom == 1.0f && angle == 0.0f;
  const int srcX = int(v.centreX) - kViewW / 2, srcY = int(v.centreY) - kViewH / 2;

  auto pixmanFrame = [&](pixman_filter_t filter) {
    pixman_image_composite32(PIXMAN_OP_SRC, background, nullptr, dst, 0, 0, 0, 0, 0, 0, kViewW, kViewH);
    for (int i = 0; i < count; ++i) {
      pixman_image_t* img = all[size_t(i)]->image;
      if (identity) {
        pixman_image_set_transform(img, nullptr);
        pixman_image_composite32(PIXMAN_OP_OVER, img, nullptr, dst, srcX, srcY, 0, 0, 0, 0, kViewW, kViewH);
      } else {
        pixman_image_set_transform(img, &t);
        pixman_image_set_filter(img, filter, nullptr, 0);
        pixman_image_composite32(PIXMAN_OP_OVER, img, nullptr, dst, 0, 0, 0, 0, 0, 0, kViewW, kViewH);
      }
    }
  };

  // The layer bytes the frame reads at its mip level: every layer's rows under the view's
  // footprint (its bounding box, within the layer), copied row by row.
  const int mip = MipLevelFor(InverseScale(zoom));
  const double k = s / double(1 << mip);
  const double fw = k * (kViewW * std::fabs(c) + kViewH * std::fabs(n));
  const double fh = k * (kViewW * std::fabs(n) + kViewH * std::fabs(c));
  const int levelSide = side >> mip;
  const int copyW = std::min(levelSide, int(fw)), copyH = std::min(levelSide, int(fh));
  std::vector<uint8_t> sink(size_t(copyW) * 4 * copyH);
  auto memcpyFrame = [&]() {
    for (int i = 0; i < count; ++i) {
      ShowParam sp;
      all[size_t(i)]->layer->GetShowParam(&sp, mip);
      const int x0 = (levelSide - copyW) / 2, y0 = (levelSide - copyH) / 2;
      for (int y = 0; y < copyH; ++y)
        std::memcpy(sink.data() + size_t(y) * copyW * 4, sp.pPixels + (size_t(y0 + y) * sp.nPitch + size_t(x0)) * 4,
                    size_t(copyW) * 4);
    }
    benchmark::DoNotOptimize(sink.data());
    benchmark::ClobberMemory();
  };

  auto ourFrame = [&]() {
    const int got = renderer.SetView(&v);
    for (int i = 0; i < count; ++i) {
      ShowParam sp;
      all[size_t(i)]->layer->GetShowParam(&sp, got);
      renderer.AddLayer(&sp, nullptr);
    }
    renderer.Render(nullptr, nullptr);
  };

  double ours = 0, nearest = 0, bilinear = 0, copy = 0;
  ourFrame();  // the back buffer made, pages touched
  for (auto _ : state) {
    auto t0 = Clock::now();
    ourFrame();
    auto t1 = Clock::now();
    pixmanFrame(PIXMAN_FILTER_NEAREST);
    auto t2 = Clock::now();
    if (!identity) pixmanFrame(PIXMAN_FILTER_BILINEAR);
    auto t3 = Clock::now();
    memcpyFrame();
    auto t4 = Clock::now();
    state.SetIterationTime(Ms(t0, t1) / 1000.0);
    ours += Ms(t0, t1);
    nearest += Ms(t1, t2);
    bilinear += Ms(t2, t3);
    copy += Ms(t3, t4);
  }
  const double it = double(state.iterations());
  state.SetLabel(std::to_string(count) + " x " + std::to_string(side) + "^2, mip " + std::to_string(mip));
  state.counters["ours_ms"] = ours / it;
  state.counters["memcpy_ms"] = copy / it;
  state.counters["memcpy/ours"] = copy / ours;
  if (identity) {
    state.counters["pixman_ms"] = nearest / it;
    state.counters["pixman/ours"] = nearest / ours;
  } else {
    state.counters["pixman_near_ms"] = nearest / it;
    state.counters["pixman_bilin_ms"] = bilinear / it;
    state.counters["near/ours"] = nearest / ours;
    state.counters["bilin/ours"] = bilinear / ours;
  }
  pixman_image_unref(background);
  pixman_image_unref(dst);
}

void Cases(benchmark::internal::Benchmark* b) {
  for (int count : {1, 8, 64})
    for (int zoom = 0; zoom < 3; ++zoom)
      for (int angle : {0, 15}) b->Args({count, zoom, angle});
}

BENCHMARK(BM_ViewFrame)->Apply(Cases)->ArgNames({"layers", "zoom", "deg"})->UseManualTime()->MinTime(0.3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
