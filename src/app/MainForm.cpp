#include "app/MainForm.h"

#include "app/CommandLine.h"
#include "app/MachineChooser.h"
#include "app/Program.h"
#include "removal/UndoFile.h"
#include "registry/Wrappers.h"


namespace comsweep::app {

MainForm::MainForm(registry::RegistryApi& api, ui::WindowSystem& windows,
                   std::filesystem::path logPath, removal::LogWriter::Clock clock)
    : m_api(api),
      m_windows(windows),
      m_logPath(std::move(logPath)),
      m_clock(std::move(clock)),
      m_review(windows, m_selection, [this] { removeKeys(); }) {}

void MainForm::setMousePointer(int pointer) { m_windows.mainSetMousePointer(pointer); }

void MainForm::endProgram() {
  m_ended = true;
  m_windows.endProgram();
}

void MainForm::load(const std::string& argumentText) {
  CommandLineFlags flags = parseCommandLine(argumentText, m_selection);
  m_unattended = flags.unattended;
  if (flags.endAtOnce) {
    m_windows.mainHide();
    setMousePointer(ui::kArrowHourglassPointer);
    setMousePointer(ui::kDefaultPointer);
    m_windows.mainUnload();
    endProgram();
    return;
  }
  if (m_unattended) {
    m_windows.mainHide();
    setMousePointer(ui::kArrowHourglassPointer);
    m_selection.reviewFirst = 0;
    continueClicked();
    if (!m_ended) {
      setMousePointer(ui::kDefaultPointer);
      m_windows.mainUnload();
      endProgram();
    }
    return;
  }
  // The window opens at once; the machine is read behind it.
  if (m_chooser && !m_chooser->machine() && !m_chooser->reading())
    machineChosen(m_chooser->chosen());
}

void MainForm::setMachineChooser(MachineChooser* chooser) {
  m_chooser = chooser;
  if (chooser) setRunGate([chooser] { return chooser->takeLock(); });
}

void MainForm::machineChosen(const std::filesystem::path& machine) {
  if (m_chooser) m_chooser->choose(machine);
}

bool MainForm::machineReadingEnded() {
  if (!m_chooser || !m_chooser->collect()) return false;
  if (!m_chooser->machine()) showReasons({m_chooser->error()});
  return true;
}

void MainForm::continueClicked() {
  if (m_chooser) {
    if (const std::string why = m_chooser->whyNotReady(); !why.empty()) {
      showReasons({why});
      return;
    }
    registry::Machine& machine = *m_chooser->machine();
    m_logPath = logPathOf(machine);
    m_backup = removal::undoFileBackup(machine);
  }
  m_patterns = families::buildPatternList(m_selection);

  if (m_selection.useRemoteMachine != 0) {
    const std::string name = m_selection.remoteMachineName;  // exactly as typed
    if (!registry::ConnectRemoteRegistry(m_api, name, m_root)) {
      if (!m_unattended)
        m_windows.showMessage("Unable to connect to the remote machine " + name + ".", ui::kCriticalIcon,
                         ui::kApplicationTitle);
      return;
    }
  } else {
    m_root = registry::HKEY_CLASSES_ROOT;
  }
  if (m_runGate) {
    const std::string refused = m_runGate();
    if (!refused.empty()) {
      if (!m_unattended) showReasons({refused});
      return;
    }
  }

  setMousePointer(ui::kHourglassPointer);
  m_windows.mainHide();
  if (!m_unattended) {
    m_progress.reset();
    m_progressLoaded = true;
    m_windows.progressShow(m_progress);
  }

  scan::ScanResult scanned =
      scan::scanRegistry(m_api, m_root, m_patterns, m_unattended ? nullptr : this, m_timings);
  m_keysFound = scanned.found;
  m_review.foundKeys = std::move(scanned.keys);
  if (m_progressLoaded) m_windows.progressScansEnded(m_progress);

  if (m_selection.reviewFirst != 0) {
    m_review.heading = std::to_string(m_keysFound) + " " + m_review.heading;
    m_review.foundKeys.setSortKey(1);
    m_review.foundKeys.setSorted(true);
    m_windows.reviewShowModal(m_review);
  } else {
    removeKeys();
  }

  setMousePointer(ui::kDefaultPointer);
  m_windows.progressUnload();
  m_windows.mainUnload();
  endProgram();
}

void MainForm::progressStep(std::string_view label, const std::string& name,
                            std::int32_t foundSoFar) {
  if (!m_progressLoaded) {
    m_progress.reset();
    m_progressLoaded = true;
  }
  m_progress.update(label, name, foundSoFar);
  m_windows.progressRefresh(m_progress);
}

void MainForm::removeKeys() {
  m_outcome.removalReached = true;
  removal::LogWriter log(m_logPath, m_clock);
  log.noteStart();
  m_outcome.removal = removal::removeKeys(m_api, m_root, m_review.foundKeys, m_keysFound,
                                          m_backup, m_timings);
  // The operator learns the outcome before the log is written.
  if (!m_unattended) {
    m_windows.showMessage(closingMessage(m_outcome.removal), ui::kInformationIcon, "");
    showReasons(removalReasons(m_outcome.removal, m_logPath));
  }
  removal::writeRemovalLog(log, m_selection, m_review.foundKeys, m_outcome.removal);
  m_outcome.logError = log.failure();
  if (!m_unattended && !m_outcome.logError.empty()) showReasons({logReason(m_outcome.logError)});
  util::mark(m_timings, "log");
}

void MainForm::showReasons(const std::vector<std::string>& reasons) {
  const std::string text = reasonsText(reasons);
  if (!text.empty()) m_windows.showMessage(text, ui::kCriticalIcon, ui::kApplicationTitle);
}

void MainForm::remoteMachineClicked() {
  m_remoteNameVisible = m_selection.useRemoteMachine != 0;  // hiding keeps the typed name
}

void MainForm::cancelClicked() {
  m_windows.mainUnload();
  endProgram();
}

void MainForm::tipClicked() { m_windows.tipShowModal(); }

}  // namespace comsweep::app
