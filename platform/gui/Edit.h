// The single-line edit that renames in place (a layer's name, a property's number). Enter
// sends the parent WM_MYEDITDONE with wParam 1, Escape with wParam 0 (lParam the edit); what
// follows is the parent's to decide, also when the edit loses the focus, which it reports as
// WM_COMMAND with EN_KILLFOCUS (also when the parent hides it). Keys typed into it stay in
// it. The text is the window text (SetWindowText, GetWindowText, UTF-16). Shown, it takes
// the keyboard focus. No Qt in here.
#pragma once
#include "Control.h"

namespace gui::detail {
class KeyEdit;
}

class CMyEdit : public gui::Control {
 public:
  CMyEdit();
  ~CMyEdit() override;

  // Makes the edit at rc in parent's client area with control id id; styles WS_VISIBLE and
  // WS_DISABLED; fontHeight in pixels (0: the default font).
  BOOL Create(gui::GWindow* parent, const RECT& rc, UINT id, DWORD style = WS_CHILD | WS_VISIBLE,
              int fontHeight = 0);
  // Selects start..end (end -1: to the end of the text); a start of -1 drops the selection.
  void SetSel(int start, int end);
  // At most chars characters may be typed (0: no limit).
  void LimitText(int chars);

  // EM_SETSEL and EM_LIMITTEXT as SetSel and LimitText.
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  gui::detail::KeyEdit* m_pEdit = nullptr;
};
