// The history drop-down of the main toolbar's undo and redo buttons: the arrow beside the
// button lists the steps of the paint space's undo (redo) store by their labels, newest
// first, and choosing the k-th entry undoes (redoes) k steps at once.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "platform/base/Types.h"

class CPaintSpace;
struct OUndoRecorder;
class QMenu;
class QToolButton;
namespace gui {
class CmdTarget;
}

class CHistoryDropDown {
 public:
  using SpaceSource = std::function<CPaintSpace*()>;

  // Gives button (the toolbar button of ID_EDIT_UNDO or ID_EDIT_REDO) its history menu. The
  // command's update-UI along route decides whether a choice may run; afterRun follows every
  // run. The drop-down belongs to the button's menu and goes with it. Null for no button.
  static CHistoryDropDown* Attach(QToolButton* button, UINT id, gui::CmdTarget* route, SpaceSource space,
                                  std::function<void()> afterRun);

  // The step labels of a store, newest first.
  static std::vector<std::u16string> ListLabels(OUndoRecorder* store);

  QMenu* GetMenu() const { return m_pMenu; }
  bool IsRedo() const;
  // Undoes (redoes) count steps when the command is enabled.
  void Run(int count);

 private:
  CHistoryDropDown(QMenu* menu, UINT id, gui::CmdTarget* route, SpaceSource space, std::function<void()> afterRun);
  OUndoRecorder* GetStore() const;
  // Fills the menu from the store just before it shows.
  void Refill();

  QMenu* m_pMenu;
  UINT m_nID;
  gui::CmdTarget* m_pRoute;
  SpaceSource m_space;
  std::function<void()> m_afterRun;
};
