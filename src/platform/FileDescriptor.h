#pragma once
// Owns a POSIX file descriptor and closes it when it goes.

#include <unistd.h>

#include <utility>

namespace comsweep::platform {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      reset();
      m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { reset(); }

  int get() const { return m_fd; }
  bool valid() const { return m_fd >= 0; }
  // Closes now; the result of close(2), 0 when nothing was open.
  int reset() {
    int rc = m_fd >= 0 ? ::close(m_fd) : 0;
    m_fd = -1;
    return rc;
  }

 private:
  int m_fd;
};

}  // namespace comsweep::platform
