// The property list: one 20-pixel row per item of one level of a property set (a layer's
// properties, a brush's values, a filter's parameters), a label column and a value column.
// Integer ranges are edited by a click on the bar or a cell, by dragging (the pointer hidden
// and never stopped by the screen's edges) and by typing a number after a long press;
// booleans by a click; choices through the drop-down popup. Deeper items live on sub-pages
// pushed onto the page bar. Command rows of an OAppendixMenu may follow a "Separator" row.
// Every change goes through OProperty::SetValue and is announced to the owner's
// XModifyNotify. No Qt in here.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "odata/GCompRef.h"
#include "odata/OProperty.h"
#include "panels/AppendixMenu.h"
#include "panels/ModifyNotify.h"
#include "panels/MyListBox.h"
#include "platform/gui/IconStrip.h"

class CMyEdit;
class CListPopup;

class CMyListProperty : public CMyListBox {
 public:
  // m_myState.
  enum Mode { myREADY = 1, myCHOICE = 2, myEDIT = 3, myDRAG = 4, myPENDING = 5 };
  // Icon strip columns (bitmap IDB_PROPERTYLIST).
  enum { ICON_UNCHECKED = 0, ICON_CHECKED = 1, ICON_DROPDOWN = 2 };
  static constexpr UINT kEditId = 1;
  static constexpr UINT kSubPageId = 32;
  // Cells of a small integer range.
  static constexpr int kCellWidth = 19;
  // Colours (COLORREF).
  static constexpr COLORREF kFace = 0xE8ECEC;
  static constexpr COLORREF kLight = 0xF4F8F8;
  static constexpr COLORREF kText = 0x646868;
  static constexpr COLORREF kValueText = 0x444848;
  static constexpr COLORREF kCellFrame = 0x6C7070;

  CMyListProperty();
  ~CMyListProperty() override;

  static const char16_t* GetClassName() { return u"CMyListProperty"; }

  // Set before Create: the page bar the list lives in (sub-pages are pushed onto it), the
  // owner's observer (not owned), and the "Configure" mouse settings nMouseClickInterval (a
  // press held longer opens the number entry) and nMouseTolerance (a drag starts beyond
  // tolerance + 2 pixels).
  void SetPageBar(gui::GWindow* bar) { m_pPageBar = bar; }
  void SetModifyNotify(XModifyNotify* observer) { m_pObserver = observer; }
  void SetMouseSettings(int clickIntervalMs, int tolerance);
  // Makes the list with its number entry, choice popup and icon strip; FALSE when any of
  // them cannot be made.
  BOOL Create(gui::GWindow* parent, const RECT& rc, UINT id, DWORD style = WS_CHILD | WS_VISIBLE);

  // Shows the items of set from start on at start's level (deeper ones go to sub-pages; a
  // lower one ends the page), then the menu's rows. Throws while an edit is in progress and
  // when start is not an item of the set.
  virtual void NewProperty(UINT start, OProperty* set, OAppendixMenu* menu);
  // Ends the edit in progress: a typed number is stored, a drag ends where it is, an open
  // popup closes without a choice.
  void FinishWork() override;

  // Opens the choice popup of the pressed item under the value cell (client coordinates);
  // FALSE when it did not open.
  BOOL OpenChoice(const RECT& cell);
  // Stores the choice of a popup row.
  virtual void AcceptChoice(int row);

  // The row's item is followed by deeper items.
  BOOL HasSubPage(int row);
  // The child page for deeper items, made on first use; null when it cannot be made.
  CMyListProperty* GetSubPage();

  int GetMode() const { return m_myState; }
  int GetLabelWidth() const { return m_nLabelWidth; }
  // Rows of items; the "Separator" and command rows follow.
  int GetItemRowCount() const { return m_nItemCount; }
  OProperty* GetProperty() const { return m_cpProperty.get(); }
  CMyEdit* GetEdit() const { return m_pEdit.get(); }
  CListPopup* GetPopup() const { return m_pPopup.get(); }
  // Where a row of a small integer range shows its cells: the left edge of the first cell;
  // -1 when the row shows a bar.
  int GetCellsLeft(int row);

  BOOL OnToolHitTest(POINT pt, std::u16string* text, RECT* area) override;
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 protected:
  void DrawItem(gui::DRAWITEMSTRUCT* dis) override;

 private:
  // Remembers the set and index of the edit in progress and tells the observer.
  class XEditTracker {
   public:
    explicit XEditTracker(CMyListProperty* owner) : m_pOwner(owner) {}
    void Begin(const PropertyItem* item, UINT index, OProperty* set);
    void Change(const PropertyItem* item);
    void End(const PropertyItem* item, BOOL cancelled);
    void FinishOperation();
    void InvalidateView();

   private:
    CMyListProperty* m_pOwner;
    OProperty* m_pSet = nullptr;
    UINT m_uIndex = 0;
    bool m_bFinished = true;
  };

  BOOL OnCreate();
  void OnLButtonDown(POINT pt);
  void OnMouseMove(POINT pt);
  void OnLButtonUp(POINT pt);
  void OnCaptureChanged(HWND now);
  void OnEditDone(BOOL accepted);
  void OnPopupClosed(BOOL chosen);
  // Integer press without a drag: a long one opens the number entry, a short one sets the
  // value where it was.
  void IntegerClick(const RECT& rc);
  void OpenNumberEntry(const RECT& rc);
  // Begin, store the pressed item's new value, End; nothing when it stays as it was.
  void Commit(int32_t value);
  void EndDrag();
  void ReleaseProperty();

  // The row's item, null for "Separator" and command rows.
  PropertyItem* ItemOfRow(int row);
  UINT IndexOfRow(int row) const { return UINT(GetItemData(row)); }
  bool IsCommandRow(int row) const { return row > m_nItemCount && row < GetCount(); }
  // The cells of an item in a value column from left to right; false for a bar.
  bool HasCells(const PropertyItem& item, int right) const;
  // The choice texts of an item ('|'-separated; none for a null text).
  static std::vector<std::u16string> SplitChoices(const char16_t* choices);
  static std::u16string ChoiceText(const PropertyItem& item);
  void DrawItemRow(gui::DeviceContext& dc, int row, PropertyItem& item, int width);
  void DrawCommandRow(gui::DeviceContext& dc, int row, int width);
  int TextWidth(const char16_t* text);

  int m_myState = myREADY;
  XEditTracker m_tracker{this};
  GCompRef<gui::CIconStrip> m_cpIcons;
  std::unique_ptr<CMyEdit> m_pEdit;
  std::unique_ptr<CListPopup> m_pPopup;
  std::unique_ptr<CMyListProperty> m_pSubPage;
  gui::GWindow* m_pPageBar = nullptr;
  XModifyNotify* m_pObserver = nullptr;
  int m_nClickInterval = 300;
  int m_nTolerance = 1;

  DWORD m_dwPressTime = 0;
  POINT m_ptPress{0, 0};  // client
  int m_nPressRow = -1;
  // The slider drag: the pointer's last screen x, where it was pressed (screen), the cursor
  // it had.
  int m_nDragX = 0;
  POINT m_ptPressScreen{0, 0};
  HCURSOR m_hDragCursor = nullptr;
  // Popup rows and the choice numbers they stand for.
  std::vector<int> m_choiceOfRow;

  int m_nLabelWidth = 20;
  int m_nItemCount = 0;
  GCompRef<OProperty> m_cpProperty;
  PropertyItem m_piPressed{};
  OAppendixMenu* m_pMenu = nullptr;
};
