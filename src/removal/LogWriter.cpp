#include "removal/LogWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "app/Families.h"

namespace comsweep::removal {

std::string currentDateTimeText() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[128];
  std::size_t n = std::strftime(text, sizeof text, "%x %X", &local);
  return std::string(text, n);
}

LogWriter::LogWriter(std::filesystem::path path, Clock now)
    : m_path(std::move(path)), m_now(std::move(now)) {}

LogWriter::~LogWriter() {
  if (m_fd >= 0) ::close(m_fd);
}

void LogWriter::line(const std::string& text) {
  if (m_fd < 0) return;
  std::string bytes = text + "\r\n";
  std::string_view rest = bytes;
  while (!rest.empty()) {
    ssize_t n = ::write(m_fd, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // this line is lost; the next one is tried
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
}

void LogWriter::WriteLogHeader(const app::Selection& selection, std::int32_t lKeysFound) {
  if (m_fd >= 0) ::close(m_fd);
  // A planted link must not redirect the log onto another file.
  m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (m_fd < 0) return;
  line("Log file created by the Regitry Cleaner");
  line("");
  line("Creation Date: " + m_now());
  line("Actions (removed components): ");
  for (const app::Family& family : app::kFamilies) {
    std::string own = family.code;
    std::string plus = own + "Plus";
    line(family.logLabel);
    own.resize(7, ' ');
    plus.resize(7, ' ');
    line("     " + own + " - " + (selection[family.ownBox] != 0 ? "yes" : "no"));
    line("     " + plus + " - " + (selection[family.plusBox] != 0 ? "yes" : "no"));
  }
  line("");
  line("Number of keys to remove: " + std::to_string(lKeysFound));
  line("");
  line(std::string(66, '-'));
  line("");
}

void LogWriter::WriteLogEntry(const std::string& component, const std::string& keyPath,
                              const std::string& category, const std::string& result) {
  if (m_fd < 0) return;
  if (!category.empty()) {
    std::string padded = category;
    if (padded.size() < 12) padded.resize(12, ' ');
    line(" --- " + padded + " --- " + keyPath);
  }
  if (!component.empty()) line(std::string(22, ' ') + "From component: " + component);
  if (!result.empty()) line(std::string(22, ' ') + "Result: " + result);
}

void LogWriter::WriteLogFooter(std::int32_t lKeysDeleted) {
  line(std::string(66, '-'));
  line("");
  line("Number of deleted keys: " + std::to_string(lKeysDeleted));
  line("End of processing date: " + m_now());
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

}  // namespace comsweep::removal
