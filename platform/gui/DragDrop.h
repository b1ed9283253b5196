// Files dropped on a window from the desktop. A window that asks for drops gets WM_DROPFILES
// (wParam: an HDROP) on the UI thread once the drop has ended, with the dropped local files
// in UTF-16; drops of anything but local files, and drops on windows that did not ask, are
// refused while dragging. No Qt in here.
#pragma once
#include "platform/base/Types.h"

// The files of one drop; valid from WM_DROPFILES until DragFinish (a handle the window did
// not finish is freed when WM_DROPFILES returns).
using HDROP = struct HDROP__*;

namespace gui {

// The window takes drops of files (accept TRUE) or refuses them again (FALSE).
void DragAcceptFiles(HWND hwnd, BOOL accept);
// index 0xFFFFFFFF: the number of files. Else the length of file index (without the
// terminating zero) with buf null, or copies at most size - 1 characters of it and a zero to
// buf and returns the characters copied. 0 for a bad handle or index.
UINT DragQueryFile(HDROP drop, UINT index, char16_t* buf, UINT size);
// The client point of the window where the files were dropped; FALSE for a bad handle.
BOOL DragQueryPoint(HDROP drop, POINT* pt);
// Frees the handle.
void DragFinish(HDROP drop);

}  // namespace gui
