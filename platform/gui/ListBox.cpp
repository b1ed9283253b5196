#include "ListBox.h"

#include <algorithm>
#include <cstdlib>

namespace gui {

namespace {

// While a press is tracked with the pointer above or below the rows, the list scrolls a row
// each tick. The id keeps clear of the small ids subclasses use for their own timers.
constexpr UINT_PTR kTrackTimer = 0x4C42;
constexpr UINT kTrackMs = 50;
constexpr int kWheelRows = 3;  // rows a wheel notch scrolls
constexpr int kDefaultRowHeight = 16;
constexpr COLORREF kSelectedFill = RGB(0x44, 0x44, 0x40);

RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
  return r.left < r.right && r.top < r.bottom ? r : RECT{0, 0, 0, 0};
}

}  // namespace

BOOL ListBox::Create(DWORD style, const RECT& rc, GWindow* parent, UINT id) {
  if (GetSafeHwnd()) return FALSE;
  m_style = style;
  m_hParent = parent ? parent->GetSafeHwnd() : nullptr;
  SetDlgCtrlID(id);
  MEASUREITEMSTRUCT mis{ODT_LISTBOX, id, 0, UINT(std::max<LONG>(0, rc.right - rc.left)), kDefaultRowHeight, 0};
  MeasureItem(&mis);
  m_model.SetItemHeight(int(std::min<UINT>(std::max<UINT>(mis.itemHeight, 1), 255)));
  if (!GWindow::Create(parent, rc, style)) return FALSE;
  UpdateScrollBar();
  return TRUE;
}

void ListBox::SetBackgroundColor(COLORREF color) {
  m_background = color;
  GWindow::SetBackgroundColor(color);
}

// ---- the system's wrappers ------------------------------------------------------------------

LRESULT ListBox::Query(UINT msg, WPARAM wParam, LPARAM lParam) const {
  return const_cast<ListBox*>(this)->SendMessage(msg, wParam, lParam);
}

int ListBox::AddString(const char16_t* text) { return int(SendMessage(LB_ADDSTRING, 0, LPARAM(text))); }
int ListBox::InsertString(int index, const char16_t* text) {
  return int(SendMessage(LB_INSERTSTRING, WPARAM(intptr_t(index)), LPARAM(text)));
}
int ListBox::DeleteString(UINT index) { return int(SendMessage(LB_DELETESTRING, index)); }
void ListBox::ResetContent() { SendMessage(LB_RESETCONTENT); }
int ListBox::GetCount() const { return int(Query(LB_GETCOUNT)); }
int ListBox::GetCurSel() const { return int(Query(LB_GETCURSEL)); }
int ListBox::SetCurSel(int index) { return int(SendMessage(LB_SETCURSEL, WPARAM(intptr_t(index)))); }
int ListBox::GetTopIndex() const { return int(Query(LB_GETTOPINDEX)); }
int ListBox::SetTopIndex(int index) { return int(SendMessage(LB_SETTOPINDEX, WPARAM(intptr_t(index)))); }
int ListBox::GetItemRect(int index, RECT* rc) const {
  return int(Query(LB_GETITEMRECT, WPARAM(intptr_t(index)), LPARAM(rc)));
}
uintptr_t ListBox::GetItemData(int index) const { return uintptr_t(Query(LB_GETITEMDATA, WPARAM(intptr_t(index)))); }
int ListBox::SetItemData(int index, uintptr_t data) {
  return int(SendMessage(LB_SETITEMDATA, WPARAM(intptr_t(index)), LPARAM(data)));
}
void* ListBox::GetItemDataPtr(int index) const { return reinterpret_cast<void*>(GetItemData(index)); }
int ListBox::SetItemDataPtr(int index, void* data) { return SetItemData(index, reinterpret_cast<uintptr_t>(data)); }

UINT ListBox::ItemFromPoint(POINT pt, BOOL& outside) const {
  DWORD r = DWORD(Query(LB_ITEMFROMPOINT, 0, MakePointLParam(pt.x, pt.y)));
  outside = HIWORD(r) != 0;
  return LOWORD(r);
}

int ListBox::GetText(int index, char16_t* buffer) const {
  return int(Query(LB_GETTEXT, WPARAM(intptr_t(index)), LPARAM(buffer)));
}

int ListBox::GetText(int index, std::u16string& text) const {
  int len = GetTextLen(index);
  if (len < 0) return len;
  std::u16string buffer(size_t(len) + 1, u'\0');
  GetText(index, buffer.data());
  buffer.resize(size_t(len));
  text = std::move(buffer);
  return len;
}

int ListBox::GetTextLen(int index) const { return int(Query(LB_GETTEXTLEN, WPARAM(intptr_t(index)))); }
int ListBox::GetItemHeight(int index) const { return int(Query(LB_GETITEMHEIGHT, WPARAM(intptr_t(index)))); }

// ---- messages -------------------------------------------------------------------------------

LRESULT ListBox::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  const int index = int(intptr_t(wParam));
  const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  switch (msg) {
    case LB_ADDSTRING:
    case LB_INSERTSTRING: {
      LRESULT at = m_model.HandleMessage(msg, wParam, lParam, ClientWidth(), ClientHeight());
      if (at >= 0) {
        InvalidateFrom(int(at));
        UpdateScrollBar();
      }
      return at;
    }
    case LB_DELETESTRING: return Delete(index);
    case LB_RESETCONTENT: Reset(); return 0;
    case LB_SETCURSEL: return Select(index);
    case LB_SETTOPINDEX:
      if (index < 0 || index >= m_model.GetCount()) return LB_ERR;
      ScrollTo(index);
      return LB_OKAY;
    case LB_SETITEMDATA: {
      LRESULT r = m_model.SetItemData(index, uintptr_t(lParam));
      if (r == LB_OKAY) InvalidateRow(index);
      return r;
    }
    case LB_SETITEMHEIGHT: return SetHeight(LOWORD(uintptr_t(lParam)));
    case WM_PAINT: OnPaint(); return 0;
    case WM_ERASEBKGND: {
      auto* dc = reinterpret_cast<DeviceContext*>(wParam);
      if (!dc) return 0;
      dc->FillSolidRect(RECT{0, 0, ClientWidth(), ClientHeight()}, m_background);
      return 1;
    }
    case WM_SIZE:
      if (m_model.GetCount() && m_model.GetTopIndex() > MaxTop()) m_model.SetTopIndex(MaxTop());
      UpdateScrollBar();
      Invalidate();
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: InvalidateRow(m_model.GetCurSel()); return 0;
    case WM_LBUTTONDOWN: OnButtonDown(pt, false); return 0;
    case WM_LBUTTONDBLCLK: OnButtonDown(pt, true); return 0;
    case WM_MOUSEMOVE:
      if (m_bTracking) OnMouseMove(pt);
      return 0;
    case WM_LBUTTONUP:
      if (!m_bTracking) return 0;
      EndTracking();
      if (GetCapture() == GetSafeHwnd()) ReleaseCapture();
      return 0;
    case WM_CAPTURECHANGED: EndTracking(); return 0;
    case WM_TIMER:
      if (wParam == kTrackTimer) OnTrackTimer();
      return 0;
    case WM_MOUSEWHEEL:
      ScrollTo(m_model.GetTopIndex() - GET_WHEEL_DELTA_WPARAM(wParam) * kWheelRows / WHEEL_DELTA);
      return 0;
    case WM_VSCROLL: OnVScroll(LOWORD(wParam), HIWORD(wParam)); return 0;
    case WM_KEYDOWN: OnKey(UINT(wParam)); return 0;
    default:
      if (msg >= LB_ADDSTRING && msg <= LB_ITEMFROMPOINT)
        return m_model.HandleMessage(msg, wParam, lParam, ClientWidth(), ClientHeight());
      return DefWindowProc(msg, wParam, lParam);
  }
}

int ListBox::Delete(int index) {
  const int top = m_model.GetTopIndex();
  int left = m_model.DeleteItem(index);
  if (left < 0) return left;
  // Fewer rows may now leave room at the bottom: the rows come down to fill it.
  if (left && m_model.GetTopIndex() > MaxTop()) m_model.SetTopIndex(MaxTop());
  if (m_model.GetTopIndex() != top) Invalidate();
  else InvalidateFrom(index);
  UpdateScrollBar();
  return left;
}

void ListBox::Reset() {
  m_model.ResetContent();
  Invalidate();
  UpdateScrollBar();
}

int ListBox::Select(int index) {
  const int old = m_model.GetCurSel();
  int r = m_model.SetCurSel(index);
  if (m_model.GetCurSel() != old) {
    InvalidateRow(old);
    InvalidateRow(m_model.GetCurSel());
  }
  const int top = m_model.GetTopIndex();
  if (r >= 0 && m_model.EnsureVisible(r, ClientHeight())) {
    // EnsureVisible moved the model's top; scroll the window there from the old top.
    const int want = m_model.GetTopIndex();
    m_model.SetTopIndex(top);
    ScrollTo(want);
  }
  return r;
}

int ListBox::SetHeight(int height) {
  int r = m_model.SetItemHeight(height);
  if (r < 0) return r;
  if (m_model.GetCount() && m_model.GetTopIndex() > MaxTop()) m_model.SetTopIndex(MaxTop());
  Invalidate();
  UpdateScrollBar();
  return r;
}

// ---- painting -------------------------------------------------------------------------------

void ListBox::OnPaint() {
  const RECT client{0, 0, ClientWidth(), ClientHeight()};
  RECT update;
  if (!GetUpdateRect(&update)) update = client;  // sent outside a paint: everything
  update = Intersect(update, client);
  DeviceContext dc(GetScreenImage());
  dc.SetClipRect(&update);
  SendMessage(WM_ERASEBKGND, WPARAM(&dc), 0);
  const int count = m_model.GetCount();
  if (!count || update.bottom <= update.top) return;
  const int height = m_model.GetItemHeight(), top = m_model.GetTopIndex();
  const int first = top + update.top / height;
  const int last = std::min(count - 1, top + (update.bottom - 1) / height);
  for (int row = first; row <= last; ++row) DrawRow(dc, row, update);
}

void ListBox::DrawRow(DeviceContext& dc, int row, const RECT& clip) {
  DRAWITEMSTRUCT dis{ODT_LISTBOX, GetDlgCtrlID(), UINT(row), ODA_DRAWENTIRE, 0, GetSafeHwnd(), &dc,
                     RECT{}, m_model.GetItemData(row)};
  m_model.GetItemRect(row, ClientWidth(), &dis.rcItem);
  if (row == m_model.GetCurSel()) dis.itemState = ODS_SELECTED | (GetFocus() == GetSafeHwnd() ? ODS_FOCUS : 0);
  const RECT rowClip = Intersect(dis.rcItem, clip);
  dc.SetClipRect(&rowClip);
  DrawItem(&dis);
}

void ListBox::RedrawRow(int row) {
  if (row < 0 || row >= m_model.GetCount() || !GetSafeHwnd()) return;
  RECT rc;
  m_model.GetItemRect(row, ClientWidth(), &rc);
  const RECT clip = Intersect(rc, RECT{0, 0, ClientWidth(), ClientHeight()});
  if (clip.left >= clip.right || clip.top >= clip.bottom) return;
  DeviceContext dc(GetScreenImage());
  DrawRow(dc, row, clip);
}

void ListBox::MeasureItem(MEASUREITEMSTRUCT*) {}

void ListBox::DrawItem(DRAWITEMSTRUCT* dis) {
  DeviceContext* dc = dis->pDC;
  const bool selected = dis->itemState & ODS_SELECTED;
  if (selected) dc->FillSolidRect(dis->rcItem, kSelectedFill);
  // The row's text, transparent, on one line, inset from the row's edges.
  std::u16string text;
  if (GetText(int(dis->itemID), text) == LB_ERR || text.empty()) return;
  RECT rc{dis->rcItem.left + 2, dis->rcItem.top + 4, dis->rcItem.right - 1, dis->rcItem.bottom - 2};
  const int oldMode = dc->SetBkMode(TRANSPARENT);
  const COLORREF oldColour = dc->SetTextColor(selected ? 0xFFFFFF : 0x111111);
  dc->DrawText(text.c_str(), int(text.size()), &rc, DT_SINGLELINE | DT_NOPREFIX);
  dc->SetTextColor(oldColour);
  dc->SetBkMode(oldMode);
}

// ---- mouse and keys -------------------------------------------------------------------------

void ListBox::OnButtonDown(POINT pt, bool dblclk) {
  SetFocus();
  if (GetCapture() != GetSafeHwnd()) SetCapture();
  m_bTracking = true;
  m_trackPoint = pt;
  DWORD hit = m_model.ItemFromPoint(pt, ClientWidth(), ClientHeight());
  if (!m_model.GetCount() || HIWORD(hit)) return;
  UserSelect(LOWORD(hit));
  if (dblclk) Notify(LBN_DBLCLK);
}

// Dragging with the button down moves the selection to the row under the pointer; above or
// below the rows the track timer scrolls instead.
void ListBox::OnMouseMove(POINT pt) {
  m_trackPoint = pt;
  if (pt.y < 0 || pt.y >= ClientHeight()) {
    if (!m_bTrackTimer) m_bTrackTimer = SetTimer(kTrackTimer, kTrackMs) != 0;
    return;
  }
  if (m_bTrackTimer) {
    KillTimer(kTrackTimer);
    m_bTrackTimer = false;
  }
  if (m_model.GetCount()) UserSelect(LOWORD(m_model.ItemFromPoint(pt, ClientWidth(), ClientHeight())));
}

void ListBox::OnTrackTimer() {
  const int count = m_model.GetCount();
  if (!m_bTracking || !count || (m_trackPoint.y >= 0 && m_trackPoint.y < ClientHeight())) {
    KillTimer(kTrackTimer);
    m_bTrackTimer = false;
    return;
  }
  const bool up = m_trackPoint.y < 0;
  ScrollTo(m_model.GetTopIndex() + (up ? -1 : 1));
  const int top = m_model.GetTopIndex();
  UserSelect(up ? top : std::min(count - 1, top + GetVisibleRows() - 1));
}

void ListBox::EndTracking() {
  m_bTracking = false;
  if (m_bTrackTimer) KillTimer(kTrackTimer);
  m_bTrackTimer = false;
}

void ListBox::OnKey(UINT vk) {
  const int count = m_model.GetCount();
  if (!count) return;
  const int cur = m_model.GetCurSel(), top = m_model.GetTopIndex();
  const int step = std::max(1, GetVisibleRows() - 1);
  int to;
  switch (vk) {
    case VK_UP: to = cur < 0 ? top : cur - 1; break;
    case VK_DOWN: to = cur < 0 ? top : cur + 1; break;
    case VK_PRIOR: to = cur < 0 ? top : cur - step; break;
    case VK_NEXT: to = cur < 0 ? top : cur + step; break;
    case VK_HOME: to = 0; break;
    case VK_END: to = count - 1; break;
    default: return;
  }
  UserSelect(std::clamp(to, 0, count - 1));
}

void ListBox::OnVScroll(WORD code, WORD thumb) {
  const int top = m_model.GetTopIndex(), page = GetVisibleRows();
  switch (code) {
    case SB_LINEUP: ScrollTo(top - 1); break;
    case SB_LINEDOWN: ScrollTo(top + 1); break;
    case SB_PAGEUP: ScrollTo(top - page); break;
    case SB_PAGEDOWN: ScrollTo(top + page); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: ScrollTo(thumb); break;
    case SB_TOP: ScrollTo(0); break;
    case SB_BOTTOM: ScrollTo(MaxTop()); break;
    default: break;
  }
}

void ListBox::UserSelect(int index) {
  const int old = m_model.GetCurSel();
  Select(index);
  if (m_model.GetCurSel() != old) Notify(LBN_SELCHANGE);
}

void ListBox::Notify(WORD code) {
  if (!(m_style & LBS_NOTIFY) || !m_hParent) return;
  gui::SendMessage(m_hParent, WM_COMMAND, MAKEWPARAM(WORD(GetDlgCtrlID()), code), LPARAM(GetSafeHwnd()));
}

// ---- scrolling and geometry -----------------------------------------------------------------

int ListBox::GetVisibleRows() const { return std::max(1, m_model.GetVisibleCount(ClientHeight())); }

int ListBox::MaxTop() const { return std::max(0, m_model.GetCount() - GetVisibleRows()); }

void ListBox::ScrollTo(int top) {
  const int old = m_model.GetTopIndex();
  top = std::clamp(top, 0, MaxTop());
  if (top == old) return;
  m_model.SetTopIndex(top);
  SetScrollPos(SB_VERT, top);
  // The rows still shown move with their pixels; only the uncovered band is drawn anew. With
  // a repaint pending (its area would move under it) or a jump past the client, all is.
  const int w = ClientWidth(), h = ClientHeight();
  const int dy = (old - top) * m_model.GetItemHeight();
  if (std::abs(dy) >= h || GetUpdateRect(nullptr)) {
    Invalidate();
    return;
  }
  ScreenImage* image = GetScreenImage();
  DeviceContext dc(image);
  RECT uncovered;
  if (dy > 0) {
    dc.BitBlt(0, dy, w, h - dy, *image, 0, 0);
    uncovered = RECT{0, 0, w, dy};
  } else {
    dc.BitBlt(0, 0, w, h + dy, *image, 0, -dy);
    uncovered = RECT{0, h + dy, w, h};
  }
  InvalidateRect(&uncovered);
}

void ListBox::UpdateScrollBar() {
  SCROLLINFO si{sizeof(SCROLLINFO), SIF_RANGE | SIF_PAGE | SIF_POS, 0, std::max(0, m_model.GetCount() - 1),
                UINT(GetVisibleRows()), m_model.GetTopIndex(), 0};
  SetScrollInfo(SB_VERT, &si, TRUE);
}

void ListBox::InvalidateRow(int index) {
  RECT rc;
  if (m_model.GetItemRect(index, ClientWidth(), &rc) == LB_OKAY) InvalidateRect(&rc);
}

void ListBox::InvalidateFrom(int index) {
  const int y = std::max(0, (index - m_model.GetTopIndex()) * m_model.GetItemHeight());
  const RECT rc{0, y, ClientWidth(), ClientHeight()};
  if (rc.top < rc.bottom) InvalidateRect(&rc);
}

int ListBox::ClientWidth() const {
  RECT rc;
  GetClientRect(&rc);
  return rc.right;
}

int ListBox::ClientHeight() const {
  RECT rc;
  GetClientRect(&rc);
  return rc.bottom;
}

}  // namespace gui
