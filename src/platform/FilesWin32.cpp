#include "platform/Files.h"

#include <windows.h>
#include <io.h>
#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace comsweep::platform {
namespace {

// errno for the last Win32 failure, so that messages read as on POSIX.
int errnoOfLastError() {
  switch (::GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT: return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EBUSY;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    default: return EIO;
  }
}

// Every file is opened so that others may read, write, rename and replace
// it meanwhile, as POSIX allows: a file the run holds open must not stop the
// atomic replacement of the file it read.
HANDLE openHandle(const std::filesystem::path& path, DWORD access, DWORD disposition, DWORD flags) {
  HANDLE h = ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, disposition, flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) errno = errnoOfLastError();
  return h;
}

int descriptorOf(HANDLE h, int crtFlags) {
  if (h == INVALID_HANDLE_VALUE) return -1;
  int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), crtFlags);
  if (fd < 0) {
    ::CloseHandle(h);
    errno = EMFILE;
  }
  return fd;
}

HANDLE handleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

bool identityOf(HANDLE h, FileIdentity& out) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(h, &info)) {
    errno = errnoOfLastError();
    return false;
  }
  out.device = info.dwVolumeSerialNumber;
  out.inode = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  out.size = static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
  std::uint64_t written =
      (std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) | info.ftLastWriteTime.dwLowDateTime;
  out.modified.tv_sec = static_cast<time_t>(written / 10000000);
  out.modified.tv_nsec = static_cast<long>(written % 10000000 * 100);
  return true;
}

}  // namespace

FileIdentity FileIdentity::of(const struct stat& st) {
  FileIdentity id;
  id.device = static_cast<std::uint64_t>(st.st_dev);
  id.inode = static_cast<std::uint64_t>(st.st_ino);
  id.size = st.st_size;
  id.modified.tv_sec = st.st_mtime;
  return id;
}

bool FileIdentity::ofPath(const std::filesystem::path& path, FileIdentity& out) {
  HANDLE h = openHandle(path, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = identityOf(h, out);
  ::CloseHandle(h);
  return ok;
}

bool FileIdentity::ofDescriptor(int fd, FileIdentity& out) { return identityOf(handleOf(fd), out); }

bool FileIdentity::operator==(const FileIdentity& other) const {
  return device == other.device && inode == other.inode && size == other.size &&
         modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
}

std::string fileKindOf(unsigned mode) {
  if ((mode & _S_IFMT) == _S_IFDIR) return "a directory";
  if ((mode & _S_IFMT) == _S_IFCHR) return "a character device";
  return "not a regular file";
}

FileDescriptor openRegularFile(const std::filesystem::path& path, struct stat& st,
                               std::string& error) {
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    error = "is a directory, not a file";
    return FileDescriptor();
  }
  FileDescriptor fd(descriptorOf(openHandle(path, GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL),
                                 _O_RDONLY));
  if (!fd.valid()) {
    error = std::string("cannot be read: ") + std::strerror(errno);
    return fd;
  }
  if (::GetFileType(handleOf(fd.get())) != FILE_TYPE_DISK) {
    error = "is a device, not a file";
    return FileDescriptor();
  }
  if (::fstat(fd.get(), &st) != 0) {
    error = std::string("cannot be read: ") + std::strerror(errno);
    return FileDescriptor();
  }
  return fd;
}

FileDescriptor openForReading(const std::filesystem::path& path) {
  return FileDescriptor(
      descriptorOf(openHandle(path, GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL), _O_RDONLY));
}

int createNewFile(const std::filesystem::path& path, unsigned) {
  return descriptorOf(openHandle(path, GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL), 0);
}

bool statPath(const std::filesystem::path& path, struct stat& st) {
  struct _stat64 found {};
  if (::_wstat64(path.c_str(), &found) != 0) return false;
  st = {};
  st.st_dev = found.st_dev;
  st.st_ino = found.st_ino;
  st.st_mode = found.st_mode;
  st.st_size = static_cast<decltype(st.st_size)>(found.st_size);
  st.st_mtime = found.st_mtime;
  return true;
}

bool pathExists(const std::filesystem::path& path) {
  struct stat st {};
  return statPath(path, st);
}

std::string nonFileAt(const std::filesystem::path& path) {
  struct stat st {};
  if (!statPath(path, st) || (st.st_mode & _S_IFMT) == _S_IFREG) return {};
  return fileKindOf(st.st_mode);
}

bool ownerMayWrite(const FileStatus& st) { return (st.st_mode & _S_IWRITE) != 0; }

bool flushFile(int fd) {
  if (::FlushFileBuffers(handleOf(fd))) return true;
  errno = errnoOfLastError();
  return false;
}

bool replaceFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  errno = errnoOfLastError();
  return false;
}

bool placeNewFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return true;
  errno = errnoOfLastError();
  return false;
}

void removeFile(const std::filesystem::path& path) { ::DeleteFileW(path.c_str()); }

// A new file takes its permissions from the directory it is made in, as the
// file it replaces did: there is nothing to copy.
bool giveAttributesOf(int, const struct stat*, bool& ownerFailed) {
  ownerFailed = false;
  return true;
}

bool writeAll(int fd, std::string_view bytes) {
  HANDLE h = handleOf(fd);
  while (!bytes.empty()) {
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(h, bytes.data(), chunk, &written, nullptr)) {
      errno = errnoOfLastError();
      return false;
    }
    if (written == 0) {
      errno = EIO;
      return false;
    }
    bytes.remove_prefix(written);
  }
  return true;
}

long long readAt(int fd, char* out, std::size_t size, long long offset) {
  HANDLE h = handleOf(fd);
  std::size_t done = 0;
  while (done < size) {
    OVERLAPPED at{};
    auto position = static_cast<std::uint64_t>(offset) + done;
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
    DWORD got = 0;
    if (!::ReadFile(h, out + done, chunk, &got, &at)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) break;
      errno = errnoOfLastError();
      return -1;
    }
    if (got == 0) break;
    done += got;
  }
  return static_cast<long long>(done);
}

// The buffer comes from the heap; its pages cannot be given back one by one.
std::size_t releasePages(const char*, std::size_t from, std::size_t) { return from; }

// MOVEFILE_WRITE_THROUGH has flushed the rename already.
void syncDirectory(const std::filesystem::path&) {}

// Ownership follows the directory's inherited permissions on Windows.
void takeOwnerOfDirectory(int, const std::filesystem::path&) {}

bool copyRange(int from, long long offset, int to, std::uint64_t size) {
  return copyThroughBuffer(from, offset, to, size);
}

}  // namespace comsweep::platform
