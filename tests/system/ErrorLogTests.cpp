#include <cctype>
#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

#include "SystemFixture.h"
#include "odata/GCompRef.h"
#include "platform/base/Messages.h"
#include "platform/base/Sync.h"

namespace {

struct Notice {
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};
std::mutex g_noticeMutex;
std::vector<Notice> g_notices;

BOOL CapturePoster(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::lock_guard<std::mutex> lock(g_noticeMutex);
  g_notices.push_back({hwnd, msg, wParam, lParam});
  return TRUE;
}

const HWND kWindow = reinterpret_cast<HWND>(uintptr_t(0x1234));

class ErrorReportTest : public SystemFixture {
 protected:
  void SetUp() override {
    SystemFixture::SetUp();
    g_notices.clear();
    plat::SetMessagePoster(CapturePoster);
  }
  void TearDown() override {
    SystemFixture::TearDown();
    plat::SetMessagePoster(nullptr);
  }
  // Reports a fresh record; the pointer is only good while the system keeps it.
  GErrRecord* Report(uint32_t kind) {
    auto* e = new GErrRecord(u"!test", u"t.cpp", 1, kind);
    sys->ReportError(e);
    return e;
  }
  size_t Notices() {
    std::lock_guard<std::mutex> lock(g_noticeMutex);
    return g_notices.size();
  }
};

TEST_F(ErrorReportTest, KindAgainstThreshold) {
  struct Case {
    uint32_t threshold, kind;
    bool kept, noticed, fatal;
  };
  const Case cases[] = {
      {0, 0, false, false, false},          {0, 1, true, false, false},
      {0, 2, true, true, false},            {0, 3, true, true, true},
      {0, 6, true, true, true},             {4, 4, false, false, false},
      {4, 5, true, false, false},           {4, 6, true, true, false},
      {4, 7, true, true, true},
      {0xFFFFFFFEu, 6, false, false, true},  // threshold + 2 wraps to 0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "threshold " << c.threshold << " kind " << c.kind);
    End();
    Start(c.threshold);
    sys->SetMainWindow(kWindow);
    g_notices.clear();
    GErrRecord* e = Report(c.kind);
    EXPECT_EQ(sys->GetErrorCount(), c.kept ? 1u : 0u);
    ASSERT_EQ(Notices(), c.noticed ? 1u : 0u);
    if (c.noticed) {
      EXPECT_EQ(g_notices[0].hwnd, kWindow);
      EXPECT_EQ(g_notices[0].msg, 0x8EEEu);
      EXPECT_EQ(g_notices[0].wParam, WPARAM(e));
      EXPECT_EQ(g_notices[0].lParam, 0);
    }
    EXPECT_EQ(sys->IsFatal(), c.fatal ? TRUE : FALSE);
  }
}

TEST_F(ErrorReportTest, Budgets) {
  sys->SetMainWindow(kWindow);
  Report(1);
  EXPECT_EQ(Notices(), 0u);
  EXPECT_FALSE(sys->IsFatal());
  for (int i = 0; i < 4; ++i) Report(6);
  EXPECT_EQ(Notices(), 3u);  // the fourth is kept without a notice
  EXPECT_EQ(sys->GetErrorCount(), 5u);
  EXPECT_TRUE(sys->IsFatal());

  GErrRecord* last = nullptr;
  for (int i = 0; i < 95; ++i) last = Report(2);
  EXPECT_EQ(sys->GetErrorCount(), 100u);
  Report(6);  // the 101st is dropped (and freed)
  EXPECT_EQ(sys->GetErrorCount(), 100u);
  EXPECT_EQ(sys->GetError(0), last);
  EXPECT_EQ(Notices(), 3u);
}

TEST_F(ErrorReportTest, DroppedErrorStillMakesTheRunFatal) {
  for (int i = 0; i < 100; ++i) Report(1);
  EXPECT_FALSE(sys->IsFatal());
  Report(3);
  EXPECT_EQ(sys->GetErrorCount(), 100u);
  EXPECT_TRUE(sys->IsFatal());
}

TEST_F(ErrorReportTest, NoticeBudgetIsSpentWithoutAMainWindow) {
  Report(6);
  EXPECT_EQ(Notices(), 0u);
  sys->SetMainWindow(kWindow);
  for (int i = 0; i < 3; ++i) Report(6);
  EXPECT_EQ(Notices(), 2u);
}

// ---------------------------------------------------------------------------------------
// ERROR.TXT

std::vector<unsigned char> ReadBytes(const std::u16string& path) {
  std::ifstream in(U8(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::u16string DecodeLE(const std::vector<unsigned char>& bytes) {
  EXPECT_EQ(bytes.size() % 2, 0u);
  std::u16string text;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) text += char16_t(bytes[i] | bytes[i + 1] << 8);
  return text;
}

std::u16string Heading(const SYSTEMTIME& t) {
  char line[64];
  std::snprintf(line, sizeof line, "%hu.%hu.%hu  %hu:%hu  ", t.wMonth, t.wDay, t.wYear, t.wHour, t.wMinute);
  return u"\r\n\u25A0" + plat::Widen(line) + u"Tavrik[" + CSystem::GetBuildDate() + u"]\r\n" +
         std::u16string(64, u'-') + u"\r\n";
}

class ErrorLogTest : public ErrorReportTest {
 protected:
  std::u16string LogPath() { return logFolder.U16() + u"/ERROR.TXT"; }
  // Ends the system and gives the two headings the log may carry (the minute may turn).
  std::pair<std::u16string, std::u16string> EndTimed() {
    SYSTEMTIME before, after;
    plat::GetLocalTime(&before);
    End();
    plat::GetLocalTime(&after);
    return {Heading(before), Heading(after)};
  }
};

TEST_F(ErrorLogTest, BuildDateIsTheCompilersDateText) {
  // "Mmm dd yyyy", the day padded with a blank.
  const std::string date = U8(CSystem::GetBuildDate());
  ASSERT_EQ(date.size(), 11u) << date;
  const std::string months = "JanFebMarAprMayJunJulAugSepOctNovDec";
  const size_t month = months.find(date.substr(0, 3));
  EXPECT_TRUE(month != std::string::npos && month % 3 == 0) << date;
  EXPECT_TRUE(date[3] == ' ' && date[6] == ' ') << date;
  EXPECT_TRUE((date[4] == ' ' || std::isdigit(date[4])) && std::isdigit(date[5])) << date;
  for (int i = 7; i < 11; ++i) EXPECT_TRUE(std::isdigit(date[i])) << date;
}

TEST_F(ErrorLogTest, NoLogWithoutAFatalError) {
  sys->SetMainWindow(kWindow);
  Report(2);
  Report(1);
  EXPECT_EQ(sys->GetLogPath(), LogPath());
  End();
  EXPECT_FALSE(plat::FileExists(LogPath()));
}

TEST_F(ErrorLogTest, CreatedWithAMarkThenAppendedWithout) {
  GCompRef<GErrRecord> serious = new GErrRecord(u"!serious", u"a.cpp", 7, 6);
  GTrace(serious, u"XThing", u"::Do()")->AppendArg(GArgInt(-3));
  GCompRef<GErrRecord> minor = new GErrRecord(u"!minor", u"b.cpp", 9, 1);
  sys->ReportError(serious);
  sys->ReportError(minor);
  auto [h1, h2] = EndTimed();

  const std::u16string errors =
      FullText(minor) + u"\r\n\r\n" + FullText(serious) + u"\r\n\r\n" + u"\r\n\r\n\r\n";
  const std::u16string start = u"\uFEFF\u25A1ERROR LOG:\r\n\r\n";
  std::vector<unsigned char> bytes = ReadBytes(LogPath());
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes[0], 0xFF);  // little-endian mark
  EXPECT_EQ(bytes[1], 0xFE);
  std::u16string first = DecodeLE(bytes);
  EXPECT_TRUE(first == start + h1 + errors || first == start + h2 + errors) << U8(first);

  Start(0);
  GCompRef<GErrRecord> next = new GErrRecord(u"!next", u"c.cpp", 3, 3);
  sys->ReportError(next);
  auto [h3, h4] = EndTimed();
  const std::u16string more = FullText(next) + u"\r\n\r\n" + u"\r\n\r\n\r\n";
  std::u16string both = DecodeLE(ReadBytes(LogPath()));
  EXPECT_TRUE(both == first + h3 + more || both == first + h4 + more) << U8(both);
}

// The log stays under 1 MB: a run that would pass it moves the log to ERROR.OLD.TXT (the
// copy before goes) and starts a new one; a run with more to say than fits is cut.
TEST_F(ErrorLogTest, TheLogStaysUnderAMegabyteWithOnePreviousCopy) {
  const std::u16string old = logFolder.U16() + u"/ERROR.OLD.TXT";
  std::ofstream(U8(old)) << "the copy before";
  std::vector<unsigned char> full(1024 * 1024 - 100, 'x');
  std::ofstream(U8(LogPath()), std::ios::binary).write(reinterpret_cast<const char*>(full.data()), std::streamsize(full.size()));
  Report(6);
  End();
  EXPECT_EQ(ReadBytes(old), full);
  std::u16string text = DecodeLE(ReadBytes(LogPath()));
  EXPECT_EQ(text.rfind(u"\uFEFF\u25A1ERROR LOG:\r\n\r\n\r\n\u25A0", 0), 0u) << U8(text);

  // 100 long records: far more than a megabyte of text.
  Start(0);
  for (int i = 0; i < 100; ++i) {
    GCompRef<GErrRecord> e = new GErrRecord(u"!long", u"a.cpp", i, 6);
    for (int k = 0; k < 100; ++k) GTrace(e, std::u16string(250, u'a' + char16_t(k % 26)).c_str(), u"::f()");
    sys->ReportError(e);
  }
  End();
  EXPECT_LE(ReadBytes(LogPath()).size(), 1024u * 1024u);
  EXPECT_GT(ReadBytes(LogPath()).size(), 1000u * 1024u);
}

TEST_F(ErrorLogTest, EmptyExistingFileGetsTheMark) {
  std::ofstream(U8(LogPath())).close();
  Report(6);
  End();
  std::u16string text = DecodeLE(ReadBytes(LogPath()));
  EXPECT_EQ(text.rfind(u"\uFEFF\u25A1ERROR LOG:\r\n\r\n\r\n\u25A0", 0), 0u) << U8(text);
}

TEST_F(ErrorLogTest, LeakRecordIsLoggedFirst) {
  Load();
  // b_brushes.so stays loaded for its object (a_brushes.so is watched elsewhere).
  OComponent* b = sys->NewObj(u"B", nullptr);
  b->AddRef();
  Report(6);
  End();
  std::u16string text = DecodeLE(ReadBytes(LogPath()));
  size_t leak = text.find(u"E: COMPONENT LEAK\r\nF: CSystem\r\nL: 379\r\nN: B 1 \r\n \r\n\r\nE: !test");
  EXPECT_NE(leak, std::u16string::npos) << U8(text);
  b->Release();  // after the system: its library is still there
}

TEST(ErrorLogFolder, TestFolderElseModuleFolderWhenWritableElseUserData) {
  TempFolder data, home, logs;
  const char* oldXdg = std::getenv("XDG_DATA_HOME");
  std::string savedXdg = oldXdg ? oldXdg : "";
  const char* oldLogs = std::getenv("TAVRIK_LOG_DIR");
  std::string savedLogs = oldLogs ? oldLogs : "";
  setenv("XDG_DATA_HOME", data.Path().c_str(), 1);

  struct Case {
    std::string testFolder;
    std::u16string moduleFolder, logPath;
  };
  const Case cases[] = {
      {logs.Path(), home.U16(), logs.U16() + u"/ERROR.TXT"},
      {"", home.U16(), home.U16() + u"/ERROR.TXT"},
      {"", u"/nonexistent/tavrik", data.U16() + u"/Tavrik/ERROR.TXT"},
  };
  for (const Case& c : cases) {
    setenv("TAVRIK_LOG_DIR", c.testFolder.c_str(), 1);
    CSystem* sys = nullptr;
    OBeing* being = GCreateSystem(u"Tavrik", nullptr, 0, &sys);
    being->AddRef();
    sys->SetModuleFolder(c.moduleFolder);
    EXPECT_EQ(sys->GetLogPath(), c.logPath);
    sys->ReportError(new GErrRecord(u"!x", u"x.cpp", 1, 6));
    being->Release();
    EXPECT_TRUE(plat::FileExists(c.logPath)) << U8(c.logPath);
  }

  if (oldXdg) {
    setenv("XDG_DATA_HOME", savedXdg.c_str(), 1);
  } else {
    unsetenv("XDG_DATA_HOME");
  }
  setenv("TAVRIK_LOG_DIR", savedLogs.c_str(), 1);
}

}  // namespace
