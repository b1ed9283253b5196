// The drop-down list of the option bars: a face that shows the current row's text and a
// drop-down arrow, and a list popup (ListPopup.h) that opens under it on a click. No Qt in
// here.
//
// The rows are the popup list's (GetListWindow: LB_INSERTSTRING with -1 appends a row). The
// tools read and write the current row, m_nCurSel (-1: none), directly. The face draws the
// fields as they are whenever it paints (a row that does not exist shows no text);
// UpdateData() clamps m_nCurSel to -1 .. rows - 1 and repaints at once, and so does
// SetCurSel for one row. Changing rows does not repaint: call UpdateData after it.
//
// The user's choice in the popup, or a wheel step over the face (one row a notch, stopping at
// the ends), writes m_nCurSel, repaints and sends WM_MYCOMBOCHANGED (wParam the row, lParam
// the control) to the notify window; a choice tells it also when the row stays the same. A
// cancelled popup changes nothing. The face looks lighter under the mouse, darker while the
// popup is open and greyed while the control is disabled. It never keeps the keyboard focus.
#pragma once
#include <memory>

#include "Control.h"
#include "Font.h"

namespace gui {
class ListBox;
}
class CListPopup;

class CMyComboBox : public gui::Control {
 public:
  // Rows the popup shows at most before it scrolls.
  static constexpr int kDropRows = 12;

  CMyComboBox();
  ~CMyComboBox() override;

  // Makes the control, width x height pixels at the top left of parent's client area (the
  // option bar places it), visible, with its hidden popup. font draws the face and the rows
  // (null: the stock font) and must outlive the control. notify gets WM_MYCOMBOCHANGED (null:
  // the parent).
  BOOL Create(gui::GWindow* parent, int width, int height, gui::HFONT font, HWND notify = nullptr, UINT id = 0);

  // The popup's list: the rows. Null before Create.
  gui::ListBox* GetListWindow();
  int GetCount() const;
  int GetCurSel() const { return m_nCurSel; }
  // Makes row current (clamped to -1 .. rows - 1) and repaints; nobody is notified.
  void SetCurSel(int row);
  // Shows the fields now, m_nCurSel clamped first. TRUE.
  BOOL UpdateData();
  BOOL GetDroppedState() const;

  // Size the control with these (not through a GWindow pointer): the face follows, and a
  // change of the enabled state repaints it.
  void MoveWindow(const RECT& rc, BOOL repaint = TRUE);
  BOOL EnableWindow(BOOL enable);

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

  int m_nCurSel = -1;

 private:
  class Face;

  int Clamped(int row) const;
  void Repaint();
  // The face's messages.
  LRESULT FaceMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  void DrawFace();
  void OpenPopup();
  // The user made row current: stored, shown and reported.
  void OnUserRow(int row);

  std::unique_ptr<Face> m_pFace;
  std::unique_ptr<CListPopup> m_pPopup;
  gui::HFONT m_font = nullptr;
  HWND m_hNotify = nullptr;
  bool m_bHover = false;
  // The window that had the keyboard when the mouse came over the face: a click gives the face
  // the focus, which it hands straight back, so the keys stay where the user was typing.
  HWND m_hKeys = nullptr;
};
