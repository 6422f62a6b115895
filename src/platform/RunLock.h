#pragma once
// One run at a time on a machine: an exclusive flock(2) on the machine file
// (or on the Wine prefix's directory), held from before the first read until
// the run ends, after the file was replaced. Programs that take no lock
// (an editor, a wineserver) are not stopped by it; the stores check the file
// again right before they replace it. On Windows the lock is a named mutex
// for the file's full path: a handle held open on the file itself would stop
// the run's own replacement of it.

#include <chrono>
#include <filesystem>
#include <memory>
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

  bool held() const { return m_fd.valid() || m_token != nullptr; }

 private:
  explicit RunLock(FileDescriptor fd) : m_fd(std::move(fd)) {}
  explicit RunLock(std::shared_ptr<void> token) : m_token(std::move(token)) {}
  FileDescriptor m_fd;            // POSIX: the locked file
  std::shared_ptr<void> m_token;  // Windows: releases the mutex when it goes
};

}  // namespace comsweep::platform
