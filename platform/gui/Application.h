// The application object, the posted-message queue and the message-box helpers.
#pragma once
#include <QApplication>
#include <functional>

#include "ErrorHook.h"
#include "MessageBox.h"
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

// Answers every message box without showing it (headless runs and tests); null restores the
// real boxes. The answer function gets text, caption and type.
using MessageBoxAnswer = std::function<int(const char16_t* text, const char16_t* caption, UINT type)>;
void SetMessageBoxAnswer(MessageBoxAnswer answer);
// Opens a file (the help file) with the desktop's viewer; FALSE when that failed.
BOOL OpenWithDesktop(const char16_t* path);

}  // namespace gui
