// The error hook: every entry point from Qt into the program (events, posted messages,
// timers, actions, scroll bars, command routing) reports an escaping error through it, and
// the program goes on. No Qt in here.
#pragma once
#include <functional>
#include <utility>

#include "odata/GError.h"
#include "platform/base/Types.h"

namespace gui {

// Where an error that escaped a handler goes (the program installs the system object's error
// report). The error is valid for the call; a handler that keeps it adds a reference.
using ErrorHandler = std::function<void(GError*)>;
void SetErrorHandler(ErrorHandler handler);
// Hands an error to the handler (without one it is dropped). Takes errors as thrown, with no
// reference held: the error is freed afterwards unless the handler kept it.
void ReportError(GError* error);
// Reports whatever the running catch block caught: a GErrRecord*/GError* as it is, any other
// OBeing* is released, a std::exception or anything else becomes a new error record
// ("E: " the exception's text). Call only inside a catch block.
void ReportCurrentException();

// Runs fn and reports anything it throws; FALSE when it threw. Every entry point from Qt into
// the program (events, posted messages, timers, actions, scroll bars) runs through this.
template <class F>
BOOL GuardedCall(F&& fn) noexcept {
  try {
    std::forward<F>(fn)();
    return TRUE;
  } catch (...) {
    ReportCurrentException();
    return FALSE;
  }
}

}  // namespace gui
