// Start-up in its order against a plug-in folder with a fake library, the "Configure"
// settings with their defaults and bounds, the first document (command line, sample on the
// first run, else the configured kind), the stored window rectangle fitted to the screen, and
// the error hook that keeps the program going.
#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <climits>

#include "AppHarness.h"
#include "common/PeakMemory.h"
#include "platform/gui/Dc.h"
#include "platform/gui/Font.h"
#include "odata/OData.h"
#include "panels/MyListLayer.h"
#include "platform/gui/ErrorHook.h"

namespace {

class StartupTest : public AppTest {
 protected:
  // bin/System's libraries (linked) and, when asked, the fake library that offers the brushes
  // "A" and "C"; the folder to give as the module folder.
  std::u16string PluginFolder(bool real, bool fake) {
    const std::string dir = U8(folder) + "/modules/System";
    Shell("mkdir -p '" + dir + "'");
    if (real) Shell("ln -s '" TEST_PLUGIN_DIR "'/*.so '" + dir + "'/");
    if (fake) Shell("ln -s '" TEST_FAKE_PLUGIN "' '" + dir + "/a_brushes.so'");
    return folder + u"/modules";
  }
  std::vector<std::u16string> Journal() const { return app->GetStartupJournal(); }
  std::u16string Last() const { return Journal().empty() ? u"" : Journal().back(); }
  // A small document file with one colour layer.
  std::u16string SaveDocument(const std::u16string& path) {
    NewDocument(CTavrikDoc::myNEW_COLOR, 120, 80);
    EXPECT_TRUE(Doc()->SaveFile(path));
    return path;
  }
};

TEST_F(StartupTest, StartsInItsOrderWithThePlugInsOfItsFolder) {
  TavrikStartup startup;
  startup.strModuleFolder = PluginFolder(true, true);
  ASSERT_TRUE(Start(startup));
  CSystem* system = app->GetSystem();
  const std::u16string classes = plat::Widen(std::to_string(system->GetEntryCount()));
  const std::vector<std::u16string> expected = {
      u"command line", u"font",    u"system Tavrik", u"components " + classes, u"XShowDevice",
      u"tablet",       u"display", u"settings",      u"frame",                 u"new 0"};
  EXPECT_EQ(Journal(), expected);
  // The fake library's classes sit beside the program's own.
  EXPECT_NE(system->FindEntry(u"A"), nullptr);
  EXPECT_NE(system->FindEntry(u"C"), nullptr);
  EXPECT_NE(system->FindEntry(u"Morvane"), nullptr);
  EXPECT_EQ(app->GetPhase(), CTavrikApp::myPHASE_RUN);
  EXPECT_EQ(g_pSystem, system);
  EXPECT_EQ(system->GetMainWindow(), Frame()->GetSafeHwnd()) << "errors reach the frame";
  EXPECT_EQ(system->GetErrorCount(), 0u);
  // The two interface fonts, with cells of 14 and 13 pixels.
  ASSERT_TRUE(app->GetFont14() && app->GetFont13());
  gui::DeviceContext dc;
  gui::TEXTMETRIC tm{};
  dc.SelectFont(app->GetFont14());
  ASSERT_TRUE(dc.GetTextMetrics(&tm));
  EXPECT_EQ(tm.tmHeight, 14);
  dc.SelectFont(app->GetFont13());
  ASSERT_TRUE(dc.GetTextMetrics(&tm));
  EXPECT_EQ(tm.tmHeight, 13);
}

TEST_F(StartupTest, WithoutTheDisplayDeviceStartUpFailsAndTheErrorIsReported) {
  TavrikStartup startup;
  startup.strModuleFolder = PluginFolder(false, true);
  EXPECT_FALSE(Start(startup));
  EXPECT_EQ(Last(), u"components 2") << "it stopped at the display device";
  EXPECT_EQ(Frame(), nullptr);
  EXPECT_EQ(app->GetPhase(), CTavrikApp::myPHASE_INIT);
  ASSERT_EQ(app->GetSystem()->GetErrorCount(), 1u);
  auto* record = dynamic_cast<GErrRecord*>(app->GetSystem()->GetError(0));
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(std::u16string(record->GetCondition()), u"NO_NEW_OBJECT");
}

TEST_F(StartupTest, ConfigureSettingsHaveTheirDefaultsAndStoredValuesAreClamped) {
  const char16_t* keys[7] = {u"nTabletPressure", u"nMouseClickInterval", u"nMouseTolerance", u"nSpaceWidth",
                             u"nSpaceHeight",    u"nStartupCreateLayer", u"nFlowerAlphaEnable"};
  const int kAbsent = INT_MIN;
  const struct {
    const char* what;
    int stored[7];
    int read[7];
  } cases[] = {
      {"an empty store", {kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, kAbsent}, {75, 300, 1, 1000, 1000, 1, 0}},
      {"values below", {-5, 10, -1, 0, -7, -1, -3}, {0, 50, 0, 1, 1, 0, 0}},
      {"values above", {250, 99999, 50, 20000, 10001, 7, 9}, {100, 2000, 20, 10000, 10000, 2, 1}},
      {"values within", {40, 500, 3, 640, 480, 2, 1}, {40, 500, 3, 640, 480, 2, 1}},
  };
  CTavrikApp settingsOnly;
  for (const auto& c : cases) {
    UseFreshSettings();
    for (int i = 0; i < 7; ++i)
      if (c.stored[i] != kAbsent) gui::Settings::WriteInt(u"Configure", keys[i], c.stored[i]);
    settingsOnly.LoadConfigure();
    const int read[7] = {settingsOnly.nTabletPressure,         settingsOnly.nMouseClickInterval,
                         settingsOnly.nMouseTolerance,         settingsOnly.m_spaceSize.nSpaceWidth,
                         settingsOnly.m_spaceSize.nSpaceHeight, settingsOnly.nStartupCreateLayer,
                         settingsOnly.nFlowerAlphaEnable};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(read[i], c.read[i]) << c.what << ": " << U8(keys[i]);
  }
  // Written back at exit, with the first run over.
  settingsOnly.nMouseTolerance = 4;
  settingsOnly.SaveConfigure();
  EXPECT_EQ(gui::Settings::ReadInt(u"Settings", u"bIsFirstRun", 1, INT_MIN, INT_MAX), 0);
  EXPECT_EQ(gui::Settings::ReadInt(u"Configure", u"nMouseTolerance", 0, INT_MIN, INT_MAX), 4);
  EXPECT_EQ(gui::Settings::ReadInt(u"Configure", u"nSpaceWidth", 0, INT_MIN, INT_MAX), 640);
}

// Whatever the settings hold for the main window, it comes up on the screen at a size the
// screen has room for, start-up stays small, and the exit stores a rectangle as sane.
TEST_F(StartupTest, StoredWindowRectanglesAreFittedToTheScreen) {
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  // The frame may stand out by its margins where the platform puts it on the screen.
  QMargins frame;
  const auto onScreen = [&](int left, int top, int right, int bottom) {
    return right > left && bottom > top &&
           screen.marginsAdded(frame).contains(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)));
  };
  const auto shows = [&](const QRect& g) {
    return onScreen(g.left(), g.top(), g.right() + 1, g.bottom() + 1) ? ""
           : (std::to_string(g.left()) + ", " + std::to_string(g.top()) + " " + std::to_string(g.width()) + " x " +
              std::to_string(g.height()));
  };
  const struct {
    const char* what;
    int left, top, right, bottom;
  } cases[] = {
      {"a bottom of INT_MIN", 100, 100, 700, INT_MIN},
      {"a right and bottom of INT_MAX", 0, 0, INT_MAX, INT_MAX},
      {"60000 x 60000", 0, 0, 60000, 60000},
      {"a negative size", 500, 400, 100, 50},
      {"off every screen", 5000, 5000, 5600, 5400},
      {"partly off the screen", screen.right() - 100, 50, screen.right() + 400, 450},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    UseFreshSettings();
    gui::Settings::WriteInt(u"windows", u"main.left", c.left);
    gui::Settings::WriteInt(u"windows", u"main.top", c.top);
    gui::Settings::WriteInt(u"windows", u"main.right", c.right);
    gui::Settings::WriteInt(u"windows", u"main.bottom", c.bottom);
    // Start-up as the program's own, the frame shown last; a frame placed off the screen is
    // not shown, as one of any size could take gigabytes.
    std::string placed = "not started";
    const int64_t grew = test_memory::PeakGrowth([&] {
      if (!Start()) return;
      placed = shows(Frame()->GetMainWindow()->geometry());
      if (!placed.empty()) return;
      Frame()->ShowFrame(FALSE);
      WaitFor([&] { return Frame()->GetMainWindow()->isVisible(); }, 1000);
      QCoreApplication::processEvents();
    });
    ASSERT_EQ(placed, "") << "the frame's place before it shows";
    EXPECT_LT(grew, int64_t(300) << 20);
    EXPECT_EQ(app->GetSystem()->GetErrorCount(), 0u) << "no internal error";
    const QRect g = Frame()->GetMainWindow()->geometry(), outer = Frame()->GetMainWindow()->frameGeometry();
    frame = QMargins(g.left() - outer.left(), g.top() - outer.top(), outer.right() - g.right(), outer.bottom() - g.bottom());
    EXPECT_EQ(shows(g), "") << "the frame's place once shown";
    Stop();
    // The next start finds a rectangle on the screen.
    auto read = [](const char16_t* key) { return gui::Settings::ReadInt(u"windows", key, 0, INT_MIN, INT_MAX); };
    EXPECT_TRUE(onScreen(read(u"main.left"), read(u"main.top"), read(u"main.right"), read(u"main.bottom")))
        << read(u"main.left") << ", " << read(u"main.top") << ", " << read(u"main.right") << ", "
        << read(u"main.bottom");
    frame = QMargins();
  }
}

TEST_F(StartupTest, TheFirstRunOpensTheSampleAndLaterRunsMakeTheConfiguredDocument) {
  // No sample beside the program: an empty document of the new size.
  ASSERT_TRUE(Start());
  EXPECT_EQ(Last(), u"new 0");
  EXPECT_EQ(Space()->GetWidth(), 1000u);
  EXPECT_EQ(Space()->GetHeight(), 1000u);
  EXPECT_EQ(List()->GetCount(), 0);
  Shell("mkdir -p '" + U8(folder) + "/sample'");
  const std::u16string sample = SaveDocument(folder + u"/sample/0.kelv");
  Stop();

  // After the first exit: the configured kind (one mask layer), at the size the last run kept.
  ASSERT_TRUE(Start());
  EXPECT_EQ(Last(), u"new 1");
  ASSERT_EQ(List()->GetCount(), 1);
  EXPECT_EQ(List()->GetLayer(0)->GetFormat(), OLayer::myFORMAT_A16);
  EXPECT_EQ(Space()->GetWidth(), 120u);
  EXPECT_EQ(Space()->GetHeight(), 80u);
  Stop();

  // A first run with the sample there opens it, once.
  UseFreshSettings();
  ASSERT_TRUE(Start());
  EXPECT_EQ(Last(), u"sample " + sample);
  ASSERT_EQ(List()->GetCount(), 1);
  EXPECT_EQ(List()->GetLayer(0)->GetFormat(), OLayer::myFORMAT_C32);
  EXPECT_EQ(Doc()->GetPathName(), sample);
  Stop();
  ASSERT_TRUE(Start());
  EXPECT_EQ(Last(), u"new 1");
}

TEST_F(StartupTest, TheCommandLineDocumentIsOpenedAndOneThatCannotBeEndsStartUp) {
  ASSERT_TRUE(Start());
  const std::u16string path = SaveDocument(folder + u"/picture.kelv");
  Stop();

  TavrikStartup startup;
  startup.strFile = path;
  ASSERT_TRUE(Start(startup));
  EXPECT_EQ(Journal()[0], u"command line " + path);
  EXPECT_EQ(Doc()->GetPathName(), path);
  EXPECT_EQ(Space()->GetWidth(), 120u);
  ASSERT_FALSE(app->GetRecentFiles().empty());
  EXPECT_EQ(app->GetRecentFiles()[0], path);
  Stop();

  log.clear();
  startup.strFile = folder + u"/missing.kelv";
  EXPECT_FALSE(Start(startup));
  EXPECT_TRUE(Logged(u"box:Tavrik")) << "the user is told";
  EXPECT_NE(lastBoxText.find(u"missing.kelv"), std::u16string::npos);
}

TEST_F(StartupTest, AnEscapingErrorEmptiesTheClipboardGoesToTheReportAndTheNoticeShowsAtMostThreeTimes) {
  ASSERT_TRUE(Start());
  CSystem* system = app->GetSystem();
  for (int i = 0; i < 4; ++i) {
    app->m_clipboard.cpData = GNewData(16);
    app->m_clipboard.info.nWidth = 9;
    EXPECT_FALSE(gui::GuardedCall([] { GTHROW(u"!handler failed"); }));
    EXPECT_FALSE(app->m_clipboard.cpData.IsValid());
    EXPECT_EQ(app->m_clipboard.info.nWidth, 0);
    EXPECT_EQ(system->GetErrorCount(), uint32_t(i + 1));
  }
  // The system object posted the notice to the frame for the first three.
  gui::RunPostedMessages();
  int notices = 0;
  for (const auto& e : log) notices += e == u"box:故障";
  EXPECT_EQ(notices, 3);
  EXPECT_EQ(lastBoxText, u"抱歉！\n Tavrik 出现了内部错误，需要手动退出。\n详细情况将记录在 ERROR.TXT 文件中。");
  EXPECT_EQ(Frame()->GetPaneText(3), u"已出现故障");
  // And the program goes on.
  EXPECT_TRUE(Run(ID_VIEW_ZOOM_OUT));
}

}  // namespace
