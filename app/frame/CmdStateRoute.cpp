#include "CmdStateRoute.h"

BOOL OfferToStateHandler(const StateCommandHandler& handler, gui::CmdTarget* self, UINT id, int code, void* extra,
                         gui::CmdHandlerInfo* info, bool showsCheck) {
  if (code == gui::CN_UPDATE_COMMAND_UI) {
    CmdUIState state;
    if (!handler(id, &state)) return FALSE;
    if (auto* ui = static_cast<gui::CmdUI*>(extra)) {
      ui->Enable(state.bEnabled);
      if (showsCheck || state.bCheckSet || state.bChecked) ui->SetCheck(state.bChecked ? 1 : 0);
      if (state.pszText) ui->SetText(state.pszText);
    }
    return TRUE;
  }
  if (code != gui::CN_COMMAND) return FALSE;
  if (info) {
    CmdUIState probe;
    if (!handler(id, &probe)) return FALSE;
    info->pTarget = self;
    return TRUE;
  }
  return handler(id, nullptr);
}
