#include "removal/LogWriter.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "families/Families.h"
#include "platform/CrashPoint.h"
#include "platform/Files.h"
#include "platform/LocalTime.h"

namespace comsweep::removal {

std::string currentDateTimeText() { return platform::shortDateTimeText(std::time(nullptr)); }

LogWriter::LogWriter(std::filesystem::path path, Clock now)
    : m_path(std::move(path)), m_now(std::move(now)) {}

LogWriter::~LogWriter() { discard(); }

void LogWriter::fail(const std::string& why) {
  if (!m_failure.failed()) m_failure = {"the log", m_path.string() + ": " + why};
}

// Closes and removes the temporary file of a log that is not finished.
void LogWriter::discard() {
  platform::FileDescriptor(m_fd).reset();
  m_fd = -1;
  if (!m_temp.empty()) platform::removeFile(m_temp);
  m_temp.clear();
  m_removeOnSignal.reset();
}

void LogWriter::line(const std::string& text) {
  if (m_fd < 0) return;
  // A line that cannot be written is lost; the next one is tried.
  if (!platform::writeAll(m_fd, text + "\r\n")) fail(std::string("cannot be written: ") + std::strerror(errno));
}

void LogWriter::writeHeader(const families::Selection& selection, std::int32_t keysFound) {
  discard();
  m_failure = {};
  std::string created = m_started.empty() ? m_now() : m_started;
  m_started.clear();
  // A planted link must not redirect the log onto another file, nor may a
  // directory or a device at its place be replaced.
  struct stat st {};
  if (platform::linkStatusOf(m_path, st) && !S_ISREG(st.st_mode)) {
    fail("is " + platform::fileKindOf(st.st_mode) + "; the log was not written");
    return;
  }
  std::filesystem::path dir = m_path.parent_path();
  platform::SignalsHeld held;  // until the temporary is registered for removal
  m_fd = platform::createTemporaryBeside(dir, m_path.filename().string(), 0644, m_temp);
  if (m_fd < 0) {
    fail(std::string("cannot be created: ") + std::strerror(errno));
    m_temp.clear();
    return;
  }
  m_removeOnSignal = std::make_unique<platform::RemoveOnSignal>(m_temp);
  held.release();
  platform::takeOwnerOfDirectory(m_fd, dir.empty() ? std::filesystem::path(".") : dir);
  line("Log file created by the Regitry Cleaner");
  line("");
  line("Creation Date: " + created);
  line("Actions (removed components): ");
  for (const families::Family& family : families::kFamilies) {
    std::string own = family.code;
    std::string plus = own + "Plus";
    line(family.logLabel);
    own.resize(7, ' ');
    plus.resize(7, ' ');
    line("     " + own + " - " + (selection[family.ownBox] != 0 ? "yes" : "no"));
    line("     " + plus + " - " + (selection[family.plusBox] != 0 ? "yes" : "no"));
  }
  line("");
  line("Number of keys to remove: " + std::to_string(keysFound));
  line("");
  line(std::string(66, '-'));
  line("");
}

void LogWriter::writeEntry(const std::string& component, const std::string& keyPath,
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

void LogWriter::writeFooter(std::int32_t keysRemoved) {
  line(std::string(66, '-'));
  line("");
  line("Number of deleted keys: " + std::to_string(keysRemoved));
  line("End of processing date: " + m_now());
  if (m_fd < 0) return;
  int fd = m_fd;
  m_fd = -1;
  bool flushed = platform::flushFile(fd);
  int err = errno;
  if (platform::FileDescriptor(fd).reset() != 0 && flushed) {
    flushed = false;
    err = errno;
  }
  if (!flushed) {
    fail(std::string("cannot be written: ") + std::strerror(err));
    discard();
    return;
  }
  platform::crashPoint("log-before-rename");
  if (!platform::replaceFile(m_temp, m_path)) {
    fail(std::string("cannot be created: ") + std::strerror(errno));
  } else {
    m_temp.clear();
    platform::syncDirectory(m_path.parent_path());
  }
  discard();
}

}  // namespace comsweep::removal
