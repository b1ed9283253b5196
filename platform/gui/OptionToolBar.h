// The tool bar a tool shows on the option bar: flat buttons built from a toolbar resource,
// whose images are the cells of the toolbar's bitmap, with separators for the commands of 0
// and each command's tooltip from its string resource (the text after the line feed; the
// prompt before it goes to the status bar). No Qt in here.
//
// A click sends the owner (the parent unless SetOwner says otherwise; the tools name the main
// frame) WM_COMMAND with MAKEWPARAM(command, 0) and lParam 0; the owner runs it along its
// command route, which reaches the current tool.
//
// Update-UI: the bar asks a command target for each button's state, the way menus and the
// frame's toolbars are asked: gui::UpdateCommandUI from the target given with SetCmdTarget,
// else from the owner window when that is a gui::CmdTarget (the main frame is). A button is
// enabled as update-UI says (disabled when nobody handles its command) and shows the check
// update-UI sets. The bar updates when it is shown, every SetUpdateInterval milliseconds
// while it shows (250 unless changed), after each click, and on UpdateButtons().
#pragma once
#include <vector>

#include "Control.h"

class QAction;
class QTimer;
class QToolBar;

// Button styles and states (GetButtonStyle, SetButtonStyle).
constexpr UINT TBBS_BUTTON = 0x0000;
constexpr UINT TBBS_SEPARATOR = 0x0001;
constexpr UINT TBBS_CHECKBOX = 0x0002;  // a click toggles the check (update-UI may set it back)
constexpr UINT TBBS_CHECKED = 0x0100;
constexpr UINT TBBS_DISABLED = 0x0400;

namespace gui {

class CmdTarget;

class OptionToolBar : public Control {
 public:
  OptionToolBar();
  ~OptionToolBar() override;

  // Makes the empty bar at the top left of parent's client area; styles WS_VISIBLE and
  // WS_DISABLED; fontHeight in pixels (0: the default font).
  BOOL Create(GWindow* parent, DWORD style = WS_CHILD | WS_VISIBLE, UINT id = 0, int fontHeight = 0);
  // Replaces the buttons with those of toolbar resource resourceId and sizes the bar to
  // CalcSize(). FALSE (the bar unchanged) when the toolbar or its bitmap is missing.
  BOOL LoadToolBar(UINT resourceId);
  // The size of the buttons laid out in a row (device pixels).
  SIZE CalcSize() const;

  void SetOwner(HWND owner) { m_hOwner = owner; }
  HWND GetOwner() const { return m_hOwner; }
  // The command target update-UI asks (null: the owner when it is one). It must outlive the
  // bar or be reset.
  void SetCmdTarget(CmdTarget* target) { m_pTarget = target; }
  void UpdateButtons();
  // 0 stops the timer.
  void SetUpdateInterval(int ms);

  // Buttons by index, separators included.
  int GetButtonCount() const { return int(m_items.size()); }
  // The index of the first button of the command; -1 when none.
  int CommandToIndex(UINT id) const;
  // The command of a button; 0 for a separator or a bad index.
  UINT GetItemID(int index) const;
  // The button's rectangle in the bar's client area (device pixels); empty for a bad index.
  void GetItemRect(int index, RECT* rc) const;
  // TBBS_ bits: the kind (separator, check box) and the state (checked, disabled).
  UINT GetButtonStyle(int index) const;
  void SetButtonStyle(int index, UINT style);

 private:
  struct Item {
    UINT id;
    UINT style;
    QAction* action;
  };
  void OnClick(int index, bool checked);
  void StartTimer();

  QToolBar* m_pBar = nullptr;
  QTimer* m_pTimer = nullptr;
  int m_nInterval = 250;
  HWND m_hOwner = nullptr;
  CmdTarget* m_pTarget = nullptr;
  std::vector<Item> m_items;
};

}  // namespace gui
