// Command routing and update-UI. A command id is offered along a route of command targets;
// the first target with a handler for it runs it. Before a menu shows (and on a timer for
// toolbars) the same route answers update-UI: enabled, checked, text. No Qt in here.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "platform/base/Types.h"

namespace gui {

class CmdTarget;

// Notification codes of OnCmdMsg.
constexpr int CN_COMMAND = 0;
constexpr int CN_UPDATE_COMMAND_UI = -1;

// Filled when a command is only asked for, not run.
struct CmdHandlerInfo {
  CmdTarget* pTarget = nullptr;
};

// The answer of update-UI for one command.
class CmdUI {
 public:
  explicit CmdUI(UINT id) : m_nID(id) {}
  void Enable(BOOL on = TRUE) {
    m_bEnabled = on;
    m_bEnableChanged = true;
  }
  // 0 unchecked, 1 checked, 2 indeterminate.
  void SetCheck(int check = 1) {
    m_nCheck = check;
    m_bCheckChanged = true;
  }
  void SetRadio(BOOL on = TRUE) { SetCheck(on ? 1 : 0); }
  void SetText(const char16_t* text) {
    m_text = text ? text : u"";
    m_bTextChanged = true;
  }

  UINT m_nID;
  BOOL m_bEnabled = TRUE;
  int m_nCheck = 0;
  std::u16string m_text;
  bool m_bEnableChanged = false;
  bool m_bCheckChanged = false;
  bool m_bTextChanged = false;
  // Set by the route: an update handler answered.
  bool m_bHandled = false;
};

// A target of commands with its own table of handlers (the message map).
class CmdTarget {
 public:
  virtual ~CmdTarget() = default;
  // Offers a command. CN_COMMAND: with info null runs the handler, with info only answers
  // whether there is one (and names the target). CN_UPDATE_COMMAND_UI: extra is the CmdUI*
  // for the update handler. TRUE when this target has the handler. Override to put other
  // targets first (the paint space offers its current tool first), then call this.
  virtual BOOL OnCmdMsg(UINT id, int code, void* extra, CmdHandlerInfo* info);

 protected:
  void OnCommand(UINT id, std::function<void()> handler);
  void OnCommandRange(UINT first, UINT last, std::function<void(UINT)> handler);
  void OnUpdateCommandUI(UINT id, std::function<void(CmdUI*)> handler);
  void OnUpdateCommandUIRange(UINT first, UINT last, std::function<void(CmdUI*)> handler);

 private:
  struct Entry {
    UINT first;
    UINT last;
    std::function<void(UINT)> command;
    std::function<void(CmdUI*)> update;
  };
  std::vector<Entry> m_map;
};

// An ordered list of targets offered a command in turn; the first that has the handler ends
// the walk. A route is itself a target, so routes nest.
class CommandRoute : public CmdTarget {
 public:
  void SetTargets(std::vector<CmdTarget*> targets) { m_targets = std::move(targets); }
  void Add(CmdTarget* target) { m_targets.push_back(target); }
  void Remove(CmdTarget* target);
  void Clear() { m_targets.clear(); }
  const std::vector<CmdTarget*>& Targets() const { return m_targets; }

  BOOL OnCmdMsg(UINT id, int code, void* extra, CmdHandlerInfo* info) override;

  BOOL Execute(UINT id);
  CmdUI UpdateUI(UINT id);

 private:
  std::vector<CmdTarget*> m_targets;
};

// The top of command handling: runs a command along the route from root. FALSE when no
// target has it, or when its handler threw: the error then goes to the error hook, once.
BOOL ExecuteCommand(CmdTarget* root, UINT id);
// Update-UI along the route from root: the first update handler's answer; with none, a
// command that some target handles stays enabled and one that nobody handles is disabled.
// A throwing handler is reported and the command disabled.
void UpdateCommandUI(CmdTarget* root, CmdUI* ui);

}  // namespace gui
