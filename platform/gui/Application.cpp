#include "Application.h"

#include <QDesktopServices>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>
#include <QUrl>
#include <QWidget>
#include <mutex>

#include "Font.h"
#include "Internal.h"
#include "Tablet.h"

namespace gui {

namespace {

std::mutex g_answerMutex;
MessageBoxAnswer g_answer;

}  // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
  detail::InstallPoster();
  detail::InstallQtFontEngine();
}

Application::~Application() {
  detail::RemoveQtFontEngine();
  detail::UninstallPoster();
  detail::FreeCursors();
}

BOOL Application::LoadStockTranslations(const char* locale) {
  auto* translator = new QTranslator(this);
  const QString name = QStringLiteral("qtbase_") + QString::fromLatin1(locale);
  if (!translator->load(name, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return FALSE;
  }
  installTranslator(translator);
  return TRUE;
}

bool Application::notify(QObject* receiver, QEvent* event) {
  switch (event->type()) {
    case QEvent::ApplicationDeactivate:
      detail::CancelCapture();
      break;
    case QEvent::TabletEnterProximity:
      if (g_pTabletContext) g_pTabletContext->m_bAvailable = TRUE;
      break;
    default:
      break;
  }
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ReportCurrentException();
    return false;
  }
}

int MessageBox(HWND owner, const char16_t* text, const char16_t* caption, UINT type) {
  MessageBoxAnswer answer;
  {
    std::lock_guard<std::mutex> lock(g_answerMutex);
    answer = g_answer;
  }
  if (answer) return answer(text ? text : u"", caption ? caption : u"", type);

  QWidget* parent = nullptr;
  if (GWindow* w = GWindow::FromHandle(owner)) parent = w->GetWidget();
  if (!parent) parent = QApplication::activeWindow();
  QMessageBox box(parent);
  box.setWindowTitle(detail::ToQString(caption));
  box.setText(detail::ToQString(text));
  switch (type & 0xF0) {
    case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  switch (type & 0xF) {
    case MB_OKCANCEL: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MB_YESNO: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case MB_YESNOCANCEL:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      break;
    default: box.setStandardButtons(QMessageBox::Ok); break;
  }
  // The capture does not survive a modal box.
  detail::CancelCapture();
  switch (box.exec()) {
    case QMessageBox::Ok: return IDOK;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default: return IDCANCEL;
  }
}

BOOL ShowMessage(const char16_t* caption, const char16_t* text) {
  return MessageBox(nullptr, text, caption, MB_OKCANCEL) == IDOK;
}

void SetMessageBoxAnswer(MessageBoxAnswer answer) {
  std::lock_guard<std::mutex> lock(g_answerMutex);
  g_answer = std::move(answer);
}

BOOL OpenWithDesktop(const char16_t* path) {
  if (!path || !*path) return FALSE;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(detail::ToQString(path))) ? TRUE : FALSE;
}

}  // namespace gui
