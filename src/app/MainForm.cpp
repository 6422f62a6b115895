#include "app/MainForm.h"

#include "registry/Wrappers.h"

namespace comsweep::app {

MainForm::MainForm(Session& session, ui::WindowSystem& windows)
    : m_session(session), m_windows(windows), m_review(windows, m_selection) {}

void MainForm::endProgram() {
  m_ended = true;
  m_windows.endProgram();
}

void MainForm::continueClicked() {
  m_patterns = families::buildPatternList(m_selection);

  if (m_selection.useRemoteMachine) {
    const std::string name = m_selection.remoteMachineName;  // exactly as typed
    if (!registry::ConnectRemoteRegistry(m_session.api(), name, m_root)) {
      m_windows.showMessage("Unable to connect to the remote machine " + name + ".",
                            ui::kCriticalIcon, ui::kApplicationTitle);
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

  m_windows.mainSetMousePointer(ui::kHourglassPointer);
  m_windows.mainHide();
  m_progress.reset();
  m_progressLoaded = true;
  m_windows.progressShow(m_progress);

  scan::ScanResult scanned = m_session.scan(m_root, m_patterns, this);
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

  m_windows.mainSetMousePointer(ui::kDefaultPointer);
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
      m_session.removeKeys(m_root, m_review.foundKeys, m_keysFound);
  // The operator learns the outcome before the log is written.
  m_windows.showMessage(closingMessage(report), ui::kInformationIcon, "");
  showReasons(removalReasons(report, m_session.logPath()));
  m_session.writeLog(m_selection, m_review.foundKeys);
  showReasons({logReason(m_session.outcome().log)});
}

void MainForm::showReasons(const std::vector<std::string>& reasons) {
  const std::string text = reasonsText(reasons);
  if (!text.empty()) m_windows.showMessage(text, ui::kCriticalIcon, ui::kApplicationTitle);
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
