#include "removal/LogWriter.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include "families/Families.h"
#include "platform/AtomicFile.h"
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
void LogWriter::discard() { m_file.reset(); }

void LogWriter::line(const std::string& text) {
  if (!m_file) return;
  // A line that cannot be written is lost; the next one is tried.
  if (!platform::writeAll(m_file->descriptor(), text + "\r\n"))
    fail(std::string("cannot be written: ") + std::strerror(errno));
}

void LogWriter::writeHeader(const families::Selection& selection, std::int32_t keysFound) {
  discard();
  m_failure = {};
  std::string created = m_started.empty() ? m_now() : m_started;
  m_started.clear();
  // A planted link must not redirect the log onto another file, nor may a
  // directory or a device at its place be replaced.
  if (std::string kind = platform::nonFileAt(m_path); !kind.empty()) {
    fail("is " + kind + "; the log was not written");
    return;
  }
  m_file = platform::PreparedFile::begin(m_path, 0644);
  if (!m_file) {
    fail(std::string("cannot be created: ") + std::strerror(errno));
    return;
  }
  std::filesystem::path dir = m_path.parent_path();
  platform::takeOwnerOfDirectory(m_file->descriptor(), dir.empty() ? std::filesystem::path(".") : dir);
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
    line("     " + own + " - " + (selection[family.ownBox] ? "yes" : "no"));
    line("     " + plus + " - " + (selection[family.plusBox] ? "yes" : "no"));
  }
  line("");
  line("Number of keys to remove: " + std::to_string(keysFound));
  line("");
  line(std::string(66, '-'));
  line("");
}

void LogWriter::writeEntry(const std::string& component, const std::string& keyPath,
                              const std::string& category, const std::string& result) {
  if (!m_file) return;
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
  if (!m_file) return;
  bool flushed = m_file->sync();
  int err = errno;
  if (!m_file->close() && flushed) {
    flushed = false;
    err = errno;
  }
  if (!flushed) {
    fail(std::string("cannot be written: ") + std::strerror(err));
    discard();
    return;
  }
  platform::crashPoint("log-before-rename");
  if (!m_file->replace()) fail(std::string("cannot be created: ") + std::strerror(errno));
  discard();
}

}  // namespace comsweep::removal
