#pragma once
// Small POSIX file helpers shared by the stores, the log and the backup.

#include <sys/stat.h>
#include <sys/types.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/FileDescriptor.h"

namespace comsweep::platform {

// What identifies a file's content as read: replaced or rewritten, it changes.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};

  static FileIdentity of(const struct stat& st) { return {st.st_dev, st.st_ino, st.st_size, st.st_mtim}; }
  // The identity of the file at `path` now (links followed); false with errno set.
  static bool ofPath(const std::filesystem::path& path, FileIdentity& out);
  bool operator==(const FileIdentity& other) const;
};

// "a directory", "a named pipe (FIFO)", ... for a file that is not regular.
std::string fileKindOf(mode_t mode);

// Opens a file for reading without ever blocking on a FIFO or a device, and
// makes sure it is a regular file. On failure the descriptor is invalid and
// `error` is a phrase to follow the path ("cannot be read: ...", "is a
// directory, not a file").
FileDescriptor openRegularFile(const std::filesystem::path& path, struct stat& st,
                               std::string& error);

// Writes all of `bytes`, retrying after signals. False with errno set.
bool writeAll(int fd, std::string_view bytes);
// Reads from `offset` until `out` is full or the file ends; the number of
// bytes read, -1 with errno set on failure.
long long readAt(int fd, char* out, std::size_t size, off_t offset);

// Flushes a directory's entries (a rename or a new file in it) to disk.
void syncDirectory(const std::filesystem::path& dir);

// Gives a file just created in `dir` the owner and group of `dir`, so that a
// run as root on somebody's files leaves files that person can use. Best
// effort: without the right to do so, the file stays as created.
void takeOwnerOfDirectory(int fd, const std::filesystem::path& dir);

// A name in `dir` for a temporary file beside `name`: ".<name>.comsweep-<random>".
std::filesystem::path temporaryNameBeside(const std::filesystem::path& dir, const std::string& name);

}  // namespace comsweep::platform
