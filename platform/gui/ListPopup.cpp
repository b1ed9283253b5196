#include "ListPopup.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kBorder = 1;        // the popup's frame, each side
constexpr int kStripWidth = 12;   // the scroll strip of a list longer than the popup
constexpr int kMinThumb = 12;
constexpr COLORREF kStripFill = RGB(0xE8, 0xEC, 0xEC);
constexpr COLORREF kThumbFill = RGB(0xA8, 0xAC, 0xAC);
// Posted to itself by Popup: until it arrives, losing the mouse does not cancel, and it takes
// the mouse back. The opener may let go of its own press's capture after opening the popup
// (a list does on the release that opened it), which releases the popup's too.
constexpr UINT kSettled = WM_USER + 0x50;

bool PtIn(const RECT& rc, POINT pt) { return pt.x >= rc.left && pt.x < rc.right && pt.y >= rc.top && pt.y < rc.bottom; }

bool IsButtonDown(UINT msg) {
  return msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK || msg == WM_RBUTTONDOWN || msg == WM_RBUTTONDBLCLK ||
         msg == WM_MBUTTONDOWN || msg == WM_MBUTTONDBLCLK;
}

}  // namespace

// The list inside: 20-pixel rows drawn in the popup's font. Its input is the popup's: the keys
// and the wheel go to the popup, and so does the mouse (the list sits at the popup's client
// origin, so the points need no change).
class CListPopup::PopupList final : public gui::ListBox {
 public:
  explicit PopupList(CListPopup* popup) : m_popup(popup) {}
  // The list box's own handling of a message.
  LRESULT Base(UINT msg, WPARAM wParam, LPARAM lParam) { return ListBox::WindowProc(msg, wParam, lParam); }

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == WM_KEYDOWN || msg == WM_MOUSEWHEEL || (msg >= WM_MOUSEMOVE && msg <= WM_MBUTTONDBLCLK))
      return m_popup->WindowProc(msg, wParam, lParam);
    return Base(msg, wParam, lParam);
  }

 protected:
  void MeasureItem(gui::MEASUREITEMSTRUCT* mis) override { mis->itemHeight = kRowHeight; }
  void DrawItem(gui::DRAWITEMSTRUCT* dis) override {
    const gui::HFONT old = dis->pDC->SelectFont(m_popup->m_font);
    ListBox::DrawItem(dis);
    dis->pDC->SelectFont(old);
  }

 private:
  CListPopup* m_popup;
};

CListPopup::CListPopup() = default;

CListPopup::~CListPopup() {
  m_pList.reset();
  DestroyWindow();
}

BOOL CListPopup::Create(gui::GWindow* owner, gui::HFONT font) {
  if (GetSafeHwnd() || !owner || !owner->GetWidget()) return FALSE;
  m_font = font;
  SetDoubleClicks(false);
  const RECT rc{0, 0, 100, kRowHeight + 2 * kBorder};
  if (!CreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, owner, rc, WS_POPUP | WS_BORDER)) return FALSE;
  m_pList = std::make_unique<PopupList>(this);
  if (!m_pList->Create(WS_CHILD | WS_VISIBLE | LBS_OWNERDRAWFIXED | LBS_NOINTEGRALHEIGHT,
                       RECT{0, 0, rc.right - 2 * kBorder, kRowHeight}, this, 1)) {
    m_pList.reset();
    DestroyWindow();
    return FALSE;
  }
  return TRUE;
}

gui::ListBox* CListPopup::GetListBox() { return m_pList.get(); }

BOOL CListPopup::Popup(const RECT& anchor, int width, int visibleRows, int selectedRow) {
  if (!m_pList || !GetSafeHwnd()) return FALSE;
  const int count = m_pList->GetCount();
  int rows = std::max(1, std::min(visibleRows, count));
  // Below the anchor when the rows fit there, else above; when neither side holds them, on
  // the roomier side with as many rows as fit.
  const RECT area = gui::GetWorkArea(POINT{anchor.left, anchor.bottom});
  const int below = area.bottom - anchor.bottom, above = anchor.top - area.top;
  bool up = false;
  if (rows * kRowHeight + 2 * kBorder > below) {
    up = rows * kRowHeight + 2 * kBorder <= above || above > below;
    const int room = up ? above : below;
    rows = std::max(1, std::min(rows, (room - 2 * kBorder) / kRowHeight));
  }
  const int h = rows * kRowHeight + 2 * kBorder;
  const int w = std::max(2 * kBorder + kStripWidth + 1, std::min<int>(width, area.right - area.left));
  const int x = std::max<int>(area.left, std::min<int>(anchor.left, area.right - w));
  const int y = up ? anchor.top - h : anchor.bottom;

  m_bStrip = count > rows;
  const int listWidth = w - 2 * kBorder - (m_bStrip ? kStripWidth : 0);
  m_pList->MoveWindow(RECT{0, 0, listWidth, h - 2 * kBorder});
  const int sel = selectedRow >= 0 && selectedRow < count ? selectedRow : -1;
  // The row shown first is the selected one, as far as the last page allows.
  if (count) m_pList->SetTopIndex(std::max(0, sel));
  m_pList->SetCurSel(sel);
  m_nOpenedSel = sel;
  m_bStripPress = m_bThumbDrag = false;
  m_bOpen = true;
  Invalidate();
  SetWindowPos(gui::HWND_TOP, x, y, w, h, SWP_SHOWWINDOW);
  m_pList->SetFocus();
  SetCapture();
  m_bSettling = PostMessage(kSettled, ++m_generation) != FALSE;
  return TRUE;
}

void CListPopup::Hide() {
  if (!m_bOpen) return;
  m_bOpen = false;
  m_bStripPress = m_bThumbDrag = false;
  if (gui::GetCapture() == GetSafeHwnd()) gui::ReleaseCapture();  // our own WM_CAPTURECHANGED: closed already
  ShowWindow(SW_HIDE);
}

void CListPopup::Close(bool chosen) {
  if (!m_bOpen) return;
  if (!chosen) m_pList->SetCurSel(m_nOpenedSel);
  Hide();
  // Posted: the owner's answer runs after the input event that closed the popup, so it may
  // destroy the popup (and the widgets that event is being delivered to).
  gui::PostMessage(GetOwner(), WM_MYPOPUPCLOSED, chosen ? 1 : 0, LPARAM(GetSafeHwnd()));
}

LRESULT CListPopup::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_PAINT: OnPaint(); return 0;
    case WM_KEYDOWN: OnKey(UINT(wParam)); return 0;
    case WM_MOUSEWHEEL:
      if (m_bOpen) ListInput(msg, wParam, lParam);
      return 0;
    case WM_CAPTURECHANGED:
      if (m_bOpen && !m_bSettling && HWND(lParam) != GetSafeHwnd()) Close(false);
      return 0;
    case kSettled:
      if (wParam != WPARAM(m_generation)) return 0;
      m_bSettling = false;
      if (m_bOpen && gui::GetCapture() != GetSafeHwnd()) SetCapture();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) break;
      Close(false);
      return 0;
    case WM_CLOSE: Close(false); return 0;  // hidden, never destroyed by the user
    default:
      if (msg >= WM_MOUSEMOVE && msg <= WM_MBUTTONDBLCLK) {
        OnMouse(msg, wParam, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
      }
      break;
  }
  return DefWindowProc(msg, wParam, lParam);
}

void CListPopup::OnMouse(UINT msg, WPARAM wParam, POINT pt) {
  if (!m_bOpen) return;
  RECT client;
  GetClientRect(&client);
  RECT rows;
  m_pList->GetClientRect(&rows);
  auto rowAt = [&]() -> int {
    BOOL outside = FALSE;
    const UINT row = PtIn(rows, pt) ? m_pList->ItemFromPoint(pt, outside) : 0;
    return PtIn(rows, pt) && !outside ? int(row) : -1;
  };
  if (IsButtonDown(msg)) {
    // The frame counts as the popup; a press anywhere else ends it.
    const RECT frame{client.left - kBorder, client.top - kBorder, client.right + kBorder, client.bottom + kBorder};
    if (!PtIn(frame, pt)) {
      Close(false);
      return;
    }
    if (msg != WM_LBUTTONDOWN && msg != WM_LBUTTONDBLCLK) return;
    m_bStripPress = PtIn(StripRect(), pt);
    if (m_bStripPress) {
      const RECT thumb = ThumbRect();
      const int top = m_pList->GetTopIndex(), page = m_pList->GetVisibleRows();
      if (pt.y < thumb.top) ScrollTo(top - page);
      else if (pt.y >= thumb.bottom) ScrollTo(top + page);
      else {
        m_bThumbDrag = true;
        m_thumbGrab = pt.y - thumb.top;
      }
    } else if (const int row = rowAt(); row >= 0) {
      m_pList->SetCurSel(row);
    }
    return;
  }
  switch (msg) {
    case WM_MOUSEMOVE:
      if (m_bThumbDrag && (wParam & MK_LBUTTON)) {
        const RECT thumb = ThumbRect();
        const int track = (client.bottom - client.top) - (thumb.bottom - thumb.top);
        ScrollTo(track > 0 ? int(std::lround(double(pt.y - m_thumbGrab) * MaxTop() / track)) : 0);
        return;
      }
      m_bThumbDrag = false;
      if (const int row = rowAt(); row >= 0 && row != m_pList->GetCurSel()) m_pList->SetCurSel(row);
      return;
    case WM_LBUTTONUP: {
      const bool fromStrip = m_bStripPress;
      m_bStripPress = m_bThumbDrag = false;
      const int row = rowAt();
      if (fromStrip || row < 0) return;  // a release elsewhere (the opener's own click) goes on
      m_pList->SetCurSel(row);
      Close(true);
      return;
    }
    default: return;
  }
}

void CListPopup::OnKey(UINT vk) {
  if (!m_bOpen) return;
  switch (vk) {
    case VK_RETURN: Close(m_pList->GetCurSel() >= 0); return;
    case VK_ESCAPE: Close(false); return;
    default: ListInput(WM_KEYDOWN, vk, 0); return;
  }
}

void CListPopup::ListInput(UINT msg, WPARAM wParam, LPARAM lParam) {
  const int top = m_pList->GetTopIndex();
  m_pList->Base(msg, wParam, lParam);
  if (m_pList->GetTopIndex() != top) {
    const RECT strip = StripRect();
    InvalidateRect(&strip);
  }
}

void CListPopup::ScrollTo(int top) { ListInput(gui::LB_SETTOPINDEX, WPARAM(std::clamp(top, 0, MaxTop())), 0); }

int CListPopup::MaxTop() const { return std::max(0, m_pList->GetCount() - m_pList->GetVisibleRows()); }

RECT CListPopup::StripRect() const {
  RECT client;
  GetClientRect(&client);
  if (!m_bStrip) return RECT{0, 0, 0, 0};
  return RECT{client.right - kStripWidth, 0, client.right, client.bottom};
}

RECT CListPopup::ThumbRect() const {
  const RECT strip = StripRect();
  const int height = strip.bottom - strip.top, count = m_pList->GetCount();
  if (height <= 0 || count <= 0) return RECT{0, 0, 0, 0};
  const int thumb = std::clamp(height * m_pList->GetVisibleRows() / count, std::min(kMinThumb, height), height);
  const int maxTop = MaxTop();
  const int y = maxTop ? (height - thumb) * m_pList->GetTopIndex() / maxTop : 0;
  return RECT{strip.left + 2, strip.top + y, strip.right - 2, strip.top + y + thumb};
}

void CListPopup::OnPaint() {
  const RECT strip = StripRect();
  if (strip.right <= strip.left) return;
  gui::DeviceContext dc(GetScreenImage());
  dc.FillSolidRect(strip, kStripFill);
  dc.FillSolidRect(ThumbRect(), kThumbFill);
}
