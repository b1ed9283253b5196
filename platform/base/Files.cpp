#include "Files.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Text.h"

namespace plat {

static std::string Native(const std::u16string& path) { return ToUtf8(path); }

static std::u16string WithSlash(std::u16string folder) {
  if (folder.empty() || folder.back() != u'/') folder += u'/';
  return folder;
}

std::u16string GetProgramFolder() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return u".";
  buf[n] = 0;
  std::string path(buf);
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return u".";
  if (slash == 0) return u"/";
  return FromUtf8(path.substr(0, slash));
}

std::u16string GetTempFolder() {
  const char* env = std::getenv("TMPDIR");
  std::string dir = env && *env ? env : "/tmp";
  return WithSlash(FromUtf8(dir));
}

std::u16string GetUserDataFolder() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::string(home) + "/.local/share";
  } else {
    base = "/tmp";
  }
  std::string dir = base + "/Tavrik";
  // Create each missing level.
  for (size_t i = 1; i <= dir.size(); ++i) {
    if (i == dir.size() || dir[i] == '/') mkdir(dir.substr(0, i).c_str(), 0700);
  }
  return WithSlash(FromUtf8(dir));
}

bool IsFolderWritable(const std::u16string& folder) { return access(Native(folder).c_str(), W_OK) == 0; }

bool FileExists(const std::u16string& path) {
  struct stat st;
  return stat(Native(path).c_str(), &st) == 0;
}

bool IsFolder(const std::u16string& path) {
  struct stat st;
  return stat(Native(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateFolder(const std::u16string& path) {
  // 0777 less the umask, as for any folder the user makes.
  if (mkdir(Native(path).c_str(), 0777) == 0) return true;
  return errno == EEXIST && IsFolder(path);
}

bool DeleteFile(const std::u16string& path) { return unlink(Native(path).c_str()) == 0; }

int64_t GetFileLength(const std::u16string& path) {
  struct stat st;
  if (stat(Native(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return int64_t(st.st_size);
}

// The open(2) flags of a C stdio mode.
static int OpenFlags(const char* mode) {
  const bool both = std::strchr(mode, '+') != nullptr;
  switch (mode[0]) {
    case 'r':
      return both ? O_RDWR : O_RDONLY;
    case 'w':
      return (both ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
    case 'a':
      return (both ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
    default:
      return -1;
  }
}

// EISDIR for a folder, ENODEV for a pipe, device or socket, 0 for a regular file.
static int NotRegularError(mode_t mode) { return S_ISREG(mode) ? 0 : S_ISDIR(mode) ? EISDIR : ENODEV; }

FILE* OpenFile(const std::u16string& path, const char* mode) {
  const int flags = OpenFlags(mode);
  if (flags < 0) {
    errno = EINVAL;
    return nullptr;
  }
  const std::string name = Native(path);
  // A pipe or a device would block open() or the reads for good: only regular files are
  // opened to read. The name may change its file between the look and the open, so the open
  // does not wait either, and what was opened is looked at again. Writing may go to a device
  // (a pipe without a reader gives ENXIO at once).
  const bool reading = mode[0] == 'r';
  struct stat st;
  if (reading && stat(name.c_str(), &st) == 0 && NotRegularError(st.st_mode)) {
    errno = NotRegularError(st.st_mode);
    return nullptr;
  }
  const int fd = open(name.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  int error = fstat(fd, &st) != 0 ? errno : reading ? NotRegularError(st.st_mode) : 0;
  if (!error && fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) error = errno;
  FILE* f = error ? nullptr : fdopen(fd, mode);
  if (!f) {
    if (!error) error = errno;
    close(fd);
    errno = error;
  }
  return f;
}

FILE* CreateExclusiveFile(const std::u16string& path) {
  int fd = open(Native(path).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  FILE* f = fdopen(fd, "w+b");
  if (!f) {
    close(fd);
    unlink(Native(path).c_str());
  }
  return f;
}

FILE* CreateTempFileIn(const std::u16string& folder, const std::u16string& prefix, std::u16string* path) {
  static std::atomic<uint32_t> counter{0};
  for (int tries = 0; tries < 1000; ++tries) {
    char name[48];
    std::snprintf(name, sizeof name, "%d_%u.tmp", int(getpid()), unsigned(++counter));
    std::u16string candidate = WithSlash(folder) + prefix + FromUtf8(name);
    if (FILE* f = CreateExclusiveFile(candidate)) {
      if (path) *path = candidate;
      return f;
    }
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
}

FILE* CreateUniqueFile(const std::u16string& folder, const std::u16string& prefix, std::u16string* path) {
  std::string name = Native(WithSlash(folder) + prefix) + "XXXXXX.tmp";
  const int fd = mkostemps(name.data(), 4, O_CLOEXEC);
  if (fd < 0) return nullptr;
  FILE* f = fdopen(fd, "w+b");
  if (!f) {
    const int error = errno;
    close(fd);
    unlink(name.c_str());
    errno = error;
    return nullptr;
  }
  if (path) *path = FromUtf8(name);
  return f;
}

std::u16string CreatePrivateFolder(const std::u16string& parent, const std::u16string& prefix) {
  std::string name = Native(WithSlash(parent) + prefix) + std::to_string(getpid()) + "-XXXXXX";
  if (!mkdtemp(name.data())) return std::u16string();  // mkdtemp makes it 0700
  return WithSlash(FromUtf8(name));
}

int RemoveStalePrivateFolders(const std::u16string& parent, const std::u16string& prefix) {
  const std::string start = Native(prefix);
  std::vector<std::string> stale;
  if (DIR* dir = opendir(Native(parent).c_str())) {
    while (dirent* e = readdir(dir)) {
      const std::string name = e->d_name;
      int pid = 0;
      char dash = 0;
      if (name.compare(0, start.size(), start) != 0 ||
          std::sscanf(name.c_str() + start.size(), "%d%c", &pid, &dash) != 2 || dash != '-')
        continue;
      if (pid != int(getpid()) && !IsProcessAlive(pid)) stale.push_back(Native(WithSlash(parent)) + name);
    }
    closedir(dir);
  }
  int removed = 0;
  for (const std::string& folder : stale) {
    struct stat st;
    // Only a folder of this user's: nothing is followed or removed in anyone else's.
    if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) continue;
    if (DIR* dir = opendir(folder.c_str())) {
      while (dirent* e = readdir(dir))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") unlink((folder + "/" + e->d_name).c_str());
      closedir(dir);
    }
    removed += rmdir(folder.c_str()) == 0;
  }
  return removed;
}

bool RemoveFolder(const std::u16string& path) { return rmdir(Native(path).c_str()) == 0; }

bool IsProcessAlive(int pid) { return pid > 0 && (kill(pid_t(pid), 0) == 0 || errno == EPERM); }

int RemoveStaleTempFiles(const std::u16string& folder, const std::u16string& prefix) {
  const std::string start = Native(prefix);
  int removed = 0;
  DIR* dir = opendir(Native(folder).c_str());
  if (!dir) return 0;
  std::vector<std::string> stale;
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name.compare(0, start.size(), start) != 0) continue;
    int pid = 0;
    unsigned number = 0;
    char tail[8] = {};
    if (std::sscanf(name.c_str() + start.size(), "%d_%u%7s", &pid, &number, tail) != 3 ||
        std::string(tail) != ".tmp")
      continue;
    if (pid != int(getpid()) && !IsProcessAlive(pid)) stale.push_back(name);
  }
  closedir(dir);
  for (const std::string& name : stale) removed += unlink((Native(WithSlash(folder)) + name).c_str()) == 0;
  return removed;
}

bool SyncFile(FILE* f) { return f && std::fflush(f) == 0 && fsync(fileno(f)) == 0; }

bool SyncFolder(const std::u16string& folder) {
  const int fd = open(Native(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

std::u16string FollowLinks(const std::u16string& path) {
  std::u16string at = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (lstat(Native(at).c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
    char buf[4096];
    const ssize_t n = readlink(Native(at).c_str(), buf, sizeof buf - 1);
    if (n <= 0) return std::u16string();
    const std::u16string target = FromUtf8(std::string(buf, size_t(n)));
    at = target[0] == u'/' ? target : WithSlash(FolderOf(at)) + target;
  }
  errno = ELOOP;
  return std::u16string();
}

bool IsFileWritable(const std::u16string& path) {
  // A file without any write permission counts as protected also for the superuser, whom
  // access() lets write everything.
  struct stat st;
  if (stat(Native(path).c_str(), &st) != 0 || (st.st_mode & 0222) == 0) return false;
  return access(Native(path).c_str(), W_OK) == 0;
}

std::u16string AbsolutePath(const std::u16string& path) {
  if (path.empty()) return path;
  std::u16string whole = path;
  if (path[0] != u'/') {
    char here[4096];
    if (!getcwd(here, sizeof here)) return path;
    whole = WithSlash(FromUtf8(here)) + path;
  }
  std::vector<std::u16string> parts;
  size_t at = 0;
  while (at <= whole.size()) {
    size_t slash = whole.find(u'/', at);
    if (slash == std::u16string::npos) slash = whole.size();
    std::u16string part = whole.substr(at, slash - at);
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(std::move(part));
    }
    at = slash + 1;
  }
  std::u16string out;
  for (const std::u16string& part : parts) out += u"/" + part;
  return out.empty() ? u"/" : out;
}

bool TakeFileMode(const std::u16string& path, const std::u16string& like) {
  struct stat st;
  mode_t mode;
  if (stat(Native(like).c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  return chmod(Native(path).c_str(), mode) == 0;
}

bool ReplaceFile(const std::u16string& from, const std::u16string& to) {
  return std::rename(Native(from).c_str(), Native(to).c_str()) == 0;
}

bool MoveFileNoReplace(const std::u16string& from, const std::u16string& to) {
  const std::string f = Native(from), t = Native(to);
  if (::renameat2(AT_FDCWD, f.c_str(), AT_FDCWD, t.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the no-replace rename: a second name (refused when taken), then
  // the first one removed.
  if (::link(f.c_str(), t.c_str()) != 0) return false;
  return ::unlink(f.c_str()) == 0;
}

std::u16string FolderOf(const std::u16string& path) {
  size_t slash = path.rfind(u'/');
  if (slash == std::u16string::npos) return u".";
  return slash == 0 ? u"/" : path.substr(0, slash);
}

bool SeekFile(FILE* f, int64_t offset, int origin) { return fseeko(f, off_t(offset), origin) == 0; }

int64_t TellFile(FILE* f) { return int64_t(ftello(f)); }

std::vector<std::u16string> FindFiles(const std::u16string& folder, const std::u16string& suffix) {
  std::vector<std::u16string> names;
  DIR* dir = opendir(Native(folder).c_str());
  if (!dir) return names;
  std::string suf = Native(suffix);
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name.size() < suf.size() || name.compare(name.size() - suf.size(), suf.size(), suf) != 0) continue;
    std::string full = Native(folder) + "/" + name;
    struct stat st;
    if (stat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    names.push_back(FromUtf8(name));
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

HMODULE LoadModule(const std::u16string& path) {
  return reinterpret_cast<HMODULE>(dlopen(Native(path).c_str(), RTLD_NOW | RTLD_LOCAL));
}

void* GetModuleSymbol(HMODULE module, const char* name) { return module ? dlsym(module, name) : nullptr; }

void FreeModule(HMODULE module) {
  if (module) dlclose(module);
}

std::u16string GetModulePath(HMODULE module) {
  if (!module) return {};
  link_map* map = nullptr;
  if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) return {};
  return FromUtf8(map->l_name);
}

}  // namespace plat
