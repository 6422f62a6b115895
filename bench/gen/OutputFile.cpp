#include "gen/OutputFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace comsweep::bench {
namespace {
constexpr std::size_t kBufferSize = 1 << 20;
}

OutputFile::~OutputFile() { discard(); }

bool OutputFile::open(const std::string& path) {
  m_path = path;
  m_partial = path + ".partial";
  m_fd = ::open(m_partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (m_fd < 0) {
    fail("cannot create");
    m_partial.clear();  // not ours to remove
    return false;
  }
  m_buffer.resize(kBufferSize);
  return true;
}

void OutputFile::write(std::string_view bytes) {
  m_written += bytes.size();
  while (!bytes.empty() && m_error.empty()) {
    if (m_used == m_buffer.size()) flush();
    std::size_t n = std::min(bytes.size(), m_buffer.size() - m_used);
    std::memcpy(m_buffer.data() + m_used, bytes.data(), n);
    m_used += n;
    bytes.remove_prefix(n);
  }
}

void OutputFile::writeUtf16(std::string_view ascii) {
  m_written += 2 * ascii.size();
  for (char c : ascii) {
    if (m_buffer.size() - m_used < 2) flush();
    if (!m_error.empty()) return;
    m_buffer[m_used++] = c;
    m_buffer[m_used++] = '\0';
  }
}

void OutputFile::flush() {
  std::size_t done = 0;
  while (done < m_used && m_error.empty()) {
    ssize_t n = ::write(m_fd, m_buffer.data() + done, m_used - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      fail("cannot write");
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  m_used = 0;
}

bool OutputFile::commit() {
  if (m_fd < 0) return false;
  if (m_error.empty()) flush();
  if (::close(m_fd) != 0) fail("cannot write");
  m_fd = -1;
  if (m_error.empty() && std::rename(m_partial.c_str(), m_path.c_str()) != 0) fail("cannot rename to");
  if (!m_error.empty()) {
    discard();
    return false;
  }
  m_partial.clear();
  return true;
}

void OutputFile::discard() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  if (!m_partial.empty()) ::unlink(m_partial.c_str());
  m_partial.clear();
}

void OutputFile::fail(const char* what) {
  if (m_error.empty()) m_error = std::string(what) + " " + m_path + ": " + std::strerror(errno);
}

}  // namespace comsweep::bench
