// The drag context of a side bar: dragging the bar by its title to float it or to dock it on
// another side. A bar makes one for itself when it has none and starts it from a press on
// its title (StartDrag). While the button is held, a frame on the screen shows where the bar
// would go: the docking zone of a side under the mouse, else the bar's rectangle moved with
// the mouse. Each proposal goes to the bar first (WM_MYDOCKQUERY with the RECT*), which may
// adjust it (its floating size, its docked width). Letting go docks the bar on that side or
// floats it at the rectangle, through the frame's IDockSite (DockBar.h); a right click or
// the loss of the mouse cancels, and so does letting go before the mouse moved a few pixels.
// The frame's docks do the floating and docking themselves; the context only proposes and
// asks. No Qt in here.
#pragma once
#include <memory>

#include "frame/DockMessages.h"
#include "platform/base/Types.h"

class CMyDockContext {
 public:
  // How far the mouse moves before a press on the title becomes a drag.
  static constexpr int kDragDistance = 4;

  explicit CMyDockContext(HWND bar);
  ~CMyDockContext();
  CMyDockContext(const CMyDockContext&) = delete;
  CMyDockContext& operator=(const CMyDockContext&) = delete;

  HWND GetBar() const { return m_hBar; }
  // Starts dragging from a screen point: the context's frame takes the mouse until the
  // button comes up. FALSE when no frame docks the bar or it is not shown.
  BOOL StartDrag(POINT pt);
  BOOL IsDragging() const { return m_bDragging; }
  // The steps of a drag, screen coordinates; the frame's mouse messages call them.
  void Move(POINT pt);
  void Drop(POINT pt);
  void Cancel();
  // Where the bar would go now: the side (DOCK_NONE: floating) and the rectangle (screen).
  int GetProposedSide() const { return m_nSide; }
  RECT GetProposedRect() const { return m_rcProposed; }
  // The window that shows the proposal (and holds the mouse) while dragging; null otherwise.
  HWND GetTrackerWindow() const;

 private:
  class Tracker;
  void Propose(POINT pt);
  void End();

  HWND m_hBar;
  std::unique_ptr<Tracker> m_pTracker;
  bool m_bDragging = false;
  bool m_bMoved = false;
  POINT m_ptStart{0, 0};
  RECT m_rcStart{0, 0, 0, 0};
  RECT m_rcProposed{0, 0, 0, 0};
  int m_nSide = DOCK_NONE;
};
