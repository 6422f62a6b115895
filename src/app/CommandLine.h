#pragma once
// Reading the argument text: which family boxes the switches tick, and
// whether the run is unattended or ends at once ("/D...").

#include <string>

#include "families/Selection.h"

namespace comsweep::app {

struct CommandLineFlags {
  bool unattended = false;  // any argument text at all
  bool endAtOnce = false;   // a "/D" remained after the family switches were cut out
};

// Fills every family box when the text is not empty; leaves the selection
// alone for an empty text.
CommandLineFlags parseCommandLine(const std::string& argumentText, families::Selection& selection);

}  // namespace comsweep::app
