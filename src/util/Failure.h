#pragma once
// How a step that crosses modules says it failed: opening the machine, the
// backup, the save, the log. `what` names the step (fixed by the code that
// tried it, never empty on a failure), `why` is the one line a person reads,
// worded by the step. An empty Failure is a success. Registry status codes
// stay at the Win32-shaped calls; above them a failure is this.

#include <string>

namespace comsweep::util {

struct Failure {
  std::string what;  // the step that failed; empty: nothing failed
  std::string why;   // what went wrong, as the messages say it

  bool failed() const { return !what.empty(); }
};

}  // namespace comsweep::util
