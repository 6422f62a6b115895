#include "platform/Files.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace comsweep::platform {

FileIdentity FileIdentity::of(const struct stat& st) {
  return {st.st_dev, st.st_ino, st.st_size, st.st_mtim};
}

bool FileIdentity::ofPath(const std::filesystem::path& path, FileIdentity& out) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  out = of(st);
  return true;
}

bool FileIdentity::ofDescriptor(int fd, FileIdentity& out) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  out = of(st);
  return true;
}

bool FileIdentity::operator==(const FileIdentity& other) const {
  return device == other.device && inode == other.inode && size == other.size &&
         modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
}

std::string fileKindOf(unsigned mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a named pipe (FIFO)";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISLNK(mode)) return "a symbolic link";
  return "not a regular file";
}

FileDescriptor openRegularFile(const std::filesystem::path& path, struct stat& st,
                               std::string& error) {
  // O_NONBLOCK: opening a FIFO with no writer, or some devices, would wait
  // forever; a regular file does not care.
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) {
    error = std::string("cannot be read: ") + std::strerror(errno);
    return fd;
  }
  if (::fstat(fd.get(), &st) != 0) {
    error = std::string("cannot be read: ") + std::strerror(errno);
    return FileDescriptor();
  }
  if (!S_ISREG(st.st_mode)) {
    error = "is " + fileKindOf(st.st_mode) + ", not a file";
    return FileDescriptor();
  }
  int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

FileDescriptor openForReading(const std::filesystem::path& path) {
  return FileDescriptor(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
}

int createNewFile(const std::filesystem::path& path, unsigned mode) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                static_cast<mode_t>(mode));
}

bool statPath(const std::filesystem::path& path, struct stat& st) {
  return ::stat(path.c_str(), &st) == 0;
}

bool pathExists(const std::filesystem::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::string nonFileAt(const std::filesystem::path& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return {};
  return fileKindOf(st.st_mode);
}

bool ownerMayWrite(const FileStatus& st) { return (st.st_mode & S_IWUSR) != 0; }

bool flushFile(int fd) { return ::fsync(fd) == 0; }

bool replaceFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool placeNewFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system that cannot refuse in the rename itself: a second name
  // for the file, which link() never makes over anything, then the first
  // one goes.
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  ::unlink(from.c_str());
  return true;
}

void removeFile(const std::filesystem::path& path) { ::unlink(path.c_str()); }

bool giveAttributesOf(int fd, const struct stat* replaced, bool& ownerFailed) {
  ownerFailed = false;
  mode_t mode = replaced ? replaced->st_mode & 07777 : 0644;
  if (::fchmod(fd, mode) != 0) return false;
  // A run as root on somebody's file must leave it theirs.
  struct stat made {};
  if (replaced && ::fstat(fd, &made) == 0 &&
      (made.st_uid != replaced->st_uid || made.st_gid != replaced->st_gid) &&
      ::fchown(fd, replaced->st_uid, replaced->st_gid) != 0) {
    ownerFailed = true;
    return false;
  }
  return true;
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = EIO;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

long long readAt(int fd, char* out, std::size_t size, long long offset) {
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ::pread(fd, out + done, size - done, offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<long long>(done);
}

void syncDirectory(const std::filesystem::path& dir) {
  FileDescriptor fd(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.valid()) ::fsync(fd.get());
}

std::size_t releasePages(const char* base, std::size_t from, std::size_t to) {
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<std::uintptr_t>(base);
  const std::uintptr_t first = (start + from + page - 1) / page * page;
  const std::uintptr_t last = (start + to) / page * page;
  if (last <= first) return from;
  if (::madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED) != 0) return from;
  return last - start;
}

void takeOwnerOfDirectory(int fd, const std::filesystem::path& dir) {
  struct stat mine {}, parent {};
  if (::fstat(fd, &mine) != 0 || ::stat(dir.empty() ? "." : dir.c_str(), &parent) != 0) return;
  if (mine.st_uid == parent.st_uid && mine.st_gid == parent.st_gid) return;
  if (::fchown(fd, parent.st_uid, parent.st_gid) != 0) return;  // not ours to give away
}

namespace {

// Moves [in, in + size) of `from` to `to` through a pipe of 1 MiB: the
// source's pages are lent to the pipe without a copy and copied once into
// the destination. copy_file_range takes the same road on file systems that
// cannot share blocks (ext4; any copy whose offsets are not block-aligned),
// but through a pipe of 64 KiB, which costs about a sixth more processor
// time than reading and writing through a buffer; this costs a tenth less.
// `in` and `size` follow what was copied. False with errno set: EINVAL
// when splicing is not possible between these files and nothing has moved.
bool spliceRange(int from, off_t& in, int to, std::uint64_t& size) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return false;
  FileDescriptor out(ends[0]), pipeIn(ends[1]);
  const int capacity = ::fcntl(pipeIn.get(), F_SETPIPE_SZ, 1 << 20);
  if (capacity < (256 << 10)) {  // no gain over copy_file_range
    errno = EINVAL;
    return false;
  }
  // Bytes in the pipe that the destination refuses to take by splice: read
  // out of it and written (the pipe is still full of them, nothing is lost).
  auto drain = [&](std::size_t left) {
    std::string buffer(left, '\0');
    std::size_t got = 0;
    while (got < left) {
      ssize_t n = ::read(out.get(), buffer.data() + got, left - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      got += static_cast<std::size_t>(n);
    }
    return writeAll(to, buffer);
  };
  while (size > 0) {
    const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(size, static_cast<std::uint64_t>(capacity)));
    ssize_t n = ::splice(from, &in, pipeIn.get(), nullptr, chunk, SPLICE_F_MOVE);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = EIO;
      return false;
    }
    size -= static_cast<std::uint64_t>(n);
    for (auto left = static_cast<std::size_t>(n); left > 0;) {
      ssize_t m = ::splice(out.get(), nullptr, to, nullptr, left, SPLICE_F_MOVE);
      if (m < 0 && errno == EINTR) continue;
      if (m <= 0) {
        if (m == 0) errno = EIO;
        if (!drain(left)) return false;
        return copyThroughBuffer(from, in, to, size);
      }
      left -= static_cast<std::size_t>(m);
    }
  }
  return true;
}

}  // namespace

bool copyRange(int from, long long offset, int to, std::uint64_t size) {
  off_t in = offset;
  if (spliceRange(from, in, to, size)) return true;
  if (errno != EINVAL) return false;
  while (size > 0) {
    std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(size, std::size_t{1} << 30));
    ssize_t n = ::copy_file_range(from, &in, to, nullptr, chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP))
      return copyThroughBuffer(from, in, to, size);
    if (n < 0) return false;
    if (n == 0) {
      errno = EIO;
      return false;
    }
    size -= static_cast<std::uint64_t>(n);
  }
  return true;
}

}  // namespace comsweep::platform
