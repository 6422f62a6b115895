#pragma once
// Replacing a file so that at every instant it is either the old or the new
// content, in two steps: a temporary file created exclusively in the same
// directory, written, fsynced and closed; later, renamed over the target and
// the directory fsynced. The new file keeps the old one's permission bits,
// owner and group; the temporary file is removed on failure and when a
// signal ends the program. A machine of several files writes all of them
// before it replaces the first (see SaveBatch).

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/FileDescriptor.h"
#include "platform/SignalCleanup.h"
#include "registry/RegistryApi.h"

namespace comsweep::registry {

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

// The new content of one file, on disk and synced beside it, not yet in
// place. Destroyed before replace() succeeded, it removes the new file and
// the target stays as it was.
class PreparedFile {
 public:
  // Writes what `produce` writes beside `target` (a symbolic link is
  // followed: the file it names is the one replaced later). Null with
  // `error` set when it cannot; no temporary file is then left behind.
  static std::unique_ptr<PreparedFile> write(const std::filesystem::path& target,
                                             const std::function<bool(AtomicWriter&)>& produce,
                                             std::string& error);
  ~PreparedFile();
  PreparedFile(const PreparedFile&) = delete;
  PreparedFile& operator=(const PreparedFile&) = delete;

  // The file that replace() replaces, links followed.
  const std::filesystem::path& target() const { return m_target; }
  // Renames the new file over the target and syncs the directory. On
  // failure the target is as it was.
  CommitResult replace();

 private:
  PreparedFile(int fd, std::filesystem::path temporary, std::filesystem::path target);

  platform::FileDescriptor m_fd;  // open only while the file is written
  std::filesystem::path m_temporary;
  std::filesystem::path m_target;
  platform::RemoveOnSignal m_onSignal;
  bool m_replaced = false;
};

}  // namespace comsweep::registry
