#pragma once
#include <string>

#include "app/Program.h"
#include "registry/Machine.h"

namespace comsweep::ui {

// The interactive program: the main window on the given machine, until the
// program ends; each run first passes `runGate`. Returns the exit status.
int runQtProgram(int argc, char** argv, registry::Machine& machine, const app::RunGate& runGate);

// Why no window can be opened, or empty when one can. Arguments are the
// values of DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM (null when unset).
std::string missingDisplayMessage(const char* display, const char* waylandDisplay,
                                  const char* platform);

}  // namespace comsweep::ui
