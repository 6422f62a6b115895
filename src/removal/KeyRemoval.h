#pragma once
// Removal of the listed keys with their whole subtrees, the counts, the
// closing message and the log around it.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/Selection.h"
#include "registry/RegistryApi.h"
#include "removal/LogWriter.h"
#include "removal/UndoFile.h"
#include "scan/FoundKeyList.h"
#include "ui/WindowSystem.h"
#include "util/Timings.h"

namespace comsweep::removal {

// What the removal did, for the exit status of an unattended run.
struct RunOutcome {
  bool removalReached = false;
  std::int32_t removed = 0;
  std::int32_t notRemoved = 0;
  bool saveFailed = false;
  std::string saveError;
  bool backupFailed = false;
  std::string backupError;
  std::string logError;            // why the log is missing or incomplete
  std::filesystem::path undoFile;  // the backup written before the first removal
};

// Writes the backup of the keys at these paths before any is removed.
using Backup = std::function<BackupResult(const std::vector<std::string>& paths)>;

struct RemovalContext {
  registry::RegistryApi& api;
  registry::HKEY lRootKey;
  const app::Selection& selection;
  std::int32_t lKeysFound;
  bool bAutoRun;
  LogWriter& log;
  ui::WindowSystem& windows;
  std::int32_t& lKeysDeleted;  // published for the log footer
  RunOutcome& outcome;
  util::Timings* timings = nullptr;
  Backup backup;  // none: keys are removed without a backup (memory machines)
};

// Removes every listed key that is not struck, in display order.
void DeleteKeys(RemovalContext& context, scan::FoundKeyList& lvwKeys);

// Removes the key at `path` below the root with its subtree; returns the
// registry status of the first step that failed, 0 when the key is gone.
registry::LONG DeleteKeyPath(registry::RegistryApi& api, registry::HKEY lRootKey,
                             const std::string& path);
// Depth-first removal of `subKey` below `parent`. Stops at the first subkey
// that cannot be removed and returns that status; the key then stays.
registry::LONG DeleteKeyTree(registry::RegistryApi& api, registry::HKEY parent,
                             const std::string& subKey);

// "*** ERROR: <description>(<status>) - Key not removed."
std::string failureText(registry::LONG status);

}  // namespace comsweep::removal
