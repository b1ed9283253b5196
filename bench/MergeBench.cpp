// Layer merges beside pixman OVER on the same pixels, and the flips beside memcpy of the same
// bytes. pixman works on premultiplied colour and our layers on straight colour, so only the
// rates compare, not the results. Layers are 2048 x 2048; rates are Mpixel/s; the ratio is
// ours / the reference's speed (above 1: faster than the reference).
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "Morvane.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSide = 2048;
constexpr double kPixels = double(kSide) * kSide;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

uint32_t Hash(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  return x ^ (x >> 16);
}

// Content 0: hashed pixels, a quarter transparent and a quarter opaque, mixed pixel by pixel
// (the general way throughout). Content 1: the same kinds in 64 x 16 areas, as painted layers
// mostly are (empty and covered areas take the short ways).
OLayer* NewLayer(int format, int content = 0) {
  auto* l = static_cast<OLayer*>(GCreateComponent<Morvane>(nullptr, nullptr, nullptr)->GetInterface(u"OLayer__"));
  l->AddRef();
  l->Initialize(nullptr, kSide, kSide, format, 1);
  LayerLock lock;
  lock.Lock(l, 0);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      uint32_t v = Hash(uint32_t(y * kSide + x) + uint32_t(format));
      uint32_t kind = content == 0 ? (v >> 9) & 3 : (Hash(uint32_t(y / 16 * kSide + x / 64) + 99u) >> 9) & 3;
      v = kind == 0 ? v & 0x00FFFFFF : kind == 1 ? v | 0xFF000000 : v;
      if (format == 4) {
        reinterpret_cast<uint32_t*>(lock.Row(y))[x] = v;
      } else {
        reinterpret_cast<uint16_t*>(lock.Row(y))[x] = uint16_t(v >> 16);
      }
    }
  return l;
}

// A pixman image over a copy of a layer's level 0 (same bytes, same stride).
struct PixmanCopy {
  std::vector<uint32_t> bits;
  pixman_image_t* image = nullptr;
  PixmanCopy(OLayer* l, pixman_format_code_t format) {
    LayerLock lock;
    lock.Lock(l, 0);
    const size_t bytes = size_t(lock.cbRow) * kSide;
    bits.resize(bytes / 4);
    std::memcpy(bits.data(), lock.pPixels, bytes);
    image = pixman_image_create_bits(format, kSide, kSide, bits.data(), int(lock.cbRow));
  }
  ~PixmanCopy() { pixman_image_unref(image); }
};

// The a8 mask of an A16 layer: its high bytes.
struct PixmanMask {
  std::vector<uint8_t> bits;
  pixman_image_t* image = nullptr;
  explicit PixmanMask(OLayer* l) {
    LayerLock lock;
    lock.Lock(l, 0);
    bits.resize(size_t(kSide) * kSide);
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < kSide; ++x)
        bits[size_t(y) * kSide + size_t(x)] = uint8_t(reinterpret_cast<const uint16_t*>(lock.Row(y))[x] >> 8);
    image = pixman_image_create_bits(PIXMAN_a8, kSide, kSide, reinterpret_cast<uint32_t*>(bits.data()), kSide);
  }
  ~PixmanMask() { pixman_image_unref(image); }
};

void Report(benchmark::State& state, double own, double ref, const char* refName) {
  const double total = kPixels * double(state.iterations());
  state.counters["own_Mpix/s"] = total / own / 1e6;
  state.counters[std::string(refName) + "_Mpix/s"] = total / ref / 1e6;
  state.counters[std::string("own/") + refName] = ref / own;
}

// Merge of a colour layer, against pixman OVER of an a8r8g8b8 source.
void BM_MergeC32(benchmark::State& state) {
  state.SetLabel(state.range(0) ? "areas" : "mixed");
  OLayer* dest = NewLayer(4);
  OLayer* src = NewLayer(4, int(state.range(0)));
  PixmanCopy pdest(dest, PIXMAN_a8r8g8b8), psrc(src, PIXMAN_a8r8g8b8);
  double own = 0, ref = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    dest->Merge(src);
    auto t1 = Clock::now();
    pixman_image_composite32(PIXMAN_OP_OVER, psrc.image, nullptr, pdest.image, 0, 0, 0, 0, 0, 0, kSide, kSide);
    auto t2 = Clock::now();
    benchmark::ClobberMemory();
    state.SetIterationTime(Seconds(t0, t1));
    own += Seconds(t0, t1);
    ref += Seconds(t1, t2);
  }
  Report(state, own, ref, "pixman_over");
  src->Release();
  dest->Release();
}

// Merge of a mask layer (painted in its colour), and the glass merge of a whole layer,
// against pixman OVER of a solid colour through an a8 mask.
void BM_MergeA16(benchmark::State& state) {
  const bool glassMerge = state.range(0) == 1;
  state.SetLabel(std::string(glassMerge ? "glass merge" : "Merge") + (state.range(1) ? " areas" : " mixed"));
  OLayer* dest = NewLayer(4);
  OLayer* src = NewLayer(2, int(state.range(1)));
  src->SetColor(0x3090F0);
  if (glassMerge) src->PAT_MarkSet(nullptr, nullptr);
  PixmanCopy pdest(dest, PIXMAN_a8r8g8b8);
  PixmanMask pmask(src);
  const pixman_color_t colour{0xF0F0, 0x9090, 0x3030, 0xFFFF};
  pixman_image_t* solid = pixman_image_create_solid_fill(&colour);
  double own = 0, ref = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    if (glassMerge) {
      src->PAT_GlassMergeTo(dest);
    } else {
      dest->Merge(src);
    }
    auto t1 = Clock::now();
    pixman_image_composite32(PIXMAN_OP_OVER, solid, pmask.image, pdest.image, 0, 0, 0, 0, 0, 0, kSide, kSide);
    auto t2 = Clock::now();
    benchmark::ClobberMemory();
    state.SetIterationTime(Seconds(t0, t1));
    own += Seconds(t0, t1);
    ref += Seconds(t1, t2);
  }
  Report(state, own, ref, "pixman_over_a8");
  pixman_image_unref(solid);
  src->Release();
  dest->Release();
}

// The flips (0 vertical, 1 horizontal, 2 half turn) of a colour layer against memcpy of its
// level-0 bytes: both read and write every byte once.
void BM_Flip(benchmark::State& state) {
  const int which = int(state.range(0));
  const char* names[] = {"FlipVertical", "FlipHorizontal", "Rotate180"};
  state.SetLabel(names[which]);
  OLayer* l = NewLayer(int(state.range(1)));
  const size_t bytes = size_t(l->GetPitch()) * kSide * size_t(l->GetPixelSize());
  std::vector<uint8_t> from(bytes, 1), to(bytes);
  double own = 0, ref = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    if (which == 0) {
      l->FlipVertical();
    } else if (which == 1) {
      l->FlipHorizontal();
    } else {
      l->Rotate180();
    }
    auto t1 = Clock::now();
    std::memcpy(to.data(), from.data(), bytes);
    auto t2 = Clock::now();
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
    state.SetIterationTime(Seconds(t0, t1));
    own += Seconds(t0, t1);
    ref += Seconds(t1, t2);
  }
  Report(state, own, ref, "memcpy");
  l->Release();
}

BENCHMARK(BM_MergeC32)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("content")
    ->Iterations(20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MergeA16)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"glass", "content"})
    ->Iterations(20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Flip)
    ->ArgsProduct({{0, 1, 2}, {2, 4}})
    ->ArgNames({"kind", "format"})
    ->Iterations(20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
