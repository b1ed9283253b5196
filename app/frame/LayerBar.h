// The layer side bar "图层": an owner-drawn list with one 20-pixel row per layer of the
// document, top of the list first, drawn entirely through our device context. It shows the
// layer list (panels/MyListLayer.h) through its observer and turns clicks into the list's
// calls: a click on the hidden column shows or hides the layer, a click elsewhere on a row
// selects it. The row under the mouse is highlighted. The bar is also the layer list's place
// in the frame's command route. No Qt in here.
#pragma once
#include <memory>
#include <string>

#include "odata/GCompRef.h"
#include "panels/MyListLayer.h"
#include "platform/gui/Commands.h"
#include "platform/gui/IconStrip.h"
#include "platform/gui/ListBox.h"

class CTavrikDoc;

class CLayerBar : public gui::ListBox, public ILayerListObserver, public gui::CmdTarget {
 public:
  // The columns of a row, left to right.
  enum Column { COL_NEST, COL_COLOR, COL_NAME, COL_HIDDEN, COL_PROTECT, COL_SOURCE, COL_COUNT };
  static constexpr int kRowHeight = 20;

  CLayerBar();
  ~CLayerBar() override;

  // Makes the bar's windows: the list inside a container window of its own, which the dock
  // holds (GetHostWidget) and whose client the list always fills.
  BOOL Create();
  QWidget* GetHostWidget() const;
  HWND GetHostWindow() const;

  // Shows the document's layers (null: none) and follows its list from now on.
  void Attach(CTavrikDoc* doc);
  // Ends a pending edit of the bar (none yet: rows are not renamed in place).
  void FinishWork() {}

  int RowCount() const { return GetCount(); }
  std::u16string RowName(int row) const;
  bool RowVisible(int row) const;
  int CurrentRow() const { return GetCurSel(); }
  // The row under the mouse, -1 for none.
  int HotRow() const { return m_nHotRow; }
  // What a click does: on the hidden column, and on the rest of the row.
  void ToggleVisibility(int row);
  void SelectRow(int row);

  // Column geometry for the current client width; a column too narrow to show has width 0.
  int GetColumnLeft(int column) const;
  int GetColumnWidth(int column) const;
  // The column under a client x, -1 for none (a column of width 0 is never hit).
  int HitColumn(int x) const;

  // ILayerListObserver.
  void OnRowsChanged() override;
  void OnRowChanged(int index) override;
  void OnSelChanged(int old, int now) override;
  void OnMessage(const char16_t* text) override;

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 protected:
  void MeasureItem(gui::MEASUREITEMSTRUCT* mis) override;
  void DrawItem(gui::DRAWITEMSTRUCT* dis) override;

 private:
  class XHost;

  BOOL OnCreate();
  void OnSize(int width);
  void EraseBackground(gui::DeviceContext& dc);
  void OnLButtonDown(POINT pt);
  void OnMouseMove(POINT pt);
  void SetHotRow(int row);
  void Rebuild();
  void ShowSelection();
  OLayer* LayerOf(int row) const;

  std::unique_ptr<XHost> m_pHost;
  CTavrikDoc* m_pDoc = nullptr;
  int m_anWidth[COL_COUNT] = {};
  int m_anLeft[COL_COUNT] = {};
  int m_nHotRow = -1;
  gui::HFONT m_hFont = nullptr;
  GCompRef<gui::CIconStrip> m_cpIcons;
  // A row is composed here, then copied to the list in one piece.
  std::unique_ptr<gui::ScreenImage> m_pRowBitmap;
  gui::DeviceContext m_rowDC;
};
