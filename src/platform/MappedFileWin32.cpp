#include <io.h>
#include <windows.h>

#include <cerrno>

#include "platform/MappedFile.h"

namespace comsweep::platform {

bool MappedFile::map(int fd, std::uint64_t size, bool privateCopy, MappedFile& out) {
  out.unmap();
  auto file = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  if (size == 0 || static_cast<std::size_t>(size) != size || file == INVALID_HANDLE_VALUE) {
    errno = EINVAL;
    return false;
  }
  HANDLE mapping = ::CreateFileMappingW(file, nullptr, privateCopy ? PAGE_WRITECOPY : PAGE_READONLY,
                                        static_cast<DWORD>(size >> 32), static_cast<DWORD>(size),
                                        nullptr);
  if (!mapping) {
    errno = EACCES;
    return false;
  }
  void* at = ::MapViewOfFile(mapping, privateCopy ? FILE_MAP_COPY : FILE_MAP_READ, 0, 0,
                             static_cast<SIZE_T>(size));
  if (!at) {
    ::CloseHandle(mapping);
    errno = ENOMEM;
    return false;
  }
  out.m_data = static_cast<unsigned char*>(at);
  out.m_size = static_cast<std::size_t>(size);
  out.m_mapping = mapping;
  return true;
}

// A view's pages already go when the system needs them: nothing to do.
void MappedFile::letPagesGo() {}

void MappedFile::unmap() {
  if (m_data) ::UnmapViewOfFile(m_data);
  if (m_mapping) ::CloseHandle(m_mapping);
  m_data = nullptr;
  m_size = 0;
  m_mapping = nullptr;
}

}  // namespace comsweep::platform
