#include "app/MainForm.h"

#include <ostream>

#include "app/MachineChooser.h"
#include "registry/api/Wrappers.h"

namespace comsweep::app {

MainForm::MainForm(Session& session, forms::WindowSystem& windows)
    : m_session(&session), m_windows(windows), m_review(windows, m_selection) {}

MainForm::MainForm(MachineChooser& chooser, forms::WindowSystem& windows)
    : m_chooser(&chooser), m_windows(windows), m_review(windows, m_selection) {
  m_runGate = [&chooser] { return chooser.takeLock(); };
}

MainForm::~MainForm() = default;

void MainForm::windowOpened() {
  if (m_chooser && !m_chooser->machine() && !m_chooser->reading())
    machineChosen(m_chooser->chosen());
}

void MainForm::machineChosen(const std::filesystem::path& machine) {
  if (!m_chooser) return;
  // A session must not outlive the machine it works on, which the chooser
  // lets go now.
  m_session = nullptr;
  m_ownSession.reset();
  m_chooser->choose(machine);
}

bool MainForm::listedMachineChosen(int index) {
  if (!m_chooser || index < 0) return false;
  const auto at = static_cast<std::size_t>(index);
  if (at >= m_chooser->choices().size() || (at == m_chooser->chosenIndex() && m_chooser->machine())) return false;
  machineChosen(m_chooser->choices()[at]);
  return true;
}

bool MainForm::machineReadingEnded() {
  if (!m_chooser || !m_chooser->collect()) return false;
  if (!m_chooser->machine()) showReasons({m_chooser->error()});
  return true;
}

const RunOutcome& MainForm::outcome() const {
  static const RunOutcome kNoRun;
  return m_session ? m_session->outcome() : kNoRun;
}

int MainForm::report(std::ostream& err) const {
  return m_session ? m_session->report(err) : exitStatusOf(outcome());
}

void MainForm::endProgram() {
  m_ended = true;
  m_windows.endProgram();
}

void MainForm::continueClicked() {
  if (m_chooser) {
    if (const std::string why = m_chooser->whyNotReady(); !why.empty()) {
      showReasons({why});
      return;
    }
    m_ownSession = std::make_unique<Session>(*m_chooser->machine());
    m_session = m_ownSession.get();
  }
  m_patterns = families::buildPatternList(m_selection);

  if (m_selection.useRemoteMachine) {
    const std::string name = m_selection.remoteMachineName;  // exactly as typed
    if (!registry::ConnectRemoteRegistry(m_session->api(), name, m_root)) {
      m_windows.showMessage("Unable to connect to the remote machine " + name + ".",
                            forms::kCriticalIcon, forms::kApplicationTitle);
      return;
    }
  } else {
    m_root = registry::HKEY_CLASSES_ROOT;
  }
  if (m_runGate) {
    const std::string refused = m_runGate();
    if (!refused.empty()) {
      showReasons({refused});
      return;
    }
  }

  m_windows.mainSetMousePointer(forms::kHourglassPointer);
  m_windows.mainHide();
  m_progress.reset();
  m_progressLoaded = true;
  m_windows.progressShow(m_progress);

  scan::ScanResult scanned = m_session->scan(m_root, m_patterns, this);
  m_keysFound = scanned.found;
  m_review.foundKeys = std::move(scanned.keys);
  m_windows.progressScansEnded(m_progress);

  if (m_selection.reviewFirst) {
    m_review.heading = std::to_string(m_keysFound) + " " + m_review.heading;
    m_review.foundKeys.setSortKey(1);
    m_review.foundKeys.setSorted(true);
    m_review.removeChosen = false;
    // Remove returns with the window still on screen: it stays there over
    // the removal and the box with its counts. Cancel and the close box
    // return with the window closed.
    m_windows.reviewShowModal(m_review);
    if (m_review.removeChosen) removeKeys();
    m_windows.reviewUnload(m_review);
  } else {
    removeKeys();
  }

  m_windows.mainSetMousePointer(forms::kDefaultPointer);
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
  const removal::RemovalReport& report =
      m_session->removeKeys(m_root, m_review.foundKeys, m_keysFound);
  // The operator learns the outcome before the log is written.
  m_windows.showMessage(closingMessage(report), forms::kInformationIcon, "");
  showReasons(removalReasons(report, m_session->logPath()));
  m_session->writeLog(m_selection, m_review.foundKeys);
  showReasons({logReason(m_session->outcome().log)});
}

void MainForm::showReasons(const std::vector<std::string>& reasons) {
  const std::string text = reasonsText(reasons);
  if (!text.empty()) m_windows.showMessage(text, forms::kCriticalIcon, forms::kApplicationTitle);
}

void MainForm::remoteMachineClicked() {
  m_remoteNameVisible = m_selection.useRemoteMachine;  // hiding keeps the typed name
}

void MainForm::cancelClicked() {
  m_windows.mainUnload();
  endProgram();
}

void MainForm::tipClicked() { m_windows.tipShowModal(); }

}  // namespace comsweep::app
