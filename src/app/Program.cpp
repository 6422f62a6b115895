#include "app/Program.h"

#include <chrono>
#include <cstdlib>
#include <memory>
#include <ostream>

#include "app/CommandLine.h"
#include "app/KeyReport.h"
#include "app/MachineChoices.h"
#include "app/MachineChooser.h"
#include "app/Session.h"
#include "app/UndoRun.h"
#include "platform/SignalCleanup.h"
#include "families/PatternList.h"
#include "scan/Scanner.h"
#include "forms/WindowSystem.h"

namespace comsweep::app {
namespace {

constexpr const char* kUsage =
    "Usage: comsweep [OPTION]... [SWITCH]...\n"
    "Removes the COM registration keys (TypeLib, Interface, CLSID and root keys of\n"
    "HKEY_CLASSES_ROOT) that components of the chosen families left behind, and\n"
    "writes the log 9QReg.log into the machine's drive C:.\n"
    "\n"
    "Without arguments the main window opens. With switches the run is unattended:\n"
    "no window, no review, no message.\n"
    "\n"
    "Switches, in any letter case, with or without blanks between them (/m9q/P9Q+):\n"
    "  /M9Q /P9Q /T9Q /W9Q /H9Q /R9Q /N9Q       a family's own components\n"
    "  /M9Q+ /P9Q+ /T9Q+ /W9Q+ /H9Q+ /R9Q+ /N9Q+ a family's other components\n"
    "  /ALL                                      every family; so does every switch\n"
    "                                            that begins with /S (/SILENT)\n"
    "  /DISPLAY                                  end at once without a run; so does\n"
    "                                            every switch that begins with /D\n"
    "  /LOG                                      accepted; the log is always written\n"
    "\n"
    "Options:\n"
    "  --list         print the keys a run with these switches would remove, one\n"
    "                 a line: category, path, found value, and where the key lives\n"
    "                 (machine, user or machine,user), separated by tabs; nothing\n"
    "                 is removed and no log or backup is written\n"
    "  --json         write one JSON document about the run or the listing on\n"
    "                 standard output instead (format 1, see the manual page)\n"
    "  -h, --help, /? this text\n"
    "  -V, --version  the version\n"
    "  --undo [--list] [--json] [BACKUP]\n"
    "                 put back what a run removed, from BACKUP or the newest\n"
    "                 9QReg-*.reg beside the log (--list: only say what)\n"
    "\n"
    "Refused before anything is read or written (exit status 2): a word that\n"
    "starts with \"-\" and is no option above, a word that names an existing file or\n"
    "directory, a word with \"/\" of which a \"/\"-separated piece is no switch.\n"
    "Other words are ignored, and still make the run unattended.\n"
    "\n"
    "Before the first key is removed, every key about to go is saved, with its\n"
    "subkeys and values, to 9QReg-<date>-<time>.reg next to the log; --undo (or\n"
    "importing it with regedit or reg import) puts them back.\n"
    "\n";

constexpr const char* kUsageEnd =
    "\n"
    "A Wine prefix is refused while a wineserver runs for it: the server keeps the\n"
    "registry in memory and would write it over the change. Close the prefix's\n"
    "programs, or wait for the server with \"wineserver -w\"; COMSWEEP_SERVER_WAIT=\n"
    "SECONDS waits that long for it to end (default 0). COMSWEEP_LOCK_WAIT=SECONDS\n"
    "waits for another run on the same machine (default 10).\n"
    "\n"
    "Exit status of a run: 0 every listed key was removed (or none was listed),\n"
    "1 some key was not removed or the log could not be written, 2 the machine\n"
    "could not be opened or saved. Of --list: 0 nothing found, 1 keys found, 2 the\n"
    "machine could not be read. Always 2 when the words are refused or standard\n"
    "output cannot be written.\n";

// Seconds from the environment, at most a day; `fallback` when unset or bad.
std::chrono::milliseconds secondsFrom(const std::map<std::string, std::string>& env,
                                      const char* name, std::chrono::milliseconds fallback) {
  auto wait = env.find(name);
  if (wait == env.end()) return fallback;
  char* end = nullptr;
  double seconds = std::strtod(wait->second.c_str(), &end);
  if (end != wait->second.c_str() && *end == '\0' && seconds >= 0 && seconds <= 86400)
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
  return fallback;
}

// Standard output is what --help, --version, --list and --json exist for:
// a failed write is a failed start.
int finishOutput(std::ostream& out, std::ostream& err, int status) {
  out.flush();
  if (out) return status;
  err << "comsweep: standard output could not be written\n";
  return kExitMachineFailed;
}

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
  // "--undo" leads a command of its own, with words of its own.
  if (!args.empty() && args[0] == "--undo")
    return runUndo(std::vector<std::string>(args.begin() + 1, args.end()), environment, out, err);
  const ProgramOptions options = readOptions(args);
  if (!options.refusal.empty()) {
    err << "comsweep: " << options.refusal << "\n"
        << "Try 'comsweep --help' for the switches and options.\n";
    return kExitMachineFailed;
  }
  if (options.help) {
    out << kUsage << registry::kMachineUsage << kUsageEnd;
    return finishOutput(out, err, kExitOk);
  }
  if (options.version) {
    out << "comsweep " << COMSWEEP_VERSION << "\n";
    return finishOutput(out, err, kExitOk);
  }

  // The options hold no "/", so the switch reader passes over them; with
  // them alone the run is unattended and chooses nothing.
  const std::string text = argumentText(args);
  // "/D..." ends the program before anything is opened.
  families::Selection chosen;
  CommandLineFlags flags = parseCommandLine(text, chosen);
  if (flags.endAtOnce) return kExitOk;

  // From here on temporary files may be made; a signal removes them.
  platform::installSignalCleanup();

  // COMSWEEP_TIMINGS=1: the phases of the run and the registry calls it made,
  // on standard error, for the benchmark.
  auto wanted = environment.env.find("COMSWEEP_TIMINGS");
  std::unique_ptr<util::Timings> timings;
  if (wanted != environment.env.end() && !wanted->second.empty())
    timings = std::make_unique<util::Timings>();

  // How long to wait for another run on the same machine, and for a Wine
  // prefix's server to end.
  const std::chrono::milliseconds lockWait =
      secondsFrom(environment.env, "COMSWEEP_LOCK_WAIT", registry::kDefaultLockWait);
  const std::chrono::milliseconds serverWait =
      secondsFrom(environment.env, "COMSWEEP_SERVER_WAIT", std::chrono::milliseconds(0));

  std::filesystem::path machinePath = registry::defaultMachinePath(environment.env);
  if (!flags.unattended && environment.interactive) {
    // The main window opens before the machine is read, and waits without
    // its run lock: an unattended run meanwhile neither waits nor fails;
    // what it changes the save finds changed on disk and refuses to
    // overwrite.
    MachineChooser chooser(
        findMachines(environment.env, machinePath),
        [lockWait, serverWait](const std::filesystem::path& path) {
          registry::MachineOpenResult read = registry::openMachine(path, lockWait, serverWait);
          if (read.machine) registry::releaseLocks(*read.machine);
          return read;
        },
        lockWait);
    const int status = environment.interactive(chooser);
    // Left on a machine that could not be opened: as a start that could not
    // open its machine ends.
    if (chooser.machine() || chooser.error().empty()) return status;
    err << "comsweep: " << chooser.error() << "\n";
    return status == kExitOk ? kExitMachineFailed : status;
  }
  registry::MachineOpenResult opened = registry::openMachine(machinePath, lockWait, serverWait);
  util::mark(timings.get(), "load");
  ReportDocument document;
  document.listing = options.list;
  document.machinePath = machinePath.string();
  document.families = chosenSwitches(chosen);
  if (!opened.machine) {
    err << "comsweep: " << opened.failure.why << "\n";
    // Started from a menu, standard error goes nowhere a person looks.
    forms::WindowSystem* boxes =
        flags.unattended || !environment.messageWindows ? nullptr : environment.messageWindows();
    if (boxes) boxes->showMessage(reasonsText({opened.failure.why}), forms::kCriticalIcon, forms::kApplicationTitle);
    if (!options.json) return kExitMachineFailed;
    document.error = opened.failure.why;
    document.exitStatus = kExitMachineFailed;
    out << jsonDocument(document);
    return finishOutput(out, err, kExitMachineFailed);
  }
  document.machineKind = opened.machine->kind;
  document.machinePath = opened.machine->path.string();
  registry::Machine& machine = *opened.machine;

  if (!flags.unattended) {
    err << "comsweep: no switches given, and this build has no windows; an unattended run "
           "needs switches such as /M9Q (see --help)\n";
    return kExitMachineFailed;
  }

  if (options.list) {
    // The same scans a run makes, on the same selection; the machine is
    // let go as soon as they are read.
    KeyPlaces places;
    scan::ScanResult scanned;
    {
      Session session(machine, timings.get());
      scanned = session.scan(registry::HKEY_CLASSES_ROOT, families::buildPatternList(chosen));
      std::vector<std::string> paths;
      for (std::size_t i = 1; i <= scanned.keys.count(); ++i) paths.push_back(scanned.keys.item(i).path);
      notePlaces(machine, paths, places);
    }
    opened.machine.reset();
    document.keys = reportedKeys(scanned.keys, scanned.found, places, nullptr);
    document.exitStatus = document.keys.empty() ? kExitOk : kExitNotAllRemoved;
    if (options.json) {
      out << jsonDocument(document);
    } else {
      for (const ReportedKey& key : document.keys) out << listingLine(key) << "\n";
    }
    return finishOutput(out, err, document.exitStatus);
  }

  // The unattended run: no window, no review, no message. The scans of the
  // chosen families below HKEY_CLASSES_ROOT, the removal of every key they
  // found (backed up first), the log, then the report.
  Session session(machine, timings.get());
  KeyPlaces places;
  if (options.json)  // where each key lives is noted before it is gone
    session.setBeforeBackup(
        [&machine, &places](const std::vector<std::string>& paths) { notePlaces(machine, paths, places); });
  scan::ScanResult scanned =
      session.scan(registry::HKEY_CLASSES_ROOT, families::buildPatternList(chosen));
  session.removeKeys(registry::HKEY_CLASSES_ROOT, scanned.keys, scanned.found);
  session.writeLog(chosen, scanned.keys);
  session.reportTimings(err);

  const int status = session.report(err);
  if (!options.json) return status;
  const removal::RemovalReport& removal = session.outcome().removal;
  document.keys = reportedKeys(scanned.keys, removal.listed, places, &removal);
  document.removed = removal.removed;
  document.notRemoved = removal.notRemoved;
  document.backup = removal.undoFile.string();
  if (!session.outcome().log.failed()) document.log = session.logPath().string();
  if (removal.backup.failed()) document.error = removal.backup.why;
  else if (removal.save.failed()) document.error = removal.save.why;
  document.exitStatus = status;
  out << jsonDocument(document);
  return finishOutput(out, err, status);
}

}  // namespace comsweep::app
