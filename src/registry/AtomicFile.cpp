#include "registry/AtomicFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/CrashPoint.h"
#include "platform/Files.h"

namespace comsweep::registry {
namespace {

std::string describe(const std::string& what, const std::filesystem::path& path, int err) {
  return what + " " + path.string() + ": " + std::strerror(err);
}

}  // namespace

bool AtomicWriter::write(std::string_view bytes) {
  if (m_errno) return false;
  if (!platform::writeAll(m_fd, bytes)) {
    m_errno = errno;
    return false;
  }
  return true;
}

bool AtomicWriter::copyFrom(int fd, long long offset, std::uint64_t size) {
  if (m_errno) return false;
  if (!platform::copyRange(fd, offset, m_fd, size)) {
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
  if (!m_replaced) platform::removeFile(m_temporary);
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
  bool existed = platform::statPath(real, old);

  std::filesystem::path dir = real.parent_path();
  if (dir.empty()) dir = ".";
  std::filesystem::path tmp;
  std::unique_ptr<PreparedFile> file;
  {
    platform::SignalsHeld held;  // until the file is registered for removal
    const int fd = platform::createTemporaryBeside(dir, real.filename().string(), 0600, tmp);
    if (fd < 0) {
      error = describe("cannot create a file beside", real, errno);
      return nullptr;
    }
    file.reset(new PreparedFile(fd, tmp, real));
  }
  const int fd = file->m_fd.get();
  AtomicWriter writer(fd);
  const bool produced = produce(writer);
  if (writer.failed()) {
    error = describe("cannot write", tmp, writer.error());
    return nullptr;
  }
  if (!produced) {
    error = "cannot produce the new content of " + target.string();
    return nullptr;
  }
  if (bool ownerFailed; !platform::giveAttributesOf(fd, existed ? &old : nullptr, ownerFailed)) {
    error = ownerFailed ? describe("cannot give the new file the owner and group of", real, errno)
                        : describe("cannot set the mode of", tmp, errno);
    return nullptr;
  }
  if (!platform::flushFile(fd)) {
    error = describe("cannot flush", tmp, errno);
    return nullptr;
  }
  if (file->m_fd.reset() != 0) {
    error = describe("cannot close", tmp, errno);
    return nullptr;
  }
  return file;
}

CommitResult PreparedFile::replace() {
  if (!platform::replaceFile(m_temporary, m_target))
    return CommitResult::failed(describe("cannot replace", m_target, errno));
  m_replaced = true;
  std::filesystem::path dir = m_target.parent_path();
  platform::syncDirectory(dir.empty() ? std::filesystem::path(".") : dir);
  return {};
}

}  // namespace comsweep::registry
