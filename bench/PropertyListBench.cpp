// Drawing the property page of the brush with the most items: every row composed through the
// list's own row drawing (labels, values, cells, icons in the program's font), against memcpy
// of the same rows' pixels (width x 20 rows x 4 bytes each) in the same run.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QWidget>
#include <chrono>
#include <cstring>
#include <vector>

#include "BenchRatio.h"
#include "DorvilBrush.h"
#include "PanelBenchMain.h"
#include "common/FakeSystem.h"
#include "odata/GCompRef.h"
#include "panels/MyListProperty.h"
#include "platform/gui/Window.h"

namespace {

constexpr int kWidth = 240;

struct Page {
  FakeSystem sys;
  GCompRef<OBrush> brush;
  OProperty* items = nullptr;
  QWidget top;
  gui::GWindow host;
  CMyListProperty list;
  int rows = 0;

  Page() {
    // The family with the most items.
    sys.Register(u"Pen", GCreateComponent<DorvilBrushOf<dorvil::FAMILY_PEN>>);
    brush = static_cast<OBrush*>(sys.NewObj(u"Pen", nullptr)->GetInterface(u"OBrush"));
    items = static_cast<OProperty*>(brush->GetInterface(u"OProperty"));
    top.resize(kWidth + 20, 600);
    top.show();
    host.Create(&top, RECT{0, 0, kWidth + 20, 600});
    list.Create(&host, RECT{0, 0, kWidth, 580}, 5);
    list.NewProperty(0, items, nullptr);
    rows = list.GetCount();
  }
};

Page& Get() {
  static Page* page = new Page();
  return *page;
}

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Every row drawn, then memcpy of as many row pixels, in each iteration.
void BM_PropertyListRows(benchmark::State& state) {
  Page& p = Get();
  const size_t bytes = size_t(kWidth) * 20 * 4;
  std::vector<uint8_t> from(bytes * size_t(p.rows), 0x5A), to(from.size());
  RatioTimes times;
  for (auto _ : state) {
    auto t0 = Clock::now();
    for (int r = 0; r < p.rows; ++r) p.list.RedrawRow(r);
    auto t1 = Clock::now();
    for (int r = 0; r < p.rows; ++r) std::memcpy(to.data() + size_t(r) * bytes, from.data() + size_t(r) * bytes, bytes);
    benchmark::DoNotOptimize(to.data());
    auto t2 = Clock::now();
    state.SetIterationTime(Seconds(t0, t1));
    times.Add(Seconds(t0, t1), Seconds(t1, t2));
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * p.rows);
  state.counters["rows"] = p.rows;
  times.Print("property_list_bench", "all rows of the pen page", "memcpy", "floor: memcpy of the rows' pixels");
}

BENCHMARK(BM_PropertyListRows)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) { return RunPanelBenchmarks(argc, argv); }
