#include "ListBoxModel.h"

#include <algorithm>

#include "Messages.h"

namespace gui {

int ListBoxModel::InsertItem(int index, uintptr_t data, std::u16string_view text) {
  int count = GetCount();
  if (index == -1) index = count;
  if (index < 0 || index > count) return int(LB_ERR);
  m_items.insert(m_items.begin() + index, Row{data, std::u16string(text)});
  if (m_curSel >= index) ++m_curSel;
  return index;
}

int ListBoxModel::DeleteItem(int index) {
  if (!Valid(index)) return int(LB_ERR);
  m_items.erase(m_items.begin() + index);
  if (m_curSel == index) m_curSel = -1;
  else if (m_curSel > index) --m_curSel;
  m_top = std::clamp(m_top, 0, std::max(0, GetCount() - 1));
  return GetCount();
}

void ListBoxModel::ResetContent() {
  m_items.clear();
  m_curSel = -1;
  m_top = 0;
}

uintptr_t ListBoxModel::GetItemData(int index) const {
  return Valid(index) ? m_items[size_t(index)].data : uintptr_t(LB_ERR);
}

int ListBoxModel::SetItemData(int index, uintptr_t data) {
  if (!Valid(index)) return int(LB_ERR);
  m_items[size_t(index)].data = data;
  return int(LB_OKAY);
}

int ListBoxModel::GetText(int index, std::u16string* text) const {
  if (!Valid(index)) return int(LB_ERR);
  if (text) *text = m_items[size_t(index)].text;
  return int(m_items[size_t(index)].text.size());
}

int ListBoxModel::SetItemHeight(int height) {
  if (height < 1 || height > 255) return int(LB_ERR);
  m_itemHeight = height;
  return int(LB_OKAY);
}

int ListBoxModel::SetCurSel(int index) {
  if (index == -1) {
    m_curSel = -1;
    return int(LB_ERR);
  }
  if (!Valid(index)) return int(LB_ERR);
  m_curSel = index;
  return index;
}

int ListBoxModel::SetTopIndex(int index) {
  if (!Valid(index)) return int(LB_ERR);
  m_top = index;
  return int(LB_OKAY);
}

int ListBoxModel::GetItemRect(int index, int clientWidth, RECT* rc) const {
  if (!Valid(index) || !rc) return int(LB_ERR);
  LONG top = LONG(index - m_top) * m_itemHeight;
  *rc = RECT{0, top, clientWidth, top + m_itemHeight};
  return int(LB_OKAY);
}

DWORD ListBoxModel::ItemFromPoint(POINT pt, int clientWidth, int clientHeight) const {
  int count = GetCount();
  if (count == 0) return 0x10000;
  bool outside = pt.x < 0 || pt.x >= clientWidth || pt.y < 0 || pt.y >= clientHeight;
  int row = pt.y < 0 ? m_top - 1 - (-pt.y - 1) / m_itemHeight : m_top + pt.y / m_itemHeight;
  if (row >= count) {
    outside = true;
    row = count - 1;
  }
  row = std::max(row, 0);
  return DWORD(row) | (outside ? 0x10000u : 0u);
}

int ListBoxModel::HitTest(POINT pt, int clientWidth, int clientHeight) const {
  DWORD r = ItemFromPoint(pt, clientWidth, clientHeight);
  return (r >> 16) ? -1 : int(r & 0xFFFF);
}

BOOL ListBoxModel::EnsureVisible(int index, int clientHeight) {
  if (!Valid(index)) return FALSE;
  int shown = std::max(1, GetVisibleCount(clientHeight));
  int top = m_top;
  if (index < top) top = index;
  else if (index >= top + shown) top = index - shown + 1;
  if (top == m_top) return FALSE;
  m_top = top;
  return TRUE;
}

LRESULT ListBoxModel::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, int clientWidth,
                                    int clientHeight) {
  int index = int(intptr_t(wParam));
  switch (msg) {
    case LB_GETCOUNT: return GetCount();
    case LB_GETCURSEL: return m_curSel;
    case LB_SETCURSEL: return SetCurSel(index);
    case LB_ADDSTRING:
    case LB_INSERTSTRING: {
      auto* text = reinterpret_cast<const char16_t*>(lParam);
      return InsertItem(msg == LB_ADDSTRING ? -1 : index, 0, text ? std::u16string_view(text) : std::u16string_view());
    }
    case LB_DELETESTRING: return DeleteItem(index);
    case LB_RESETCONTENT: ResetContent(); return 0;
    case LB_GETITEMDATA: return LRESULT(GetItemData(index));
    case LB_SETITEMDATA: return SetItemData(index, uintptr_t(lParam));
    case LB_GETTOPINDEX: return m_top;
    case LB_SETTOPINDEX: return SetTopIndex(index);
    case LB_GETITEMHEIGHT: return m_itemHeight;
    case LB_SETITEMHEIGHT: return SetItemHeight(LOWORD(uintptr_t(lParam)));
    case LB_GETTEXTLEN: return GetTextLen(index);
    case LB_GETTEXT: {
      std::u16string text;
      int len = GetText(index, &text);
      if (len >= 0 && lParam)
        std::char_traits<char16_t>::copy(reinterpret_cast<char16_t*>(lParam), text.c_str(), text.size() + 1);
      return len;
    }
    case LB_GETITEMRECT: return GetItemRect(index, clientWidth, reinterpret_cast<RECT*>(lParam));
    case LB_ITEMFROMPOINT:
      return LRESULT(ItemFromPoint(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, clientWidth, clientHeight));
    case LB_INITSTORAGE:
      m_items.reserve(m_items.size() + size_t(index));
      return LRESULT(m_items.capacity());
    default: return LB_ERR;
  }
}

}  // namespace gui
