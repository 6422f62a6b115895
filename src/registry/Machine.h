#pragma once
// A Windows machine that lives on Linux: where its HKEY_CLASSES_ROOT comes
// from and where its drive C: is. Opening decides the kind from what the
// path names (see the README, "Choosing the machine").

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "registry/Store.h"

namespace comsweep::registry {

struct Machine {
  std::unique_ptr<Store> store;
  std::filesystem::path driveC;  // the directory that stands for C:\ .
  std::string kind;              // ".reg file", "Wine prefix", ...
  std::filesystem::path path;    // what was opened
  // Where HKEY_CLASSES_ROOT physically lives, as a .reg file names it, so
  // that the backup of removed keys can be imported back with standard tools.
  std::string registryRoot = "HKEY_CLASSES_ROOT";
};

struct MachineOpenResult {
  std::unique_ptr<Machine> machine;  // null on failure
  std::string error;                 // one line, names the path
};

// The path of the local machine: COMSWEEP_MACHINE, else WINEPREFIX, else
// ~/.wine, taken from `env` (a variable that is set but empty counts as unset).
std::filesystem::path defaultMachinePath(const std::map<std::string, std::string>& env);

MachineOpenResult openMachine(const std::filesystem::path& path);

}  // namespace comsweep::registry
