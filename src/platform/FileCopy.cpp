#include <algorithm>
#include <cerrno>
#include <string>

#include "platform/Files.h"

namespace comsweep::platform {

bool copyThroughBuffer(int from, long long offset, int to, std::uint64_t size) {
  std::string buffer(std::size_t{1} << 20, '\0');
  while (size > 0) {
    std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size, buffer.size()));
    long long got = readAt(from, buffer.data(), want, offset);
    if (got < 0) return false;
    if (got == 0) {
      errno = EIO;
      return false;
    }
    if (!writeAll(to, std::string_view(buffer.data(), static_cast<std::size_t>(got)))) return false;
    offset += got;
    size -= static_cast<std::uint64_t>(got);
  }
  return true;
}

}  // namespace comsweep::platform
