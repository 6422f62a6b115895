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
  // The whole file is read, so its pages are mapped in one go rather than
  // faulted in one by one. A private copy is populated read-only first:
  // populating it writable would copy every page, where only the pages
  // written to need a copy of their own.
  const auto length = static_cast<std::size_t>(size);
  void* at = ::mmap(nullptr, length, PROT_READ, (privateCopy ? MAP_PRIVATE : MAP_SHARED) | MAP_POPULATE, fd, 0);
  if (at == MAP_FAILED) return false;
  if (privateCopy && ::mprotect(at, length, PROT_READ | PROT_WRITE) != 0) {
    const int saved = errno;
    ::munmap(at, length);
    errno = saved;
    return false;
  }
  out.m_data = static_cast<unsigned char*>(at);
  out.m_size = length;
  out.m_private = privateCopy;
  return true;
}

void MappedFile::letPagesGo() {
  if (m_data && !m_private) ::madvise(m_data, m_size, MADV_DONTNEED);
}

void MappedFile::unmap() {
  if (m_data) ::munmap(m_data, m_size);
  m_data = nullptr;
  m_size = 0;
}

}  // namespace comsweep::platform
