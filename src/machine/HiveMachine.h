#pragma once
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "machine/Machine.h"

namespace comsweep::registry {

// The SOFTWARE hive of a Windows drive (Windows/System32/config/SOFTWARE,
// names matched without regard to case), whatever kind of file it is, or
// an empty path.
std::filesystem::path findWindowsSoftwareHive(const std::filesystem::path& drive);

// A profile of a Windows drive that has classes of its own.
struct UserClassesHive {
  std::string name;             // the profile's directory name
  std::filesystem::path file;   // its UsrClass.dat
};
// Every directory below the drive's Users that holds
// AppData/Local/Microsoft/Windows/UsrClass.dat (names matched without regard
// to case; links such as "All Users" passed over), ordered by name as the
// registry orders names. Empty with `error` set when two profiles' names
// differ only in letter case, or a name holds a backslash.
std::vector<UserClassesHive> findUserClassesHives(const std::filesystem::path& drive, std::string& error);

// A regf hive file: HKEY_CLASSES_ROOT is its Classes key, else its root.
MachineOpenResult openHiveFile(const std::filesystem::path& file);
// A Windows drive: the Classes key of its SOFTWARE hive; drive C: is the
// directory. Each profile's UsrClass.dat comes in as that user's classes
// (Machine::users), checked and locked like the SOFTWARE hive (waiting up
// to `lockWait`); a drive without any is the SOFTWARE hive alone.
MachineOpenResult openWindowsDrive(const std::filesystem::path& drive, const std::filesystem::path& softwareHive,
                                   std::chrono::milliseconds lockWait = kDefaultLockWait);

}  // namespace comsweep::registry
