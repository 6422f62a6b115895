#pragma once
#include <filesystem>
#include <string_view>

#include "machine/Machine.h"

namespace comsweep::registry {

// True when the first bytes are those of a .reg export (either header, UTF-16LE
// with byte-order mark or 8-bit).
bool looksLikeRegFile(std::string_view firstBytes);
// A .reg export: HKEY_CLASSES_ROOT is what it holds below HKEY_CLASSES_ROOT
// (or HKEY_LOCAL_MACHINE\SOFTWARE\Classes); drive C: is the file's directory.
MachineOpenResult openRegFile(const std::filesystem::path& file);

}  // namespace comsweep::registry
