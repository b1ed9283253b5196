#include <gtest/gtest.h>

#include <dlfcn.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <functional>
#include <mutex>
#include <optional>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "XWorker.h"
#include "common/FakeSystem.h"
#include "core/MyFile.h"
#include "odata/GCompRef.h"
#include "odata/LittleEndian.h"
#include "platform/base/Files.h"
#include "platform/base/PendingTempFolders.h"
#include "platform/base/Sync.h"

// Every fsync of this program is seen here: what it synced, in order.
namespace {
std::mutex g_syncMutex;
std::vector<std::string> g_synced;
}  // namespace

extern "C" int fsync(int fd) {
  char link[64], target[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(link, target, sizeof target - 1);
  {
    std::lock_guard<std::mutex> lock(g_syncMutex);
    g_synced.push_back(n > 0 ? std::string(target, size_t(n)) : std::string());
  }
  return int(syscall(SYS_fsync, fd));
}

// Writes into a save's temporary file fail as on a full disk while this is set.
namespace {
std::atomic<bool> g_diskFull{false};
}  // namespace

extern "C" size_t fwrite(const void* buffer, size_t size, size_t count, FILE* stream) {
  using Fwrite = size_t (*)(const void*, size_t, size_t, FILE*);
  static const Fwrite real = reinterpret_cast<Fwrite>(dlsym(RTLD_NEXT, "fwrite"));
  if (g_diskFull) {
    char link[64], target[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fileno(stream));
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n > 0 && std::string(target, size_t(n)).find("/qvx") != std::string::npos) {
      errno = ENOSPC;
      return 0;
    }
  }
  return real(buffer, size, count, stream);
}

namespace {

using Bytes = std::vector<uint8_t>;

// A unit that writes and reads a fixed payload, with failures on demand.
struct TestUnit final : OFileSave, OFileLoad {
  Bytes payload;
  Bytes read;
  bool failBegin = false, failSave = false, failLoad = false;
  bool runOutOfMemory = false;             // Save and Load throw std::bad_alloc
  std::function<void()> whileSaving;       // runs inside Save, on the worker
  std::u16string reason;  // noted when a save or load fails
  int begins = 0, ends = 0;
  BOOL lastFailed = -1;
  UINT progress = 3;

  BOOL Begin(UINT* total) override {
    ++begins;
    *total += progress;
    return !failBegin;
  }
  BOOL Save(OFileOut* file, uint64_t* bytes, JobControl*) override {
    if (whileSaving) whileSaving();
    if (runOutOfMemory) throw std::bad_alloc();
    if (failSave) {
      if (!reason.empty()) file_refusal::Note(reason);
      return FALSE;
    }
    if (!payload.empty() && file->Write(payload.data(), payload.size(), 1) != 1) return FALSE;
    *bytes += payload.size();
    return TRUE;
  }
  BOOL End() override {
    ++ends;
    return TRUE;
  }
  BOOL Begin() override {
    ++begins;
    return !failBegin;
  }
  BOOL Load(OFileIn* file, uint64_t* bytes, JobControl*) override {
    if (runOutOfMemory) throw std::bad_alloc();
    if (failLoad) return FALSE;
    read.assign(payload.size(), 0);
    if (!read.empty() && file->Read(read.data(), read.size(), 1) != 1) return FALSE;
    *bytes += read.size();
    return TRUE;
  }
  BOOL End(BOOL failed) override {
    ++ends;
    lastFailed = failed;
    return TRUE;
  }
};

Bytes ReadFile(const std::u16string& path) {
  std::ifstream in(plat::ToUtf8(path), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}
void WriteFile(const std::u16string& path, const Bytes& b) {
  std::ofstream out(plat::ToUtf8(path), std::ios::binary);
  out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

class MyFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sys.Register(u"XWorker", GCreateComponent<XWorker>);
    worker = static_cast<OWorker*>(sys.NewObj(u"XWorker", nullptr)->GetInterface(u"OWorker"));
    // A new worker is ready once its thread runs; a save or load before that is refused.
    for (int i = 0; i < 5000 && !worker->IsReady(); ++i) plat::Sleep(1);
    dir = plat::GetTempFolder() + u"tavrik_myfile_" + plat::Widen(std::to_string(::getpid()));
    std::system(("rm -rf '" + plat::ToUtf8(dir) + "' && mkdir -p '" + plat::ToUtf8(dir) + "'").c_str());
    path = dir + u"/doc.kelv";
    // The notes of saves in progress go to the test's own data folder.
    const char* xdg = std::getenv("XDG_DATA_HOME");
    savedXdg = xdg ? std::optional<std::string>(xdg) : std::nullopt;
    setenv("XDG_DATA_HOME", (plat::ToUtf8(dir) + "/data").c_str(), 1);
    pending = plat::GetUserDataFolder() + u"saves-in-progress";
    for (int i = 0; i < 3; ++i) units[i].payload = Bytes(size_t(10 + i * 7), uint8_t(0x40 + i));
  }
  void TearDown() override {
    g_diskFull = false;
    if (savedXdg)
      setenv("XDG_DATA_HOME", savedXdg->c_str(), 1);
    else
      unsetenv("XDG_DATA_HOME");
    std::system(("rm -rf '" + plat::ToUtf8(dir) + "'").c_str());
  }

  BOOL SaveWith(int count) {
    CMyFileSave save(&runner);
    for (int i = 0; i < count; ++i) save.AddUnit(&units[i]);
    return save.Save(path, worker);
  }
  BOOL LoadWith(int count) {
    CMyFileLoad load(&runner);
    for (int i = 0; i < count; ++i) load.AddUnit(&units[i]);
    return load.Load(path, worker);
  }
  // Names in the folder other than the document: a failed save must leave nothing behind.
  int StrayFiles() {
    int n = 0;
    for (auto& name : plat::FindFiles(dir, u".tmp")) n += name.size() > 0;
    return n;
  }

  FakeSystem sys;
  GCompRef<OWorker> worker;
  CHeadlessJobRunner runner;
  std::u16string dir, path, pending;
  std::optional<std::string> savedXdg;
  TestUnit units[3];
};

TEST_F(MyFileTest, RoundTripAndHeader) {
  ASSERT_TRUE(SaveWith(3));
  Bytes file = ReadFile(path);
  ASSERT_EQ(file.size(), 32u + 10 + 17 + 24);
  MyFileHeader h = MyFileHeader::Parse(file.data());
  EXPECT_EQ(std::string(reinterpret_cast<char*>(file.data()), 4), "kelv");
  EXPECT_EQ(h.version, 0x00010000u);
  EXPECT_EQ(h.fileSize, file.size());
  EXPECT_EQ(h.unitCount, 3u);
  EXPECT_EQ(h.check, 3u + h.fileSize);
  EXPECT_EQ(h.progressTotal, 1u + 3 * 3);
  for (auto& u : units) EXPECT_EQ(u.ends, 1);
  ASSERT_TRUE(LoadWith(3));
  for (auto& u : units) {
    EXPECT_EQ(u.read, u.payload);
    EXPECT_EQ(u.lastFailed, FALSE);
  }
  EXPECT_EQ(StrayFiles(), 0);
}

TEST_F(MyFileTest, ASavedFileKeepsTheModeOfTheFileItReplaces) {
  auto modeOf = [&] {
    struct stat st;
    EXPECT_EQ(stat(plat::ToUtf8(path).c_str(), &st), 0);
    return st.st_mode & 0777;
  };
  mode_t mask = umask(022);
  ASSERT_TRUE(SaveWith(3));
  EXPECT_EQ(modeOf(), 0644u);  // a new document is readable as any new file is
  chmod(plat::ToUtf8(path).c_str(), 0640);
  ASSERT_TRUE(SaveWith(3));
  EXPECT_EQ(modeOf(), 0640u);  // a saved one keeps what its owner chose
  umask(mask);
}

// The new file reaches the disk before it replaces the old one, and the folder after.
TEST_F(MyFileTest, ASaveSyncsTheFileBeforeTheRenameAndTheFolderAfter) {
  {
    std::lock_guard<std::mutex> lock(g_syncMutex);
    g_synced.clear();
  }
  ASSERT_TRUE(SaveWith(3));
  std::lock_guard<std::mutex> lock(g_syncMutex);
  ASSERT_EQ(g_synced.size(), 2u);
  // The kernel names what was synced from the root with links and ".." resolved; $TMPDIR, and
  // so the test's folder, may hold either.
  char* real = realpath(plat::ToUtf8(dir).c_str(), nullptr);
  ASSERT_TRUE(real);
  const std::string folder = real;
  free(real);
  EXPECT_EQ(g_synced[0].rfind(folder + "/qvx", 0), 0u) << g_synced[0];  // still under its temporary name
  EXPECT_EQ(g_synced[1], folder);
}

// A save through a symbolic link replaces the link's target, in the target's folder, and
// leaves the link a link.
TEST_F(MyFileTest, SavingOverALinkWritesItsTarget) {
  const std::string d = plat::ToUtf8(dir);
  ASSERT_EQ(std::system(("mkdir -p '" + d + "/real' && ln -s real/doc.kelv '" + d + "/link.kelv'").c_str()), 0);
  path = dir + u"/link.kelv";
  ASSERT_TRUE(SaveWith(3));
  struct stat st;
  ASSERT_EQ(lstat((d + "/link.kelv").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  const Bytes saved = ReadFile(dir + u"/real/doc.kelv");
  ASSERT_EQ(saved.size(), 32u + 10 + 17 + 24);
  EXPECT_EQ(GetLE32(saved.data()), MYFILE_MAGIC);
  ASSERT_TRUE(LoadWith(3));
  EXPECT_EQ(plat::FindFiles(dir + u"/real", u".tmp").size(), 0u);
}

// Temporaries of a process killed while saving go at the next save into their folder; a
// running process's stay.
TEST_F(MyFileTest, TemporariesOfDeadProcessesGoAtTheNextSave) {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  ASSERT_GT(child, 0);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  auto name = [&](int pid, int n) { return dir + u"/qvx" + plat::Widen(std::to_string(pid) + "_" + std::to_string(n)) + u".tmp"; };
  const std::u16string dead = name(int(child), 1), alive = name(int(getppid()), 2), other = dir + u"/qvxnote.tmp";
  for (const auto& p : {dead, alive, other}) WriteFile(p, Bytes{1});
  ASSERT_TRUE(SaveWith(3));
  EXPECT_FALSE(plat::FileExists(dead));
  EXPECT_TRUE(plat::FileExists(alive));
  EXPECT_TRUE(plat::FileExists(other));
}

// A save notes its folder while its temporary stands; at start-up the temporaries of saves
// killed on the way go from every folder so noted, anywhere, and those of running copies stay.
TEST_F(MyFileTest, TemporariesOfKilledSavesGoAtTheNextStart) {
  auto notes = [&] {
    const Bytes b = ReadFile(pending);
    return std::string(b.begin(), b.end());
  };
  // A note names its folder from the root with its ".." steps resolved, as $TMPDIR may not.
  const std::string mine = std::to_string(getpid()) + "\t" + plat::ToUtf8(plat::AbsolutePath(dir)) + "\n";
  std::string during;
  units[1].whileSaving = [&] { during = notes(); };
  ASSERT_TRUE(SaveWith(3));
  EXPECT_EQ(during, mine);
  EXPECT_EQ(notes(), "") << "the note outlived the save";

  // A save killed in another folder: a process that noted the folder, made its temporary
  // and died there. A running copy saves beside it.
  const std::u16string other = dir + u"/elsewhere";
  ASSERT_TRUE(plat::CreateFolder(other));
  int gate[2];
  ASSERT_EQ(pipe(gate), 0);
  auto saver = [&](bool dies) {
    const pid_t pid = fork();
    if (pid == 0) {
      plat::PendingTempFolders(pending).Enter(other);
      std::u16string temp;
      if (FILE* f = plat::CreateTempFileIn(other, u"qvx", &temp)) std::fputs("half a document", f), std::fflush(f);
      if (dies) raise(SIGKILL);
      char c;
      (void)!read(gate[0], &c, 1);  // runs until the test lets it go
      _exit(0);
    }
    return pid;
  };
  const pid_t killed = saver(true), running = saver(false);
  ASSERT_GT(killed, 0);
  ASSERT_GT(running, 0);
  int status = 0;
  ASSERT_EQ(waitpid(killed, &status, 0), killed);
  ASSERT_TRUE(WIFSIGNALED(status));
  auto tempsOf = [&](pid_t pid) {
    int n = 0;
    for (const std::u16string& name : plat::FindFiles(other, u".tmp"))
      n += name.rfind(u"qvx" + plat::Widen(std::to_string(pid)) + u"_", 0) == 0;
    return n;
  };
  for (int i = 0; i < 5000 && tempsOf(running) == 0; ++i) plat::Sleep(1);
  ASSERT_EQ(tempsOf(killed), 1);
  ASSERT_EQ(tempsOf(running), 1);

  EXPECT_EQ(CMyFileSave::RemoveKilledSaves(), 1);
  EXPECT_EQ(tempsOf(killed), 0);
  EXPECT_EQ(tempsOf(running), 1);
  EXPECT_EQ(notes(), std::to_string(running) + "\t" + plat::ToUtf8(plat::AbsolutePath(other)) + "\n");

  (void)!write(gate[1], "x", 1);
  ASSERT_EQ(waitpid(running, nullptr, 0), running);
  close(gate[0]);
  close(gate[1]);
  // Gone by now as well, at the next start.
  EXPECT_EQ(CMyFileSave::RemoveKilledSaves(), 1);
  EXPECT_EQ(tempsOf(running), 0);
  EXPECT_EQ(notes(), "");
}

// A refusal says why: what the system said, what the header showed, what a unit noted.
TEST_F(MyFileTest, ARefusalCarriesItsReason) {
  const std::u16string good = path;
  ASSERT_TRUE(SaveWith(3));
  struct Case {
    const char* what;
    std::function<BOOL()> run;
    std::u16string reason;
    std::function<std::u16string()> last;
  };
  CMyFileLoad load(&runner);
  CMyFileSave save(&runner);
  for (auto& u : units) {
    load.AddUnit(&u);
    save.AddUnit(&u);
  }
  const Case cases[] = {
      {"a missing file", [&] { return load.Load(dir + u"/none.kelv", worker); }, u"文件或文件夹不存在",
       [&] { return load.GetLastReason(); }},
      {"not a document", [&] { WriteFile(dir + u"/text.kelv", Bytes(40, 'a')); return load.Load(dir + u"/text.kelv", worker); },
       u"不是本程序的文档", [&] { return load.GetLastReason(); }},
      {"a file one byte longer", [&] {
         Bytes b = ReadFile(good);
         b.push_back(0);
         WriteFile(dir + u"/long.kelv", b);
         return load.Load(dir + u"/long.kelv", worker);
       },
       u"文档已损坏：文件头", [&] { return load.GetLastReason(); }},
      {"a folder that refuses files", [&] { return save.Save(u"/sys/doc.kelv", worker); }, u"没有访问权限",
       [&] { return save.GetLastReason(); }},
      {"a pipe", [&] {
         mkfifo(plat::ToUtf8(dir + u"/pipe.kelv").c_str(), 0600);
         return load.Load(dir + u"/pipe.kelv", worker);
       },
       u"不是普通文件（管道、设备或套接字）", [&] { return load.GetLastReason(); }},
      {"a device", [&] { return load.Load(u"/dev/zero", worker); }, u"不是普通文件（管道、设备或套接字）",
       [&] { return load.GetLastReason(); }},
      {"a folder to open", [&] { return load.Load(dir, worker); }, u"这是一个文件夹，不是文件",
       [&] { return load.GetLastReason(); }},
      {"a folder to save over", [&] { return save.Save(dir, worker); }, u"这是一个文件夹，不是文件",
       [&] { return save.GetLastReason(); }},
      {"a link loop to open", [&] {
         symlink("loop2.kelv", plat::ToUtf8(dir + u"/loop1.kelv").c_str());
         symlink("loop1.kelv", plat::ToUtf8(dir + u"/loop2.kelv").c_str());
         return load.Load(dir + u"/loop1.kelv", worker);
       },
       u"符号链接形成了循环", [&] { return load.GetLastReason(); }},
      {"a link loop to save over", [&] { return save.Save(dir + u"/loop1.kelv", worker); }, u"符号链接形成了循环",
       [&] { return save.GetLastReason(); }},
      {"memory running out while loading", [&] {
         units[2].runOutOfMemory = true;
         const BOOL ok = load.Load(good, worker);
         units[2].runOutOfMemory = false;
         return ok;
       },
       u"内存不足", [&] { return load.GetLastReason(); }},
      {"memory running out while saving", [&] {
         units[0].runOutOfMemory = true;
         const BOOL ok = save.Save(good, worker);
         units[0].runOutOfMemory = false;
         return ok;
       },
       u"内存不足", [&] { return save.GetLastReason(); }},
      {"a full disk", [&] {
         g_diskFull = true;
         const BOOL ok = save.Save(good, worker);
         g_diskFull = false;
         return ok;
       },
       u"磁盘已满", [&] { return save.GetLastReason(); }},
      {"a unit's own reason", [&] {
         units[1].failSave = true;
         units[1].reason = u"文档已损坏：图层区";
         const BOOL ok = save.Save(good, worker);
         units[1].failSave = false;
         return ok;
       },
       u"文档已损坏：图层区", [&] { return save.GetLastReason(); }},
  };
  const Bytes saved = ReadFile(good);
  for (const Case& c : cases) {
    EXPECT_FALSE(c.run()) << c.what;
    EXPECT_EQ(U8(c.last()), U8(c.reason)) << c.what;
  }
  // No refused save touched the document or left its temporary behind.
  EXPECT_EQ(ReadFile(good), saved);
  EXPECT_EQ(StrayFiles(), 0);
  ASSERT_TRUE(load.Load(good, worker));
  EXPECT_TRUE(load.GetLastReason().empty());
  EXPECT_EQ(file_refusal::FromErrno(ENOSPC), u"磁盘已满");
  EXPECT_EQ(RefusalText(u"无法保存文档：\n/a", u"磁盘已满"), u"无法保存文档：\n/a\n磁盘已满");
  EXPECT_EQ(RefusalText(u"无法保存文档：\n/a", u""), u"无法保存文档：\n/a");
}

TEST_F(MyFileTest, DamagedHeadersAreRefusedBeforeAnyUnitRuns) {
  ASSERT_TRUE(SaveWith(3));
  const Bytes good = ReadFile(path);
  auto put = [](Bytes b, size_t at, uint32_t v) {
    PutLE32(b.data() + at, v);
    return b;
  };
  auto withVersion = [&](uint32_t v) { return put(good, 4, v); };
  Bytes trailing = good;
  trailing.push_back(0);
  struct Case {
    const char* name;
    Bytes bytes;
    bool accepted;
  } cases[] = {
      {"version 0x0001FFFF", withVersion(0x0001FFFF), true},
      {"version 0x00020000", withVersion(0x00020000), false},
      {"version 0x0000FFFF", withVersion(0x0000FFFF), false},
      {"one trailing byte", trailing, false},
      {"short", Bytes(good.begin(), good.begin() + 31), false},
      {"bad magic", put(good, 0, 0x766C656C), false},
      {"check off by one", put(good, 16, GetLE32(good.data() + 16) + 1), false},
      {"unit count", put(put(good, 12, 2), 16, 2 + uint32_t(good.size())), false},
  };
  for (auto& c : cases) {
    WriteFile(path, c.bytes);
    for (auto& u : units) u.begins = u.ends = 0;
    EXPECT_EQ(LoadWith(3), c.accepted ? TRUE : FALSE) << c.name;
    if (!c.accepted) {
      EXPECT_EQ(units[0].begins, 0) << c.name;
    }
  }
  // A reader with two units refuses a file written with three.
  WriteFile(path, good);
  EXPECT_FALSE(LoadWith(2));
}

TEST_F(MyFileTest, AFailedSaveKeepsTheOldFile) {
  ASSERT_TRUE(SaveWith(3));
  const Bytes old = ReadFile(path);
  units[0].payload.assign(99, 1);  // the new content differs
  for (int failing = 0; failing < 3; ++failing) {
    units[failing].failSave = true;
    EXPECT_FALSE(SaveWith(3)) << failing;
    units[failing].failSave = false;
    EXPECT_EQ(ReadFile(path), old) << failing;
    EXPECT_EQ(StrayFiles(), 0);
  }
  // A failing Begin: nothing is opened, every unit still gets End.
  units[1].failBegin = true;
  for (auto& u : units) u.ends = 0;
  EXPECT_FALSE(SaveWith(3));
  for (auto& u : units) EXPECT_EQ(u.ends, 1);
  EXPECT_EQ(ReadFile(path), old);
  // A folder that cannot take the new file.
  path = dir + u"/missing/doc.kelv";
  units[1].failBegin = false;
  EXPECT_FALSE(SaveWith(3));
}

// The sections need not account for every byte of the file: what a unit reports having
// read is not compared with the file's size.
TEST_F(MyFileTest, SectionsReadingLessThanTheFileStillLoad) {
  ASSERT_TRUE(SaveWith(3));
  units[2].payload.resize(5);  // reads 5 of the 24 bytes it wrote
  EXPECT_TRUE(LoadWith(3));
  EXPECT_EQ(units[2].read, Bytes(5, 0x42));
}

TEST_F(MyFileTest, ALoadFailureReachesEveryUnitsEnd) {
  ASSERT_TRUE(SaveWith(3));
  units[1].failLoad = true;
  EXPECT_FALSE(LoadWith(3));
  for (auto& u : units) {
    EXPECT_EQ(u.ends, 2);  // one End from the save, one from the load
    EXPECT_EQ(u.lastFailed, TRUE);
  }
}

TEST_F(MyFileTest, UnitLimitAndPreconditions) {
  CMyFileSave save(&runner);
  TestUnit extra[17];
  for (auto& u : extra) save.AddUnit(&u);
  EXPECT_EQ(save.GetUnitCount(), 16u);
  CMyFileSave empty(&runner);
  try {
    empty.Save(path, worker);
    FAIL();
  } catch (GErrRecord* e) {
    e->AddRef();
    EXPECT_EQ(std::u16string(e->GetCondition()), u"!m_nUnitCount");
    e->Release();
  }
}

}  // namespace
