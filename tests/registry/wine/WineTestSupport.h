#pragma once
// Helpers shared by the Wine and hive store tests.

#include <string>
#include <string_view>
#include <vector>

#include "registry/handles/HandleTable.h"
#include "machine/Machine.h"
#include "registry/api/Wrappers.h"

namespace comsweep::test {

// "ok", or why the save failed: one comparison checks both.
inline std::string outcome(const registry::CommitResult& result) {
  return result.failure.failed() ? result.failure.why : "ok";
}

// The machine's kind, or why it did not open; its run lock ends on return.
inline std::string kindOf(const std::filesystem::path& path) {
  registry::MachineOpenResult m = registry::openMachine(path);
  return m.machine ? m.machine->kind : m.failure.why;
}

// The default value of a key below the classes as the ANSI API reads it.
inline std::string defaultText(registry::HandleTable& api, const std::string& key) {
  registry::HKEY h = 0;
  std::string text = "<not opened>";
  if (api.RegOpenKeyA(registry::HKEY_CLASSES_ROOT, key.c_str(), &h) != 0) return text;
  if (!registry::QueryStringValue(api, h, "", text)) text = "<not read>";
  api.RegCloseKey(h);
  return text;
}

// Removes a key and everything below it through the registry API, leaf
// first, as the removal does. Returns the status of the last deletion.
inline registry::LONG deleteTree(registry::HandleTable& api, const std::string& path) {
  using namespace registry;
  HKEY key = 0;
  LONG status = api.RegOpenKeyA(HKEY_CLASSES_ROOT, path.c_str(), &key);
  if (status != ERROR_SUCCESS) return status;
  char name[300];
  while (api.RegEnumKeyA(key, 0, name, sizeof name) == ERROR_SUCCESS) {
    status = deleteTree(api, path + "\\" + name);
    if (status != ERROR_SUCCESS) break;
  }
  api.RegCloseKey(key);
  return status == ERROR_SUCCESS ? api.RegDeleteKeyA(HKEY_CLASSES_ROOT, path.c_str()) : status;
}

}  // namespace comsweep::test
