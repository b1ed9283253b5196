// The message skeleton of the tools whose work is a left drag (move, create layer, trim): the
// left button goes to the tool's handlers, a right click (or SPACE released over the view) to
// its right-click action, the capture's loss to the tool, and the rest to the common
// navigation of the right and middle buttons, the scroll bars and the wheel.
#pragma once
#include "tools/Operation.h"

class COperLeftDrag : public COperation {
 public:
  BOOL OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

 protected:
  explicit COperLeftDrag(UINT cursorId) : m_nCursorId(cursorId) {}
  // WM_PAINT: the space's own drawing, then the tool's overlay.
  virtual void OnPaint();
  virtual void OnLButtonDown(POINT pt) = 0;
  // The left bit is already cleared; the state goes up afterwards.
  virtual void OnLButtonUp() = 0;
  virtual void OnMouseMove(WPARAM wParam, POINT pt) = 0;
  // A right click without a drag, or a SPACE tap over the view, at pt.
  void OnRButtonUp_Function(POINT pt) override = 0;
  // The view lost the capture while a button held it; the buttons are up already.
  virtual void OnCaptureLost() = 0;

 private:
  UINT m_nCursorId;
};
