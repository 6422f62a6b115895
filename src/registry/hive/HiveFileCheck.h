#pragma once
// Checks of a hive file's base block that libhivex does not make or that it
// reports only as an errno: a damaged or truncated file, a transaction log
// instead of a hive, and a hive whose logs were never applied (libhivex
// would read its stale state, and a commit would mark it clean).

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/Files.h"

namespace comsweep::registry {

struct HiveFileCheck {
  std::string problem;    // why the file must not be opened; empty when it may
  std::uint64_t size = 0;  // of the file, in bytes
  platform::FileIdentity identity;  // of the file checked
};

HiveFileCheck checkHiveFile(const std::filesystem::path& file);

}  // namespace comsweep::registry
