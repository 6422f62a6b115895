#pragma once
// One run at a time on a machine: an exclusive flock(2) on the machine file
// (or on the Wine prefix's directory), held from before the first read until
// the run ends, after the file was replaced. Programs that take no lock
// (an editor, a wineserver) are not stopped by it; the stores check the file
// again right before they replace it. On Windows the lock is LockFileEx on
// a byte beyond the file's end, which keeps no one from reading the file.

#include <chrono>
#include <filesystem>
#include <string>

#include "platform/FileDescriptor.h"

namespace comsweep::platform {

class RunLock {
 public:
  RunLock() = default;

  // Takes the lock on `target`, waiting up to `wait` for another run to end.
  // A file that another run replaced while this one waited is locked anew
  // under its path. On failure the lock is not held and `error` says why.
  static RunLock acquire(const std::filesystem::path& target, std::chrono::milliseconds wait,
                         std::string& error);

  bool held() const { return m_fd.valid(); }

 private:
  explicit RunLock(FileDescriptor fd) : m_fd(std::move(fd)) {}
  FileDescriptor m_fd;
};

}  // namespace comsweep::platform
