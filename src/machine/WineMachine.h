#pragma once
#include <chrono>
#include <filesystem>

#include "machine/Machine.h"

namespace comsweep::registry {

// A Wine prefix: HKEY_CLASSES_ROOT is Software\Classes of its user.reg laid
// over that of its system.reg (system.reg alone when user.reg holds no
// classes); the backup names each key below the root of the file it is in.
// A running server is waited for up to `serverWait` before the prefix is refused.
MachineOpenResult openWinePrefix(const std::filesystem::path& prefix,
                                 std::chrono::milliseconds serverWait = {});

}  // namespace comsweep::registry
