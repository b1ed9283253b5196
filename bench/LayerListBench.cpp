// The layer bar with 64 rows of 10000 x 10000 layers: every row composed through the bar's
// own row drawing (flags, colour dot, name in the program's font) and copied to its list,
// beside memcpy of the same rows' pixels; and the thumbnail the popup shows, made from a
// 10000 x 10000 layer, beside memcpy of the 64 KB of thumbnail pixels and of the mip level
// it reads. A row reads no pixels of its layer, so its cost does not grow with the layer.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QWidget>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "Morvane.h"
#include "XShowDevice.h"
#include "PanelBenchMain.h"
#include "common/FakeSystem.h"
#include "frame/LayerBar.h"
#include "odata/GCompRef.h"
#include "panels/MyListLayer.h"

namespace {

constexpr int kSide = 10000;
constexpr int kRows = LYR_MAX_SUM;
constexpr int kWidth = 208;
constexpr int kThumbSide = 128;

// A 10000 x 10000 colour layer, painted where asked (all of it, or only its last pixel).
GCompRef<OLayer> BigLayer(OShowDevice* device, bool everywhere) {
  GCompRef<OLayer> l;
  l.m_ptr = device->CreateLayer(kSide, kSide, OLayer::myFORMAT_C32, 1);
  {
    LayerLock lock;
    lock.Lock(l, 0);
    if (everywhere) {
      for (int y = 0; y < kSide; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(lock.Row(y));
        for (int x = 0; x < kSide; ++x) row[x] = 0xFF000000u | uint32_t(x * 7 + y * 13);
      }
    } else {
      reinterpret_cast<uint32_t*>(lock.Row(kSide - 1))[kSide - 1] = 0xFF2060A0u;
    }
  }
  l->MipRefresh(nullptr);
  return l;
}

// The mip level MakeThumbnail reads: the smallest still 128 or more on its side.
size_t ThumbnailLevelBytes() {
  int side = kSide;
  while (side / 2 >= kThumbSide) side /= 2;
  return size_t(side) * size_t(side) * 4;
}

struct Bar {
  FakeSystem sys;
  GCompRef<OShowDevice> device;
  GCompRef<OLayer> painted, nearlyEmpty;
  std::unique_ptr<CMyListLayer> list;
  CLayerBar bar;

  Bar() {
    sys.Register(u"Morvane", GCreateComponent<Morvane>);
    sys.Register(u"XShowDevice", GCreateComponent<XShowDevice>);
    device = static_cast<OShowDevice*>(sys.NewObj(u"XShowDevice", nullptr)->GetInterface(u"OShowDevice"));
    painted = BigLayer(device, true);
    nearlyEmpty = BigLayer(device, false);
    list = std::make_unique<CMyListLayer>(&sys, device.get());
    // Every row holds the one 10000 x 10000 layer: a row draws the same whichever it is.
    painted->SetName(u"彩色图层 10000 x 10000");
    for (int i = 0; i < kRows; ++i) list->AddLayer(-1, painted);
    list->SetCurSelect(3);
    bar.Create();
    bar.GetHostWidget()->resize(kWidth, 40 + kRows * CLayerBar::kRowHeight);
    bar.GetHostWidget()->show();
    bar.AttachList(list.get());
  }
  ~Bar() { bar.AttachList(nullptr); }
};

Bar& Get() {
  static Bar* bar = new Bar();
  return *bar;
}

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// memcpy of n pieces of the given size between two buffers.
struct Copier {
  size_t bytes;
  int pieces;
  std::vector<uint8_t> from, to;
  Copier(size_t pieceBytes, int n) : bytes(pieceBytes), pieces(n), from(pieceBytes * size_t(n), 0x5A), to(from.size()) {}
  void Run() {
    for (int r = 0; r < pieces; ++r)
      std::memcpy(to.data() + size_t(r) * bytes, from.data() + size_t(r) * bytes, bytes);
    benchmark::DoNotOptimize(to.data());
  }
};

// Every row drawn, then memcpy of as many row pixels, in each iteration.
void BM_LayerBarRows(benchmark::State& state) {
  Bar& b = Get();
  Copier copy(size_t(kWidth) * CLayerBar::kRowHeight * 4, kRows);
  RatioTimes times;
  for (auto _ : state) {
    auto t0 = Clock::now();
    for (int r = 0; r < kRows; ++r) b.list->RedrawItem(r);
    auto t1 = Clock::now();
    copy.Run();
    auto t2 = Clock::now();
    state.SetIterationTime(Seconds(t0, t1));
    times.Add(Seconds(t0, t1), Seconds(t1, t2));
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kRows);
  times.Print("layer_list_bench", "64 bar rows", "memcpy", "floor: memcpy of the rows' pixels");
}

// The thumbnail, then memcpy of its 64 KB and of the mip level it reads, in each iteration.
void BM_MakeThumbnail(benchmark::State& state) {
  Bar& b = Get();
  OLayer* layer = state.range(0) ? b.nearlyEmpty.get() : b.painted.get();
  const std::string caseName =
      std::string("thumbnail, ") + (state.range(0) ? "one pixel painted, the last" : "painted everywhere");
  state.SetLabel(caseName);
  Copier thumb(size_t(kThumbSide) * kThumbSide * 4, 1), level(ThumbnailLevelBytes(), 1);
  RatioTimes thumbTimes, levelTimes;
  for (auto _ : state) {
    auto t0 = Clock::now();
    benchmark::DoNotOptimize(layer->MakeThumbnail(0xFFFFFF));
    auto t1 = Clock::now();
    thumb.Run();
    auto t2 = Clock::now();
    level.Run();
    auto t3 = Clock::now();
    state.SetIterationTime(Seconds(t0, t1));
    thumbTimes.Add(Seconds(t0, t1), Seconds(t1, t2));
    levelTimes.Add(Seconds(t0, t1), Seconds(t2, t3));
  }
  thumbTimes.Print("layer_list_bench", caseName, "memcpy_thumbnail", "floor: memcpy of the thumbnail's 64 KB");
  levelTimes.Print("layer_list_bench", caseName, "memcpy_level", "floor: memcpy of the mip level it reads");
}

BENCHMARK(BM_LayerBarRows)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MakeThumbnail)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) { return RunPanelBenchmarks(argc, argv); }
