#pragma once
// Reading the argument text: which family boxes the switches tick, and
// whether the run is unattended or ends at once ("/D...").

#include <string>

#include "app/Selection.h"

namespace comsweep::app {

struct CommandLineFlags {
  bool bAutoRun = false;  // any argument text at all
  bool bDisplay = false;  // a "/D" remained after the family switches were cut out
};

// Fills every family box when the text is not empty; leaves the selection
// alone for an empty text.
CommandLineFlags ParseCommandLine(const std::string& argumentText, Selection& selection);

}  // namespace comsweep::app
