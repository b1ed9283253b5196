// Posting window messages from any thread. The GUI layer installs the poster;
// without one (headless use) posting reports failure and does nothing.
#pragma once
#include "Types.h"

namespace plat {

using MessagePoster = BOOL (*)(HWND, UINT, WPARAM, LPARAM);
void SetMessagePoster(MessagePoster poster);
BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

}  // namespace plat
