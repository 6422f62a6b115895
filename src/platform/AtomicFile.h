#pragma once
// Writing a file so that at every instant its place holds either the old
// content (or nothing) or the whole new content: a temporary file created
// exclusively in the same directory (never over anything there, a link
// included), written, fsynced and closed; later renamed into place and the
// directory fsynced. The temporary file is removed on failure, when its
// owner gives it up and when a signal ends the program. The machine's files,
// the log and the backup are all written this way; a machine of several files
// writes all of them before it replaces the first (see registry/SaveBatch).

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/FileDescriptor.h"
#include "platform/SignalCleanup.h"

namespace comsweep::platform {

// Sink that the producer of the new content writes to; write() returns false
// once any write has failed, and the failure is reported by the commit.
class AtomicWriter {
 public:
  explicit AtomicWriter(int fd) : m_fd(fd) {}
  bool write(std::string_view bytes);
  // Appends `size` bytes of the open file `fd` from `offset` on, copied by
  // the system where it can.
  bool copyFrom(int fd, long long offset, std::uint64_t size);
  bool failed() const { return m_errno != 0; }
  int error() const { return m_errno; }

 private:
  int m_fd;
  int m_errno = 0;
};

// Asked as the very last step, after the new content is on disk and right
// before it is renamed over the target: a non-empty answer cancels the
// replacement with that message (the target changed meanwhile, ...).
using LastCheck = std::function<std::string()>;

// The new content of one file, in a temporary file beside its place, not
// yet in place. Destroyed before it was put in place, it removes the
// temporary file and the place stays as it was.
class PreparedFile {
 public:
  // Creates the temporary file beside `target` (taken as it is: no link is
  // followed) with the permission bits `mode`, open for writing. Null with
  // errno set when it cannot be created; nothing is then left behind.
  static std::unique_ptr<PreparedFile> begin(const std::filesystem::path& target, unsigned mode);

  // The whole new content of `target` in one step: what `produce` writes,
  // given the permission bits, owner and group of the file it replaces,
  // synced and closed. A symbolic link at `target` is followed: the file it
  // names is the one replaced later. Null with `error` set when it cannot;
  // no temporary file is then left behind.
  static std::unique_ptr<PreparedFile> write(const std::filesystem::path& target,
                                             const std::function<bool(AtomicWriter&)>& produce,
                                             std::string& error);
  ~PreparedFile();
  PreparedFile(const PreparedFile&) = delete;
  PreparedFile& operator=(const PreparedFile&) = delete;

  // The open temporary file, -1 once closed.
  int descriptor() const { return m_fd.get(); }
  // The file that replace() replaces, links followed.
  const std::filesystem::path& target() const { return m_target; }
  const std::filesystem::path& temporary() const { return m_temporary; }
  // Flushes the content to disk; false with errno set.
  bool sync();
  // Closes the temporary file; false with errno set (the file is closed all
  // the same).
  bool close();
  // Renames the closed file over the target and syncs the directory. False
  // with errno set; the target is then as it was.
  bool replace();
  // Renames the closed file to `name` in the same directory, never over
  // anything that is there (EEXIST, the file staying prepared), and syncs
  // the directory. False with errno set.
  bool placeAsNew(const std::filesystem::path& name);

 private:
  PreparedFile(int fd, std::filesystem::path temporary, std::filesystem::path target);

  FileDescriptor m_fd;  // open only while the file is written
  std::filesystem::path m_temporary;
  std::filesystem::path m_target;
  RemoveOnSignal m_onSignal;
  bool m_placed = false;
};

}  // namespace comsweep::platform
