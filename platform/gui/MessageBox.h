// The message boxes, for code without Qt: the program's own modal questions and notices.
#pragma once
#include "platform/base/Types.h"

namespace gui {

// Message boxes. Types and answers as the system numbers them.
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_YESNOCANCEL = 0x3;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_ICONERROR = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONWARNING = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
// Shows a modal message box over owner (null: the active window); returns the button pressed.
int MessageBox(HWND owner, const char16_t* text, const char16_t* caption, UINT type);
// The program's message dialog: text with OK and Cancel; TRUE when OK was pressed.
BOOL ShowMessage(const char16_t* caption, const char16_t* text);

}  // namespace gui
