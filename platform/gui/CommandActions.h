// One QAction per command id for menus and toolbars: triggering runs the command along the
// route; enabled, checked and text follow update-UI before a menu shows and on a timer for
// toolbars.
#pragma once
#include <map>

#include "Commands.h"

class QAction;
class QIcon;
class QMenu;
class QObject;
class QTimer;

namespace gui {

class CommandActions {
 public:
  // Actions are children of parent; commands go to route (which must outlive them).
  CommandActions(QObject* parent, CmdTarget* route);
  ~CommandActions();
  CommandActions(const CommandActions&) = delete;
  CommandActions& operator=(const CommandActions&) = delete;

  // The action of a command id, made on first call: menu text (with "&" for the access key),
  // an optional shortcut in the portable form ("Ctrl+Z"), optional tooltip, checkable.
  QAction* Add(UINT id, const char16_t* text, const char16_t* shortcut = nullptr,
               bool checkable = false, const char16_t* tip = nullptr);
  QAction* Get(UINT id) const;
  void SetIcon(UINT id, const QIcon& icon);

  // Applies update-UI to one action (TRUE when it set the check) or to all of them.
  bool Update(UINT id);
  void UpdateAll();
  // Updates the menu's actions (and its submenus') each time before it shows.
  void WatchMenu(QMenu* menu);
  // Updates every action every ms milliseconds (toolbars); 0 stops.
  void SetUpdateInterval(int ms);

 private:
  QObject* m_pParent;
  CmdTarget* m_pRoute;
  std::map<UINT, QAction*> m_actions;
  QTimer* m_pTimer = nullptr;
};

}  // namespace gui
