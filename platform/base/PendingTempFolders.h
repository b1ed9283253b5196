// A small list, shared by every running copy of the program, of the folders where processes
// keep temporary files that CreateTempFileIn named. A process notes a folder before it makes
// such a file there and takes the note back once the file is gone; the notes a killed process
// leaves name the folders its files stayed in, so start-up finds them without searching
// every folder.
#pragma once
#include <string>

namespace plat {

class PendingTempFolders {
 public:
  // The list is kept in the file at listPath (created when missing).
  explicit PendingTempFolders(std::u16string listPath) : m_path(std::move(listPath)) {}

  // Notes that this process is about to make a temporary file in folder; false when the note
  // could not be written (the file is then found only by a later look into that folder).
  bool Enter(const std::u16string& folder);
  // Takes back one note of this process for folder.
  void Leave(const std::u16string& folder);
  // For every note of a process that no longer runs: the temporary files prefix + pid ... of
  // processes that no longer run go from its folder (RemoveStaleTempFiles), then the note.
  // Notes of running processes, and their files, stay. The number of files removed.
  int RemoveLeftovers(const std::u16string& prefix);

 private:
  std::u16string m_path;
};

}  // namespace plat
