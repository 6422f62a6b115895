#pragma once
// Small file helpers shared by the stores, the log and the backup, so that
// the core calls no system function of its own. Files.cpp answers them with
// POSIX calls, FilesWin32.cpp with Win32 ones (paths as UTF-16, files in
// binary mode, a rename that replaces). Descriptors are C runtime
// descriptors on both.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/FileDescriptor.h"

namespace comsweep::platform {

// The status of a file as the system gives it (struct stat); callers read
// st_size, st_mode and the like through this name only.
using FileStatus = struct stat;

// What identifies a file's content as read: replaced or rewritten, it changes.
// On Windows: the volume serial number, the file index and the last write.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  timespec modified{};

  // From a status already taken (POSIX; on Windows it lacks the file index,
  // so compare only identities taken the same way).
  static FileIdentity of(const struct stat& st);
  // The identity of the file at `path` now (links followed); false with errno set.
  static bool ofPath(const std::filesystem::path& path, FileIdentity& out);
  // The identity of the open file; false with errno set.
  static bool ofDescriptor(int fd, FileIdentity& out);
  bool operator==(const FileIdentity& other) const;
};

// "a directory", "a named pipe (FIFO)", ... for a file that is not regular.
std::string fileKindOf(unsigned mode);

// Opens a file for reading without ever blocking on a FIFO or a device, and
// makes sure it is a regular file. On failure the descriptor is invalid and
// `error` is a phrase to follow the path ("cannot be read: ...", "is a
// directory, not a file").
FileDescriptor openRegularFile(const std::filesystem::path& path, struct stat& st,
                               std::string& error);

// Opens a file for reading as openRegularFile does, without its checks;
// invalid with errno set on failure.
FileDescriptor openForReading(const std::filesystem::path& path);
// Creates a new file for writing with the permission bits `mode` (POSIX),
// never over anything that exists at `path`, a link included. -1 with errno
// set on failure (EEXIST when something is there).
int createNewFile(const std::filesystem::path& path, unsigned mode);
// The status of `path`, links followed. False with errno set.
bool statPath(const std::filesystem::path& path, struct stat& st);
// Whether anything is at `path` (links followed).
bool pathExists(const std::filesystem::path& path);
// What is at `path` when it is not a regular file, in fileKindOf's words
// ("a symbolic link" included: no link is followed); empty when nothing is
// there or a regular file is.
std::string nonFileAt(const std::filesystem::path& path);
// Whether the owner may write the file (POSIX), or it is not read-only (Windows).
bool ownerMayWrite(const FileStatus& st);
// Flushes the file's content to disk. False with errno set.
bool flushFile(int fd);
// Puts `from` in the place of `to` in one step, replacing it. False with errno set.
bool replaceFile(const std::filesystem::path& from, const std::filesystem::path& to);
// Puts `from` at `to` in one step, never over anything that is there, a
// link included. False with errno set (EEXIST when something is there).
bool placeNewFile(const std::filesystem::path& from, const std::filesystem::path& to);
// Removes a file; a file that is not there is no failure.
void removeFile(const std::filesystem::path& path);
// Gives a new file the permission bits (POSIX) and the owner and group of
// the file it replaces (`replaced`), or the bits 0644 when it replaces none
// (null). False with errno set, and `ownerFailed` telling which step failed.
bool giveAttributesOf(int fd, const struct stat* replaced, bool& ownerFailed);

// Writes all of `bytes`, retrying after signals. False with errno set.
bool writeAll(int fd, std::string_view bytes);
// Reads from `offset` until `out` is full or the file ends; the number of
// bytes read, -1 with errno set on failure.
long long readAt(int fd, char* out, std::size_t size, long long offset);

// Appends `size` bytes of the file `from`, starting at `offset`, to `to` at
// its current position: inside the kernel where the system can, without
// the bytes passing through this process. False with errno set (EIO when
// `from` ends early).
bool copyRange(int from, long long offset, int to, std::uint64_t size);
// The same through a buffer in this process, for what the system cannot
// copy by itself.
bool copyThroughBuffer(int from, long long offset, int to, std::uint64_t size);

// Flushes a directory's entries (a rename or a new file in it) to disk.
void syncDirectory(const std::filesystem::path& dir);

// Releases the pages of [from, to) of a buffer that is no longer read back
// from memory (it is read again from its file). The new end of the released
// part measured from `base`, `from` when nothing was released.
std::size_t releasePages(const char* base, std::size_t from, std::size_t to);

// Gives a file just created in `dir` the owner and group of `dir`, so that a
// run as root on somebody's files leaves files that person can use. Best
// effort: without the right to do so, the file stays as created.
void takeOwnerOfDirectory(int fd, const std::filesystem::path& dir);

// A name in `dir` for a temporary file beside `name`: ".<name>.comsweep-<random>".
std::filesystem::path temporaryNameBeside(const std::filesystem::path& dir, const std::string& name);

// Creates a new temporary file beside `name` in `dir` (as createNewFile,
// never over an existing file), trying fresh names while one is taken.
// Returns its descriptor and sets `made` to its path, or -1 with errno set.
int createTemporaryBeside(const std::filesystem::path& dir, const std::string& name, unsigned mode,
                          std::filesystem::path& made);

}  // namespace comsweep::platform
