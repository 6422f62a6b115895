#include "removal/KeyRemoval.h"

#include <algorithm>

#include "registry/Wrappers.h"

namespace comsweep::removal {

using registry::HKEY;
using registry::LONG;

std::string failureText(LONG status) {
  return "*** ERROR: " + registry::statusMessage(status) + "(" + std::to_string(status) +
         ") - Key not removed.";
}

LONG DeleteKeyTree(registry::RegistryApi& api, HKEY parent, const std::string& subKey) {
  HKEY key = 0;
  LONG status = api.RegOpenKeyA(parent, subKey.c_str(), &key);
  if (status != 0) return status;
  std::string child;
  // Each removal moves the next remaining subkey to index 0. A subkey that
  // stays would be fetched again forever, so the first failure ends the walk.
  while (registry::EnumKey(api, key, 0, child) == 0) {
    LONG childStatus = DeleteKeyTree(api, key, child);
    if (childStatus != 0) {
      api.RegCloseKey(key);
      return childStatus;
    }
  }
  api.RegCloseKey(key);
  return api.RegDeleteKeyA(parent, subKey.c_str());
}

LONG DeleteKeyPath(registry::RegistryApi& api, HKEY lRootKey, const std::string& path) {
  HKEY root = 0;
  LONG status = api.RegOpenKeyA(lRootKey, "", &root);
  if (status != 0) return status;
  status = DeleteKeyTree(api, root, path);
  api.RegCloseKey(root);
  return status;
}

namespace {

// What became of one listed key: a registry status (0: removed), or one of
// these for keys that were not even tried.
constexpr LONG kBackupFailed = -1;
constexpr LONG kNotInBackup = -2;

struct Attempt {
  std::size_t item;  // position in the list
  LONG status;
};

}  // namespace

void DeleteKeys(RemovalContext& c, scan::FoundKeyList& lvwKeys) {
  c.outcome.removalReached = true;
  c.log.noteStart();
  const std::int32_t total = c.lKeysFound;
  const std::size_t last = std::min(lvwKeys.count(), static_cast<std::size_t>(std::max(total, 0)));

  // Nothing is removed that could not be saved first.
  std::vector<std::size_t> doomed;
  std::vector<std::string> paths;
  for (std::size_t i = 1; i <= last; ++i) {
    if (lvwKeys.item(i).Ghosted) continue;
    doomed.push_back(i);
    paths.push_back(lvwKeys.item(i).Tag);
  }
  std::vector<LONG> statuses(doomed.size(), 0);
  std::vector<std::string> notInBackup(doomed.size());  // why, for kNotInBackup
  bool backupFailed = false;
  if (!doomed.empty() && c.backup) {
    BackupResult backup = c.backup(paths);
    if (backup.ok) {
      c.outcome.undoFile = backup.file;
      for (auto& [index, why] : backup.refused) {
        statuses[index] = kNotInBackup;
        notInBackup[index] = std::move(why);
      }
    } else {
      backupFailed = true;
      c.outcome.backupFailed = true;
      c.outcome.backupError = backup.message;
    }
  }
  util::mark(c.timings, "backup");

  std::int32_t removed = 0;
  for (std::size_t k = 0; k < doomed.size(); ++k) {
    if (backupFailed) statuses[k] = kBackupFailed;
    if (statuses[k] != 0) continue;
    statuses[k] = DeleteKeyPath(c.api, c.lRootKey, paths[k]);
    if (statuses[k] == 0) ++removed;
  }
  std::int32_t notRemoved = static_cast<std::int32_t>(doomed.size()) - removed;

  // A machine kept in a file changes on disk only now. If that fails,
  // nothing was removed after all, and the log and the message say so.
  util::mark(c.timings, "removal");
  registry::CommitResult saved = c.api.commit();
  util::mark(c.timings, "save");
  if (!saved.ok) {
    notRemoved += removed;
    removed = 0;
    c.outcome.saveFailed = true;
    c.outcome.saveError = saved.message;
    // The machine is as it was: a backup of keys that are all still there
    // would only mislead.
    if (!c.outcome.undoFile.empty()) {
      std::error_code ignored;
      std::filesystem::remove(c.outcome.undoFile, ignored);
      c.outcome.undoFile.clear();
    }
  }

  c.lKeysDeleted = removed;
  c.outcome.removed = removed;
  c.outcome.notRemoved = notRemoved;
  if (!c.bAutoRun) {
    std::string message = std::to_string(removed) + " / " + std::to_string(total) +
                          " keys have been removed in your registry.";
    if (notRemoved != 0)
      message += "\r\n\r\nSome errors occured while deleting keys (" +  // sic: the program's own wording
                 std::to_string(notRemoved) +
                 " keys not removed)\r\nYou may see the not deleted keys by starting again the "
                 "Registry Cleaner.";
    c.windows.MsgBox(message, ui::vbInformation, "");
  }

  // The log is written once the outcome is known, so that every entry says
  // what really happened to its key.
  c.log.WriteLogHeader(c.selection, c.lKeysFound);
  const std::string saveFailure =
      saved.ok ? std::string() : "*** ERROR: The registry could not be saved (" + saved.message;
  for (std::size_t k = 0; k < doomed.size(); ++k) {
    const scan::FoundKey& item = lvwKeys.item(doomed[k]);
    c.log.WriteLogEntry(item.SubItem1, "HKEY_CLASSES_ROOT\\" + item.Tag, "[" + item.SmallIcon + "]",
                        "");
    switch (LONG status = statuses[k]) {
      case 0:
        if (saved.ok)
          c.log.WriteLogEntry("", "", "", "OK");
        else
          c.log.WriteLogEntry(saveFailure + ") - Key not removed.", "", "", "");
        break;
      case kBackupFailed:
        c.log.WriteLogEntry("*** ERROR: The backup of the keys could not be written (" +
                                c.outcome.backupError + ") - Key not removed.",
                            "", "", "");
        break;
      case kNotInBackup:
        c.log.WriteLogEntry("*** ERROR: The key was kept: " + notInBackup[k] + " - Key not removed.",
                            "", "", "");
        break;
      default:
        c.log.WriteLogEntry(failureText(status), "", "", "");
        break;
    }
  }
  if (!saved.ok) c.log.WriteLogEntry(saveFailure + ") - No key removed.", "", "", "");
  c.log.WriteLogFooter(c.lKeysDeleted);
  c.outcome.logError = c.log.failure();
  util::mark(c.timings, "log");
}

}  // namespace comsweep::removal
