#pragma once
// A small machine in memory with components of two families, for driving
// the windows: what the scans find with chkM9q and chkW9q ticked is listed
// in kFoundKeys.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "registry/Machine.h"
#include "registry/memory/MemoryStore.h"

namespace comsweep::test {

struct FixtureKey {
  std::string key;         // "Key" column
  std::string foundValue;  // "Found value" column
  std::string path;        // below HKEY_CLASSES_ROOT
};

// The keys found with chkM9q and chkW9q ticked, in no particular order.
extern const std::vector<FixtureKey> kFoundKeys;

// drive C: is `driveC`; the store is a registry::MemoryStore.
std::unique_ptr<registry::Machine> makeFixtureMachine(const std::filesystem::path& driveC);

// True when the key at `path` (below the root) exists.
bool hasKey(const registry::Store& store, const std::string& path);

}  // namespace comsweep::test
