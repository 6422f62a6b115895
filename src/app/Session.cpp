#include "app/Session.h"

#include <ostream>

#include "app/RunOutcome.h"
#include "registry/api/CountingApi.h"
#include "registry/handles/HandleTable.h"
#include "machine/Machine.h"
#include "removal/UndoFile.h"

namespace comsweep::app {

std::filesystem::path logPathOf(const registry::Machine& machine) {
  return machine.driveC / "9QReg.log";
}

int exitStatusOf(const RunOutcome& outcome) {
  if (outcome.removal.backup.failed() || outcome.removal.save.failed()) return kExitMachineFailed;
  if (outcome.removal.notRemoved > 0 || outcome.log.failed()) return kExitNotAllRemoved;
  return kExitOk;
}

int reportOutcome(const RunOutcome& outcome, const std::filesystem::path& logPath,
                  std::ostream& err) {
  for (const std::string& reason : removalReasons(outcome.removal, logPath))
    err << "comsweep: " << reason << "\n";
  if (outcome.log.failed()) err << "comsweep: " << logReason(outcome.log) << "\n";
  return exitStatusOf(outcome);
}

std::vector<scan::ClassesView> userClassesOf(const registry::Machine& machine) {
  std::vector<scan::ClassesView> views;
  for (const registry::Machine::UserClasses& user : machine.users)
    views.push_back({user.registryRoot, user.api.get()});
  return views;
}

Session::Session(registry::Machine& machine, util::Timings* timings)
    : m_table(std::make_unique<registry::HandleTable>(*machine.store)),
      m_api(machine.api ? machine.api.get() : m_table.get()),
      m_timings(timings),
      m_logPath(logPathOf(machine)),
      m_log(m_logPath),
      m_backup(removal::undoFileBackup(machine)),
      m_userClasses(userClassesOf(machine)) {
  if (m_timings) {
    m_counting = std::make_unique<registry::CountingApi>(*m_api);
    m_api = m_counting.get();
  }
}

Session::Session(registry::RegistryApi& api, std::filesystem::path logPath,
                 removal::LogWriter::Clock clock)
    : m_api(&api), m_logPath(logPath), m_log(std::move(logPath), std::move(clock)) {}

Session::~Session() = default;

scan::ScanResult Session::scan(registry::HKEY root, const families::PatternList& patterns,
                               scan::ProgressSink* progress) {
  scan::ScanResult scanned = scan::scanRegistry(*m_api, root, patterns, progress, m_timings);
  // A remote machine's users are not this machine's.
  if (root == registry::HKEY_CLASSES_ROOT)
    scan::scanUserClasses(*m_api, m_userClasses, patterns, scanned, progress, m_timings);
  return scanned;
}

const removal::RemovalReport& Session::removeKeys(registry::HKEY root,
                                                  const scan::FoundKeyList& keys,
                                                  std::int32_t listed) {
  m_outcome.removalReached = true;
  m_log.noteStart();
  removal::Backup backup = m_backup;
  if (m_beforeBackup && m_backup)
    backup = [this](const std::vector<std::string>& paths) {
      m_beforeBackup(paths);
      return m_backup(paths);
    };
  m_outcome.removal = removal::removeKeys(*m_api, root, keys, listed, backup, m_timings);
  return m_outcome.removal;
}

void Session::writeLog(const families::Selection& selection, const scan::FoundKeyList& keys) {
  removal::writeRemovalLog(m_log, selection, keys, m_outcome.removal);
  m_outcome.log = m_log.failure();
  util::mark(m_timings, "log");
}

void Session::reportTimings(std::ostream& err) const {
  if (!m_timings) return;
  for (const auto& phase : m_timings->phases())
    err << "timing " << phase.name << " " << phase.seconds << "\n";
  err << "timing total " << m_timings->total() << "\n";
  err << "registry calls " << (m_counting ? m_counting->calls : 0) << "\n";
}

}  // namespace comsweep::app
