#pragma once
// A whole open file mapped into memory, for readers that go through all of
// it: read-only, or as a private copy that may be changed in memory (only the
// pages changed are copied, and the file never sees the changes). On POSIX
// every page is mapped at once (no fault per page as it is first read).
// MappedFile.cpp maps with mmap, MappedFileWin32.cpp with a file mapping and
// MapViewOfFile.

#include <cstddef>
#include <cstdint>
#include <utility>

namespace comsweep::platform {

class MappedFile {
 public:
  MappedFile() = default;
  MappedFile(MappedFile&& other) noexcept
      : m_data(std::exchange(other.m_data, nullptr)),
        m_size(std::exchange(other.m_size, 0)),
        m_mapping(std::exchange(other.m_mapping, nullptr)),
        m_private(std::exchange(other.m_private, false)) {}
  MappedFile& operator=(MappedFile&& other) noexcept {
    if (this != &other) {
      unmap();
      m_data = std::exchange(other.m_data, nullptr);
      m_size = std::exchange(other.m_size, 0);
      m_mapping = std::exchange(other.m_mapping, nullptr);
      m_private = std::exchange(other.m_private, false);
    }
    return *this;
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile() { unmap(); }

  // Maps the first `size` bytes (more than zero) of `fd`, open for reading.
  // The descriptor may be closed afterwards. False with errno set.
  static bool map(int fd, std::uint64_t size, bool privateCopy, MappedFile& out);

  const unsigned char* data() const { return m_data; }
  // Only for a private copy.
  unsigned char* writableData() { return m_data; }
  std::size_t size() const { return m_size; }
  // Lets the pages of a read-only mapping go from this process until they
  // are read again (from the system's cache of the file, unchanged). Of a
  // private copy nothing is let go: its changes live only there.
  void letPagesGo();
  void unmap();

 private:
  unsigned char* m_data = nullptr;
  std::size_t m_size = 0;
  void* m_mapping = nullptr;  // the Win32 file mapping handle; unused on POSIX
  bool m_private = false;
};

}  // namespace comsweep::platform
