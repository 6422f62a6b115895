#pragma once
// The plain-text record of a removal: header, two writes per key, footer.
// CR LF lines, created afresh by every run that reaches the removal. No
// writer reports a failure: a log that cannot be written never disturbs
// the removal.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "app/Selection.h"

namespace comsweep::removal {

// The current local date and time as "short date, a space, long time" in
// the user's LC_TIME conventions.
std::string currentDateTimeText();

class LogWriter {
 public:
  using Clock = std::function<std::string()>;

  explicit LogWriter(std::filesystem::path path, Clock now = currentDateTimeText);
  ~LogWriter();
  LogWriter(const LogWriter&) = delete;
  LogWriter& operator=(const LogWriter&) = delete;

  // Opens the file afresh (never through a symbolic link) and writes the header.
  void WriteLogHeader(const app::Selection& selection, std::int32_t lKeysFound);
  void WriteLogEntry(const std::string& component, const std::string& keyPath,
                     const std::string& category, const std::string& result);
  // Writes the footer and closes the file.
  void WriteLogFooter(std::int32_t lKeysDeleted);

  bool isOpen() const { return m_fd >= 0; }

 private:
  void line(const std::string& text);

  std::filesystem::path m_path;
  Clock m_now;
  int m_fd = -1;
};

}  // namespace comsweep::removal
