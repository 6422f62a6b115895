#pragma once
// Removal of the listed keys with their whole subtrees, in two steps: the
// removal itself with the backup before it and the save after it, then the
// log of what became of each key. The caller may tell the operator the
// outcome in between.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "families/Selection.h"
#include "registry/api/RegistryApi.h"
#include "removal/LogWriter.h"
#include "removal/UndoFile.h"
#include "scan/FoundKeyList.h"
#include "util/Timings.h"

namespace comsweep::removal {

// Writes the backup of the keys at these paths before any is removed.
using Backup = std::function<BackupResult(const std::vector<std::string>& paths)>;

// What became of one listed key that was not struck.
struct KeyFate {
  std::size_t position;  // 1-based, in the list's display order
  // A registry status (0: removed), kBackupFailed / kNotInBackup for a key
  // that was not even tried, or kNotSaved for a key removed in the run but
  // still in the machine because the save failed.
  registry::LONG status;
  std::string whyKept;  // for kNotInBackup
};
inline constexpr registry::LONG kBackupFailed = -1;
inline constexpr registry::LONG kNotInBackup = -2;
inline constexpr registry::LONG kNotSaved = -3;

// What the removal did.
struct RemovalReport {
  std::int32_t listed = 0;         // the found count the removal was given
  std::int32_t removed = 0;
  std::int32_t notRemoved = 0;
  util::Failure save;  // the machine could not be saved
  // The save failed after it had replaced some of the machine's files: the
  // keys that lay only in those are gone (status 0, counted in `removed`).
  bool savePartial = false;
  util::Failure backup;  // the backup could not be written: nothing was removed
  std::filesystem::path undoFile;  // the backup written before the first removal
  std::vector<KeyFate> keys;       // in display order
};

// Removes the key of every listed entry that is not struck, in display
// order, among the first `listed` entries, then saves the machine. Nothing
// is removed that could not be saved in the backup first; without a backup
// (memory machines) keys are removed without one.
RemovalReport removeKeys(registry::RegistryApi& api, registry::HKEY root,
                         const scan::FoundKeyList& keys, std::int32_t listed,
                         const Backup& backup = {}, util::Timings* timings = nullptr);

// Writes the whole log of a removal: header, two entries per attempted key
// saying what really happened to it, footer.
void writeRemovalLog(LogWriter& log, const families::Selection& selection,
                     const scan::FoundKeyList& keys, const RemovalReport& report);

// Removes the key at `path` below the root with its subtree; returns the
// registry status of the first step that failed, 0 when the key is gone.
registry::LONG deleteKeyPath(registry::RegistryApi& api, registry::HKEY root,
                             const std::string& path);
// Depth-first removal of `subKey` below `parent`. Stops at the first subkey
// that cannot be removed and returns that status; the key then stays.
registry::LONG deleteKeyTree(registry::RegistryApi& api, registry::HKEY parent,
                             const std::string& subKey);

// "*** ERROR: <description>(<status>) - Key not removed."
std::string failureText(registry::LONG status);

}  // namespace comsweep::removal
