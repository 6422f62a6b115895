#pragma once
// What a run did, for the closing message, the exit status and the report
// on standard error.

#include <string>

#include "removal/KeyRemoval.h"

namespace comsweep::app {

struct RunOutcome {
  bool removalReached = false;
  removal::RemovalReport removal;  // meaningful once removalReached
  std::string logError;            // why the log is missing or incomplete
};

// The message an interactive run closes with once the keys are removed.
std::string closingMessage(const removal::RemovalReport& report);

}  // namespace comsweep::app
