// The program's own command handlers (the paint space with its tools, the layer list) answer
// both asks through one entry: with a state they only tell (and fill it), without one they
// run the command. This offers a command of the frame's route to such a handler: update-UI
// takes the state's enable, check and menu text, a query names the target, a command runs.
// No Qt in here.
#pragma once
#include <functional>

#include "platform/gui/Commands.h"
#include "tools/Operation.h"

using StateCommandHandler = std::function<BOOL(UINT id, CmdUIState* state)>;

// TRUE when the handler has the command. showsCheck: update-UI always sets the check (a
// toggle); otherwise only a set check is passed on.
BOOL OfferToStateHandler(const StateCommandHandler& handler, gui::CmdTarget* self, UINT id, int code, void* extra,
                         gui::CmdHandlerInfo* info, bool showsCheck);
