#include "MyListBox.h"

#include <algorithm>

#include "odata/GError.h"

namespace {

constexpr COLORREF kSelectedFace = 0x404444;
constexpr COLORREF kSelectedText = 0xFFFFFF;
constexpr COLORREF kPlainText = 0x111111;

}  // namespace

CMyListBox::CMyListBox() = default;

CMyListBox::~CMyListBox() {
  DestroyWindow();
  m_dc.SelectFont(gui::GetStockFont());
  m_dc.SelectBitmap(nullptr);
}

BOOL CMyListBox::Create(DWORD style, const RECT& rc, gui::GWindow* parent, UINT id) {
  style = (style | WS_CHILD | WS_VSCROLL | LBS_OWNERDRAWFIXED | LBS_NOINTEGRALHEIGHT) & ~WS_BORDER;
  return ListBox::Create(style, rc, parent, id);
}

BOOL CMyListBox::OnCreate() {
  RECT client;
  GetClientRect(&client);
  m_pRowBitmap = gui::CreateCompatibleBitmap(std::max<int>(kRowBitmapWidth, client.right), kRowHeight);
  if (!m_pRowBitmap) return FALSE;
  m_dc.SelectBitmap(m_pRowBitmap.get());
  m_dc.SelectFont(GetFont());
  m_dc.SetPen(gui::PS_SOLID, kGridColor);
  return TRUE;
}

int CMyListBox::RowBitmapWidth() const { return m_pRowBitmap ? m_pRowBitmap->Width() : 0; }

void CMyListBox::PresentRow(const gui::DRAWITEMSTRUCT* dis, int width) {
  dis->pDC->BitBlt(dis->rcItem.left, dis->rcItem.top, width, kRowHeight, m_dc, 0, 0, gui::SRCCOPY);
}

void CMyListBox::ShowDropMarker(const RECT* rc) {
  const auto invert = [this](const RECT& r) {
    if (r.left >= r.right || r.top >= r.bottom) return;
    gui::DeviceContext dc(GetScreenImage());
    dc.InvertRect(r);
  };
  if (m_bMarker) invert(m_rcMarker);
  m_bMarker = rc ? TRUE : FALSE;
  if (!rc) return;
  m_rcMarker = *rc;
  invert(m_rcMarker);
}

RECT CMyListBox::DropMarkerRect(int pressedRow, int gap, const RECT& clip) const {
  RECT rc{};
  if (gap == pressedRow || gap == pressedRow + 1) {
    GetItemRect(pressedRow, &rc);
  } else {
    const LONG y = LONG((gap - GetTopIndex()) * kRowHeight);
    rc = RECT{clip.left, y - 1, clip.right, y + 1};
  }
  rc.left = std::max(rc.left, clip.left);
  rc.top = std::max(rc.top, clip.top);
  rc.right = std::min(rc.right, clip.right);
  rc.bottom = std::min(rc.bottom, clip.bottom);
  return rc;
}

void CMyListBox::StartDragScroll() {
  m_nDragScroll = kScrollNone;
  SetTimer(kDragScrollTimer, 100);
}

void CMyListBox::StopDragScroll() {
  KillTimer(kDragScrollTimer);
  m_nDragScroll = kScrollNone;
}

LRESULT CMyListBox::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_TIMER:
      if (wParam != kDragScrollTimer) break;
      if (m_nDragScroll != kScrollNone) SendMessage(WM_VSCROLL, m_nDragScroll == kScrollUp ? SB_LINEUP : SB_LINEDOWN, 0);
      return 0;
    case WM_CREATE: return OnCreate() ? 0 : -1;
    case WM_ERASEBKGND:
      if (auto* dc = reinterpret_cast<gui::DeviceContext*>(wParam)) EraseBackground(*dc);
      return 1;
    case WM_SIZE: {
      // A row is composed across the whole client width.
      const int width = LOWORD(uintptr_t(lParam));
      if (m_pRowBitmap && width > m_pRowBitmap->Width()) m_pRowBitmap->Resize(width, kRowHeight, kBelowFace);
      ListBox::WindowProc(msg, wParam, lParam);
      FinishWork();
      return 0;
    }
    case WM_VSCROLL:
      if (gui::GetFocus() != GetSafeHwnd()) SetFocus();
      break;
    case WM_MOUSELEAVE:
      m_bTrackingLeave = false;
      SetHotRow(-1);
      return 0;
    // Neither the keys nor a double click change the selection behind the descendant's back.
    case WM_LBUTTONDBLCLK:
    case WM_KEYDOWN: return 0;
    default: break;
  }
  return ListBox::WindowProc(msg, wParam, lParam);
}

void CMyListBox::SetHotRow(int row) {
  if (row == m_nHotRow) return;
  const int old = m_nHotRow;
  m_nHotRow = row;
  RedrawRow(old);
  RedrawRow(row);
  if (row >= 0 && !m_bTrackingLeave) m_bTrackingLeave = TrackMouseEvent(TME_LEAVE) != FALSE;
}

void CMyListBox::EraseBackground(gui::DeviceContext& dc) {
  RECT client;
  GetClientRect(&client);
  const int count = GetCount();
  if (count <= 0) {
    dc.FillSolidRect(client, kEmptyFace);
    return;
  }
  const LONG rowsEnd = LONG((count - GetTopIndex()) * kRowHeight);
  if (rowsEnd < client.bottom) dc.FillSolidRect(RECT{0, rowsEnd, client.right, client.bottom}, kBelowFace);
}

void CMyListBox::MeasureItem(gui::MEASUREITEMSTRUCT* mis) { mis->itemHeight = kRowHeight; }

void CMyListBox::DrawItem(gui::DRAWITEMSTRUCT* dis) {
  if (dis->itemID >= 256) return;
  gui::DeviceContext* dc = dis->pDC;
  const bool selected = dis->itemState == ODS_SELECTED;
  if (selected) dc->FillSolidRect(dis->rcItem, kSelectedFace);
  std::u16string text;
  if (GetText(int(dis->itemID), text) == gui::LB_ERR || text.empty()) return;
  RECT rc{dis->rcItem.left + 2, dis->rcItem.top + 4, dis->rcItem.right - 1, dis->rcItem.bottom - 2};
  const gui::HFONT oldFont = dc->SelectFont(GetFont());
  const int oldMode = dc->SetBkMode(gui::TRANSPARENT);
  const COLORREF oldColour = dc->SetTextColor(selected ? kSelectedText : kPlainText);
  dc->DrawText(text.c_str(), int(text.size()), &rc, gui::DT_SINGLELINE | gui::DT_NOPREFIX);
  dc->SetTextColor(oldColour);
  dc->SetBkMode(oldMode);
  dc->SelectFont(oldFont);
}

int CMyListBox::SetCurSelect(int row) {
  try {
    if (!OnSelChanging(row, GetCurSel())) return 0;
    SetCurSel(row);
    return OnSelChanged();
  }
  GCATCH(GetClassName(), u"::SetCurSelect()", ->AppendArg(GArgInt(row)))
}

BOOL CMyListBox::MoveItemDataPtr(int to, int from) {
  const int count = GetCount();
  if (to == from || to < 0 || from < 0 || to >= count || from >= count) return FALSE;
  void* kept = GetItemDataPtr(from);
  if (to < from) {
    for (int i = from; i > to; --i) SetItemDataPtr(i, GetItemDataPtr(i - 1));
  } else {
    for (int i = from; i < to; ++i) SetItemDataPtr(i, GetItemDataPtr(i + 1));
  }
  SetItemDataPtr(to, kept);
  return TRUE;
}

BOOL CMyListBox::GetItemsRect(RECT* out, BOOL wholeRows) const {
  GetClientRect(out);
  const int count = GetCount();
  const int top = GetTopIndex();
  if (count <= 0 || top < 0) return FALSE;
  const LONG h = LONG((count - top) * kRowHeight);
  if (h < out->bottom) out->bottom = h;
  else if (wholeRows) out->bottom = (out->bottom / kRowHeight) * kRowHeight;
  return TRUE;
}
