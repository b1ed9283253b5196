#include "frame/FlowerWnd.h"

#include <algorithm>

#include "platform/base/Sync.h"
#include "tools/FunctionMenu.h"

namespace {

constexpr COLORREF kCaptionInk = RGB(0x37, 0x41, 0x4A);
constexpr COLORREF kSectorInk = RGB(0x4A, 0x54, 0x5E);
constexpr COLORREF kHotInk = RGB(0x15, 0x56, 0x9E);
constexpr int kFontHeight = 14;
// Room for a caption: in the centre disc, in a corner sector.
constexpr int kCentreTextWidth = 2 * int(flower::kCentreRadius) - 6;
constexpr int kSectorTextWidth = 76;
constexpr int kTextHeight = 20;

RECT TextBox(POINT centre, int width) {
  return RECT{centre.x - width / 2, centre.y - kTextHeight / 2, centre.x + width - width / 2,
              centre.y + kTextHeight - kTextHeight / 2};
}

}  // namespace

CFlowerWnd::CFlowerWnd() = default;

CFlowerWnd::~CFlowerWnd() {
  DestroyWindow();
  gui::DeleteObject(m_hCentreFont);
  gui::DeleteObject(m_hSectorFont);
}

BOOL CFlowerWnd::Create(gui::GWindow* owner, bool translucent) {
  m_bTranslucent = translucent;
  if (!m_hCentreFont) m_hCentreFont = gui::CreateFont(kFontHeight, gui::FW_BOLD, u"");
  if (!m_hSectorFont) m_hSectorFont = gui::CreateFont(kFontHeight, gui::FW_NORMAL, u"");
  const DWORD exStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_GUI_CLOSEONDEACTIVATE | (translucent ? WS_EX_LAYERED : 0);
  if (!CreateEx(exStyle, owner, RECT{0, 0, flower::kSize, flower::kSize}, WS_POPUP)) return FALSE;
  SetDoubleClicks(false);
  return TRUE;
}

void CFlowerWnd::Popup(int x, int y, CFunctionMenu* menu) {
  if (!menu || !GetSafeHwnd()) return;
  m_pMenu = menu;
  m_dwPopupTick = plat::GetTickCount();
  for (int slot = 0; slot < flower::kSlots; ++slot) {
    const char16_t* label = menu->GetLabel(flower::ItemOfSlot(slot), 1);
    m_aLabel[size_t(slot)] = label ? label : u"";
  }
  // Centred on the point, then pushed inside the work area.
  const RECT area = gui::GetWorkArea(POINT{x, y});
  const int half = flower::kSize / 2;
  const int left = std::max(LONG(std::min(LONG(x - half), area.right - flower::kSize)), area.left);
  const int top = std::max(LONG(std::min(LONG(y - half), area.bottom - flower::kSize)), area.top);
  SetWindowPos(gui::HWND_TOP, left, top, flower::kSize, flower::kSize, SWP_SHOWWINDOW);
  m_nHot = LiveSlotAt(POINT{x - left, y - top});
  Invalidate(FALSE);
  SetCapture();
}

void CFlowerWnd::Cancel() { Close(); }

int CFlowerWnd::GetHotItem() const { return m_nHot < 0 ? -1 : int(flower::ItemOfSlot(m_nHot)); }

std::u16string CFlowerWnd::GetCentreText() const { return m_nHot < 0 ? std::u16string() : m_aLabel[size_t(m_nHot)]; }

POINT CFlowerWnd::GetItemPoint(UINT item) const {
  const int slot = flower::SlotOfItem(item);
  if (slot < 0) return POINT{0, 0};
  POINT pt = flower::SlotPoint(slot);
  ClientToScreen(&pt);
  return pt;
}

int CFlowerWnd::LiveSlotAt(POINT client) const {
  const int slot = flower::HitTest(client.x, client.y);
  return slot >= 0 && !m_aLabel[size_t(slot)].empty() ? slot : -1;
}

void CFlowerWnd::Track(POINT client) {
  const int hot = LiveSlotAt(client);
  if (hot == m_nHot) return;
  m_nHot = hot;
  Invalidate(FALSE);
}

void CFlowerWnd::Choose(POINT client) {
  CFunctionMenu* menu = m_pMenu;
  const int slot = LiveSlotAt(client);
  const UINT item = flower::ItemOfSlot(slot);
  const POINT at = GetItemPoint(item);
  const DWORD tick = m_dwPopupTick;
  // Closed before the item runs: it may open another popup or take the mouse itself.
  Close();
  if (slot >= 0) menu->Run(at.x, at.y, item, tick);
}

void CFlowerWnd::Close() {
  if (!m_pMenu) return;
  m_pMenu = nullptr;
  m_nHot = -1;
  const bool active = gui::GetActiveWindow() == GetSafeHwnd();
  if (gui::GetCapture() == GetSafeHwnd()) gui::ReleaseCapture();
  ShowWindow(SW_HIDE);
  // The keys go back to the window the menu was opened over (as an owned popup's owner gets
  // them back), unless the user has gone to another window.
  if (GWindow* owner = FromHandle(GetOwner()); owner && active)
    owner->SetWindowPos(gui::HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
}

void CFlowerWnd::Paint() {
  if (!m_pMenu) return;
  flower::FaceState state;
  state.translucent = m_bTranslucent;
  state.hot = m_nHot;
  for (int slot = 0; slot < flower::kSlots; ++slot) state.live[size_t(slot)] = !m_aLabel[size_t(slot)].empty();
  flower::PaintFace(m_face, state);

  gui::DeviceContext dc(GetScreenImage());
  dc.SetDIBitsToDevice(0, 0, flower::kSize, flower::kSize, m_face.data(), flower::kSize, flower::kSize, flower::kSize,
                       false, 0, 0);
  for (int slot = 0; slot < flower::kRingSlots; ++slot) {
    const POINT pt = flower::SlotPoint(slot);
    m_pMenu->Draw(&dc, pt.x, pt.y, slot, slot == m_nHot);
  }
  dc.SetBkMode(gui::TRANSPARENT);
  const UINT format = gui::DT_CENTER | gui::DT_VCENTER | gui::DT_SINGLELINE | gui::DT_NOPREFIX | gui::DT_END_ELLIPSIS;
  for (int slot = flower::kRingSlots; slot < flower::kSlots; ++slot) {
    const std::u16string& label = m_aLabel[size_t(slot)];
    if (label.empty()) continue;
    dc.SelectFont(slot == m_nHot ? m_hCentreFont : m_hSectorFont);
    dc.SetTextColor(slot == m_nHot ? kHotInk : kSectorInk);
    RECT rc = TextBox(flower::SlotPoint(slot), kSectorTextWidth);
    dc.DrawText(label.c_str(), int(label.size()), &rc, format);
  }
  const std::u16string centre = GetCentreText();
  if (!centre.empty()) {
    dc.SelectFont(m_hCentreFont);
    dc.SetTextColor(kCaptionInk);
    RECT rc = TextBox(POINT{flower::kSize / 2, flower::kSize / 2}, kCentreTextWidth);
    dc.DrawText(centre.c_str(), int(centre.size()), &rc, format);
  }
  dc.SelectFont(gui::GetStockFont());
}

LRESULT CFlowerWnd::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  switch (msg) {
    case WM_PAINT:
      Paint();
      return 0;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      if (m_pMenu) Track(pt);
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      if (m_pMenu) Choose(pt);
      return 0;
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE) Close();
      return 0;
    case WM_CAPTURECHANGED:
      if (HWND(lParam) != GetSafeHwnd()) Close();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        Close();
        return 0;
      }
      break;
    case WM_KILLFOCUS:
      Close();
      return 0;
    default:
      break;
  }
  return GWindow::WindowProc(msg, wParam, lParam);
}
