#pragma once
// The program around one start: the argument text, the machine to work on,
// the road taken, and the exit status.

#include <functional>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "machine/Machine.h"
#include "app/RunOutcome.h"

namespace comsweep::forms {
class WindowSystem;
}

namespace comsweep::app {

class MachineChooser;

// Runs the interactive program; the main window opens at once and reads the
// machine the chooser has chosen (MainForm's chooser constructor). Supplied by
// the window library, absent in a build without it.
using InteractiveRunner = std::function<int(MachineChooser& chooser)>;

struct ProgramEnvironment {
  std::map<std::string, std::string> env;
  InteractiveRunner interactive;  // may be empty
  // The message boxes of an interactive start that opens no window (the
  // machine could not be opened); null, or empty, where none can be shown.
  // The callee keeps what it returns.
  std::function<forms::WindowSystem*()> messageWindows;
};

// The argument text: the arguments joined by single blanks.
std::string argumentText(const std::vector<std::string>& args);

// The whole program for the given arguments (without the program name).
// Writes only to `out` (usage, version, a listing, the JSON document) and
// `err` (refusals, failures). Words that are no switches are refused before
// anything is read or written.
int runProgram(const std::vector<std::string>& args, const ProgramEnvironment& environment,
               std::ostream& out, std::ostream& err);

}  // namespace comsweep::app
