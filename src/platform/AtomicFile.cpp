#include "platform/AtomicFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/Files.h"

namespace comsweep::platform {
namespace {

std::string describe(const std::string& what, const std::filesystem::path& path, int err) {
  return what + " " + path.string() + ": " + std::strerror(err);
}

std::filesystem::path directoryOf(const std::filesystem::path& path) {
  std::filesystem::path dir = path.parent_path();
  return dir.empty() ? std::filesystem::path(".") : dir;
}

}  // namespace

bool AtomicWriter::write(std::string_view bytes) {
  if (m_errno) return false;
  if (!writeAll(m_fd, bytes)) {
    m_errno = errno;
    return false;
  }
  return true;
}

bool AtomicWriter::copyFrom(int fd, long long offset, std::uint64_t size) {
  if (m_errno) return false;
  if (!copyRange(fd, offset, m_fd, size)) {
    m_errno = errno;
    return false;
  }
  return true;
}

PreparedFile::PreparedFile(int fd, std::filesystem::path temporary, std::filesystem::path target)
    : m_fd(fd), m_temporary(std::move(temporary)), m_target(std::move(target)),
      m_onSignal(m_temporary) {}

PreparedFile::~PreparedFile() {
  m_fd.reset();
  if (!m_placed) removeFile(m_temporary);
}

std::unique_ptr<PreparedFile> PreparedFile::begin(const std::filesystem::path& target, unsigned mode) {
  SignalsHeld held;  // until the file is registered for removal
  std::filesystem::path tmp;
  const int fd = createTemporaryBeside(directoryOf(target), target.filename().string(), mode, tmp);
  if (fd < 0) return nullptr;
  return std::unique_ptr<PreparedFile>(new PreparedFile(fd, tmp, target));
}

// A write that fails for want of room (ENOSPC, EDQUOT, or EFBIG under a
// file size limit, SIGXFSZ being ignored) is reported like any other.
std::unique_ptr<PreparedFile> PreparedFile::write(const std::filesystem::path& target,
                                                  const std::function<bool(AtomicWriter&)>& produce,
                                                  std::string& error) {
  std::error_code ec;
  std::filesystem::path real = std::filesystem::weakly_canonical(target, ec);
  if (ec) real = target;
  struct stat old {};
  bool existed = statPath(real, old);

  std::unique_ptr<PreparedFile> file = begin(real, 0600);
  if (!file) {
    error = describe("cannot create a file beside", real, errno);
    return nullptr;
  }
  const int fd = file->descriptor();
  AtomicWriter writer(fd);
  const bool produced = produce(writer);
  if (writer.failed()) {
    error = describe("cannot write", file->m_temporary, writer.error());
    return nullptr;
  }
  if (!produced) {
    error = "cannot produce the new content of " + target.string();
    return nullptr;
  }
  if (bool ownerFailed; !giveAttributesOf(fd, existed ? &old : nullptr, ownerFailed)) {
    error = ownerFailed ? describe("cannot give the new file the owner and group of", real, errno)
                        : describe("cannot set the mode of", file->m_temporary, errno);
    return nullptr;
  }
  if (!file->sync()) {
    error = describe("cannot flush", file->m_temporary, errno);
    return nullptr;
  }
  if (!file->close()) {
    error = describe("cannot close", file->m_temporary, errno);
    return nullptr;
  }
  return file;
}

bool PreparedFile::sync() { return flushFile(m_fd.get()); }

bool PreparedFile::close() { return m_fd.reset() == 0; }

bool PreparedFile::replace() {
  if (!replaceFile(m_temporary, m_target)) return false;
  m_placed = true;
  syncDirectory(directoryOf(m_target));
  return true;
}

bool PreparedFile::placeAsNew(const std::filesystem::path& name) {
  if (!placeNewFile(m_temporary, name)) return false;
  m_placed = true;
  m_target = name;
  syncDirectory(directoryOf(name));
  return true;
}

}  // namespace comsweep::platform
