#pragma once
#include <filesystem>

#include "registry/Machine.h"

namespace comsweep::registry {

// A Wine prefix: HKEY_CLASSES_ROOT is Software\Classes of its system.reg.
MachineOpenResult openWinePrefix(const std::filesystem::path& prefix);

}  // namespace comsweep::registry
