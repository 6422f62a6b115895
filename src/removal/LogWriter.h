#pragma once
// The plain-text record of a removal: header, two writes per key, footer.
// CR LF lines, created afresh by every run that reaches the removal. The
// file is written beside the log under a temporary name and takes the log's
// place with the footer, so an interrupted run leaves the previous log, never
// half of a new one. No writer reports a failure to the removal: a log that
// cannot be written never disturbs it; failure() tells the program afterwards.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "families/Selection.h"
#include "util/Failure.h"

namespace comsweep::platform {
class PreparedFile;
}

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

  // Takes the creation date of the header now, for a header written later.
  void noteStart() { m_started = m_now(); }
  // Starts the file afresh and writes the header. A symbolic link, a
  // directory or anything but a plain file at the log's place is never
  // replaced: the log is then not written.
  void writeHeader(const families::Selection& selection, std::int32_t keysFound);
  void writeEntry(const std::string& component, const std::string& keyPath,
                     const std::string& category, const std::string& result);
  // Writes the footer, closes the file and puts it in the log's place.
  void writeFooter(std::int32_t keysRemoved);

  bool isOpen() const { return m_file != nullptr; }
  // Why the log is missing or incomplete; empty when it was written whole.
  const util::Failure& failure() const { return m_failure; }

 private:
  void line(const std::string& text);
  void fail(const std::string& why);
  void discard();

  std::filesystem::path m_path;
  Clock m_now;
  std::string m_started;
  std::unique_ptr<platform::PreparedFile> m_file;  // the new log, until it is in place
  util::Failure m_failure;
};

}  // namespace comsweep::removal
