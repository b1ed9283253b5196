// The application object, the posted-message queue and the message-box helpers.
#pragma once
#include <QApplication>
#include <functional>

#include "ErrorHook.h"
#include "platform/base/Types.h"

namespace gui {

// The Qt application: installs the poster of window messages (plat::PostMessage queues to
// the UI thread from any thread) and catches any error that escapes event dispatch, handing
// it to the error hook so that the program goes on.
class Application : public QApplication {
 public:
  Application(int& argc, char** argv);
  ~Application() override;
  bool notify(QObject* receiver, QEvent* event) override;
  // Qt's own dialogs (files, Yes / No) in the language of the program's texts, from the
  // distribution's Qt translations; FALSE when they are not installed.
  BOOL LoadStockTranslations(const char* locale);
};

// Delivers the posted messages queued so far on the calling (UI) thread; returns how many.
int RunPostedMessages();

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
// Answers every message box without showing it (headless runs and tests); null restores the
// real boxes. The answer function gets text, caption and type.
using MessageBoxAnswer = std::function<int(const char16_t* text, const char16_t* caption, UINT type)>;
void SetMessageBoxAnswer(MessageBoxAnswer answer);
// Opens a file (the help file) with the desktop's viewer; FALSE when that failed.
BOOL OpenWithDesktop(const char16_t* path);

}  // namespace gui
