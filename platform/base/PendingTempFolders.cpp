#include "PendingTempFolders.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "Files.h"
#include "Text.h"

namespace plat {
namespace {

// One note a line: the process id, a tab, the folder in UTF-8.
struct Note {
  int pid;
  std::string folder;
};

std::vector<Note> Parse(const std::string& text) {
  std::vector<Note> notes;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    const size_t tab = line.find('\t');
    int pid = 0;
    if (tab != std::string::npos && tab + 1 < line.size() && std::sscanf(line.c_str(), "%d", &pid) == 1 && pid > 0)
      notes.push_back(Note{pid, line.substr(tab + 1)});
    at = end + 1;
  }
  return notes;
}

std::string Print(const std::vector<Note>& notes) {
  std::string text;
  for (const Note& n : notes) text += std::to_string(n.pid) + '\t' + n.folder + '\n';
  return text;
}

// Runs change on the notes with the list locked against every other process, and writes
// back what it leaves; false when the list cannot be opened or written.
bool Change(const std::u16string& path, const std::function<void(std::vector<Note>&)>& change) {
  const int fd = open(ToUtf8(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = flock(fd, LOCK_EX) == 0;
  std::string text;
  char buf[4096];
  for (ssize_t n; ok && (n = pread(fd, buf, sizeof buf, off_t(text.size()))) != 0;) {
    if (n < 0) ok = false;
    else text.append(buf, size_t(n));
  }
  if (ok) {
    std::vector<Note> notes = Parse(text);
    change(notes);
    const std::string out = Print(notes);
    ok = ftruncate(fd, 0) == 0 && (out.empty() || pwrite(fd, out.data(), out.size(), 0) == ssize_t(out.size()));
  }
  close(fd);  // also lets go of the lock
  return ok;
}

}  // namespace

bool PendingTempFolders::Enter(const std::u16string& folder) {
  const std::string name = ToUtf8(AbsolutePath(folder));
  // A folder name that would break its line is not noted.
  if (name.find('\n') != std::string::npos) return false;
  return Change(m_path, [&](std::vector<Note>& notes) { notes.push_back(Note{int(getpid()), name}); });
}

void PendingTempFolders::Leave(const std::u16string& folder) {
  const std::string name = ToUtf8(AbsolutePath(folder));
  Change(m_path, [&](std::vector<Note>& notes) {
    auto mine = std::find_if(notes.begin(), notes.end(), [&](const Note& n) { return n.pid == int(getpid()) && n.folder == name; });
    if (mine != notes.end()) notes.erase(mine);
  });
}

int PendingTempFolders::RemoveLeftovers(const std::u16string& prefix) {
  int removed = 0;
  Change(m_path, [&](std::vector<Note>& notes) {
    auto gone = [](const Note& n) { return n.pid != int(getpid()) && !IsProcessAlive(n.pid); };
    for (const Note& n : notes)
      if (gone(n)) removed += RemoveStaleTempFiles(FromUtf8(n.folder), prefix);
    notes.erase(std::remove_if(notes.begin(), notes.end(), gone), notes.end());
  });
  return removed;
}

}  // namespace plat
