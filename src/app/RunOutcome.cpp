#include "app/RunOutcome.h"

#include <cctype>
#include <set>

namespace comsweep::app {

std::string closingMessage(const removal::RemovalReport& report) {
  std::string message = std::to_string(report.removed) + " / " + std::to_string(report.listed) +
                        " keys have been removed in your registry.";
  if (report.notRemoved != 0)
    message += "\r\n\r\nSome errors occured while deleting keys (" +  // sic: the program's own wording
               std::to_string(report.notRemoved) +
               " keys not removed)\r\nYou may see the not deleted keys by starting again the "
               "Registry Cleaner.";
  return message;
}

namespace {

// The registry's own words for each distinct status a key was refused with,
// in status order.
std::string refusalCauses(const removal::RemovalReport& report, bool& accessDenied) {
  std::set<registry::LONG> statuses;
  for (const removal::KeyFate& fate : report.keys)
    if (fate.status > 0) statuses.insert(fate.status);
  std::string causes;
  for (registry::LONG status : statuses) {
    if (!causes.empty()) causes += "; ";
    causes += registry::statusMessage(status) + "(" + std::to_string(status) + ")";
    if (status == registry::ERROR_ACCESS_DENIED) accessDenied = true;
  }
  return causes;
}

}  // namespace

std::vector<std::string> removalReasons(const removal::RemovalReport& report,
                                        const std::filesystem::path& logPath) {
  std::vector<std::string> reasons;
  if (report.backup.failed()) {
    reasons.push_back("no key removed: the backup could not be written: " + report.backup.why);
  } else if (report.save.failed() && report.removed > 0) {
    reasons.push_back("the machine was saved only in part: " + report.save.why + "; " +
                      std::to_string(report.removed) + " of the listed keys were removed, " +
                      std::to_string(report.notRemoved) + " not; see " + logPath.string());
  } else if (report.save.failed()) {
    reasons.push_back("no key removed: " + report.save.why);
  } else if (report.notRemoved > 0) {
    bool accessDenied = false;
    const std::string causes = refusalCauses(report, accessDenied);
    reasons.push_back(std::to_string(report.notRemoved) + " of the listed keys could not be removed" +
                      (causes.empty() ? std::string() : " (" + causes + ")") + "; see " +
                      logPath.string());
    if (accessDenied)
      reasons.push_back(
          "this account may not change those keys: an administrator's rights are missing "
          "(start the program as an administrator)");
  }
  if (report.savePartial && !report.undoFile.empty())
    reasons.push_back("what the run removed is in the backup " + report.undoFile.string());
  return reasons;
}

std::string reasonsText(const std::vector<std::string>& reasons) {
  std::string text;
  for (std::string reason : reasons) {
    if (reason.empty()) continue;
    reason[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(reason[0])));
    if (reason.back() != '.') reason += '.';
    if (!text.empty()) text += "\r\n\r\n";
    text += reason;
  }
  return text;
}

std::string logReason(const util::Failure& log) {
  return log.failed() ? "the log could not be written: " + log.why : std::string();
}

}  // namespace comsweep::app
