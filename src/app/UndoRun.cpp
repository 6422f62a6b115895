#include "app/UndoRun.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <ostream>
#include <sstream>

#include "platform/AtomicFile.h"
#include "app/UndoReport.h"
#include "platform/LocalTime.h"
#include "platform/SignalCleanup.h"
#include "registry/store/Text.h"
#include "registry/layered/SubtreeStore.h"
#include "registry/regfile/RegFileStore.h"
#include "removal/Restore.h"

#ifndef _WIN32
#include "registry/wine/WineRegStore.h"
#include "registry/wine/WineServerCheck.h"
#endif

namespace comsweep::app {
namespace fs = std::filesystem;
using removal::RestoreState;

namespace {

constexpr const char* kUserClasses = "HKEY_CURRENT_USER\\Software\\Classes";

// "9QReg-YYYYMMDD-HHMMSS[-N].reg": the time and the number a run gave it
// (1 without one), or false for any other name.
bool backupName(const std::string& name, std::string& time, long& number) {
  if (name.size() < 25 || name.rfind("9QReg-", 0) != 0 || name.substr(name.size() - 4) != ".reg") return false;
  time = name.substr(6, 15);
  std::string rest = name.substr(21, name.size() - 25);
  if (time[8] != '-' || !std::all_of(time.begin(), time.end(), [](char c) { return c == '-' || (c >= '0' && c <= '9'); }))
    return false;
  number = 1;
  if (rest.empty()) return true;
  if (rest[0] != '-' || rest.size() < 2 || rest.size() > 4) return false;
  char* end = nullptr;
  number = std::strtol(rest.c_str() + 1, &end, 10);
  return *end == '\0' && number > 1;
}

#ifndef _WIN32
// A prefix whose user.reg held no classes when it was opened is read as
// system.reg alone; the user's classes a backup names go back into user.reg.
std::unique_ptr<registry::WineRegStore> openUserClasses(const fs::path& prefix, std::string& error) {
  const fs::path file = prefix / "user.reg";
  if (error = registry::checkMachineFile(file); !error.empty()) return nullptr;
  auto user = registry::WineRegStore::load(file, error, registry::WineRegParser::Owner::User);
  if (!user) return nullptr;
  user->setSaveGuard([prefix] {
    registry::WineServerCheck::Result r = registry::WineServerCheck(prefix).check();
    if (r.status == registry::WineServerCheck::Status::NotRunning) return std::string();
    return prefix.string() + ": a wineserver may be running for this Wine prefix (" + r.detail +
           "); stop it with \"WINEPREFIX='" + prefix.string() + "' wineserver -k\" and try again.";
  });
  return user;
}
#endif

std::chrono::milliseconds lockWaitOf(const std::map<std::string, std::string>& env) {
  if (auto wait = env.find("COMSWEEP_LOCK_WAIT"); wait != env.end()) {
    char* end = nullptr;
    double seconds = std::strtod(wait->second.c_str(), &end);
    if (end != wait->second.c_str() && *end == '\0' && seconds >= 0 && seconds <= 86400)
      return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
  }
  return registry::kDefaultLockWait;
}

}  // namespace

fs::path newestBackup(const fs::path& directory) {
  fs::path best;
  std::string bestTime, time;
  long bestNumber = 0, number = 0;
  std::error_code ec;
  for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (!backupName(name, time, number) || !it->is_regular_file(ec)) continue;
    if (best.empty() || time > bestTime || (time == bestTime && number > bestNumber)) {
      best = it->path();
      bestTime = time;
      bestNumber = number;
    }
  }
  return best;
}

namespace {

// The undo itself; fills `document` as far as it gets.
int undo(const std::vector<std::string>& args, const ProgramEnvironment& environment, std::ostream& out,
         std::ostream& err, UndoDocument& document) {
  bool listing = false;
  fs::path backup;
  for (const std::string& arg : args) {
    if (arg == "--list") {
      listing = true;
    } else if (arg.rfind("-", 0) == 0 || !backup.empty()) {
      err << "comsweep: --undo takes --list, --json and one backup file, not \"" << arg << "\"\n";
      return kExitMachineFailed;
    } else {
      backup = arg;
    }
  }
  platform::installSignalCleanup();

  const fs::path machinePath = registry::defaultMachinePath(environment.env);
  document.listing = listing;
  document.machinePath = machinePath.string();
  registry::MachineOpenResult opened = registry::openMachine(machinePath, lockWaitOf(environment.env));
  if (!opened.machine) {
    err << "comsweep: " << opened.failure.why << "\n";
    return kExitMachineFailed;
  }
  registry::Machine& machine = *opened.machine;
  document.machineKind = machine.kind;
  document.machinePath = machine.path.string();
  if (backup.empty()) {
    backup = newestBackup(machine.driveC);
    if (backup.empty()) {
      err << "comsweep: no backup (9QReg-*.reg) in " << machine.driveC.string() << "; name one after --undo\n";
      return kExitMachineFailed;
    }
  }

  document.backup = backup.string();
  std::vector<removal::BackupKey> keys;
  std::string error;
  if (!removal::readBackup(backup, keys, error)) {
    err << "comsweep: " << error << "\n";
    return kExitMachineFailed;
  }
  std::vector<registry::Machine::Layer> layers = machine.layers;
  if (layers.empty()) layers.push_back({machine.store.get(), machine.registryRoot});
  // A machine whose user's classes were all removed opened without them.
#ifndef _WIN32
  std::unique_ptr<registry::WineRegStore> userClasses;
  std::error_code ec;
#else
  std::unique_ptr<registry::Store> userClasses;  // Wine prefixes are Linux's
#endif
  std::unique_ptr<registry::SubtreeStore> userSubtree;
  const bool namesUser = std::any_of(keys.begin(), keys.end(), [](const removal::BackupKey& k) {
    return registry::equalsNoCase(k.path.substr(0, std::string_view(kUserClasses).size()), kUserClasses);
  });
  auto* regFile = dynamic_cast<registry::RegFileStore*>(machine.store.get());
  if (namesUser && layers.size() == 1 && regFile) {
    userSubtree = std::make_unique<registry::SubtreeStore>(*regFile, regFile->userClassesForAdding());
    layers.push_back({userSubtree.get(), kUserClasses});
  }
  if (machine.kind == ".reg file") removal::addMachineClassesNames(layers);
#ifndef _WIN32
  if (namesUser && layers.size() == 1 && machine.kind == "Wine prefix" &&
      fs::exists(fs::symlink_status(machine.path / "user.reg", ec))) {
    if (userClasses = openUserClasses(machine.path, error); !userClasses) {
      err << "comsweep: " << error << "\n";
      return kExitMachineFailed;
    }
    layers.push_back({userClasses.get(), kUserClasses});
  }
#endif

  removal::Restore restore(layers);
  removal::RestorePlan plan = restore.plan(keys);
  if (!plan.refusal.empty()) {
    err << "comsweep: " << backup.string() << ": nothing put back: " << plan.refusal << "\n";
    return kExitMachineFailed;
  }
  if (!listing) {
    restore.apply(keys, plan);
    registry::CommitResult saved = machine.store->save();
    if (!saved.failure.failed() && userClasses) {
      saved = userClasses->save();
      saved.partial = saved.failure.failed();  // system.reg is written already
    }
    if (saved.failure.failed()) {
      // Keys already written count as there when the undo is run again.
      err << "comsweep: " << (saved.partial ? "only part of the backup was put back: " : "nothing put back: ")
          << saved.failure.why << "\n";
      return kExitMachineFailed;
    }
  }

  std::string record;
  record += "comsweep undo " + platform::shortDateTimeText(std::time(nullptr)) + "\n";
  record += "Machine: " + (machine.path.empty() ? machine.kind : machine.path.string() + " (" + machine.kind + ")") + "\n";
  record += "Backup: " + backup.string() + "\n";
  for (const removal::RestoreItem& item : plan.items) {
    static const char* const kResults[] = {"put back", "already there", "left", "left", "not put back"};
    UndoReportKey key{keys[item.key].path, kResults[static_cast<int>(item.state)], item.detail};
    if (listing && item.state == RestoreState::PutBack) key.result = "would put back";
    if (item.state == RestoreState::Occupied) key.reason = "it exists again with other values";
    if (item.state == RestoreState::BelowOccupied) key.reason = "it lies below a key that is left";
    document.keys.push_back(std::move(key));
    record += std::string(removal::restoreStateText(item.state, listing)) + ": " + keys[item.key].path;
    if (!item.detail.empty()) record += " (" + item.detail + ")";
    record += "\n";
  }
  const std::size_t putBack = plan.count(RestoreState::PutBack);
  const std::size_t there = plan.count(RestoreState::AlreadyThere);
  const std::size_t left = plan.items.size() - putBack - there;
  std::string summary = std::to_string(putBack) + (listing ? " keys to put back, " : " keys put back, ") +
                        std::to_string(there) + " already there, " + std::to_string(left) + " left";
  record += summary + "\n";

  if (listing) {
    out << record;
    return left > 0 ? kExitNotAllRemoved : kExitOk;
  }
  for (const removal::RestoreItem& item : plan.items) {
    if (item.state == RestoreState::PutBack || item.state == RestoreState::AlreadyThere) continue;
    err << "comsweep: " << removal::restoreStateText(item.state, false) << ": " << keys[item.key].path
        << (item.detail.empty() ? "" : " (" + item.detail + ")") << "\n";
  }
  const fs::path logPath = machine.driveC / "9QUndo.log";
  std::string crlf;
  for (char c : record) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  std::string logError;
  std::unique_ptr<platform::PreparedFile> logFile = platform::PreparedFile::write(
      logPath, [&crlf](platform::AtomicWriter& w) { return w.write(crlf); }, logError);
  if (logFile && !logFile->replace()) {
    const int replaceError = errno;
    logError = "cannot replace " + logFile->target().string() + ": " + std::strerror(replaceError);
  }
  err << "comsweep: undo of " << backup.string() << ": " << summary << "; see " << logPath.string() << "\n";
  if (logError.empty()) document.log = logPath.string();
  if (!logError.empty()) {
    err << "comsweep: the log could not be written: " << logError << "\n";
    return kExitNotAllRemoved;
  }
  return left > 0 ? kExitNotAllRemoved : kExitOk;
}

}  // namespace

int runUndo(const std::vector<std::string>& args, const ProgramEnvironment& environment,
            std::ostream& out, std::ostream& err) {
  std::vector<std::string> words;
  bool json = false;
  for (const std::string& arg : args) {
    if (arg == "--json")
      json = true;
    else
      words.push_back(arg);
  }
  if (!json) {
    UndoDocument unused;
    return undo(words, environment, out, err, unused);
  }
  // Standard output holds the document alone; the messages go to standard
  // error as without --json, and the one that ended the undo is its error.
  UndoDocument document;
  std::ostringstream listingText, messages;
  document.exitStatus = undo(words, environment, listingText, messages, document);
  const std::string text = messages.str();
  err << text;
  if (document.exitStatus == kExitMachineFailed) {
    std::string last = text.substr(0, text.find('\n'));
    if (last.rfind("comsweep: ", 0) == 0) last.erase(0, 10);
    document.error = last;
  }
  out << undoJsonDocument(document);
  return document.exitStatus;
}

}  // namespace comsweep::app
