#pragma once
// What a run did, for the closing message, the exit status and the report
// on standard error.

#include <filesystem>
#include <string>
#include <vector>

#include "removal/KeyRemoval.h"
#include "util/Failure.h"

namespace comsweep::app {

inline constexpr int kExitOk = 0;            // completed; every attempted key removed
inline constexpr int kExitNotAllRemoved = 1; // some listed key was not removed; --list: found keys
inline constexpr int kExitMachineFailed = 2; // machine not opened or not saved; bad usage; no output

struct RunOutcome {
  bool removalReached = false;
  removal::RemovalReport removal;  // meaningful once removalReached
  util::Failure log;               // why the log is missing or incomplete
};

// The message an interactive run closes with once the keys are removed.
std::string closingMessage(const removal::RemovalReport& report);

// Why the removal did not do all it was asked, one sentence a reason (none
// when it did). Standard error of either road gets each after "comsweep: ";
// an interactive run shows them in one box after the closing message.
std::vector<std::string> removalReasons(const removal::RemovalReport& report,
                                        const std::filesystem::path& logPath);

// The reasons as a message box says them: each a sentence of its own, in
// paragraphs.
std::string reasonsText(const std::vector<std::string>& reasons);

// Why the log is missing or incomplete; empty when it was written.
std::string logReason(const util::Failure& log);

}  // namespace comsweep::app
