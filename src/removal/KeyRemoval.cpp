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

void DeleteKeys(RemovalContext& c, scan::FoundKeyList& lvwKeys) {
  c.outcome.removalReached = true;
  c.log.WriteLogHeader(c.selection, c.lKeysFound);
  std::int32_t removed = 0;
  std::int32_t notRemoved = 0;
  const std::int32_t total = c.lKeysFound;
  const std::size_t last = std::min(lvwKeys.count(), static_cast<std::size_t>(std::max(total, 0)));

  // Nothing is removed that could not be saved first.
  std::vector<std::string> doomed;
  for (std::size_t i = 1; i <= last; ++i)
    if (!lvwKeys.item(i).Ghosted) doomed.push_back(lvwKeys.item(i).Tag);
  std::string refusal;
  if (!doomed.empty() && c.backup) {
    BackupResult backup = c.backup(doomed);
    if (backup.ok) {
      c.outcome.undoFile = backup.file;
    } else {
      c.outcome.backupFailed = true;
      c.outcome.backupError = backup.message;
      refusal = "*** ERROR: The backup of the keys could not be written (" + backup.message +
                ") - Key not removed.";
    }
  }

  util::mark(c.timings, "backup");

  for (std::size_t i = 1; i <= last; ++i) {
    const scan::FoundKey& item = lvwKeys.item(i);
    if (item.Ghosted) continue;
    c.log.WriteLogEntry(item.SubItem1, "HKEY_CLASSES_ROOT\\" + item.Tag,
                        "[" + item.SmallIcon + "]", "");
    if (!refusal.empty()) {
      ++notRemoved;
      c.log.WriteLogEntry(refusal, "", "", "");
      continue;
    }
    LONG status = DeleteKeyPath(c.api, c.lRootKey, item.Tag);
    if (status == 0) {
      ++removed;
      c.log.WriteLogEntry("", "", "", "OK");
    } else {
      ++notRemoved;
      c.log.WriteLogEntry(failureText(status), "", "", "");
    }
  }

  // A machine kept in a file changes on disk only now. If that fails,
  // nothing was removed after all, and the log and the message say so.
  util::mark(c.timings, "removal");
  registry::CommitResult saved = c.api.commit();
  util::mark(c.timings, "save");
  if (!saved.ok) {
    c.log.WriteLogEntry("*** ERROR: The registry could not be saved (" + saved.message +
                            ") - No key removed.",
                        "", "", "");
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
      message += "\r\n\r\nSome errors occured while deleting keys (" +
                 std::to_string(notRemoved) +
                 " keys not removed)\r\nYou may see the not deleted keys by starting again the "
                 "Registry Cleaner.";
    c.windows.MsgBox(message, ui::vbInformation, "");
  }
  c.log.WriteLogFooter(c.lKeysDeleted);
  util::mark(c.timings, "log");
}

}  // namespace comsweep::removal
