#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/Files.h"
#include "platform/base/Memory.h"
#include "platform/base/Sync.h"
#include "platform/base/Text.h"

namespace {

TEST(Text, Utf8RoundTripAndBadInput) {
  std::u16string s = u"a\u00e9\u4e2d\U0001F600";
  EXPECT_EQ(plat::ToUtf8(s), "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
  EXPECT_EQ(plat::FromUtf8(plat::ToUtf8(s)), s);
  EXPECT_EQ(plat::FromUtf8("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(plat::FromUtf8("\xE4\xB8"), u"\uFFFD");       // cut sequence
  EXPECT_EQ(plat::ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");  // lone surrogate
  char16_t buf[4];
  EXPECT_EQ(plat::CopyTrunc(buf, 4, u"abcdef"), 3u);
  EXPECT_EQ(std::u16string(buf), u"abc");
  EXPECT_LT(plat::StrCmp(u"A", u"B"), 0);
  EXPECT_GT(plat::StrCmp(u"\uFFFF", u"a"), 0);  // code unit order, not signed
}

// A cut that would fall between the two halves of a pair leaves the whole pair out; every
// copy into a fixed buffer cuts the same way.
TEST(Text, CutsKeepSurrogatePairsWhole) {
  struct CutCase {
    const char16_t* text;
    size_t units;
    const char16_t* kept;
  };
  const CutCase cases[] = {
      {u"abcdef", 4, u"abcd"},
      {u"abc\U0001F600", 4, u"abc"},        // the cut falls inside the pair
      {u"abc\U0001F600", 5, u"abc\U0001F600"},  // the pair fits exactly
      {u"ab\U0001F600c", 4, u"ab\U0001F600"},
      {u"\U0001F600\U0001F600", 3, u"\U0001F600"},
      {u"\U0001F600", 1, u""},
      {u"\u4e2d\u6587\u540d", 2, u"\u4e2d\u6587"},  // characters of one unit cut anywhere
      {u"abc", 0, u""},
      {u"ab\U0001F600", 10, u"ab\U0001F600"},
  };
  for (const CutCase& c : cases) {
    SCOPED_TRACE(plat::ToUtf8(c.text) + " to " + std::to_string(c.units));
    EXPECT_EQ(std::u16string(plat::CutText(c.text, c.units)), c.kept);
    std::vector<char16_t> buf(c.units + 1, u'x');
    EXPECT_EQ(plat::CopyTrunc(buf.data(), buf.size(), c.text), plat::StrLen(c.kept));
    EXPECT_EQ(std::u16string(buf.data()), c.kept);
  }
}

TEST(Sync, AutoResetEventReleasesOneWaiter) {
  plat::Event ev;
  EXPECT_FALSE(ev.Wait(0));
  ev.Set();
  EXPECT_TRUE(ev.Wait(0));
  EXPECT_FALSE(ev.Wait(0));  // reset by the first wait
  std::atomic<int> woke{0};
  plat::Thread t;
  ASSERT_TRUE(t.Start([&] {
    ev.Wait();
    ++woke;
  }));
  plat::Sleep(20);
  EXPECT_EQ(woke, 0);
  ev.Set();
  t.Join();
  EXPECT_EQ(woke, 1);
}

TEST(Sync, CriticalSectionIsRecursive) {
  plat::CriticalSection cs;
  cs.Enter();
  cs.Enter();
  std::atomic<BOOL> other{TRUE};
  std::thread([&] { other = cs.TryEnter(); }).join();
  EXPECT_FALSE(other);
  cs.Leave();
  cs.Leave();
  std::thread([&] {
    other = cs.TryEnter();
    if (other) cs.Leave();
  }).join();
  EXPECT_TRUE(other);
}

TEST(Files, ExclusiveFilesNeverShareAName) {
  std::u16string path = plat::GetTempFolder() + u"tavrik_platform_test.tmp";
  plat::DeleteFile(path);
  FILE* f = plat::CreateExclusiveFile(path);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(std::fwrite("abc", 1, 3, f), 3u);
  std::fflush(f);
  EXPECT_EQ(plat::CreateExclusiveFile(path), nullptr);  // exists: refused, not truncated
  EXPECT_EQ(plat::GetFileLength(path), 3);
  std::fclose(f);
  EXPECT_TRUE(plat::DeleteFile(path));
  EXPECT_FALSE(plat::FileExists(path));
  EXPECT_EQ(plat::GetFileLength(path), -1);
}

TEST(Files, MoveWithoutReplacingLeavesAnExistingTargetAlone) {
  const std::u16string from = plat::GetTempFolder() + u"tavrik_platform_move_from.tmp";
  const std::u16string to = plat::GetTempFolder() + u"tavrik_platform_move_to.tmp";
  for (const auto& [path, text] : {std::pair{from, "abc"}, std::pair{to, "de"}}) {
    plat::DeleteFile(path);
    FILE* f = plat::CreateExclusiveFile(path);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::fwrite(text, 1, std::strlen(text), f), std::strlen(text));
    std::fclose(f);
  }
  EXPECT_FALSE(plat::MoveFileNoReplace(from, to));
  EXPECT_EQ(plat::GetFileLength(from), 3);
  EXPECT_EQ(plat::GetFileLength(to), 2) << "the target was not overwritten";
  ASSERT_TRUE(plat::DeleteFile(to));
  EXPECT_TRUE(plat::MoveFileNoReplace(from, to));
  EXPECT_FALSE(plat::FileExists(from));
  EXPECT_EQ(plat::GetFileLength(to), 3);
  EXPECT_FALSE(plat::MoveFileNoReplace(from, to)) << "nothing left to move";
  plat::DeleteFile(to);
}

TEST(Files, TemporaryFolderFollowsTmpdir) {
  const char* old = std::getenv("TMPDIR");
  std::string saved = old ? old : "";
  setenv("TMPDIR", "/var/tmp", 1);
  EXPECT_EQ(plat::GetTempFolder(), u"/var/tmp/");
  unsetenv("TMPDIR");
  EXPECT_EQ(plat::GetTempFolder(), u"/tmp/");
  if (old) setenv("TMPDIR", saved.c_str(), 1);
}

TEST(Files, ProgramFolderAndSortedListing) {
  std::u16string folder = plat::GetProgramFolder();
  EXPECT_TRUE(plat::FileExists(folder + u"/platform_tests"));
  std::u16string dir = plat::GetTempFolder() + u"tavrik_find_test";
  std::string native = plat::ToUtf8(dir);
  std::system(("rm -rf '" + native + "' && mkdir -p '" + native + "/d.so'").c_str());
  for (const char* n : {"b.so", "a.so", "c.txt"}) {
    FILE* f = plat::OpenFile(dir + u"/" + plat::FromUtf8(n), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
  }
  EXPECT_EQ(plat::FindFiles(dir, u".so"), (std::vector<std::u16string>{u"a.so", u"b.so"}));
  EXPECT_EQ(plat::LoadModule(dir + u"/a.so"), nullptr);  // not a library
  std::system(("rm -rf '" + native + "'").c_str());
}

TEST(Files, AbsolutePathResolvesFromTheCurrentFolder) {
  char here[4096];
  ASSERT_NE(getcwd(here, sizeof here), nullptr);
  const std::u16string cwd = plat::FromUtf8(here);
  struct Case {
    std::u16string in, out;
  };
  const Case cases[] = {
      {u"q.kelv", cwd + u"/q.kelv"},
      {u"./a/../b/q.kelv", cwd + u"/b/q.kelv"},
      {u"/x//y/./z.kelv", u"/x/y/z.kelv"},
      {u"/../q", u"/q"},
      {u"", u""},
  };
  for (const Case& c : cases) EXPECT_EQ(plat::AbsolutePath(c.in), c.out) << plat::ToUtf8(c.in);
}

TEST(Files, WriteProtectedFileIsNotWritableEvenForTheSuperuser) {
  const std::u16string path = plat::GetTempFolder() + u"tavrik_protected_test.txt";
  FILE* f = plat::OpenFile(path, "wb");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_TRUE(plat::IsFileWritable(path));
  chmod(plat::ToUtf8(path).c_str(), 0444);
  EXPECT_FALSE(plat::IsFileWritable(path));
  chmod(plat::ToUtf8(path).c_str(), 0644);
  EXPECT_TRUE(plat::IsFileWritable(path));
  plat::DeleteFile(path);
}

// Only regular files are opened to read, and nothing waits: a pipe nobody writes to would
// block open() for good. A regular file opens in each mode.
TEST(Files, OnlyRegularFilesOpenAndNothingWaits) {
  const std::string dir = plat::ToUtf8(plat::GetTempFolder()) + "tavrik_open_test_" + std::to_string(getpid());
  std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "/folder'").c_str());
  ASSERT_EQ(mkfifo((dir + "/pipe").c_str(), 0600), 0);
  ASSERT_EQ(symlink("pipe", (dir + "/link").c_str()), 0);
  struct Case {
    std::string path;
    int error;
  };
  const Case cases[] = {
      {dir + "/pipe", ENODEV}, {dir + "/link", ENODEV}, {"/dev/zero", ENODEV}, {dir + "/folder", EISDIR},
      {dir + "/none", ENOENT},
  };
  for (const char* mode : {"rb", "r+b"})
    for (const Case& c : cases) {
      errno = 0;
      FILE* f = plat::OpenFile(plat::FromUtf8(c.path), mode);
      EXPECT_EQ(f, nullptr) << c.path << " " << mode;
      if (f) std::fclose(f);
      EXPECT_EQ(errno, c.error) << c.path << " " << mode;
    }
  // Writing goes to a device, but not into a pipe nobody reads.
  for (const char* mode : {"wb", "ab"}) {
    errno = 0;
    EXPECT_EQ(plat::OpenFile(plat::FromUtf8(dir + "/pipe"), mode), nullptr) << mode;
    EXPECT_EQ(errno, ENXIO) << mode;
    FILE* device = plat::OpenFile(u"/dev/null", mode);
    EXPECT_NE(device, nullptr) << mode;
    if (device) std::fclose(device);
  }
  // A regular file: written, appended to, read back, and its reads wait as reads do.
  const std::u16string file = plat::FromUtf8(dir + "/file");
  for (const char* mode : {"wb", "ab"}) {
    FILE* f = plat::OpenFile(file, mode);
    ASSERT_NE(f, nullptr) << mode;
    EXPECT_EQ(std::fputs("ab", f), 1);
    EXPECT_EQ(std::fclose(f), 0);
  }
  FILE* f = plat::OpenFile(file, "rb");
  ASSERT_NE(f, nullptr);
  char text[8] = {};
  EXPECT_EQ(std::fread(text, 1, sizeof text, f), 4u);
  EXPECT_STREQ(text, "abab");
  EXPECT_FALSE(fcntl(fileno(f), F_GETFL) & O_NONBLOCK);
  std::fclose(f);
  EXPECT_EQ(plat::OpenFile(file, "q"), nullptr);
  // A chain of links that never ends says so.
  ASSERT_EQ(symlink("loop2", (dir + "/loop1").c_str()), 0);
  ASSERT_EQ(symlink("loop1", (dir + "/loop2").c_str()), 0);
  errno = 0;
  EXPECT_EQ(plat::FollowLinks(plat::FromUtf8(dir + "/loop1")), u"");
  EXPECT_EQ(errno, ELOOP);
  std::system(("rm -rf '" + dir + "'").c_str());
}

TEST(Memory, FiguresAndReadableProbe) {
  plat::MemoryStatus ms{};
  ASSERT_TRUE(plat::GetMemoryStatus(&ms));
  EXPECT_GT(ms.totalPhysical, 0u);
  EXPECT_LE(ms.availablePhysical, ms.totalPhysical);
  plat::ProcessMemory pm{};
  ASSERT_TRUE(plat::GetProcessMemory(&pm));
  EXPECT_GT(pm.workingSet, 0u);
  int x = 1;
  EXPECT_TRUE(plat::IsReadableMemory(&x, sizeof x));
  EXPECT_FALSE(plat::IsReadableMemory(reinterpret_cast<void*>(uintptr_t(8)), 4));
  EXPECT_FALSE(plat::IsReadableMemory(nullptr, 4));
}

TEST(Time, TickCountAdvances) {
  DWORD a = plat::GetTickCount();
  plat::Sleep(15);
  DWORD b = plat::GetTickCount();
  EXPECT_GE(b - a, 14u);
  SYSTEMTIME st{};
  plat::GetLocalTime(&st);
  EXPECT_GE(st.wYear, 2024);
  EXPECT_TRUE(st.wMonth >= 1 && st.wMonth <= 12);
}

}  // namespace
