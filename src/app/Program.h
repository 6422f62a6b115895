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

inline constexpr int kExitOk = 0;            // completed; every attempted key removed
inline constexpr int kExitNotAllRemoved = 1; // some listed key was not removed; --list: found keys
inline constexpr int kExitMachineFailed = 2; // machine not opened or not saved; bad usage; no output

class MachineChooser;

// Runs the interactive program; the main window opens at once and reads the
// machine the chooser has chosen (MainForm::setMachineChooser). Supplied by
// the window library, absent in a build without it.
using InteractiveRunner = std::function<int(MachineChooser& chooser)>;

struct ProgramEnvironment {
  std::map<std::string, std::string> env;
  InteractiveRunner interactive;  // may be empty
  // The message boxes of an interactive start that opens no window (the
  // machine could not be opened); null, or empty, where none can be shown.
  // The callee keeps what it returns.
  std::function<ui::WindowSystem*()> messageWindows;
};

// The exit status a completed run ends with.
int exitStatusOf(const RunOutcome& outcome);

// Says on `err` what went wrong in a run (nothing when all went well), for
// both the unattended and the interactive road; returns the exit status.
int reportOutcome(const RunOutcome& outcome, const std::filesystem::path& logPath,
                  std::ostream& err);

// Where "C:\9QReg.log" is on this machine.
std::filesystem::path logPathOf(const registry::Machine& machine);

// The argument text: the arguments joined by single blanks.
std::string argumentText(const std::vector<std::string>& args);

// The whole program for the given arguments (without the program name).
// Writes only to `out` (usage, version, a listing, the JSON document) and
// `err` (refusals, failures). Words that are no switches are refused before
// anything is read or written.
int runProgram(const std::vector<std::string>& args, const ProgramEnvironment& environment,
               std::ostream& out, std::ostream& err);

}  // namespace comsweep::app
