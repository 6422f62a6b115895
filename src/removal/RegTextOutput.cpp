#include "removal/RegTextOutput.h"

#include <cerrno>

#include "platform/Files.h"
#include "registry/store/Text.h"

namespace comsweep::removal {
namespace {

// Large enough that writes are few, small beside any key's values.
constexpr std::size_t kBufferBytes = 1 << 16;

}  // namespace

RegTextOutput::RegTextOutput(int fd) : m_fd(fd) {
  m_buffer.reserve(kBufferBytes + 1024);
  m_buffer.assign("\xFF\xFE");
}

void RegTextOutput::put(std::string_view utf8) {
  if (m_text) {
    m_text->append(utf8);
    return;
  }
  for (;;) {
    const std::size_t end = utf8.find('\n');
    append(utf8.substr(0, end));
    if (end == std::string_view::npos) break;
    m_buffer.append("\r\0\n\0", 4);
    utf8.remove_prefix(end + 1);
  }
  if (m_buffer.size() >= kBufferBytes) flush();
}

void RegTextOutput::append(std::string_view utf8) {
  if (utf8.empty()) return;
  // Line breaks and the ASCII around them never fall inside a character, so
  // converting between them gives what converting the whole text would.
  m_buffer += registry::utf8ToUtf16le(utf8);
}

bool RegTextOutput::flush() {
  if (m_text) return true;
  if (m_error == 0 && !m_buffer.empty() && !platform::writeAll(m_fd, m_buffer)) m_error = errno ? errno : EIO;
  m_buffer.clear();
  return m_error == 0;
}

}  // namespace comsweep::removal
