// A button control: a push button (BS_PUSHBUTTON), a check box (BS_AUTOCHECKBOX) or a check
// button that looks like a tool button (BS_AUTOCHECKBOX | BS_PUSHLIKE). A click sends the
// parent WM_COMMAND with MAKEWPARAM(id, BN_CLICKED) and lParam the button, after a check box
// has toggled itself. The text is the window text; the image, when set, is a cell of a
// bitmap resource. No Qt in here.
#pragma once
#include "Control.h"

class QAbstractButton;

namespace gui {

class Button : public Control {
 public:
  Button();
  ~Button() override;

  // Makes the button at rc in parent's client area with control id id; the styles are the
  // kind (BS_...) with WS_VISIBLE and WS_DISABLED.
  BOOL Create(const char16_t* text, DWORD style, const RECT& rc, GWindow* parent, UINT id);
  // The image: cell index (row by row) of cellWidth x cellHeight cells of bitmap resource
  // bitmapId. FALSE when there is no such bitmap or cell.
  BOOL SetImage(UINT bitmapId, int index, int cellWidth, int cellHeight);
  void SetToolTip(const char16_t* text);

  // BST_CHECKED or BST_UNCHECKED (a push button is never checked).
  int GetCheck() const;
  void SetCheck(int check);

  // BM_GETCHECK and BM_SETCHECK as GetCheck and SetCheck.
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  QAbstractButton* m_pButton = nullptr;
};

}  // namespace gui
