// The program. Without options it starts the painting program on the document named on its
// command line. --list-components builds the system object, loads the plug-ins beside the
// program, lists the component classes they offer and exits. --screenshot PATH starts the
// program as usual (with settings of its own, so that every run looks alike), lays the window
// out at 1280 x 800, waits until the view shows the composed document, writes a PNG of the
// window to PATH and exits.
#include <QCoreApplication>
#include <QtGlobal>
#include <cstdio>
#include <cstring>
#include <string>

#include "SRC/GSystem.h"
#include "core/Application.h"
#include "frame/MainFrame.h"
#include "platform/base/Files.h"
#include "platform/base/Text.h"
#include "platform/gui/Application.h"
#include "platform/gui/Settings.h"

namespace {

std::string Show(const char16_t* text) { return text ? plat::ToUtf8(text) : std::string(); }

int ListComponents() {
  CSystem* system = nullptr;
  OBeing* being = GCreateSystem(u"Tavrik", nullptr, 0, &system);
  being->AddRef();
  g_pSystem = system;

  int rc = 0;
  try {
    int count = g_pSystem->LoadComponents(u"System/*.so");
    std::printf("%d component classes\n", count);
    g_pSystem->ForEachEntry([](const GComponentRecord& record) {
      std::printf("%s\t%s\t%s\n", Show(record.interfaceName).c_str(), Show(record.implementationName).c_str(),
                  Show(record.description).c_str());
    });
  } catch (GErrRecord* e) {
    g_pSystem->ReportError(e);
    rc = 1;
  }

  g_pSystem = nullptr;
  being->Release();
  return rc;
}

// A message box's text for the error output, on one line with one program prefix.
std::u16string ConsoleMessage(const std::u16string& caption, std::u16string text) {
  for (char16_t& c : text)
    if (c == u'\n') c = u' ';
  std::u16string line = u"Tavrik: ";
  if (!caption.empty() && caption != u"Tavrik") line += caption + u": ";
  return line + text;
}

// Without a screen Qt would end in its own long abort text.
bool HasDisplay() {
  return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
         !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

int Usage() {
  std::fprintf(stderr, "usage: Tavrik [document.kelv]\n"
                       "       Tavrik --list-components\n"
                       "       Tavrik --screenshot PATH [document.kelv]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string screenshot;
  std::string file;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--list-components") == 0) return ListComponents();
    if (std::strcmp(argv[i], "--screenshot") == 0) {
      if (++i >= argc) return Usage();
      screenshot = argv[i];
    } else if (argv[i][0] == '-' && argv[i][1] == '-') {
      return Usage();
    } else if (file.empty()) {
      file = argv[i];
    }
  }

  if (screenshot.empty() && !HasDisplay()) {
    std::fprintf(stderr, "Tavrik needs a graphical display (DISPLAY is not set); "
                         "--screenshot PATH [document.kelv] works without one.\n");
    return 1;
  }
  // A picture needs no screen.
  if (!screenshot.empty() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  gui::Application qapp(argc, argv);
  // The program's own texts are Chinese; Qt's stock dialogs follow them when they can.
  qapp.LoadStockTranslations("zh_CN");
  std::u16string settingsFile;
  if (!screenshot.empty()) {
    // Its settings are fresh ones of its own, gone afterwards.
    settingsFile = plat::GetTempFolder() + u"tavrik_screenshot_" +
                   plat::Widen(std::to_string(QCoreApplication::applicationPid())) + u".ini";
    plat::DeleteFile(settingsFile);
    gui::Settings::UseFile(settingsFile);
    // Nobody is there to answer a message: it goes to the error output.
    gui::SetMessageBoxAnswer([](const char16_t* text, const char16_t* caption, UINT) {
      std::fprintf(stderr, "%s\n", plat::ToUtf8(ConsoleMessage(caption, text)).c_str());
      return gui::IDCANCEL;
    });
  }
  int rc = 0;
  {
    CTavrikApp app;
    TavrikStartup startup;
    startup.strFile = plat::FromUtf8(file);
    if (!app.InitInstance(startup)) return 1;
    if (screenshot.empty()) {
      rc = qapp.exec();
      app.ExitInstance();
    } else {
      app.GetMainFrame()->SetQuiet(true);
      if (!app.GetMainFrame()->SaveScreenshot(plat::FromUtf8(screenshot), 1280, 800, 20000)) {
        std::fprintf(stderr, "Tavrik: no screenshot written to %s\n", screenshot.c_str());
        rc = 1;
      }
    }
  }
  if (!settingsFile.empty()) {
    gui::Settings::UseFile(u"");
    plat::DeleteFile(settingsFile);
  }
  return rc;
}
