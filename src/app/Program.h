#pragma once
// The program around one start: the argument text, the machine to work on,
// the road taken, and the exit status.

#include <functional>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "registry/Machine.h"
#include "app/RunOutcome.h"

namespace comsweep::ui {
class WindowSystem;
}

namespace comsweep::app {

// Takes the machine's run lock again when the operator starts a run (the
// main window waits without it); empty when taken, else why not.
using RunGate = std::function<std::string()>;

// Runs the interactive program on an opened machine; supplied by the
// window library, absent in a build without it.
using InteractiveRunner = std::function<int(registry::Machine& machine, const RunGate& runGate)>;

struct ProgramEnvironment {
  std::map<std::string, std::string> env;
  InteractiveRunner interactive;  // may be empty
  // The message boxes of an interactive start that opens no window (the
  // machine could not be opened); null, or empty, where none can be shown.
  // The callee keeps what it returns.
  std::function<ui::WindowSystem*()> messageWindows;
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
