// The layer side bar "图层": the layer strip (add, delete, merge, open and save image) above
// an owner-drawn list with one 20-pixel row per layer of the document, top of the list
// first, drawn entirely through our device context. It shows the layer list
// (panels/MyListLayer.h) through its observer and turns the mouse into the list's calls:
// - a click on a flag column toggles nest, hidden, protect or the source mark;
// - a click on the name (or colour) selects the row, and the current layer's property page
//   waits behind the page bar's forward tab; a double click goes there;
// - the colour column of a mask layer opens the colour wheel;
// - a name dragged more than 4 pixels reorders the rows, a long press renames in place;
// - a right click selects the row and pops up the Layer menu;
// - a mouse resting on a name shows the layer's thumbnail.
// The bar is also the layer list's place in the frame's command route. No Qt in here.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "core/Hsv.h"
#include "odata/GCompRef.h"
#include "panels/MyListBox.h"
#include "panels/MyListLayer.h"
#include "platform/gui/Commands.h"
#include "platform/gui/DragDrop.h"
#include "platform/gui/Edit.h"
#include "platform/gui/IconStrip.h"

class CTavrikDoc;
class CLayerThumbPopup;
class CMyListProperty;
class IShellServices;
namespace gui {
class OptionToolBar;
}

class CLayerBar : public CMyListBox, public ILayerListObserver, public gui::CmdTarget {
 public:
  // The columns of a row, left to right.
  enum Column { COL_NEST, COL_COLOR, COL_NAME, COL_HIDDEN, COL_PROTECT, COL_SOURCE, COL_COUNT };
  enum Mode { myNORMAL = 1, myDRAG = 2, myRENAME = 3 };
  static constexpr UINT kRenameEditId = 1;
  static constexpr UINT kPropertyPageId = 32;

  // The items of the Layer menu, in its order (id 0: a separator); the main menu and the
  // bar's right-click menu show the same.
  struct MenuItem {
    UINT id;
    const char16_t* text;
  };
  static const MenuItem kLayerMenu[9];

  CLayerBar();
  ~CLayerBar() override;

  // Makes the bar's windows: the strip and the list inside a container window of their own,
  // which the page bar holds (GetHostWidget) and whose client they always fill.
  BOOL Create();
  QWidget* GetHostWidget() const;
  HWND GetHostWindow() const;

  // Where the bar lives: the page bar that shows the property page, the shell with the
  // colour wheel, the window that runs the Layer menu's and the strip's commands (the main
  // frame), the click interval of a long press, and who opens a dropped document.
  void SetPageBar(gui::GWindow* bar) { m_pPageBar = bar; }
  void SetShell(IShellServices* shell) { m_pShell = shell; }
  void SetCommandWindow(HWND window);
  void SetClickInterval(int ms) { m_nClickInterval = ms; }
  void SetOpenDocument(std::function<void(const std::u16string&)> open) { m_openDocument = std::move(open); }

  // Shows the document's layers (null: none) and follows its list from now on.
  void Attach(CTavrikDoc* doc);
  void AttachList(CMyListLayer* list);
  // Ends a rename in place (keeping the text) or the property page's edit.
  void FinishWork() override;

  int RowCount() const { return GetCount(); }
  std::u16string RowName(int row) const;
  bool RowVisible(int row) const;
  int CurrentRow() const { return GetCurSel(); }
  // The row under the mouse, -1 for none.
  int HotRow() const { return m_nHotRow; }
  int GetMode() const { return m_nMode; }
  // What a click does: on the hidden column, and on the name.
  void ToggleVisibility(int row);
  void SelectRow(int row);

  CMyEdit* GetRenameEdit() { return &m_edit; }
  CLayerThumbPopup* GetThumbPopup() const { return m_pPopup.get(); }
  // Made on first use; null when it cannot be made.
  CMyListProperty* GetPropertyPage();
  gui::OptionToolBar* GetStrip() const;

  // Column geometry for the current client width; a column too narrow to show has width 0.
  int GetColumnLeft(int column) const;
  int GetColumnWidth(int column) const;
  // The column under a client x, -1 for none (a column of width 0 is never hit).
  int HitColumn(int x) const;
  // The gap (0..count) a row dragged to the client point would go before; -1 for none.
  int GetDropGap(POINT pt) const;

  // Column tips while no button is down.
  BOOL OnToolHitTest(POINT pt, std::u16string* text, RECT* area) override;

  // ILayerListObserver.
  void OnRowsChanged() override;
  void OnRowChanged(int index) override;
  void OnSelChanged(int old, int now) override;
  // The list box's own selection hook stays as it is beside the observer's.
  using CMyListBox::OnSelChanged;
  void OnMessage(const char16_t* text) override;

  // The layer list's commands (the strip, the Layer menu, cut, copy, paste).
  BOOL OnCmdMsg(UINT id, int code, void* extra, gui::CmdHandlerInfo* info) override;
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 protected:
  void DrawItem(gui::DRAWITEMSTRUCT* dis) override;

 private:
  class XHost;

  CMyListLayer* List() const;
  BOOL OnCreate();
  void OnSize(int width);
  void OnLButtonDown(POINT pt);
  void OnLButtonUp(POINT pt);
  void OnMouseMove(POINT pt, WPARAM keys);
  void OnRButtonUp(POINT pt);
  void OnDoubleClick();
  void OnCaptureChanged(HWND holder);
  void OnEditDone(BOOL enter);
  void OnColorPicked(HSVCOLOR colour);
  void OnDropFiles(HDROP drop);
  // One dropped file: a document opens, an image becomes a layer.
  void OfferDroppedFile(const std::u16string& path);
  LRESULT OnPageNotify(WPARAM code);
  void OpenColorWheel(OLayer* layer, POINT pt);
  void StartRename();
  void UpdateDropMarker(POINT pt);
  void EndDrag();
  void ReleaseButton(int flag);
  void PopupLayerMenu(POINT pt);
  void ShowPropertyPage();
  void SetHotRow(int row);
  void Rebuild();
  void ShowSelection();
  OLayer* LayerOf(int row) const;

  std::unique_ptr<XHost> m_pHost;
  CMyListLayer* m_pList = nullptr;
  gui::GWindow* m_pPageBar = nullptr;
  IShellServices* m_pShell = nullptr;
  HWND m_hCommandWindow = nullptr;
  std::function<void(const std::u16string&)> m_openDocument;
  int m_nClickInterval = 200;
  int m_anWidth[COL_COUNT] = {};
  int m_anLeft[COL_COUNT] = {};
  int m_nMode = myNORMAL;
  int m_nHotRow = -1;
  BOOL m_bTracking = FALSE;
  // The last left press: its row and column, point, tick, state (0 none, 1 down, 2 moved
  // more than 4 pixels), whether it hit the name or the colour, and the buttons holding the
  // capture (bit 0 left, bit 1 right).
  int m_nPressRow = -1;
  int m_nPressColumn = -1;
  POINT m_ptPress{0, 0};
  DWORD m_dwPressTick = 0;
  int m_nPressState = 0;
  BOOL m_bNameClick = FALSE;
  int m_nCapture = 0;
  // The layer being renamed, found again by its ID should its row have moved.
  UINT m_uRenameID = 0;
  gui::HFONT m_hFont = nullptr;
  GCompRef<gui::CIconStrip> m_cpIcons;
  CMyEdit m_edit;
  std::unique_ptr<CLayerThumbPopup> m_pPopup;
  std::unique_ptr<CMyListProperty> m_pPropertyPage;
};
