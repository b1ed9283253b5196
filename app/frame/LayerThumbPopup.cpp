#include "LayerThumbPopup.h"

#include <algorithm>
#include <string>

#include "platform/gui/Cursor.h"
#include "platform/gui/Dc.h"

namespace {

constexpr COLORREF kFrameColor = 0x606666;
constexpr COLORREF kFace = 0xBBFFFF;
constexpr COLORREF kTextColor = 0x404444;
constexpr int kPreviewX = 4, kPreviewY = 16;
constexpr int kTickShow = 2, kTickLast = 32;

std::u16string Decimal(long v) {
  const std::string s = std::to_string(v);
  return std::u16string(s.begin(), s.end());
}

}  // namespace

CLayerThumbPopup::CLayerThumbPopup() = default;

CLayerThumbPopup::~CLayerThumbPopup() {
  if (GetSafeHwnd()) KillTimer(kTimer);
  DestroyWindow();
}

BOOL CLayerThumbPopup::Create(gui::GWindow* list, gui::HFONT font) {
  if (!CreateEx(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, list, RECT{0, 0, 1, 1}, WS_POPUP)) return FALSE;
  m_hFont = font;
  SetTimer(kTimer, 200);
  return TRUE;
}

// A floating layer bar is a window of its own: while the user works in it the frame is not the
// active window, yet the program is, so the list's own window counts as well.
BOOL CLayerThumbPopup::FrameActive() const {
  return !m_hFrame || gui::GetActiveWindow() == m_hFrame || gui::IsInActiveWindow(GetOwner());
}

void CLayerThumbPopup::ShowLayer(OLayer* layer, int row, COLORREF background) {
  if (!layer || layer == m_cpPending.get() || layer == m_pShown) return;
  Hide();
  m_crBackground = background;
  m_nTicks = 0;
  m_nRow = row;
  m_cpPending = layer;
  layer->GetRect(&m_rcLayer);
}

BOOL CLayerThumbPopup::Hide() {
  m_bPreview = false;
  m_cpPending.Release();
  m_pShown = nullptr;
  m_nTicks = kIdle;
  if (GetSafeHwnd() && IsWindowVisible()) return ShowWindow(SW_HIDE);
  return FALSE;
}

void CLayerThumbPopup::FilterMessage(UINT msg) {
  switch (msg) {
    case WM_KEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_MOUSEWHEEL: Hide(); break;
    default: break;
  }
}

void CLayerThumbPopup::OnTimer() {
  if (m_nTicks <= kTickLast && FrameActive()) {
    if (m_nTicks == kTickShow && m_cpPending) ShowPending();
    ++m_nTicks;
    return;
  }
  if (m_nTicks != kIdle || IsWindowVisible()) Hide();
}

void CLayerThumbPopup::ShowPending() {
  if (!FrameActive()) return;
  const uint32_t* thumb = m_cpPending->MakeThumbnail(m_crBackground);
  m_bPreview = thumb != nullptr;
  if (thumb) std::copy(thumb, thumb + m_pixels.size(), m_pixels.begin());
  m_pShown = m_cpPending.get();
  m_cpPending.Release();

  POINT at{0, 0};
  gui::GetCursorPos(&at);
  at.y += 24;
  const RECT screen = gui::GetWorkArea(at);
  if (at.x + kWidth > screen.right) at.x = screen.right - kWidth;
  if (at.y + kHeight > screen.bottom) at.y -= 188;
  SetWindowPos(nullptr, at.x, at.y, kWidth, kHeight, SWP_NOACTIVATE | SWP_SHOWWINDOW | SWP_NOZORDER);
  Invalidate();
}

void CLayerThumbPopup::Paint() {
  gui::DeviceContext dc(GetScreenImage());
  RECT rc;
  GetClientRect(&rc);
  if (m_bPreview)
    dc.SetDIBitsToDevice(kPreviewX, kPreviewY, kSide, kSide, m_pixels.data(), kSide, kSide, kSide, true, 0, 0);
  // The frame and the face around the preview, then the texts in the band above it.
  const RECT preview{kPreviewX, kPreviewY, kPreviewX + kSide, kPreviewY + kSide};
  const auto fillAround = [&](const RECT& area, COLORREF colour) {
    const RECT parts[4] = {{area.left, area.top, area.right, std::min(area.bottom, preview.top)},
                           {area.left, std::max(area.top, preview.bottom), area.right, area.bottom},
                           {area.left, preview.top, std::min(area.right, preview.left), preview.bottom},
                           {std::max(area.left, preview.right), preview.top, area.right, preview.bottom}};
    for (const RECT& p : parts)
      if (p.left < p.right && p.top < p.bottom) dc.FillSolidRect(p, colour);
  };
  fillAround(rc, kFrameColor);
  RECT inner{rc.left + 1, rc.top + 1, rc.right - 1, rc.bottom - 1};
  fillAround(inner, kFace);
  if (!m_bPreview) dc.FillSolidRect(preview, kFace);
  RECT text{inner.left + 3, inner.top + 1, inner.right - 3, kPreviewY};
  dc.SelectFont(m_hFont ? m_hFont : gui::GetStockFont());
  dc.SetBkMode(gui::TRANSPARENT);
  dc.SetTextColor(kTextColor);
  const std::u16string number = u"no." + Decimal(m_nRow);
  const std::u16string size =
      Decimal(m_rcLayer.right - m_rcLayer.left) + u" x " + Decimal(m_rcLayer.bottom - m_rcLayer.top);
  dc.DrawText(number.c_str(), -1, &text, gui::DT_RIGHT | gui::DT_SINGLELINE | gui::DT_NOPREFIX);
  dc.DrawText(size.c_str(), -1, &text, gui::DT_LEFT | gui::DT_SINGLELINE | gui::DT_NOPREFIX);
  dc.SelectFont(gui::GetStockFont());
}

LRESULT CLayerThumbPopup::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_TIMER:
      if (wParam != kTimer) break;
      OnTimer();
      return 0;
    case WM_PAINT: Paint(); return 0;
    default: break;
  }
  return GWindow::WindowProc(msg, wParam, lParam);
}
