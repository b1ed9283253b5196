#include "Commands.h"

#include <algorithm>

#include "ErrorHook.h"

namespace gui {

BOOL CmdTarget::OnCmdMsg(UINT id, int code, void* extra, CmdHandlerInfo* info) {
  for (const Entry& e : m_map) {
    if (id < e.first || id > e.last) continue;
    if (code == CN_COMMAND && e.command) {
      if (info) {
        info->pTarget = this;
      } else {
        e.command(id);
      }
      return TRUE;
    }
    if (code == CN_UPDATE_COMMAND_UI && e.update) {
      if (extra) e.update(static_cast<CmdUI*>(extra));
      return TRUE;
    }
  }
  return FALSE;
}

void CmdTarget::OnCommand(UINT id, std::function<void()> handler) {
  m_map.push_back(Entry{id, id, [h = std::move(handler)](UINT) { h(); }, nullptr});
}

void CmdTarget::OnCommandRange(UINT first, UINT last, std::function<void(UINT)> handler) {
  m_map.push_back(Entry{first, last, std::move(handler), nullptr});
}

void CmdTarget::OnUpdateCommandUI(UINT id, std::function<void(CmdUI*)> handler) {
  m_map.push_back(Entry{id, id, nullptr, std::move(handler)});
}

void CmdTarget::OnUpdateCommandUIRange(UINT first, UINT last, std::function<void(CmdUI*)> handler) {
  m_map.push_back(Entry{first, last, nullptr, std::move(handler)});
}

void CommandRoute::Remove(CmdTarget* target) {
  m_targets.erase(std::remove(m_targets.begin(), m_targets.end(), target), m_targets.end());
}

BOOL CommandRoute::OnCmdMsg(UINT id, int code, void* extra, CmdHandlerInfo* info) {
  // A copy: a handler may change the route (the view goes away, a tool changes).
  std::vector<CmdTarget*> targets = m_targets;
  for (CmdTarget* t : targets) {
    if (t && t->OnCmdMsg(id, code, extra, info)) return TRUE;
  }
  return CmdTarget::OnCmdMsg(id, code, extra, info);
}

BOOL CommandRoute::Execute(UINT id) { return ExecuteCommand(this, id); }

CmdUI CommandRoute::UpdateUI(UINT id) {
  CmdUI ui(id);
  UpdateCommandUI(this, &ui);
  return ui;
}

BOOL ExecuteCommand(CmdTarget* root, UINT id) {
  if (!root) return FALSE;
  BOOL handled = FALSE;
  if (!GuardedCall([&] { handled = root->OnCmdMsg(id, CN_COMMAND, nullptr, nullptr); })) return FALSE;
  return handled;
}

void UpdateCommandUI(CmdTarget* root, CmdUI* ui) {
  if (!ui) return;
  if (!root) {
    ui->Enable(FALSE);
    return;
  }
  BOOL ok = GuardedCall([&] {
    if (root->OnCmdMsg(ui->m_nID, CN_UPDATE_COMMAND_UI, ui, nullptr)) {
      ui->m_bHandled = true;
      return;
    }
    CmdHandlerInfo info;
    if (!root->OnCmdMsg(ui->m_nID, CN_COMMAND, nullptr, &info)) ui->Enable(FALSE);
  });
  if (!ok) ui->Enable(FALSE);
}

}  // namespace gui
