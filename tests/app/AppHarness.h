// A program started in a folder of its own: settings in a file there, the folder as the
// program folder (so no sample unless a test puts one there), the plug-ins of bin/System, and
// every modal dialog, message box and file chooser answered and logged instead of shown.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "SRC/GSystem.h"
#include "core/Application.h"
#include "core/PaintSpace.h"
#include "core/TavrikDoc.h"
#include "frame/Dialogs.h"
#include "frame/MainFrame.h"
#include "frame/Shell.h"
#include "platform/base/Files.h"
#include "platform/base/Text.h"
#include "platform/gui/Application.h"
#include "platform/gui/Settings.h"

inline std::string U8(const std::u16string& s) { return plat::ToUtf8(s); }

class AppTest : public ::testing::Test {
 protected:
  AppTest() {
    folder = plat::GetTempFolder() + u"tavrik_app_" + plat::Widen(std::to_string(::getpid())) + u"_" +
             plat::Widen(::testing::UnitTest::GetInstance()->current_test_info()->name());
    Shell("rm -rf '" + U8(folder) + "' && mkdir -p '" + U8(folder) + "'");
    UseFreshSettings();
    SetDialogAnswer([this](QDialog* dialog) {
      log.push_back(u"dialog:" + std::u16string(reinterpret_cast<const char16_t*>(dialog->windowTitle().utf16())));
      return onDialog ? onDialog(dialog) : int(QDialog::Rejected);
    });
    gui::SetMessageBoxAnswer([this](const char16_t* text, const char16_t* caption, UINT type) {
      log.push_back(u"box:" + std::u16string(caption));
      lastBoxText = text;
      return onBox ? onBox(text, caption, type) : gui::IDCANCEL;
    });
    shell::SetPathAnswer([this](bool save, const std::u16string& suggestion) {
      log.push_back(save ? u"save" : u"open");
      return onPath ? onPath(save, suggestion) : std::u16string();
    });
  }
  ~AppTest() override {
    Stop();
    SetDialogAnswer(nullptr);
    gui::SetMessageBoxAnswer(nullptr);
    shell::SetPathAnswer(nullptr);
    gui::Settings::UseFile(settingsFile + u".unused");
    Shell("rm -rf '" + U8(folder) + "'");
  }

  static void Shell(const std::string& cmd) { ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd; }

  // A settings store of this test's own that holds nothing yet.
  void UseFreshSettings() {
    settingsFile = folder + u"/settings" + plat::Widen(std::to_string(++settingsRound)) + u".ini";
    gui::Settings::UseFile(settingsFile);
  }

  // Starts the program (not shown unless asked); the plug-ins come from bin/System unless
  // the startup names another folder.
  bool Start(TavrikStartup startup = {}) {
    Stop();
    if (startup.strProgramFolder.empty()) startup.strProgramFolder = folder;
    if (startup.strModuleFolder.empty()) startup.strModuleFolder = plat::FromUtf8(TEST_PLUGIN_DIR "/..");
    startup.bShowWindow = show;
    app = std::make_unique<CTavrikApp>();
    return app->InitInstance(startup) != FALSE;
  }
  // Ends the program as the user would: the frame closes quietly, the settings are written.
  void Stop() {
    if (!app) return;
    if (CMainFrame* frame = app->GetMainFrame()) {
      frame->SetQuiet(true);
      frame->Close();
      app->ExitInstance();
    }
    app.reset();
  }

  CMainFrame* Frame() { return app->GetMainFrame(); }
  CTavrikDoc* Doc() { return app->GetDocument(); }
  CPaintSpace* Space() { return Doc()->GetPaintSpace(); }
  CMyListLayer* List() { return Doc()->GetListLayer(); }
  // A fresh document of the given kind and size.
  void NewDocument(int kind, int width, int height) {
    app->m_spaceSize = NewSpaceSize{width, height};
    ASSERT_TRUE(Doc()->NewDocument(kind));
  }
  BOOL Run(UINT id) { return gui::ExecuteCommand(Frame(), id); }
  gui::CmdUI Update(UINT id) {
    gui::CmdUI ui(id);
    gui::UpdateCommandUI(Frame(), &ui);
    return ui;
  }
  bool Logged(const std::u16string& entry) const {
    for (const auto& e : log)
      if (e == entry) return true;
    return false;
  }
  static bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
      if (t.elapsed() > ms) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      gui::RunPostedMessages();
    }
    return true;
  }

  std::u16string folder;
  std::u16string settingsFile;
  int settingsRound = 0;
  bool show = false;
  std::unique_ptr<CTavrikApp> app;
  std::vector<std::u16string> log;  // "dialog:<title>", "box:<caption>", "open", "save"
  std::u16string lastBoxText;
  std::function<int(QDialog*)> onDialog;
  std::function<int(const char16_t*, const char16_t*, UINT)> onBox;
  std::function<std::u16string(bool, const std::u16string&)> onPath;
};
