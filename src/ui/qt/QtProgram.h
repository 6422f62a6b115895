#pragma once
#include "registry/Machine.h"

namespace comsweep::ui {

// The interactive program: the main window on the given machine, until the
// program ends. Returns the exit status.
int runQtProgram(int argc, char** argv, registry::Machine& machine);

}  // namespace comsweep::ui
