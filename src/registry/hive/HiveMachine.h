#pragma once
#include <filesystem>

#include "registry/Machine.h"

namespace comsweep::registry {

// The SOFTWARE hive of a Windows drive (Windows/System32/config/SOFTWARE,
// names matched without regard to case), whatever kind of file it is, or
// an empty path.
std::filesystem::path findWindowsSoftwareHive(const std::filesystem::path& drive);
// A regf hive file: HKEY_CLASSES_ROOT is its Classes key, else its root.
MachineOpenResult openHiveFile(const std::filesystem::path& file);
// A Windows drive: the Classes key of its SOFTWARE hive; drive C: is the directory.
MachineOpenResult openWindowsDrive(const std::filesystem::path& drive,
                                   const std::filesystem::path& softwareHive);

}  // namespace comsweep::registry
