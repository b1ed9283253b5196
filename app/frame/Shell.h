// The shell's services for the application object, without Qt in the interface: the display,
// the interface font, the file choosers, the About box and the help viewer.
#pragma once
#include <functional>
#include <string>

#include "platform/base/Types.h"

class CMainFrame;

namespace shell {

// Whether the program has a screen to show its windows on.
BOOL HasDisplay();
// Makes the interface Chinese throughout: a font that shows the characters, and Qt's own
// dialogs and buttons in Chinese where their translation is installed.
void SetupInterface();

// The document to open, or to save under (suggestion: the present path); empty when the
// user cancelled.
std::u16string AskOpenPath(CMainFrame* frame);
std::u16string AskSavePath(CMainFrame* frame, const std::u16string& suggestion);
// Answers the choosers without showing them (tests, headless runs); null shows them again.
using PathAnswer = std::function<std::u16string(bool save, const std::u16string& suggestion)>;
void SetPathAnswer(PathAnswer answer);

// The new-document dialog, filled with the given values; FALSE when cancelled.
BOOL AskNewDocument(CMainFrame* frame, int* kind, int* width, int* height);
void ShowAbout(CMainFrame* frame);
// The running program's file name, without its folder.
std::u16string ProgramFileName();
// A program on the search path that shows ".chm" files; empty when none is installed.
std::u16string FindHelpViewer();
// Starts the viewer on the file; FALSE when it could not be started.
BOOL StartHelpViewer(const std::u16string& viewer, const std::u16string& path);

}  // namespace shell
