// Files, folders, temporary files and module loading.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "Types.h"

namespace plat {

// The folder of the running program, without a trailing separator.
std::u16string GetProgramFolder();
// The temporary folder ($TMPDIR, else /tmp), with a trailing separator.
std::u16string GetTempFolder();
// The user's data folder for this program (created when missing), with a trailing separator.
std::u16string GetUserDataFolder();

// True when files can be created in the folder.
bool IsFolderWritable(const std::u16string& folder);
bool FileExists(const std::u16string& path);
// True when an existing file may be written by this process; false for a write-protected one
// (no write permission at all), also for the superuser.
bool IsFileWritable(const std::u16string& path);
// The path from the root: a relative one is taken from the current folder, "." and ".."
// steps are resolved by name (links are not followed).
std::u16string AbsolutePath(const std::u16string& path);
bool IsFolder(const std::u16string& path);
// Creates one folder level unless a folder of that name exists; true when it is a folder
// afterwards (false when a file has the name or the parent cannot take it).
bool CreateFolder(const std::u16string& path);
bool DeleteFile(const std::u16string& path);
// Removes an empty folder.
bool RemoveFolder(const std::u16string& path);
// Length in bytes, or -1 when the file cannot be read.
int64_t GetFileLength(const std::u16string& path);

// Opens a file with a C stdio mode ("rb", "r+b", "w+b" ...); null on failure, errno telling
// why. Nothing waits: to read, only a regular file is opened (a folder gives EISDIR, a pipe,
// device or socket ENODEV); to write, a pipe without a reader gives ENXIO.
FILE* OpenFile(const std::u16string& path, const char* mode);
// Creates a new file that must not exist yet (never truncates another one's file),
// opened for reading and writing. Null when it exists or cannot be created.
FILE* CreateExclusiveFile(const std::u16string& path);
// Creates a new file named prefix + a number + ".tmp" in folder, exclusively; its path goes
// to *path. Null when no name could be had.
FILE* CreateTempFileIn(const std::u16string& folder, const std::u16string& prefix, std::u16string* path);
// Removes the files prefix + pid + "_" ... ".tmp" in folder that CreateTempFileIn made for
// processes that no longer run; the number of files removed.
int RemoveStaleTempFiles(const std::u16string& folder, const std::u16string& prefix);
// Creates a new file prefix + random letters + ".tmp" in folder, readable by its owner only,
// with a name nobody can foresee; its path goes to *path. Null on failure (errno tells).
FILE* CreateUniqueFile(const std::u16string& folder, const std::u16string& prefix, std::u16string* path);
// Creates a new folder prefix + pid + "-" + random letters in parent, mode 0700, and gives
// its path with a trailing separator; empty on failure.
std::u16string CreatePrivateFolder(const std::u16string& parent, const std::u16string& prefix);
// Removes, with the files in them, the folders CreatePrivateFolder made in parent for
// processes that no longer run; the number removed.
int RemoveStalePrivateFolders(const std::u16string& parent, const std::u16string& prefix);
// True while a process with this id runs.
bool IsProcessAlive(int pid);
// Writes a stream's buffered bytes through to the disk; false when any step fails.
bool SyncFile(FILE* f);
// Makes a folder's entries (a rename into it) durable.
bool SyncFolder(const std::u16string& folder);
// The path a chain of symbolic links at path ends in (path itself when it is no link);
// a relative link is taken from its own folder. Empty when the chain does not end (errno
// ELOOP).
std::u16string FollowLinks(const std::u16string& path);
// Gives a new file the permissions of the file it will replace, or, when there is none, the
// ones a newly created file gets (0666 less the umask): exclusive temporary files start
// readable by their owner only.
bool TakeFileMode(const std::u16string& path, const std::u16string& like);
// Puts from in the place of to (atomically on one file system); false on failure.
bool ReplaceFile(const std::u16string& from, const std::u16string& to);
// Gives the file at from the name to, unless a file of that name exists; false when it does
// or the rename fails. Nothing is ever overwritten.
bool MoveFileNoReplace(const std::u16string& from, const std::u16string& to);
// The folder part of a path ("." for a bare name), without a trailing separator.
std::u16string FolderOf(const std::u16string& path);
// 64-bit seek and tell on stdio streams.
bool SeekFile(FILE* f, int64_t offset, int origin);
int64_t TellFile(FILE* f);

// Names of the files in folder whose names end with suffix (".so"), sorted by name.
std::vector<std::u16string> FindFiles(const std::u16string& folder, const std::u16string& suffix);

// Shared libraries.
HMODULE LoadModule(const std::u16string& path);
void* GetModuleSymbol(HMODULE module, const char* name);
void FreeModule(HMODULE module);
// The file a module was loaded from (for resources beside it); empty when unknown.
std::u16string GetModulePath(HMODULE module);

}  // namespace plat
