#include "registry/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace comsweep::registry {
namespace {

std::string describe(const std::string& what, const std::filesystem::path& path, int err) {
  return what + " " + path.string() + ": " + std::strerror(err);
}

// Closes the descriptor and removes the temporary file unless released.
class TempFile {
 public:
  TempFile(int fd, std::filesystem::path path) : m_fd(fd), m_path(std::move(path)) {}
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    if (m_fd >= 0) ::close(m_fd);
    if (!m_kept) ::unlink(m_path.c_str());
  }
  int fd() const { return m_fd; }
  const std::filesystem::path& path() const { return m_path; }
  int close() {
    int rc = ::close(m_fd);
    m_fd = -1;
    return rc;
  }
  void keep() { m_kept = true; }

 private:
  int m_fd;
  std::filesystem::path m_path;
  bool m_kept = false;
};

}  // namespace

bool AtomicWriter::write(std::string_view bytes) {
  if (m_errno) return false;
  while (!bytes.empty()) {
    ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      m_errno = errno;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

namespace {

// Creates the temporary file beside the target, lets `produce` fill it
// through the descriptor or by name, then flushes it and renames it over the
// target, which keeps its permission bits.
CommitResult replaceWith(
    const std::filesystem::path& target,
    const std::function<CommitResult(int fd, const std::filesystem::path& tmp)>& produce) {
  std::error_code ec;
  std::filesystem::path real = std::filesystem::weakly_canonical(target, ec);
  if (ec) real = target;
  struct stat st {};
  mode_t mode = 0644;
  if (::stat(real.c_str(), &st) == 0) mode = st.st_mode & 07777;

  std::filesystem::path dir = real.parent_path();
  if (dir.empty()) dir = ".";
  std::random_device rd;
  int fd = -1;
  std::filesystem::path tmp;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(rd()));
    std::string name = ".";
    name += real.filename().string();
    name += ".comsweep-";
    name += suffix;
    tmp = dir / name;
    fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0 && errno != EEXIST) return {false, describe("cannot create a file beside", real, errno)};
  }
  if (fd < 0) return {false, describe("cannot create a file beside", real, EEXIST)};
  TempFile file(fd, tmp);

  if (CommitResult produced = produce(fd, tmp); !produced.ok) return produced;
  if (::fchmod(fd, mode) != 0) return {false, describe("cannot set the mode of", tmp, errno)};
  if (::fsync(fd) != 0) return {false, describe("cannot flush", tmp, errno)};
  if (file.close() != 0) return {false, describe("cannot close", tmp, errno)};
  if (::rename(tmp.c_str(), real.c_str()) != 0) return {false, describe("cannot replace", real, errno)};
  file.keep();
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return {};
}

}  // namespace

CommitResult replaceFileAtomically(const std::filesystem::path& target,
                                   const std::function<bool(AtomicWriter&)>& produce) {
  return replaceWith(target, [&](int fd, const std::filesystem::path& tmp) -> CommitResult {
    AtomicWriter writer(fd);
    bool produced = produce(writer);
    if (writer.failed()) return {false, describe("cannot write", tmp, writer.error())};
    if (!produced) return {false, "cannot produce the new content of " + target.string()};
    return {};
  });
}

CommitResult replaceFileAtomicallyByName(
    const std::filesystem::path& target,
    const std::function<bool(const std::filesystem::path& temp, std::string& error)>& produce) {
  return replaceWith(target, [&](int fd, const std::filesystem::path& tmp) -> CommitResult {
    std::string error;
    if (!produce(tmp, error)) return {false, "cannot write " + tmp.string() + ": " + error};
    // The producer opened the file by name: make sure that what will be
    // flushed and renamed is the file created above.
    struct stat mine {}, named {};
    if (::fstat(fd, &mine) != 0 || ::lstat(tmp.c_str(), &named) != 0 ||
        mine.st_dev != named.st_dev || mine.st_ino != named.st_ino)
      return {false, tmp.string() + " was replaced while it was written"};
    return {};
  });
}

}  // namespace comsweep::registry
