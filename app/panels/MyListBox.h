// The base of the program's owner-drawn list panels (layer list, brush list, property list):
// rows of 20 pixels, a memory device context in which a row is composed before it is copied
// to the screen, the grid pen, the background below the rows, a selection change that asks
// the descendant first, and moving item data between rows. The item data of a row belongs to
// the descendant; the base never looks into it. No Qt in here.
#pragma once
#include <memory>

#include "platform/gui/ListBox.h"

class CMyListBox : public gui::ListBox {
 public:
  static constexpr int kRowHeight = 20;
  // The row bitmap is at least this wide; a wider client widens it.
  static constexpr int kRowBitmapWidth = 480;
  // Colours (COLORREF).
  static constexpr COLORREF kGridColor = 0xDCE0E0;
  static constexpr COLORREF kEmptyFace = 0xF4F8F8;  // the client of an empty list
  static constexpr COLORREF kBelowFace = 0xE8ECEC;  // the client below the last row

  CMyListBox();
  ~CMyListBox() override;

  static const char16_t* GetClassName() { return u"CMyListBox"; }

  // The font of the rows; set before Create (null: the stock font). The caller keeps it
  // alive while the list lives.
  void SetFont(gui::HFONT font) { m_hFont = font; }
  gui::HFONT GetFont() const { return m_hFont ? m_hFont : gui::GetStockFont(); }

  // Makes the list with WS_CHILD, WS_VSCROLL, LBS_OWNERDRAWFIXED and LBS_NOINTEGRALHEIGHT
  // added and WS_BORDER taken away. FALSE when the row bitmap cannot be made.
  BOOL Create(DWORD style, const RECT& rc, gui::GWindow* parent, UINT id);

  // Ends whatever edit a descendant has in progress (also when the list moves or resizes).
  virtual void FinishWork() {}
  // Tells the paint space its composite is stale (the layer list).
  virtual void InvalidateSpace() {}
  // After a programmatic selection change; what it answers SetCurSelect answers.
  virtual int OnSelChanged() { return 1; }
  // Before a programmatic selection change; FALSE refuses it.
  virtual BOOL OnSelChanging(int /*newRow*/, int /*oldRow*/) { return TRUE; }
  // The descendants' only way to change the selection outside a click: asks OnSelChanging,
  // selects, answers OnSelChanged (0 when refused).
  virtual int SetCurSelect(int row);

  // Moves the item data of row from to row to, the rows between shifting by one. FALSE when
  // the rows are the same or either is not a row.
  BOOL MoveItemDataPtr(int to, int from);
  // The part of the client area the visible rows cover; with wholeRows a last row that shows
  // only in part is left out. FALSE for an empty list.
  BOOL GetItemsRect(RECT* out, BOOL wholeRows) const;
  // The row the mouse hovers (-1: none), which the descendant draws lit.
  int GetHotRow() const { return m_nHotRow; }

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 protected:
  void MeasureItem(gui::MEASUREITEMSTRUCT* mis) override;
  // Rows of text, a selected row dark; every descendant draws its own rows.
  void DrawItem(gui::DRAWITEMSTRUCT* dis) override;

  // The memory DC a row is composed in (font, grid pen selected) and its bitmap's width.
  gui::DeviceContext& RowDC() { return m_dc; }
  int RowBitmapWidth() const;
  // Copies the composed row (width pixels) onto the row of dis.
  void PresentRow(const gui::DRAWITEMSTRUCT* dis, int width);

  // Dragging a row. The drop marker is drawn by inverting pixels, so drawing it again erases
  // it: ShowDropMarker erases the one shown and inverts rc (null: none). DropMarkerRect is
  // the marker of a drop before gap (0..count): the pressed row itself when the gap is next
  // to it (nothing would move), else a band 2 pixels high on the boundary above row gap;
  // clipped to clip.
  void ShowDropMarker(const RECT* rc);
  RECT DropMarkerRect(int pressedRow, int gap, const RECT& clip) const;
  // While a drag is beyond the rows the timer scrolls a row every 100 ms towards the pointer
  // (direction: kScrollNone, kScrollUp, kScrollDown).
  enum DragScroll { kScrollNone = -1, kScrollUp = 0, kScrollDown = 1 };
  void StartDragScroll();
  void StopDragScroll();
  void SetDragScroll(int direction) { m_nDragScroll = direction; }
  int GetDragScroll() const { return m_nDragScroll; }
  static constexpr UINT_PTR kDragScrollTimer = 1;

  // Redraws the old and the new hot row. While a row is hot the mouse's leaving the window
  // is asked for; it clears the hot row.
  void SetHotRow(int row);

  RECT m_rcCell{0, 0, 1, 1};  // scratch
  uint32_t m_dwSpare = 0;     // the descendants'

 private:
  BOOL OnCreate();
  void EraseBackground(gui::DeviceContext& dc);

  gui::HFONT m_hFont = nullptr;
  BOOL m_bMarker = FALSE;
  RECT m_rcMarker{0, 0, 0, 0};
  int m_nDragScroll = kScrollNone;
  int m_nHotRow = -1;
  bool m_bTrackingLeave = false;
  std::unique_ptr<gui::ScreenImage> m_pRowBitmap;
  gui::DeviceContext m_dc;
};
