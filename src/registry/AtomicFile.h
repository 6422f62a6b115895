#pragma once
// Replacing a file so that at every instant it is either the old or the new
// content: a temporary file created exclusively in the same directory,
// written, fsynced, renamed over the target, and the directory fsynced. The
// new file keeps the old one's permission bits, owner and group; the
// temporary file is removed on failure and when a signal ends the program.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

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

// Replaces `target` (a symbolic link is followed: the file it names is
// replaced) with what `produce` writes. On failure the target is untouched
// and no temporary file is left behind.
CommitResult replaceFileAtomically(const std::filesystem::path& target,
                                   const std::function<bool(AtomicWriter&)>& produce,
                                   const LastCheck& lastCheck = {});

}  // namespace comsweep::registry
