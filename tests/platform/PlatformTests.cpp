#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <utility>

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
