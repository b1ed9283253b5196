// A full mip refresh of a 4096 x 4096 colour layer beside memcpy of its level-0 bytes:
// the rate counts level-0 bytes read. Content 0 mixes alphas pixel by pixel (the general
// way throughout), content 1 is opaque (the short way painted areas mostly take).
//
// The layer's thumbnail, of an almost empty 10000 x 10000 layer and of a painted 4096 x 4096
// one (their maps known), beside pixman scaling the level the thumbnail reads to 128 x 128
// with the nearest filter; the thumbnail must show the pixels pixman picks, composed over the
// background.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "Morvane.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSide = 4096;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

void BM_MipRefresh(benchmark::State& state) {
  const bool opaque = state.range(0) == 1;
  state.SetLabel(opaque ? "opaque" : "mixed alpha");
  auto* l = static_cast<OLayer*>(GCreateComponent<Morvane>(nullptr, nullptr, nullptr)->GetInterface(u"OLayer__"));
  l->AddRef();
  l->Initialize(nullptr, kSide, kSide, OLayer::myFORMAT_C32, 1);
  {
    // Hashed pixels: a quarter transparent, a quarter opaque, the rest anything.
    LayerLock lock;
    lock.Lock(l, 0);
    auto* p = reinterpret_cast<uint32_t*>(lock.pPixels);
    for (size_t i = 0; i < size_t(kSide) * kSide; ++i) {
      uint32_t v = uint32_t(i * 2654435761u);
      uint32_t kind = (v >> 7) & 3;
      p[i] = opaque || kind == 1 ? v | 0xFF000000 : kind == 0 ? v & 0xFFFFFF : v;
    }
  }
  const size_t bytes = size_t(kSide) * kSide * 4;
  std::vector<uint8_t> from(bytes, 1), to(bytes);
  l->MipRefresh(nullptr);  // touch every page once
  double own = 0, copy = 0;
  RatioTimes times;
  for (auto _ : state) {
    auto t0 = Clock::now();
    l->MipRefresh(nullptr);
    auto t1 = Clock::now();
    std::memcpy(to.data(), from.data(), bytes);
    auto t2 = Clock::now();
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
    state.SetIterationTime(Seconds(t0, t1));
    own += Seconds(t0, t1);
    copy += Seconds(t1, t2);
    times.Add(Seconds(t0, t1), Seconds(t1, t2));
  }
  const double total = double(bytes) * double(state.iterations());
  state.counters["mip_GBps"] = total / own / 1e9;
  state.counters["memcpy_GBps"] = total / copy / 1e9;
  state.counters["mip/memcpy"] = copy / own;  // speed ratio: 1 means as fast as memcpy
  state.SetBytesProcessed(int64_t(total));
  times.Print("mip_bench", opaque ? "opaque" : "mixed alpha", "memcpy", "floor: memcpy of the level-0 bytes");
  l->Release();
}

BENCHMARK(BM_MipRefresh)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("content")
    ->Iterations(20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_Thumbnail(benchmark::State& state) {
  const bool painted = state.range(0) == 1;
  const int side = painted ? kSide : LYR_MAX_SIDE;
  const char* name = painted ? "painted 4096^2" : "almost empty 10000^2";
  auto* l = static_cast<OLayer*>(GCreateComponent<Morvane>(nullptr, nullptr, nullptr)->GetInterface(u"OLayer__"));
  l->AddRef();
  l->Initialize(nullptr, side, side, OLayer::myFORMAT_C32, 1);
  {
    // Painted: hashed pixels over a third of the rows; almost empty: one 5 x 5 dot near the
    // far corner.
    LayerLock lock;
    lock.Lock(l, 0);
    const int y0 = painted ? side / 3 : side - 40, y1 = painted ? 2 * side / 3 : side - 35;
    const int x0 = painted ? 0 : side - 40, x1 = painted ? side : side - 35;
    for (int y = y0; y < y1; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(lock.Row(y));
      for (int x = x0; x < x1; ++x) row[x] = uint32_t((size_t(y) * side + x) * 2654435761u) | 0xFF000000u;
    }
  }
  l->MipRefresh(nullptr);  // the map known, as after loading
  // The level the thumbnail reads: the smallest still 128 on its side.
  int level = 0;
  while (((side + (2 << level) - 1) >> (level + 1)) >= 128) ++level;
  ShowParam sp;
  l->GetShowParam(&sp, level);
  const int w = sp.rc.right - sp.rc.left, h = sp.rc.bottom - sp.rc.top;
  pixman_image_t* src = pixman_image_create_bits(PIXMAN_a8r8g8b8, w, h, reinterpret_cast<uint32_t*>(sp.pPixels),
                                                 int(sp.nPitch) * 4);
  pixman_transform_t scale;
  pixman_transform_init_scale(&scale, pixman_int_to_fixed(w) / 128, pixman_int_to_fixed(h) / 128);
  pixman_image_set_transform(src, &scale);
  pixman_image_set_filter(src, PIXMAN_FILTER_NEAREST, nullptr, 0);
  std::vector<uint32_t> picked(128 * 128);
  pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, 128, 128, picked.data(), 128 * 4);
  const COLORREF background = 0x00C0E0F0;
  const uint32_t* thumb = nullptr;
  RatioTimes times;
  for (auto _ : state) {
    auto t0 = Clock::now();
    thumb = l->MakeThumbnail(background);
    auto t1 = Clock::now();
    pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, 128, 128);
    auto t2 = Clock::now();
    benchmark::DoNotOptimize(thumb);
    benchmark::DoNotOptimize(picked.data());
    state.SetIterationTime(Seconds(t0, t1));
    times.Add(Seconds(t0, t1), Seconds(t1, t2));
  }
  // The check: pixman's picks composed over the background (bottom-up, as the thumbnail is);
  // the two sampling rules may pick a neighbour at a few places of the 157-pixel level.
  size_t differing = 0;
  for (int y = 0; y < 128 && thumb; ++y)
    for (int x = 0; x < 128; ++x) {
      const uint32_t p = picked[size_t(y) * 128 + size_t(x)], a = p >> 24;
      uint32_t want = 0xFF000000u;
      for (int ch = 0; ch < 24; ch += 8) {
        const uint32_t bg = (background >> (16 - ch)) & 255;
        want |= (((p >> ch) & 255) * a + bg * (255 - a) + 127) / 255 << ch;
      }
      differing += thumb[size_t(127 - y) * 128 + size_t(x)] != want;
    }
  pixman_image_unref(dst);
  pixman_image_unref(src);
  l->Release();
  if (!thumb || differing > 128 * 128 / 50) {
    state.SkipWithError("the thumbnail does not show the level's pixels");
    return;
  }
  times.Print("mip_bench", std::string("thumbnail of ") + name + " (level " + std::to_string(level) + ")",
              "pixman nearest 128x128 of the level",
              std::to_string(differing) + " of 16384 pixels picked from a neighbour");
}

BENCHMARK(BM_Thumbnail)->Arg(0)->Arg(1)->ArgName("painted")->Iterations(200)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
