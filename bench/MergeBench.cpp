// Layer merges beside pixman OVER on the same pixels, and the flips beside memcpy swapping the
// same bytes in place. Our layers keep straight colour and pixman premultiplied colour, so
// pixman gets premultiplied copies of the same layers, both destinations are put back before
// every merge, and after the run the two results are compared premultiplied: the largest
// channel difference is reported and a difference beyond the tolerance fails the case. memcpy
// is a floor, not a competitor: it moves every byte once in place, as a flip must, and does
// nothing else. Layers are 2048 x 2048; the ratio lines give medians per operation in ms.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BenchRatio.h"
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

// Straight colour to premultiplied, as pixman keeps it: each colour byte times alpha / 255.
uint32_t Premultiply(uint32_t v) {
  const uint32_t a = v >> 24;
  uint32_t out = a << 24;
  for (int s = 0; s < 24; s += 8) out |= (((v >> s) & 255) * a + 127) / 255 << s;
  return out;
}

// The bytes of a colour layer's level 0 (pitch included), premultiplied when asked.
std::vector<uint32_t> PixelsOf(OLayer* l, bool premultiplied) {
  LayerLock lock;
  lock.Lock(l, 0);
  std::vector<uint32_t> v(size_t(lock.cbRow) * kSide / 4);
  std::memcpy(v.data(), lock.pPixels, v.size() * 4);
  if (premultiplied)
    for (uint32_t& p : v) p = Premultiply(p);
  return v;
}

// A pixman image over the premultiplied copy of a colour layer's level 0 (same stride).
struct PixmanCopy {
  std::vector<uint32_t> bits;
  pixman_image_t* image = nullptr;
  explicit PixmanCopy(OLayer* l) : bits(PixelsOf(l, true)) {
    image = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, bits.data(), int(bits.size() / kSide * 4));
  }
  ~PixmanCopy() { pixman_image_unref(image); }
  PixmanCopy(const PixmanCopy&) = delete;
  PixmanCopy& operator=(const PixmanCopy&) = delete;
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
  PixmanMask(const PixmanMask&) = delete;
  PixmanMask& operator=(const PixmanMask&) = delete;
};

// The destination of a merge twice over: the colour layer and pixman's premultiplied copy,
// each with its starting pixels to put back before every merge.
struct MergeDest {
  OLayer* layer;
  std::vector<uint32_t> start;
  PixmanCopy pixman;
  std::vector<uint32_t> pixmanStart;
  explicit MergeDest(OLayer* l) : layer(l), start(PixelsOf(l, false)), pixman(l), pixmanStart(pixman.bits) {}
  ~MergeDest() { layer->Release(); }
  MergeDest(const MergeDest&) = delete;
  MergeDest& operator=(const MergeDest&) = delete;

  void Reset() {
    LayerLock lock;
    lock.Lock(layer, 0);
    std::memcpy(lock.pPixels, start.data(), start.size() * 4);
    std::copy(pixmanStart.begin(), pixmanStart.end(), pixman.bits.begin());
  }
  // The largest difference of one premultiplied channel between the two merged results.
  int LargestDifference() const {
    const std::vector<uint32_t> ours = PixelsOf(layer, true);
    return LargestChannelDifference(ours.data(), pixman.bits.data(), ours.size());
  }
};

// Our merge keeps straight colour and truncates three times where exact OVER divides by 255
// (the destination's share, its weight, the colour), each up to a level below; pixman rounds
// in premultiplied colour, and the comparison premultiplies ours with one more rounding.
// Compared premultiplied, the results may differ by this much.
constexpr int kTolerance = 4;

void Report(benchmark::State& state, double ownMs, double refMs, const std::string& refName) {
  state.counters["own_Mpix/s"] = kPixels / ownMs / 1e3;
  state.counters[refName + "_Mpix/s"] = kPixels / refMs / 1e3;
  state.counters["own/" + refName] = refMs / ownMs;
}

// One merge of ours and one of pixman per iteration, each on the starting pixels; then the
// result check and the ratio line of the medians.
template <class Ours, class Reference>
void RunMerge(benchmark::State& state, MergeDest& dest, const std::string& caseName, const char* refName, Ours ours,
              Reference reference) {
  RatioTimes times;
  for (auto _ : state) {
    dest.Reset();
    auto t0 = Clock::now();
    ours();
    auto t1 = Clock::now();
    reference();
    auto t2 = Clock::now();
    benchmark::ClobberMemory();
    state.SetIterationTime(Seconds(t0, t1));
    times.Add(Seconds(t0, t1), Seconds(t1, t2));
  }
  const int diff = dest.LargestDifference();
  if (diff > kTolerance) {
    std::fprintf(stderr, "merge_bench %s: merged pixels differ from %s by %d levels (tolerance %d)\n",
                 caseName.c_str(), refName, diff, kTolerance);
    state.SkipWithError("merged pixels differ from the reference beyond the tolerance");
  }
  Report(state, times.OursMs(), times.RefMs(), refName);
  times.Print("merge_bench", caseName, refName,
              "max channel diff " + std::to_string(diff) + " (tolerance " + std::to_string(kTolerance) +
                  ", premultiplied)");
}

// Merge of a colour layer, against pixman OVER of its premultiplied copy.
void BM_MergeC32(benchmark::State& state) {
  const std::string content = state.range(0) ? "areas" : "mixed";
  state.SetLabel(content);
  MergeDest dest(NewLayer(4));
  OLayer* src = NewLayer(4, int(state.range(0)));
  PixmanCopy psrc(src);
  RunMerge(
      state, dest, "C32 Merge " + content, "pixman_over", [&] { dest.layer->Merge(src); },
      [&] {
        pixman_image_composite32(PIXMAN_OP_OVER, psrc.image, nullptr, dest.pixman.image, 0, 0, 0, 0, 0, 0, kSide,
                                 kSide);
      });
  src->Release();
}

// Merge of a mask layer (painted in its colour), and the glass merge of a whole layer,
// against pixman OVER of a solid colour through an a8 mask.
void BM_MergeA16(benchmark::State& state) {
  const bool glassMerge = state.range(0) == 1;
  const std::string name = std::string(glassMerge ? "glass merge" : "Merge") + (state.range(1) ? " areas" : " mixed");
  state.SetLabel(name);
  MergeDest dest(NewLayer(4));
  OLayer* src = NewLayer(2, int(state.range(1)));
  src->SetColor(0x3090F0);
  if (glassMerge) src->PAT_MarkSet(nullptr, nullptr);
  PixmanMask pmask(src);
  const pixman_color_t colour{0xF0F0, 0x9090, 0x3030, 0xFFFF};
  pixman_image_t* solid = pixman_image_create_solid_fill(&colour);
  RunMerge(
      state, dest, "A16 " + name, "pixman_over_a8",
      [&] {
        if (glassMerge) {
          src->PAT_GlassMergeTo(dest.layer);
        } else {
          dest.layer->Merge(src);
        }
      },
      [&] {
        pixman_image_composite32(PIXMAN_OP_OVER, solid, pmask.image, dest.pixman.image, 0, 0, 0, 0, 0, 0, kSide,
                                 kSide);
      });
  pixman_image_unref(solid);
  src->Release();
}

// Swaps the rows of a buffer end for end through one row of scratch, memcpy doing all moves:
// every byte read and written once in place, the least any flip of the buffer can do.
void SwapRows(uint8_t* bytes, size_t rowBytes, int rows, uint8_t* scratch) {
  for (int i = 0, j = rows - 1; i < j; ++i, --j) {
    std::memcpy(scratch, bytes + size_t(i) * rowBytes, rowBytes);
    std::memcpy(bytes + size_t(i) * rowBytes, bytes + size_t(j) * rowBytes, rowBytes);
    std::memcpy(bytes + size_t(j) * rowBytes, scratch, rowBytes);
  }
}

// The flips (0 vertical, 1 horizontal, 2 half turn) of a layer, in place, against memcpy
// swapping the rows of a buffer of the same size in place: the floor of a flip.
void BM_Flip(benchmark::State& state) {
  const int which = int(state.range(0));
  const char* names[] = {"FlipVertical", "FlipHorizontal", "Rotate180"};
  const std::string caseName = std::string(names[which]) + (state.range(1) == 4 ? " C32" : " A16");
  state.SetLabel(caseName);
  OLayer* l = NewLayer(int(state.range(1)));
  const size_t rowBytes = size_t(l->GetPitch()) * size_t(l->GetPixelSize());
  std::vector<uint8_t> floor(rowBytes * kSide, 1), scratch(rowBytes);
  RatioTimes times;
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
    SwapRows(floor.data(), rowBytes, kSide, scratch.data());
    auto t2 = Clock::now();
    benchmark::DoNotOptimize(floor.data());
    benchmark::ClobberMemory();
    state.SetIterationTime(Seconds(t0, t1));
    times.Add(Seconds(t0, t1), Seconds(t1, t2));
  }
  Report(state, times.OursMs(), times.RefMs(), "memcpy");
  times.Print("merge_bench", caseName, "memcpy", "floor: memcpy swapping the rows in place");
  l->Release();
}

BENCHMARK(BM_MergeC32)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("content")
    ->Iterations(21)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MergeA16)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"glass", "content"})
    ->Iterations(21)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Flip)
    ->ArgsProduct({{0, 1, 2}, {2, 4}})
    ->ArgNames({"kind", "format"})
    ->Iterations(21)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
