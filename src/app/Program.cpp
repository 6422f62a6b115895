#include "app/Program.h"

#include <chrono>
#include <cstdlib>
#include <memory>
#include <ostream>

#include "app/CommandLine.h"
#include "app/MainForm.h"
#include "app/UndoRun.h"
#include "registry/CountingApi.h"
#include "platform/SignalCleanup.h"
#include "registry/HandleTable.h"
#include "ui/headless/HeadlessWindowSystem.h"

namespace comsweep::app {
namespace {

constexpr const char* kUsage =
    "Usage: comsweep [SWITCH]...\n"
    "Removes the COM registration keys (TypeLib, Interface, CLSID and root keys of\n"
    "HKEY_CLASSES_ROOT) that components of the chosen families left behind, and\n"
    "writes the log 9QReg.log into the machine's drive C:.\n"
    "\n"
    "Without arguments the main window opens. With any argument text the run is\n"
    "unattended: no window, no review, no message.\n"
    "\n"
    "  /M9Q /P9Q /T9Q /W9Q /H9Q /R9Q /N9Q       a family's own components\n"
    "  /M9Q+ /P9Q+ /T9Q+ /W9Q+ /H9Q+ /R9Q+ /N9Q+ a family's other components\n"
    "  /ALL (or the older /S)                    every family\n"
    "  /LOG                                      accepted; the log is always written\n"
    "  /DISPLAY                                  end at once without a run\n"
    "  --help, --version                         this text, the version\n"
    "  --undo [--list] [BACKUP]                  put back what a run removed, from\n"
    "                                            BACKUP or the newest 9QReg-*.reg\n"
    "\n"
    "Switches are recognised anywhere in the argument text, in any letter case.\n"
    "\n";

constexpr const char* kUsageEnd =
    "\n"
    "Exit status: 0 every listed key was removed (or none was listed), 1 some key\n"
    "was not removed, 2 the machine could not be opened or saved.\n";

}  // namespace

std::string argumentText(const std::vector<std::string>& args) {
  std::string text;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i) text += ' ';
    text += args[i];
  }
  return text;
}

int runProgram(const std::vector<std::string>& args, const ProgramEnvironment& environment,
               std::ostream& out, std::ostream& err) {
  if (!args.empty() && args[0] == "--undo")
    return runUndo(std::vector<std::string>(args.begin() + 1, args.end()), environment, out, err);
  const std::string text = argumentText(args);
  if (text == "--help") {
    out << kUsage << registry::kMachineUsage << kUsageEnd;
    return kExitOk;
  }
  if (text == "--version") {
    out << "comsweep " << COMSWEEP_VERSION << "\n";
    return kExitOk;
  }

  // "/D..." ends the program before anything is opened.
  families::Selection probe;
  CommandLineFlags flags = parseCommandLine(text, probe);
  if (flags.endAtOnce) return kExitOk;

  // From here on temporary files may be made; a signal removes them.
  platform::installSignalCleanup();

  // COMSWEEP_TIMINGS=1: the phases of the run and the registry calls it made,
  // on standard error, for the benchmark.
  auto wanted = environment.env.find("COMSWEEP_TIMINGS");
  std::unique_ptr<util::Timings> timings;
  if (wanted != environment.env.end() && !wanted->second.empty())
    timings = std::make_unique<util::Timings>();

  // How long to wait for another run on the same machine (seconds).
  std::chrono::milliseconds lockWait = registry::kDefaultLockWait;
  if (auto wait = environment.env.find("COMSWEEP_LOCK_WAIT"); wait != environment.env.end()) {
    char* end = nullptr;
    double seconds = std::strtod(wait->second.c_str(), &end);
    if (end != wait->second.c_str() && *end == '\0' && seconds >= 0 && seconds <= 86400)
      lockWait = std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
  }

  std::filesystem::path machinePath = registry::defaultMachinePath(environment.env);
  registry::MachineOpenResult opened = registry::openMachine(machinePath, lockWait);
  util::mark(timings.get(), "load");
  if (!opened.machine) {
    err << "comsweep: " << opened.error << "\n";
    return kExitMachineFailed;
  }
  registry::Machine& machine = *opened.machine;

  if (!flags.unattended) {
    if (environment.interactive) return environment.interactive(machine);
    err << "comsweep: no switches given, and this build has no windows; an unattended run "
           "needs switches such as /M9Q (see --help)\n";
    return kExitMachineFailed;
  }

  registry::HandleTable table(*machine.store);
  registry::RegistryApi& calls =
      machine.api ? *machine.api : static_cast<registry::RegistryApi&>(table);
  registry::CountingApi counting(calls);
  registry::RegistryApi& api = timings ? static_cast<registry::RegistryApi&>(counting) : calls;
  ui::HeadlessWindowSystem windows;
  std::filesystem::path logPath = logPathOf(machine);
  MainForm form(api, windows, logPath);
  form.setTimings(timings.get());
  form.setBackup(removal::undoFileBackup(machine));
  form.load(text);
  if (timings) {
    for (const auto& phase : timings->phases())
      err << "timing " << phase.name << " " << phase.seconds << "\n";
    err << "timing total " << timings->total() << "\n";
    err << "registry calls " << counting.calls << "\n";
  }

  return reportOutcome(form.outcome(), logPath, err);
}

std::filesystem::path logPathOf(const registry::Machine& machine) {
  return machine.driveC / "9QReg.log";
}

int reportOutcome(const RunOutcome& outcome, const std::filesystem::path& logPath,
                  std::ostream& err) {
  const removal::RemovalReport& removal = outcome.removal;
  if (removal.backupFailed)
    err << "comsweep: no key removed: the backup could not be written: " << removal.backupError
        << "\n";
  else if (removal.saveFailed)
    err << "comsweep: no key removed: " << removal.saveError << "\n";
  else if (removal.notRemoved > 0)
    err << "comsweep: " << removal.notRemoved << " of the listed keys could not be removed; see "
        << logPath.string() << "\n";
  if (!outcome.logError.empty())
    err << "comsweep: the log could not be written: " << outcome.logError << "\n";
  return exitStatusOf(outcome);
}

int exitStatusOf(const RunOutcome& outcome) {
  if (outcome.removal.backupFailed || outcome.removal.saveFailed) return kExitMachineFailed;
  if (outcome.removal.notRemoved > 0 || !outcome.logError.empty()) return kExitNotAllRemoved;
  return kExitOk;
}

}  // namespace comsweep::app
