// The list box control the program's owner-drawn lists derive from: rows of one fixed height
// (asked once of MeasureItem), each with a text and pointer-sized item data, one selected row,
// a vertical scroll bar that follows the top row, and the LB_ messages with the system's
// answers. The list draws nothing of a row itself: WM_PAINT erases (WM_ERASEBKGND to the
// window) and asks DrawItem for every row in the update rectangle.
// Default input, for subclasses to override in WindowProc (and call the base for the rest): a
// left press selects the row under it and tracks the mouse with the capture until release
// (auto-scrolling while the pointer is above or below the rows); arrow, Home, End, Page keys
// move the selection; the wheel scrolls three rows a notch. With LBS_NOTIFY the parent hears
// of a changed selection (LBN_SELCHANGE) and of a double click (LBN_DBLCLK) through
// WM_COMMAND, MAKEWPARAM(control id, code), lParam the list's handle.
// Rows may show in part at the bottom (always LBS_NOINTEGRALHEIGHT). No Qt in here.
#pragma once
#include <string>

#include "ListBoxModel.h"
#include "Window.h"

namespace gui {

struct MEASUREITEMSTRUCT {
  UINT CtlType;  // ODT_LISTBOX
  UINT CtlID;
  UINT itemID;
  UINT itemWidth;
  UINT itemHeight;  // the answer: the height of every row (1..255)
  uintptr_t itemData;
};

struct DRAWITEMSTRUCT {
  UINT CtlType;     // ODT_LISTBOX
  UINT CtlID;
  UINT itemID;      // the row
  UINT itemAction;  // ODA_
  UINT itemState;   // ODS_SELECTED, ODS_FOCUS (the selected row of a list with the focus)
  HWND hwndItem;    // the list
  DeviceContext* pDC;  // draws into the list's screen image, clipped to the row and the update
  RECT rcItem;         // the row in client coordinates
  uintptr_t itemData;
};

class ListBox : public GWindow {
 public:
  // Makes the list as a child of parent (null: a top-level window) at rc with the window and
  // LBS_ styles; the control id goes into WM_COMMAND notifications and the owner-draw
  // records. MeasureItem is asked for the row height before WM_CREATE.
  BOOL Create(DWORD style, const RECT& rc, GWindow* parent, UINT id);
  DWORD GetStyle() const { return m_style; }
  // Colour (COLORREF) of the default WM_ERASEBKGND and of the window where nothing is drawn.
  void SetBackgroundColor(COLORREF color);

  // The system's wrappers; each sends its LB_ message, so a subclass's WindowProc sees it.
  // Bad indices answer LB_ERR as the messages do.
  int AddString(const char16_t* text);
  int InsertString(int index, const char16_t* text);
  int DeleteString(UINT index);
  void ResetContent();
  int GetCount() const;
  int GetCurSel() const;
  // Selects a row (scrolling it into view) without notifying; -1 clears and answers LB_ERR.
  int SetCurSel(int index);
  int GetTopIndex() const;
  // Scrolls index to the top, or as near as the last page allows.
  int SetTopIndex(int index);
  int GetItemRect(int index, RECT* rc) const;
  uintptr_t GetItemData(int index) const;
  int SetItemData(int index, uintptr_t data);
  // (void*)-1 for a bad index, as the system answers.
  void* GetItemDataPtr(int index) const;
  int SetItemDataPtr(int index, void* data);
  // The row at a client point; outside is TRUE when the point lies outside the client area
  // or below the last row (the index is then the nearest row).
  UINT ItemFromPoint(POINT pt, BOOL& outside) const;
  // Copies the text and its terminating zero into buffer (LB_GETTEXTLEN + 1 characters);
  // answers its length or LB_ERR.
  int GetText(int index, char16_t* buffer) const;
  int GetText(int index, std::u16string& text) const;
  int GetTextLen(int index) const;
  int GetItemHeight(int index = 0) const;

  // Rows wholly shown in the client area (at least 1).
  int GetVisibleRows() const;

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 protected:
  // Asked once, before WM_CREATE, for the height of every row (itemHeight comes in as 16).
  virtual void MeasureItem(MEASUREITEMSTRUCT* mis);
  // Draws one row. The default fills a selected row dark and writes the row's text.
  virtual void DrawItem(DRAWITEMSTRUCT* dis);

 public:
  // Draws a row at once through DrawItem, outside a paint (nothing when it lies outside the
  // client area).
  void RedrawRow(int row);

 protected:

 private:
  // Sends WindowProc a message from a const wrapper (the queries change nothing).
  LRESULT Query(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const;
  int Delete(int index);
  void Reset();
  int Select(int index);
  int SetHeight(int height);
  void OnPaint();
  // Asks DrawItem for one row, clipped to clip (client coordinates).
  void DrawRow(DeviceContext& dc, int row, const RECT& clip);
  void OnButtonDown(POINT pt, bool dblclk);
  void OnMouseMove(POINT pt);
  void OnTrackTimer();
  void EndTracking();
  void OnKey(UINT vk);
  void OnVScroll(WORD code, WORD thumb);

  // Moves the selection for the user and tells the parent when it changed.
  void UserSelect(int index);
  void Notify(WORD code);
  int MaxTop() const;
  // Scrolls the rows so that top is the first (clamped), moving the pixels still shown and
  // repainting the rest; keeps the scroll bar in step.
  void ScrollTo(int top);
  void UpdateScrollBar();
  void InvalidateRow(int index);
  // Repaints from a row's top to the bottom of the client area.
  void InvalidateFrom(int index);
  int ClientWidth() const;
  int ClientHeight() const;

  ListBoxModel m_model;
  DWORD m_style = 0;
  HWND m_hParent = nullptr;
  COLORREF m_background = RGB(255, 255, 255);
  bool m_bTracking = false;  // a left press is being followed
  bool m_bTrackTimer = false;  // the pointer is beyond the rows: the track timer scrolls
  POINT m_trackPoint{0, 0};    // the last pointer position while tracking
};

}  // namespace gui
