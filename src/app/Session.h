#pragma once
// One run on one machine, assembled here for the unattended road and both
// front ends alike: the registry calls (the machine's own where it answers
// them, as the live registry does, else a handle table over its store;
// counted when the benchmark asks), the log at the machine's C:\9QReg.log,
// the backup before the first removal, and the outcome with its report and
// exit status. A run's steps are called in order: scan, removeKeys,
// writeLog; what a window shows in between is the caller's business.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "app/RunOutcome.h"
#include "families/PatternList.h"
#include "families/Selection.h"
#include "registry/api/RegistryApi.h"
#include "removal/KeyRemoval.h"
#include "removal/LogWriter.h"
#include "scan/Scanner.h"
#include "scan/UserClassesScan.h"
#include "util/Timings.h"

namespace comsweep::registry {
struct Machine;
class CountingApi;
class HandleTable;
}  // namespace comsweep::registry

namespace comsweep::app {

// Where "C:\9QReg.log" is on this machine.
std::filesystem::path logPathOf(const registry::Machine& machine);

// The classes of the machine's users, each laid over the machine's (a drive
// with user profiles, this computer run as SYSTEM); none elsewhere.
std::vector<scan::ClassesView> userClassesOf(const registry::Machine& machine);

// The exit status a completed run ends with.
int exitStatusOf(const RunOutcome& outcome);

// Says on `err` what went wrong in a run (nothing when all went well);
// returns the exit status.
int reportOutcome(const RunOutcome& outcome, const std::filesystem::path& logPath,
                  std::ostream& err);

class Session {
 public:
  // A run on `machine`, backed up into its drive C:. `timings`, when given,
  // receives the phase marks, and the registry calls are counted. Both must
  // outlive the session.
  explicit Session(registry::Machine& machine, util::Timings* timings = nullptr);
  // A run on registry calls the caller answers, logged at `logPath`, with no
  // backup until one is set.
  Session(registry::RegistryApi& api, std::filesystem::path logPath,
          removal::LogWriter::Clock clock = removal::currentDateTimeText);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  registry::RegistryApi& api() { return *m_api; }
  const std::filesystem::path& logPath() const { return m_logPath; }

  // Replaces the backup; an empty one lets keys go without one.
  void setBackup(removal::Backup backup) { m_backup = std::move(backup); }
  // Shown the paths about to be removed, before the backup is written.
  void setBeforeBackup(std::function<void(const std::vector<std::string>&)> look) {
    m_beforeBackup = std::move(look);
  }

  // The four scans below `root`; `progress` is null where no window shows them.
  scan::ScanResult scan(registry::HKEY root, const families::PatternList& patterns,
                        scan::ProgressSink* progress = nullptr);
  // Dates the log, backs up and removes the key of every listed entry that
  // is not struck among the first `listed`, then saves the machine.
  const removal::RemovalReport& removeKeys(registry::HKEY root, const scan::FoundKeyList& keys,
                                           std::int32_t listed);
  // Writes the log of the removal just made; its failure joins the outcome.
  void writeLog(const families::Selection& selection, const scan::FoundKeyList& keys);

  const RunOutcome& outcome() const { return m_outcome; }
  int exitStatus() const { return exitStatusOf(m_outcome); }
  // Says on `err` what went wrong, if anything; returns the exit status.
  int report(std::ostream& err) const { return reportOutcome(m_outcome, m_logPath, err); }
  // The phases and the number of registry calls, for the benchmark; nothing
  // without timings.
  void reportTimings(std::ostream& err) const;

 private:
  std::unique_ptr<registry::HandleTable> m_table;
  std::unique_ptr<registry::CountingApi> m_counting;
  registry::RegistryApi* m_api = nullptr;
  util::Timings* m_timings = nullptr;
  std::filesystem::path m_logPath;
  removal::LogWriter m_log;
  removal::Backup m_backup;
  std::function<void(const std::vector<std::string>&)> m_beforeBackup;
  RunOutcome m_outcome;
  std::vector<scan::ClassesView> m_userClasses;  // scanned after the machine's own classes
};

}  // namespace comsweep::app
