#pragma once
#include <string>

#include "app/Program.h"

namespace comsweep::qt {

// The interactive program: the main window on the machine the operator
// chooses, until the program ends. Returns the exit status.
int runQtProgram(int argc, char** argv, app::MachineChooser& chooser);

// Why no window can be opened, or empty when one can. Arguments are the
// values of DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM (null when unset).
std::string missingDisplayMessage(const char* display, const char* waylandDisplay,
                                  const char* platform);

}  // namespace comsweep::qt
