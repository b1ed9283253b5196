#include "ComboBox.h"

#include <algorithm>
#include <string>

#include "ListPopup.h"

namespace {

constexpr int kArrowWidth = 13;  // the arrow's cell at the right end of the face
constexpr int kTextInset = 4;
constexpr COLORREF kFill = RGB(0xEC, 0xEC, 0xE8);
constexpr COLORREF kHoverFill = RGB(0xF8, 0xF8, 0xF4);
constexpr COLORREF kOpenFill = RGB(0xDC, 0xDC, 0xD8);
constexpr COLORREF kFrame = RGB(0x94, 0x94, 0x90);
constexpr COLORREF kFrameDisabled = RGB(0xC4, 0xC4, 0xC0);
constexpr COLORREF kSeparator = RGB(0xC4, 0xC4, 0xC0);
constexpr COLORREF kInk = RGB(0x11, 0x11, 0x11);
constexpr COLORREF kInkDisabled = RGB(0xA4, 0xA4, 0xA0);

}  // namespace

// The face: a window over the whole control whose messages are the control's.
class CMyComboBox::Face final : public gui::GWindow {
 public:
  explicit Face(CMyComboBox* combo) : m_combo(combo) {}
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    return m_combo->FaceMessage(msg, wParam, lParam);
  }

 private:
  CMyComboBox* m_combo;
};

CMyComboBox::CMyComboBox() = default;

CMyComboBox::~CMyComboBox() {
  m_pPopup.reset();
  m_pFace.reset();
  DestroyControl();
}

BOOL CMyComboBox::Create(gui::GWindow* parent, int width, int height, gui::HFONT font, HWND notify, UINT id) {
  const RECT rc{0, 0, width, height};
  if (!CreateControl(parent, rc, WS_CHILD | WS_VISIBLE, id, 0, nullptr)) return FALSE;
  m_font = font;
  m_hNotify = notify;
  m_pFace = std::make_unique<Face>(this);
  m_pPopup = std::make_unique<CListPopup>();
  if (!m_pFace->Create(this, rc, WS_CHILD | WS_VISIBLE) || !m_pPopup->Create(this, font)) {
    m_pPopup.reset();
    m_pFace.reset();
    DestroyControl();
    return FALSE;
  }
  return TRUE;
}

gui::ListBox* CMyComboBox::GetListWindow() { return m_pPopup ? m_pPopup->GetListBox() : nullptr; }

int CMyComboBox::GetCount() const {
  const gui::ListBox* list = m_pPopup ? m_pPopup->GetListBox() : nullptr;
  return list ? list->GetCount() : 0;
}

int CMyComboBox::Clamped(int row) const { return std::clamp(row, -1, GetCount() - 1); }

void CMyComboBox::SetCurSel(int row) {
  m_nCurSel = Clamped(row);
  Repaint();
  if (m_pFace) m_pFace->UpdateWindow();
}

BOOL CMyComboBox::UpdateData() {
  SetCurSel(m_nCurSel);
  return TRUE;
}

BOOL CMyComboBox::GetDroppedState() const { return m_pPopup && m_pPopup->IsOpen(); }

void CMyComboBox::MoveWindow(const RECT& rc, BOOL repaint) {
  Control::MoveWindow(rc, repaint);
  if (m_pFace) m_pFace->MoveWindow(RECT{0, 0, rc.right - rc.left, rc.bottom - rc.top}, repaint);
}

BOOL CMyComboBox::EnableWindow(BOOL enable) {
  const BOOL wasDisabled = Control::EnableWindow(enable);
  Repaint();
  return wasDisabled;
}

void CMyComboBox::Repaint() {
  if (m_pFace) m_pFace->Invalidate(FALSE);
}

LRESULT CMyComboBox::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_MYPOPUPCLOSED && m_pPopup && HWND(lParam) == m_pPopup->GetSafeHwnd()) {
    // The popup had the mouse: whether it is over the face the next move tells.
    m_bHover = false;
    Repaint();
    const int row = GetListWindow()->GetCurSel();
    if (wParam == 1 && row >= 0) OnUserRow(row);
    return 0;
  }
  return Control::WindowProc(msg, wParam, lParam);
}

LRESULT CMyComboBox::FaceMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_PAINT: DrawFace(); return 0;
    case WM_MOUSEMOVE:
      if (!m_bHover) {
        // The window that has the keys now gets them back should a click give them to the face.
        const HWND focus = gui::GetFocus();
        if (!GetDroppedState() && focus != m_pFace->GetSafeHwnd()) m_hKeys = focus;
        m_bHover = true;
        m_pFace->TrackMouseEvent(TME_LEAVE);
        Repaint();
      }
      return 0;
    case WM_MOUSELEAVE:
      m_bHover = false;
      Repaint();
      return 0;
    case WM_SETFOCUS:
      if (gui::IsWindow(m_hKeys)) gui::SetFocus(m_hKeys);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      // While the popup is open it has the mouse; a press that reaches the face anyway closes it.
      if (GetDroppedState()) m_pPopup->Hide();
      else OpenPopup();
      Repaint();
      return 0;
    case WM_MOUSEWHEEL: {
      const int notches = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA, count = GetCount();
      if (!notches || !count || GetDroppedState()) return 0;
      // Up is towards the first row; from no row, down starts at the first, up at the last.
      const int from = m_nCurSel >= 0 && m_nCurSel < count ? m_nCurSel : notches > 0 ? count : -1;
      const int row = std::clamp(from - notches, 0, count - 1);
      if (row != m_nCurSel) OnUserRow(row);
      return 0;
    }
    default: return m_pFace->DefWindowProc(msg, wParam, lParam);
  }
}

void CMyComboBox::OpenPopup() {
  RECT rc;
  m_pFace->GetWindowRect(&rc);
  m_pPopup->Popup(rc, rc.right - rc.left, kDropRows, Clamped(m_nCurSel));
}

void CMyComboBox::OnUserRow(int row) {
  m_nCurSel = row;
  Repaint();
  Notify(m_hNotify ? m_hNotify : GetParent(), WM_MYCOMBOCHANGED, WPARAM(row), LPARAM(GetSafeHwnd()));
}

void CMyComboBox::DrawFace() {
  RECT client;
  m_pFace->GetClientRect(&client);
  const int w = client.right, h = client.bottom;
  if (w <= 0 || h <= 0) return;
  const bool enabled = IsWindowEnabled();
  gui::DeviceContext dc(m_pFace->GetScreenImage());
  dc.FillSolidRect(client, !enabled ? kFill : GetDroppedState() ? kOpenFill : m_bHover ? kHoverFill : kFill);
  dc.SetBrush(gui::BS_NULL, 0);
  dc.SetPen(gui::PS_SOLID, enabled ? kFrame : kFrameDisabled);
  dc.Rectangle(0, 0, w, h);

  // The arrow's cell behind a separator: a triangle pointing down, 7 pixels wide.
  const int arrow = std::min(kArrowWidth, w / 2);
  const int sep = w - 1 - arrow;
  dc.SetPen(gui::PS_SOLID, kSeparator);
  dc.MoveTo(sep, 3);
  dc.LineTo(sep, h - 3);
  const COLORREF ink = enabled ? kInk : kInkDisabled;
  dc.SetPen(gui::PS_SOLID, ink);
  const int cx = sep + (arrow + 1) / 2, cy = h / 2 - 1;
  for (int i = 0; i < 4; ++i) {
    dc.MoveTo(cx - 3 + i, cy - 1 + i);
    dc.LineTo(cx + 4 - i, cy - 1 + i);
  }

  std::u16string text;
  if (gui::ListBox* list = GetListWindow(); list && m_nCurSel >= 0) list->GetText(m_nCurSel, text);
  if (text.empty()) return;
  RECT rc{kTextInset, 1, sep - 2, h - 1};
  dc.SelectFont(m_font);
  dc.SetBkMode(gui::TRANSPARENT);
  dc.SetTextColor(ink);
  dc.DrawText(text.c_str(), int(text.size()), &rc, gui::DT_SINGLELINE | gui::DT_VCENTER | gui::DT_NOPREFIX | gui::DT_END_ELLIPSIS);
}
