#include "removal/KeyRemoval.h"

#include <algorithm>

#include "registry/api/Wrappers.h"
#include "scan/UserClassesScan.h"

namespace comsweep::removal {

using registry::HKEY;
using registry::LONG;

std::string failureText(LONG status) {
  return "*** ERROR: " + registry::statusMessage(status) + "(" + std::to_string(status) +
         ") - Key not removed.";
}

LONG deleteKeyTree(registry::RegistryApi& api, HKEY parent, const std::string& subKey) {
  HKEY key = 0;
  LONG status = api.RegOpenKeyA(parent, subKey.c_str(), &key);
  if (status != 0) return status;
  std::string child;
  // Each removal moves the next remaining subkey to index 0. A subkey that
  // stays would be fetched again forever, so the first failure ends the walk.
  while (registry::EnumKey(api, key, 0, child) == 0) {
    LONG childStatus = deleteKeyTree(api, key, child);
    if (childStatus != 0) {
      api.RegCloseKey(key);
      return childStatus;
    }
  }
  api.RegCloseKey(key);
  return api.RegDeleteKeyA(parent, subKey.c_str());
}

LONG deleteKeyPath(registry::RegistryApi& api, HKEY root, const std::string& path) {
  HKEY opened = 0;
  LONG status = api.RegOpenKeyA(root, "", &opened);
  if (status != 0) return status;
  status = deleteKeyTree(api, opened, path);
  api.RegCloseKey(opened);
  return status;
}

RemovalReport removeKeys(registry::RegistryApi& api, HKEY root, const scan::FoundKeyList& keys,
                         std::int32_t listed, const Backup& backup, util::Timings* timings) {
  RemovalReport report;
  report.listed = listed;
  const std::size_t last = std::min(keys.count(), static_cast<std::size_t>(std::max(listed, 0)));

  // Nothing is removed that could not be saved first.
  std::vector<std::string> paths;
  for (std::size_t i = 1; i <= last; ++i) {
    if (keys.item(i).kept) continue;
    report.keys.push_back({i, 0, {}});
    paths.push_back(keys.item(i).path);
  }
  if (!report.keys.empty() && backup) {
    BackupResult saved = backup(paths);
    if (!saved.failure.failed()) {
      report.undoFile = saved.file;
      for (auto& [index, why] : saved.refused) {
        report.keys[index].status = kNotInBackup;
        report.keys[index].whyKept = std::move(why);
      }
    } else {
      report.backup = saved.failure;
    }
  }
  util::mark(timings, "backup");

  // The files that hold each key, asked before it goes: a save that stops
  // between two files has made the removal of a key permanent only when
  // every file that held the key was replaced.
  std::vector<std::vector<std::string>> holders(report.keys.size());
  std::int32_t removed = 0;
  for (std::size_t k = 0; k < report.keys.size(); ++k) {
    LONG& status = report.keys[k].status;
    if (report.backup.failed()) status = kBackupFailed;
    if (status != 0) continue;
    holders[k] = api.filesHolding(root, paths[k].c_str());
    status = deleteKeyPath(api, root, paths[k]);
    if (status == 0) ++removed;
  }

  // A machine kept in files changes on disk only now. If that fails before
  // the first file is replaced, nothing was removed after all; if it fails
  // later, exactly the keys that lay only in replaced files are gone. The
  // log and the message say which.
  util::mark(timings, "removal");
  registry::CommitResult saved = api.commit();
  util::mark(timings, "save");
  if (saved.failure.failed()) {
    report.save = saved.failure;
    report.savePartial = saved.partial;
    removed = 0;
    for (std::size_t k = 0; k < report.keys.size(); ++k) {
      LONG& status = report.keys[k].status;
      if (status != 0) continue;
      const bool gone =
          saved.partial && std::none_of(holders[k].begin(), holders[k].end(), [&](const std::string& f) {
            return std::find(saved.notReplaced.begin(), saved.notReplaced.end(), f) !=
                   saved.notReplaced.end();
          });
      if (gone)
        ++removed;
      else
        status = kNotSaved;
    }
    // The machine is as it was: a backup of keys that are all still there
    // would only mislead. After a partial save some keys are gone, and the
    // backup is what brings them back.
    if (!report.undoFile.empty() && !saved.partial) {
      std::error_code ignored;
      std::filesystem::remove(report.undoFile, ignored);
      report.undoFile.clear();
    }
  }
  report.removed = removed;
  report.notRemoved = static_cast<std::int32_t>(report.keys.size()) - removed;
  return report;
}

void writeRemovalLog(LogWriter& log, const families::Selection& selection,
                     const scan::FoundKeyList& keys, const RemovalReport& report) {
  // The log is written once the outcome is known, so that every entry says
  // what really happened to its key.
  log.writeHeader(selection, report.listed);
  const std::string saveFailure =
      report.save.failed() ? "*** ERROR: The registry could not be saved (" + report.save.why
                        : std::string();
  for (const KeyFate& fate : report.keys) {
    const scan::FoundKey& item = keys.item(fate.position);
    log.writeEntry(item.foundValue, scan::registryPath(item.path), "[" + item.category + "]",
                   "");
    switch (fate.status) {
      case 0:
        log.writeEntry("", "", "", "OK");
        break;
      case kNotSaved:
        log.writeEntry(saveFailure + ") - Key not removed.", "", "", "");
        break;
      case kBackupFailed:
        log.writeEntry("*** ERROR: The backup of the keys could not be written (" +
                           report.backup.why + ") - Key not removed.",
                       "", "", "");
        break;
      case kNotInBackup:
        log.writeEntry("*** ERROR: The key was kept: " + fate.whyKept + " - Key not removed.", "",
                       "", "");
        break;
      default:
        log.writeEntry(failureText(fate.status), "", "", "");
        break;
    }
  }
  if (report.save.failed())
    log.writeEntry(saveFailure + (report.removed == 0 ? ") - No key removed."
                                                      : ") - Only the keys marked OK were removed."),
                   "", "", "");
  log.writeFooter(report.removed);
}

}  // namespace comsweep::removal
