#include "panels/MyVertBar.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "frame/DockBar.h"
#include "frame/DockContext.h"
#include "frame/ResourceIds.h"
#include "odata/GError.h"
#include "platform/gui/Resources.h"

namespace {

// Colours (COLORREF).
constexpr COLORREF kText = 0x202424;
constexpr COLORREF kTabText = 0xFFFFFF;
constexpr COLORREF kTabOutline = 0x5A5C5C;
constexpr COLORREF kTabTop = 0xB8BCBC;
constexpr COLORREF kTabFace = 0x989C9C;
constexpr COLORREF kFace = 0xE4E8E8;
constexpr COLORREF kHighlight = 0xFFFFFF;
constexpr COLORREF kShadow = 0x9CA0A0;
constexpr COLORREF kGlyph = 0x303434;
constexpr COLORREF kTracker = 0x505458;

constexpr UINT kTextFormat = gui::DT_SINGLELINE | gui::DT_NOPREFIX | gui::DT_END_ELLIPSIS;

// The close button: 14 pixels square, 21 in from the right, 4 down.
constexpr int kCloseLeftIn = 21, kCloseTop = 4, kCloseRightIn = 7, kCloseBottom = 18;

void Draw3dRect(gui::DeviceContext& dc, const RECT& rc, COLORREF topLeft, COLORREF bottomRight) {
  dc.FillSolidRect(RECT{rc.left, rc.top, rc.right - 1, rc.top + 1}, topLeft);
  dc.FillSolidRect(RECT{rc.left, rc.top, rc.left + 1, rc.bottom - 1}, topLeft);
  dc.FillSolidRect(RECT{rc.right - 1, rc.top, rc.right, rc.bottom}, bottomRight);
  dc.FillSolidRect(RECT{rc.left, rc.bottom - 1, rc.right, rc.bottom}, bottomRight);
}

}  // namespace

// The splitter drag's tracker line: a thin window above everything, since the line crosses
// the neighbouring bar.
class CMyVertBar::Tracker final : public gui::GWindow {
 public:
  ~Tracker() override { DestroyWindow(); }
  BOOL Place(const RECT& rc) {
    if (!GetSafeHwnd() &&
        !CreateEx(WS_EX_NOACTIVATE | WS_EX_TOPMOST | WS_EX_TOOLWINDOW, nullptr, rc, WS_POPUP))
      return FALSE;
    SetBackgroundColor(kTracker);
    return SetWindowPos(nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                        SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  }
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == WM_PAINT) {
      RECT rc;
      GetClientRect(&rc);
      gui::DeviceContext(GetScreenImage()).FillSolidRect(rc, kTracker);
      return 0;
    }
    return GWindow::WindowProc(msg, wParam, lParam);
  }
};

CMyVertBar::CMyVertBar() = default;

CMyVertBar::~CMyVertBar() {
  m_pTracker.reset();
  DestroyWindow();
}

BOOL CMyVertBar::Create(gui::GWindow* parent, UINT id, const char16_t* title) {
  if (!GWindow::Create(parent, RECT{0, 0, 0, 0}, WS_CHILD | WS_VISIBLE)) return FALSE;
  SetDlgCtrlID(id);
  return OnCreate(title);
}

BOOL CMyVertBar::Create(QWidget* parent, UINT id, const char16_t* title) {
  if (!GWindow::Create(parent, RECT{0, 0, 0, 0}, WS_CHILD | WS_VISIBLE)) return FALSE;
  SetDlgCtrlID(id);
  return OnCreate(title);
}

BOOL CMyVertBar::OnCreate(const char16_t* title) {
  m_nState = myIDLE;
  m_astrTitle[0] = title ? title : u"";
  SetClassCursor(gui::LoadCursor(gui::IDC_ARROW));
  SetBackgroundColor(kFace);
  if (!m_pDockContext) m_pDockContext = std::make_unique<CMyDockContext>(GetSafeHwnd());
  if (!m_hFont) m_hFont = gui::GetStockFont();
  return TRUE;
}

// ---- pages --------------------------------------------------------------------------------------

void CMyVertBar::SetToolStrip(HWND window, const char16_t* title) {
  m_ahPage[0] = window;
  if (title) m_astrTitle[0] = title;
  m_nState = myIDLE;
  if (window && m_uPagePos == 0) {
    PlacePage(window);
    ShowPage(window, true);
  }
  RefreshTitlePath();
  Redraw();
}

BOOL CMyVertBar::SetRootPage(HWND page, const char16_t* title) {
  if (m_uPagePos > myPAGECOUNTMAX - 2) return FALSE;
  if (m_ahPage[0]) {
    // Registered, not shown: the forward tab leads to it.
    m_ahPage[m_uPagePos + 1] = page;
    m_astrTitle[m_uPagePos + 1] = title ? title : u"";
  } else {
    m_ahPage[0] = page;
    m_astrTitle[0] = title ? title : u"";
    PlacePage(page);
    ShowPage(page, true);
  }
  RefreshTitlePath();
  Redraw();
  return TRUE;
}

BOOL CMyVertBar::PushPage(HWND page, const char16_t* title) {
  if (m_uPagePos + 1 > myPAGECOUNTMAX - 1) return FALSE;
  m_ahPage[m_uPagePos + 1] = page;
  m_astrTitle[m_uPagePos + 1] = title ? title : u"";
  ShowPage(m_ahPage[m_uPagePos], false);
  PlacePage(page);
  ShowPage(page, true);
  ++m_uPagePos;
  RefreshTitlePath();
  Redraw();
  return TRUE;
}

BOOL CMyVertBar::Navigate(WPARAM kind) {
  BOOL changed = FALSE;
  if (kind == VB_NAV_HOME && m_uPagePos > 0) {
    ShowPage(m_ahPage[m_uPagePos], false);
    PlacePage(m_ahPage[0]);
    ShowPage(m_ahPage[0], true);
    for (UINT i = m_uPagePos; i >= 1; --i) {
      if (m_ahPage[i]) gui::SendMessage(m_ahPage[i], WM_MYVB_PAGENOTIFY, VB_PAGE_CLOSING, 0);
      m_ahPage[i] = nullptr;
      m_astrTitle[i].clear();
    }
    m_uPagePos = 0;
    changed = TRUE;
  } else if (kind == VB_NAV_BACK && m_uPagePos > 0) {
    const HWND left = m_ahPage[m_uPagePos];
    ShowPage(left, false);
    if (left) gui::SendMessage(left, WM_MYVB_PAGENOTIFY, VB_PAGE_CLOSING, 0);
    PlacePage(m_ahPage[m_uPagePos - 1]);
    ShowPage(m_ahPage[m_uPagePos - 1], true);
    // Back from the first stacked page it stays the forward target.
    if (m_uPagePos >= 2) {
      m_ahPage[m_uPagePos] = nullptr;
      m_astrTitle[m_uPagePos].clear();
    }
    --m_uPagePos;
    changed = TRUE;
  } else if (kind == VB_NAV_FORWARD && m_uPagePos + 1 < myPAGECOUNTMAX && m_ahPage[m_uPagePos + 1]) {
    const HWND current = m_ahPage[m_uPagePos];
    if (current && gui::SendMessage(current, WM_MYVB_PAGENOTIFY, VB_PAGE_MAYFORWARD, 0) != 0) {
      ShowPage(current, false);
      PlacePage(m_ahPage[m_uPagePos + 1]);
      ShowPage(m_ahPage[m_uPagePos + 1], true);
      ++m_uPagePos;
      changed = TRUE;
    }
  }
  RefreshTitlePath();
  Redraw();
  return changed;
}

void CMyVertBar::ShowPage(HWND page, bool show) {
  if (gui::GWindow* w = gui::GWindow::FromHandle(page)) w->ShowWindow(show ? SW_SHOWNA : SW_HIDE);
}

void CMyVertBar::PlacePage(HWND page) {
  if (gui::GWindow* w = gui::GWindow::FromHandle(page)) w->MoveWindow(GetPageRect());
}

// ---- geometry -----------------------------------------------------------------------------------

RECT CMyVertBar::GetPageRect() const {
  RECT rc{0, 0, 0, 0};
  if (GetSafeHwnd()) GetClientRect(&rc);
  RECT page{kBand, kTitleCy, rc.right - kBand, rc.bottom - kBand};
  page.right = std::max(page.right, page.left);
  page.bottom = std::max(page.bottom, page.top);
  return page;
}

BOOL CMyVertBar::GetCloseRect(RECT* rc) const {
  RECT client{0, 0, 0, 0};
  if (GetSafeHwnd()) GetClientRect(&client);
  const int left = client.right - kCloseLeftIn;
  const bool fits = m_ahPage[1] ? (m_bTab && m_aptTab[3].x < left) : left > 32;
  if (!fits) return FALSE;
  *rc = RECT{left, kCloseTop, client.right - kCloseRightIn, kCloseBottom};
  return TRUE;
}

int CMyVertBar::TextWidth(const std::u16string& text) const {
  gui::DeviceContext dc;
  dc.SelectFont(m_hFont ? m_hFont : gui::GetStockFont());
  return dc.GetTextExtent(text.c_str(), int(text.size())).cx;
}

BOOL CMyVertBar::RefreshTitlePath() {
  try {
    GVERIFY(m_uPagePos < myPAGECOUNTMAX, u"!m_uPagePos<myPAGECOUNTMAX");
    m_bTab = false;
    if (!m_ahPage[m_uPagePos]) return FALSE;
    const int cx = TextWidth(m_astrTitle[m_uPagePos > 0 ? m_uPagePos - 1 : 0]);
    RECT client{0, 0, 0, 0};
    GetClientRect(&client);
    m_aptTab[0].y = 0;
    m_aptTab[1].y = kTabCy;
    m_aptTab[2].y = kTabCy;
    m_aptTab[3].y = 0;
    if (m_uPagePos > 0) {
      // The back tab, slanted at its right end.
      m_aptTab[0].x = kBand;
      m_aptTab[1].x = kBand;
      m_aptTab[2].x = cx + 10;
    } else {
      if (!m_ahPage[1]) return FALSE;
      // The forward tab, slanted at both ends.
      m_aptTab[0].x = cx + 10;
      m_aptTab[1].x = cx + 10 + kSlant;
      m_aptTab[2].x = std::max<LONG>(cx + 10 + kSlant, client.right - 42);
    }
    m_aptTab[3].x = m_aptTab[2].x + kSlant;
    m_bTab = true;
    return TRUE;
  }
  GCATCH(u"CMyVertBar", u"::RefreshTitlePath()")
}

bool CMyVertBar::PointInQuad(const POINT* quad, POINT pt) {
  auto angle = [&](const POINT& p) { return std::atan2(double(p.y - pt.y), double(p.x - pt.x)); };
  double total = 0, last = angle(quad[3]);
  for (int i = 0; i < 4; ++i) {
    const double a = angle(quad[i]);
    double d = a - last;
    if (d > 3.141593) d -= 6.283185;
    if (d < -3.141593) d += 6.283185;
    total += d;
    last = a;
  }
  return std::fabs(total) > 6.28;
}

SIZE CMyVertBar::CalcDynamicLayout(int length, DWORD mode) {
  if (mode & LM_MRUWIDTH) return m_szFloat;
  if (mode & LM_COMMIT) {
    m_szFloat.cx = std::clamp(length, kMinCx, kMaxCx);
    return m_szFloat;
  }
  if (mode & LM_LENGTHY) {
    const RECT screen = gui::GetWorkArea(POINT{0, 0});
    m_szFloat.cy = std::clamp(length, kMinCy, std::max<int>(kMinCy, screen.bottom - screen.top));
    return m_szFloat;
  }
  if (mode & LM_VERTDOCK) {
    if (mode & LM_WORKINGSIZE) return SIZE{m_cxDocked2, m_cyWorking};
    return CalcFixedLayout();
  }
  return SIZE{std::clamp(length, kMinCx, kMaxCx), m_szFloat.cy};
}

// ---- the splitter edges -------------------------------------------------------------------------

HWND CMyVertBar::DockBar() const {
  CMyDockBar* dock = CMyDockBar::FromBar(GetSafeHwnd());
  return dock ? dock->GetSafeHwnd() : nullptr;
}

int CMyVertBar::ClientHeight() const {
  RECT rc;
  GetClientRect(&rc);
  return int(rc.bottom);
}

int CMyVertBar::SplitEdgeAt(POINT pt, LRESULT* range) const {
  const int cy = ClientHeight();
  const int edge = pt.y < kTopEdge ? int(VB_EDGE_TOP) : pt.y >= cy - kBottomEdge ? int(VB_EDGE_BOTTOM) : -1;
  if (edge < 0) return -1;
  const HWND dock = DockBar();  // none while floating
  if (!dock) return -1;
  *range = gui::SendMessage(dock, WM_MYVB_QUERYSPLIT, WPARAM(GetSafeHwnd()), LPARAM(edge));
  return *range ? edge : -1;
}

int CMyVertBar::ToDockY(int y) const {
  POINT pt{0, y};
  ClientToScreen(&pt);
  if (gui::GWindow* dock = gui::GWindow::FromHandle(m_hDockBar)) dock->ScreenToClient(&pt);
  return int(pt.y);
}

void CMyVertBar::PlaceTracker() {
  gui::GWindow* dock = gui::GWindow::FromHandle(m_hDockBar);
  if (!dock) return;
  RECT bar;
  GetWindowRect(&bar);
  POINT origin{0, 0};
  dock->ClientToScreen(&origin);
  if (!m_pTracker) m_pTracker = std::make_unique<Tracker>();
  m_pTracker->Place(RECT{bar.left, origin.y + m_nTrackY - 1, bar.right, origin.y + m_nTrackY + 2});
}

void CMyVertBar::EndSplit(bool apply) {
  m_nState = myIDLE;
  if (m_pTracker) m_pTracker->ShowWindow(SW_HIDE);
  if (apply && gui::IsWindow(m_hDockBar))
    gui::SendMessage(m_hDockBar, WM_MYVB_SPLIT, WPARAM(GetSafeHwnd()),
                     LPARAM((uintptr_t(uint16_t(int16_t(m_nTrackY))) << 16) | uintptr_t(m_nEdge)));
  m_hDockBar = nullptr;
}

// ---- the mouse ----------------------------------------------------------------------------------

void CMyVertBar::OnLButtonDown(POINT pt) {
  if (m_nState == myNOTCREATED || m_nState == mySPLITTING) return;
  SetFocus();
  RECT close;
  if (GetCloseRect(&close) && pt.x > close.left && pt.x < close.right && pt.y > close.top && pt.y < close.bottom) {
    m_nState = myCLOSEPRESSED;
    SetCapture();
    gui::DeviceContext dc(GetScreenImage());
    DrawCloseButton(dc, true);
    return;
  }
  LRESULT range = 0;
  const int edge = SplitEdgeAt(pt, &range);
  if (edge >= 0) {
    m_hDockBar = DockBar();
    m_nEdge = LPARAM(edge);
    m_nTrackLow = LOWORD(uintptr_t(range));
    m_nTrackHigh = HIWORD(uintptr_t(range));
    m_nTrackY = std::clamp(ToDockY(edge == int(VB_EDGE_TOP) ? 0 : ClientHeight()), m_nTrackLow, m_nTrackHigh);
    m_nState = mySPLITTING;
    PlaceTracker();
    SetCapture();
    return;
  }
  if (ClientHeight() > kCollapsedMax) {
    if (m_bTab && PointInQuad(m_aptTab.data(), pt)) {
      m_nState = myTABPRESSED;
      SetCapture();
      Paint(true);
      return;
    }
    POINT screen = pt;
    ClientToScreen(&screen);
    if (m_pDockContext) m_pDockContext->StartDrag(screen);
    return;
  }
  if (const HWND dock = DockBar()) gui::SendMessage(dock, WM_MYVB_EXPAND, WPARAM(GetSafeHwnd()), 0);
}

void CMyVertBar::OnMouseMove(POINT pt) {
  switch (m_nState) {
    case myCLOSEPRESSED: {
      RECT close;
      if (!GetCloseRect(&close)) break;
      const bool on = pt.x > close.left && pt.x < close.right && pt.y > close.top && pt.y < close.bottom;
      gui::DeviceContext dc(GetScreenImage());
      DrawCloseButton(dc, on);
      break;
    }
    case mySPLITTING:
      m_nTrackY = std::clamp(ToDockY(pt.y), m_nTrackLow, m_nTrackHigh);
      PlaceTracker();
      break;
    case myIDLE: {
      LRESULT range = 0;
      HCURSOR cursor = nullptr;
      if (SplitEdgeAt(pt, &range) >= 0) {
        cursor = gui::LoadCursorResource(IDC_SPLITBAR);
        if (!cursor) cursor = gui::LoadCursor(gui::IDC_SIZENS);
      }
      gui::SetCursor(cursor ? cursor : gui::LoadCursor(gui::IDC_ARROW));
      break;
    }
    default: break;
  }
}

void CMyVertBar::OnLButtonUp(POINT pt) {
  switch (m_nState) {
    case myCLOSEPRESSED: {
      m_nState = myIDLE;
      gui::ReleaseCapture();
      RECT close;
      const bool on = GetCloseRect(&close) && pt.x > close.left && pt.x < close.right && pt.y > close.top &&
                      pt.y < close.bottom;
      Redraw();
      if (on) {
        if (m_onClose) m_onClose();
        else ShowWindow(SW_HIDE);
      }
      break;
    }
    case mySPLITTING:
      // Released first: the split relays the bars out.
      m_nState = myIDLE;
      gui::ReleaseCapture();
      m_nState = mySPLITTING;
      EndSplit(true);
      break;
    case myTABPRESSED: {
      m_nState = myIDLE;
      gui::ReleaseCapture();
      if (m_bTab && PointInQuad(m_aptTab.data(), pt)) Navigate(m_uPagePos == 0 ? VB_NAV_FORWARD : VB_NAV_BACK);
      else Redraw();
      break;
    }
    default: break;
  }
}

void CMyVertBar::OnRButtonUp(POINT pt) {
  if (m_nState != myIDLE || ClientHeight() <= VB_COLLAPSED_CY || pt.y >= 26) return;
  if (Navigate(VB_NAV_BACK)) return;
  if (const HWND dock = DockBar()) gui::SendMessage(dock, WM_MYVB_EXPANDNEXT, WPARAM(GetSafeHwnd()), 0);
}

void CMyVertBar::OnCaptureLost() {
  switch (m_nState) {
    case myCLOSEPRESSED:
    case myTABPRESSED:
      m_nState = myIDLE;
      Redraw();
      break;
    case mySPLITTING: EndSplit(false); break;
    default: break;
  }
}

// ---- painting -----------------------------------------------------------------------------------

void CMyVertBar::Redraw() {
  if (GetSafeHwnd()) Invalidate(FALSE);
}

void CMyVertBar::DrawCloseButton(gui::DeviceContext& dc, bool pushed) {
  RECT rc;
  if (!GetCloseRect(&rc)) return;
  dc.FillSolidRect(rc, kFace);
  if (pushed) Draw3dRect(dc, rc, kShadow, kHighlight);
  // The cross: 8 pixels across, two thick, one pixel further down and right while pushed.
  constexpr int n = 8;
  const int d = pushed ? 1 : 0;
  const int x0 = rc.left + 2 + d, y0 = rc.top + 3 + d;
  dc.SetROP2(gui::R2_COPYPEN);
  dc.SetPen(gui::PS_SOLID, kGlyph);
  for (int k = 0; k < 2; ++k) {
    dc.MoveTo(x0 + k, y0);
    dc.LineTo(x0 + k + n, y0 + n);
    dc.MoveTo(x0 + k + n - 1, y0);
    dc.LineTo(x0 + k - 1, y0 + n);
  }
  if (!pushed) {
    // A flat button: its edge in the face colour.
    dc.SetPen(gui::PS_SOLID, kFace);
    dc.SetBrush(gui::BS_NULL, 0);
    dc.Rectangle(rc.left, rc.top, rc.right, rc.bottom);
  }
}

void CMyVertBar::Paint(bool tabPressed) {
  RECT client;
  GetClientRect(&client);
  gui::DeviceContext dc(GetScreenImage());
  dc.SetBkMode(gui::TRANSPARENT);
  dc.SetTextColor(kText);
  dc.SelectFont(m_hFont ? m_hFont : gui::GetStockFont());
  const LONG r = client.right, b = client.bottom;

  if (!m_ahPage[m_uPagePos]) {
    dc.FillSolidRect(client, kFace);
    Draw3dRect(dc, client, kHighlight, kShadow);
    return;
  }
  // The four bands round the page.
  const RECT bands[4] = {{0, kTitleCy, kBand, b - kBand},
                         {r - kBand, kTitleCy, r, b - kBand},
                         {0, 0, r, kTitleCy},
                         {0, b - kBand, r, b}};
  RECT close{0, 0, 0, 0};
  const bool hasClose = GetCloseRect(&close) != FALSE;
  const LONG textRight = hasClose ? close.left : r;
  if (!tabPressed) {
    for (const RECT& band : bands) dc.FillSolidRect(band, kFace);
    Draw3dRect(dc, client, kHighlight, kShadow);
  }
  if (!m_bTab) {
    RECT text{8, 2, textRight, b};
    dc.DrawText(m_astrTitle[0].c_str(), int(m_astrTitle[0].size()), &text, kTextFormat | gui::DT_LEFT);
    if (hasClose) DrawCloseButton(dc, false);
    return;
  }
  const POINT* p = m_aptTab.data();
  const bool stacked = m_uPagePos > 0;
  if (!tabPressed) {
    if (stacked) {
      const std::u16string& title = m_astrTitle[m_uPagePos];
      RECT text{p[2].x, 2, textRight, b};
      dc.DrawText(title.c_str(), int(title.size()), &text, kTextFormat | gui::DT_CENTER);
    } else {
      RECT text{8, 2, p[1].x, b};
      dc.DrawText(m_astrTitle[0].c_str(), int(m_astrTitle[0].size()), &text, kTextFormat | gui::DT_LEFT);
    }
    if (hasClose) DrawCloseButton(dc, false);
  }
  // The tab over the title row.
  dc.SetROP2(gui::R2_COPYPEN);
  dc.SetPen(gui::PS_NULL, 0);
  dc.SetBrush(gui::BS_SOLID, kTabFace);
  dc.Polygon(p, 4);
  dc.SetBrush(gui::BS_NULL, 0);
  const RECT tabBox{std::min(p[0].x, p[1].x), 0, std::max(p[2].x, p[3].x), kTabCy};
  dc.SetClipRect(&tabBox);
  dc.SetTextColor(kTabText);
  const int textTop = tabPressed ? 2 : 1;
  if (stacked) {
    const std::u16string& back = m_astrTitle[m_uPagePos - 1];
    RECT text{p[0].x + 2, textTop, p[3].x, kTitleCy};
    dc.DrawText(back.c_str(), int(back.size()), &text, kTextFormat | gui::DT_LEFT);
  } else {
    const std::u16string& forward = m_astrTitle[1];
    RECT text{p[0].x, textTop, p[3].x, kTitleCy};
    dc.DrawText(forward.c_str(), int(forward.size()), &text, kTextFormat | gui::DT_CENTER);
  }
  dc.SetClipRect(nullptr);
  dc.SetPen(gui::PS_SOLID, kTabOutline);
  dc.MoveTo(p[0].x, p[0].y);
  dc.LineTo(stacked ? p[1].x : p[1].x - 1, kTabCy - 1);
  dc.LineTo(p[2].x, kTabCy - 1);
  dc.LineTo(p[3].x, -1);
  if (!tabPressed) dc.SetPen(gui::PS_SOLID, kTabTop);
  dc.MoveTo(p[0].x + 1, 0);
  dc.LineTo(p[3].x - 1, 0);
}

// ---- messages -----------------------------------------------------------------------------------

LRESULT CMyVertBar::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  switch (msg) {
    case WM_MYVB_SETSIZE:
      m_cxDocked = m_cxDocked2 = int(lParam);
      return 0;
    case WM_MYVB_SETEXTENT:
      m_cyDocked = int(lParam);
      if (!(wParam & VB_EXTENT_LAYOUT)) m_cyWorking = lParam > VB_COLLAPSED_CY ? int(lParam) : 1;
      return 0;
    case WM_MYVB_RESTOREEXTENT: m_cyWorking = m_cyDocked; return 0;
    case WM_MYVB_SETROOT: return SetRootPage(reinterpret_cast<HWND>(wParam), reinterpret_cast<const char16_t*>(lParam));
    case WM_MYVB_PUSHPAGE: return PushPage(reinterpret_cast<HWND>(wParam), reinterpret_cast<const char16_t*>(lParam));
    case WM_MYVB_NAVIGATE: return Navigate(wParam);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: OnLButtonDown(pt); return 0;
    case WM_MOUSEMOVE: OnMouseMove(pt); return 0;
    case WM_LBUTTONUP: OnLButtonUp(pt); return 0;
    case WM_RBUTTONUP: OnRButtonUp(pt); return 0;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lParam) != GetSafeHwnd()) OnCaptureLost();
      return 0;
    case WM_SETCURSOR: return FALSE;  // the mouse moves set it
    case WM_SIZE:
      RefreshTitlePath();
      PlacePage(m_ahPage[m_uPagePos]);
      Redraw();
      return 0;
    case WM_PAINT: Paint(m_nState == myTABPRESSED); return 0;
    default: return GWindow::WindowProc(msg, wParam, lParam);
  }
}
