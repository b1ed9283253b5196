// Drawing the property page of the brush with the most items: every row composed through the
// list's own row drawing (labels, values, cells, icons in the program's font), against memcpy
// of the same rows' pixels (width x 20 rows x 4 bytes each) in the same run.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QWidget>
#include <cstring>
#include <vector>

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

void BM_PropertyListRows(benchmark::State& state) {
  Page& p = Get();
  for (auto _ : state)
    for (int r = 0; r < p.rows; ++r) p.list.RedrawRow(r);
  state.SetItemsProcessed(int64_t(state.iterations()) * p.rows);
  state.counters["rows"] = p.rows;
}

void BM_MemcpyRows(benchmark::State& state) {
  Page& p = Get();
  const size_t bytes = size_t(kWidth) * 20 * 4;
  std::vector<uint8_t> from(bytes * size_t(p.rows), 0x5A), to(from.size());
  for (auto _ : state) {
    for (int r = 0; r < p.rows; ++r) std::memcpy(to.data() + size_t(r) * bytes, from.data() + size_t(r) * bytes, bytes);
    benchmark::DoNotOptimize(to.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * p.rows);
}

BENCHMARK(BM_PropertyListRows)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MemcpyRows)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) { return RunPanelBenchmarks(argc, argv); }
