#include "platform/RunLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

namespace comsweep::platform {

RunLock RunLock::acquire(const std::filesystem::path& target, std::chrono::milliseconds wait,
                         std::string& error) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    // O_NONBLOCK: the target was checked to be a file or a directory, but
    // it may have been swapped for a FIFO since.
    FileDescriptor fd(::open(target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
      error = target.string() + ": cannot be locked: " + std::strerror(errno);
      return {};
    }
    bool locked = false;
    while (!(locked = ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0)) {
      if (errno == EINTR) continue;
      if (errno != EWOULDBLOCK) {
        error = target.string() + ": cannot be locked: " + std::strerror(errno);
        return {};
      }
      if (std::chrono::steady_clock::now() >= deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!locked) {
      char waited[32];
      if (wait.count() % 1000 == 0)
        std::snprintf(waited, sizeof waited, "%lld", static_cast<long long>(wait.count() / 1000));
      else
        std::snprintf(waited, sizeof waited, "%.1f", static_cast<double>(wait.count()) / 1000);
      error = target.string() + ": another comsweep run is working on this machine (waited " +
              waited + (wait.count() == 1000 ? " second" : " seconds") +
              "); try again when it has ended";
      return {};
    }
    // The run that held the lock may have replaced the file: the lock is
    // then on a file that no longer has this name.
    struct stat held {}, named {};
    if (::fstat(fd.get(), &held) == 0 && ::stat(target.c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino)
      return RunLock(std::move(fd));
    if (std::chrono::steady_clock::now() >= deadline) {
      error = target.string() + ": replaced again and again while waiting for the lock";
      return {};
    }
  }
}

}  // namespace comsweep::platform
