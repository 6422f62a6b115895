#include "platform/MappedFile.h"

#include <sys/mman.h>

#include <cerrno>

namespace comsweep::platform {

bool MappedFile::map(int fd, std::uint64_t size, bool privateCopy, MappedFile& out) {
  out.unmap();
  if (size == 0 || static_cast<std::size_t>(size) != size) {
    errno = EINVAL;
    return false;
  }
  void* at = ::mmap(nullptr, static_cast<std::size_t>(size), privateCopy ? PROT_READ | PROT_WRITE : PROT_READ,
                    privateCopy ? MAP_PRIVATE : MAP_SHARED, fd, 0);
  if (at == MAP_FAILED) return false;
  out.m_data = static_cast<unsigned char*>(at);
  out.m_size = static_cast<std::size_t>(size);
  return true;
}

void MappedFile::unmap() {
  if (m_data) ::munmap(m_data, m_size);
  m_data = nullptr;
  m_size = 0;
}

}  // namespace comsweep::platform
