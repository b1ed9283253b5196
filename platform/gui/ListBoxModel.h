// The model of an owner-drawn list box with fixed row heights: rows with a text and
// pointer-sized item data, the selection, the top row, and the geometry of rows in a client
// area of a given height. No widget and no Qt: the list box window (ListBox.h) shows it.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/Types.h"

namespace gui {

// List box messages and answers, numbered as the system numbers them.
constexpr UINT LB_ADDSTRING = 0x0180;
constexpr UINT LB_INSERTSTRING = 0x0181;
constexpr UINT LB_DELETESTRING = 0x0182;
constexpr UINT LB_RESETCONTENT = 0x0184;
constexpr UINT LB_SETCURSEL = 0x0186;
constexpr UINT LB_GETCURSEL = 0x0188;
constexpr UINT LB_GETTEXT = 0x0189;
constexpr UINT LB_GETTEXTLEN = 0x018A;
constexpr UINT LB_GETCOUNT = 0x018B;
constexpr UINT LB_GETTOPINDEX = 0x018E;
constexpr UINT LB_GETITEMRECT = 0x0198;
constexpr UINT LB_GETITEMDATA = 0x0199;
constexpr UINT LB_SETITEMDATA = 0x019A;
constexpr UINT LB_SETTOPINDEX = 0x0197;
constexpr UINT LB_SETITEMHEIGHT = 0x01A0;
constexpr UINT LB_GETITEMHEIGHT = 0x01A1;
constexpr UINT LB_INITSTORAGE = 0x01A8;
constexpr UINT LB_ITEMFROMPOINT = 0x01A9;
constexpr LRESULT LB_OKAY = 0;
constexpr LRESULT LB_ERR = -1;
constexpr LRESULT LB_ERRSPACE = -2;

class ListBoxModel {
 public:
  explicit ListBoxModel(int itemHeight = 20) : m_itemHeight(itemHeight > 0 ? itemHeight : 1) {}

  int GetCount() const { return int(m_items.size()); }
  // Inserts a row before index (-1 or the count: at the end) and returns its index, LB_ERR
  // for an index beyond the end. The selection stays on its row.
  int InsertItem(int index, uintptr_t data = 0, std::u16string_view text = {});
  int AddItem(uintptr_t data = 0, std::u16string_view text = {}) { return InsertItem(-1, data, text); }
  // Removes a row; returns the rows left, LB_ERR for a bad index. The selection stays on its
  // row and is lost with it; the top index is kept within the rows.
  int DeleteItem(int index);
  void ResetContent();

  // LB_ERR for a bad index.
  uintptr_t GetItemData(int index) const;
  int SetItemData(int index, uintptr_t data);
  // The row's text (LB_ERR for a bad index, else its length).
  int GetText(int index, std::u16string* text) const;
  int GetTextLen(int index) const { return Valid(index) ? int(m_items[size_t(index)].text.size()) : int(LB_ERR); }
  template <class T>
  T* GetItemPtr(int index) const {
    uintptr_t d = GetItemData(index);
    return d == uintptr_t(LB_ERR) ? nullptr : reinterpret_cast<T*>(d);
  }

  // The selected row, LB_ERR without one.
  int GetCurSel() const { return m_curSel; }
  // Selects a row (-1 clears the selection and answers LB_ERR); LB_ERR for a bad index.
  int SetCurSel(int index);

  int GetTopIndex() const { return m_top; }
  // Makes index the first row shown (clamped to the rows); LB_ERR for a bad index.
  int SetTopIndex(int index);

  int GetItemHeight() const { return m_itemHeight; }
  // Heights run from 1 to 255 pixels; LB_ERR for others.
  int SetItemHeight(int height);
  // The rows a client area of that height shows whole.
  int GetVisibleCount(int clientHeight) const { return clientHeight / m_itemHeight; }

  // The rectangle of a row in a client area of that width (it may lie outside the area
  // above or below); LB_ERR for a bad index.
  int GetItemRect(int index, int clientWidth, RECT* rc) const;
  // The row at a client point as the system answers LB_ITEMFROMPOINT: the row index in the
  // low word and 1 in the high word when the point lies below the last row or outside the
  // client area (the index is then the nearest row).
  DWORD ItemFromPoint(POINT pt, int clientWidth, int clientHeight) const;
  // The row at a client point, or -1.
  int HitTest(POINT pt, int clientWidth, int clientHeight) const;
  // Scrolls as little as needed so that a row is shown whole; TRUE when the top changed.
  BOOL EnsureVisible(int index, int clientHeight);

  // Answers the list box messages above in the system's manner (lParam of LB_ADDSTRING and
  // LB_INSERTSTRING is the row's text, a char16_t* or null, the row's data starting at 0; of
  // LB_GETTEXT a buffer of at least LB_GETTEXTLEN + 1 characters; of LB_GETITEMRECT a RECT*;
  // of LB_ITEMFROMPOINT the packed client point; of LB_SETITEMHEIGHT the height in its low
  // word; the client size is passed in).
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, int clientWidth, int clientHeight);

 private:
  bool Valid(int index) const { return index >= 0 && index < GetCount(); }

  struct Row {
    uintptr_t data;
    std::u16string text;
  };
  std::vector<Row> m_items;
  int m_itemHeight;
  int m_curSel = -1;
  int m_top = 0;
};

}  // namespace gui
