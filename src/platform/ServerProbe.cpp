#include "platform/ServerProbe.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/FileDescriptor.h"

namespace comsweep::platform {

long long readFileStart(const std::filesystem::path& path, char* out, std::size_t size, bool followLink) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW)));
  if (!fd.valid()) return -1;
  return ::read(fd.get(), out, size);
}

bool writeLockHolder(const std::filesystem::path& path, long long& holder) {
  holder = 0;
  FileDescriptor lock(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW));
  if (!lock.valid()) return false;
  struct flock query {};
  query.l_type = F_WRLCK;
  query.l_whence = SEEK_SET;
  if (::fcntl(lock.get(), F_GETLK, &query) != 0) return false;
  if (query.l_type != F_UNLCK) holder = query.l_pid;
  return true;
}

Listener listenerAt(const std::filesystem::path& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.native().size() >= sizeof address.sun_path) return Listener::None;
  std::memcpy(address.sun_path, path.c_str(), path.native().size() + 1);
  FileDescriptor sock(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!sock.valid()) return Listener::Unknown;
  if (::connect(sock.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ||
      errno == EAGAIN || errno == EINPROGRESS)  // a full backlog still means a listener
    return Listener::Accepts;
  if (errno == ENOENT || errno == ENOTDIR || errno == ECONNREFUSED) return Listener::None;
  return Listener::Unknown;
}

unsigned currentUserId() { return ::getuid(); }

}  // namespace comsweep::platform
