#pragma once
// The new files of one save of a machine, written and synced beside the
// files they replace, put in place only once every one of them is ready. A
// machine of several files (a Wine prefix's system.reg and user.reg) thus
// either stays exactly as it was or, when a replacement fails after another
// one succeeded (a vanished directory), says which files are still old.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"
#include "registry/api/RegistryApi.h"

namespace comsweep::registry {

class SaveBatch {
 public:
  SaveBatch() = default;
  SaveBatch(const SaveBatch&) = delete;
  SaveBatch& operator=(const SaveBatch&) = delete;

  // Adds a file ready to replace its target, `name` being the file as its
  // store names it (in filesHolding()). `lastCheck` (may be empty) is
  // asked for every file of the batch before the first one is replaced. A
  // failure of this file's check or replacement is reported with
  // `failurePrefix` before it. `finished` (may be empty) is called when
  // commit() is over, told whether this file was put in place.
  void add(std::string name, std::unique_ptr<platform::PreparedFile> file, platform::LastCheck lastCheck, std::string failurePrefix,
           std::function<void(bool replaced)> finished);
  bool empty() const { return m_entries.empty(); }

  // Asks every last check, then replaces the files in the order they were
  // added. A failure before the first replacement leaves every target as it
  // was; one after it is `partial`, and `notReplaced` names the files that
  // were left as they were. No new file that is not in place is left behind.
  CommitResult commit();

 private:
  struct Entry {
    std::string name;
    std::unique_ptr<platform::PreparedFile> file;
    platform::LastCheck lastCheck;
    std::string failurePrefix;
    std::function<void(bool)> finished;
  };
  // Reports the end of the commit to every file's owner; the files from
  // `firstOld` on were not replaced.
  void finish(std::size_t firstOld);

  std::vector<Entry> m_entries;
};

}  // namespace comsweep::registry
