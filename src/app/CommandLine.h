#pragma once
// Reading the argument text: which family boxes the switches tick, and
// whether the run is unattended or ends at once ("/D...").

#include <functional>
#include <string>
#include <vector>

#include "families/Selection.h"

namespace comsweep::app {

struct CommandLineFlags {
  bool unattended = false;  // any argument text at all
  bool endAtOnce = false;   // a "/D" remained after the family switches were cut out
};

// Fills every family box when the text is not empty; leaves the selection
// alone for an empty text.
CommandLineFlags parseCommandLine(const std::string& argumentText, families::Selection& selection);

// The options around the switches, and whether the words may be read as
// switches at all. On Linux every path starts with "/", and the switches are
// found anywhere in the text, so a word that is not a switch is refused
// rather than read as one.
struct ProgramOptions {
  bool help = false;     // "/?", "-h", "--help"
  bool version = false;  // "-V", "--version"
  bool list = false;     // "--list": what a run would remove, removing nothing
  bool json = false;     // "--json": one JSON document on standard output
  std::string refusal;   // why the words are refused; empty when they are not
};

// Whether a word names an existing file or directory.
using PathExists = std::function<bool(const std::string& word)>;
bool statSucceeds(const std::string& word);

// Refuses a word that starts with "-" and is no option above, a word that
// names an existing file or directory, and a word with a "/" of which a
// "/"-separated piece is no switch. Switch pieces, in any letter case: the
// family switches with or without "+", ALL, LOG, ?, and anything beginning
// with S (every family) or D (end at once). Words without "/" or "-" are
// left to the switch reader, which ignores them.
ProgramOptions readOptions(const std::vector<std::string>& args,
                           const PathExists& exists = statSucceeds);

}  // namespace comsweep::app
