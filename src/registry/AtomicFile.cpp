#include "registry/AtomicFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/CrashPoint.h"
#include "platform/Files.h"
#include "platform/SignalCleanup.h"

namespace comsweep::registry {
namespace {

std::string describe(const std::string& what, const std::filesystem::path& path, int err) {
  return what + " " + path.string() + ": " + std::strerror(err);
}

// Closes the descriptor and removes the temporary file unless released.
class TempFile {
 public:
  TempFile(int fd, std::filesystem::path path) : m_fd(fd), m_path(std::move(path)), m_onSignal(m_path) {}
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    m_fd.reset();
    if (!m_kept) platform::removeFile(m_path);
  }
  int fd() const { return m_fd.get(); }
  int close() { return m_fd.reset(); }
  void keep() { m_kept = true; }

 private:
  platform::FileDescriptor m_fd;
  std::filesystem::path m_path;
  platform::RemoveOnSignal m_onSignal;
  bool m_kept = false;
};

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

namespace {

// Creates the temporary file beside the target, lets `produce` fill it
// through the descriptor or by name, then flushes it and renames it over the
// target, which keeps its permission bits, owner and group.
CommitResult replaceWith(
    const std::filesystem::path& target,
    const std::function<CommitResult(int fd, const std::filesystem::path& tmp)>& produce,
    const LastCheck& lastCheck) {
  std::error_code ec;
  std::filesystem::path real = std::filesystem::weakly_canonical(target, ec);
  if (ec) real = target;
  struct stat old {};
  bool existed = platform::statPath(real, old);

  std::filesystem::path dir = real.parent_path();
  if (dir.empty()) dir = ".";
  std::filesystem::path tmp;
  platform::SignalsHeld held;  // until the file is registered for removal
  const int fd = platform::createTemporaryBeside(dir, real.filename().string(), 0600, tmp);
  if (fd < 0) return {false, describe("cannot create a file beside", real, errno)};
  TempFile file(fd, tmp);
  held.release();

  if (CommitResult produced = produce(fd, tmp); !produced.ok) return produced;
  if (bool ownerFailed; !platform::giveAttributesOf(fd, existed ? &old : nullptr, ownerFailed))
    return {false, ownerFailed
                       ? describe("cannot give the new file the owner and group of", real, errno)
                       : describe("cannot set the mode of", tmp, errno)};
  if (!platform::flushFile(fd)) return {false, describe("cannot flush", tmp, errno)};
  if (file.close() != 0) return {false, describe("cannot close", tmp, errno)};
  if (lastCheck) {
    if (std::string objection = lastCheck(); !objection.empty()) return {false, objection};
  }
  platform::crashPoint("save-before-rename");
  if (!platform::replaceFile(tmp, real)) return {false, describe("cannot replace", real, errno)};
  file.keep();
  platform::syncDirectory(dir);
  platform::crashPoint("save-after-rename");
  return {};
}

}  // namespace

CommitResult replaceFileAtomically(const std::filesystem::path& target,
                                   const std::function<bool(AtomicWriter&)>& produce,
                                   const LastCheck& lastCheck) {
  return replaceWith(
      target,
      [&](int fd, const std::filesystem::path& tmp) -> CommitResult {
        AtomicWriter writer(fd);
        bool produced = produce(writer);
        if (writer.failed()) return {false, describe("cannot write", tmp, writer.error())};
        if (!produced) return {false, "cannot produce the new content of " + target.string()};
        return {};
      },
      lastCheck);
}

}  // namespace comsweep::registry
