// The drop-down list popup: a frameless, topmost window holding a list box of 20-pixel text
// rows, shown below (or above) a place on the screen for the user to pick one row. No Qt in
// here.
//
// The owner fills the list (GetListBox: LB_ADDSTRING, LB_INSERTSTRING, LB_RESETCONTENT) and
// calls Popup. While it shows, the popup is the active window (it takes the keys) and holds
// the mouse: hovering a row highlights it, releasing the left button on a row chooses it (also
// at the end of a press that began on the opener); Enter chooses the highlighted row, Escape
// cancels, and so does a press outside the popup, the popup losing activation and the popup
// losing the mouse to anyone else. Long lists scroll with the wheel, the keys and a scroll
// strip at the right edge. Closed by the user, the popup hides, lets go of the mouse and
// posts its owner WM_MYPOPUPCLOSED (wParam 1 chosen, 0 cancelled; lParam the popup): it
// arrives after the input that closed the popup, so the owner may destroy the popup there.
// After a choice the list's current row (LB_GETCURSEL) is the chosen one, after a cancel the
// row it was opened with.
#pragma once
#include <memory>

#include "Font.h"
#include "ListBox.h"
#include "Window.h"

class CListPopup : public gui::GWindow {
 public:
  static constexpr int kRowHeight = 20;

  CListPopup();
  ~CListPopup() override;

  // Makes the hidden popup and its list; owner gets the notifications and carries the popup
  // along (it is destroyed with the owner's widget); font draws the rows (null: the stock
  // font) and must outlive the popup.
  BOOL Create(gui::GWindow* owner, gui::HFONT font);
  // The list the owner fills and reads; null before Create.
  gui::ListBox* GetListBox();

  // Shows the popup width pixels wide, visibleRows rows high (fewer when the list has fewer
  // rows or the screen has no room), below screenAnchor from its left edge, or above it when
  // the work area has no room below; selectedRow (-1: none) is highlighted and scrolled into
  // view. Takes the activation, the keyboard focus and the mouse. FALSE before Create.
  BOOL Popup(const RECT& screenAnchor, int width, int visibleRows, int selectedRow);
  // Hides the popup and lets go of the mouse without telling the owner (for an owner that
  // ends the choice itself). Hide it this way, never with ShowWindow.
  void Hide();
  BOOL IsOpen() const { return m_bOpen; }

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  class PopupList;

  // Ends the popup for the user's choice or cancel: hidden, the mouse let go, the owner told.
  void Close(bool chosen);
  void OnMouse(UINT msg, WPARAM wParam, POINT pt);
  void OnKey(UINT vk);
  // Runs a message of the list's own (keys, wheel) and repaints the strip when it scrolled.
  void ListInput(UINT msg, WPARAM wParam, LPARAM lParam);
  void ScrollTo(int top);
  // The scroll strip and its thumb in client coordinates; empty when the rows all show.
  RECT StripRect() const;
  RECT ThumbRect() const;
  int MaxTop() const;
  void OnPaint();

  std::unique_ptr<PopupList> m_pList;
  gui::HFONT m_font = nullptr;
  bool m_bOpen = false;
  bool m_bStrip = false;       // the rows do not all show: the scroll strip is there
  bool m_bSettling = false;    // opened in the current event: a lost mouse is taken back
  unsigned m_generation = 0;   // counts the openings, to match the message that settles one
  int m_nOpenedSel = -1;      // the row the popup was opened with, back after a cancel
  bool m_bStripPress = false;  // the left press began on the strip: its release chooses nothing
  bool m_bThumbDrag = false;
  int m_thumbGrab = 0;  // where the thumb was grabbed, from its top
};
