#include "app/MainForm.h"

#include "registry/Wrappers.h"

namespace comsweep::app {

MainForm::MainForm(registry::RegistryApi& api, ui::WindowSystem& windows,
                   std::filesystem::path logPath, removal::LogWriter::Clock clock)
    : frmKeysToDelete(windows, selection, [this] { deleteKeys(); }),
      m_api(api),
      m_windows(windows),
      m_log(std::move(logPath), std::move(clock)) {}

void MainForm::setMousePointer(int pointer) {
  MousePointer = pointer;
  m_windows.mainSetMousePointer(pointer);
}

void MainForm::endProgram() {
  m_ended = true;
  m_windows.endProgram();
}

void MainForm::Form_Load(const std::string& argumentText) {
  CommandLineFlags flags = ParseCommandLine(argumentText, selection);
  bAutoRun = flags.bAutoRun;
  bDisplay = flags.bDisplay;
  if (bDisplay) {
    m_windows.mainHide();
    setMousePointer(ui::vbArrowHourglass);
    setMousePointer(ui::vbDefault);
    m_windows.mainUnload();
    endProgram();
    return;
  }
  if (bAutoRun) {
    m_windows.mainHide();
    setMousePointer(ui::vbArrowHourglass);
    selection.chkControl = 0;
    cmdContinue_Click();
    if (!m_ended) {
      setMousePointer(ui::vbDefault);
      m_windows.mainUnload();
      endProgram();
    }
  }
}

void MainForm::cmdContinue_Click() {
  BuildPatternList(selection, patterns);

  if (selection.chkRemoteComputer != 0) {
    const std::string name = selection.txtRemoteComputer;  // exactly as typed
    if (!registry::ConnectRemoteRegistry(m_api, name, lRootKey)) {
      if (!bAutoRun)
        m_windows.MsgBox("Unable to connect to the remote machine " + name + ".", ui::vbCritical,
                         ui::kApplicationTitle);
      return;
    }
  } else {
    lRootKey = registry::HKEY_CLASSES_ROOT;
  }

  setMousePointer(ui::vbHourglass);
  m_windows.mainHide();
  if (!bAutoRun) {
    frmControl.Form_Load();
    m_progressLoaded = true;
    m_windows.progressShow(frmControl);
  }

  scan::ScanContext context{m_api,      lRootKey,   patterns,
                            typeLibs,   frmKeysToDelete.lvwKeys,
                            lKeysFound, bAutoRun ? nullptr : this,
                            timings};
  scan::ScanRegistry(context);
  if (m_progressLoaded) m_windows.progressScansEnded(frmControl);

  if (selection.chkControl != 0) {
    frmKeysToDelete.Label1 = std::to_string(lKeysFound) + " " + frmKeysToDelete.Label1;
    frmKeysToDelete.lvwKeys.setSortKey(1);
    frmKeysToDelete.lvwKeys.setSorted(true);
    m_windows.reviewShowModal(frmKeysToDelete);
  } else {
    frmKeysToDelete.DeleteKeys();
  }

  setMousePointer(ui::vbDefault);
  m_windows.progressUnload();
  m_windows.mainUnload();
  endProgram();
}

void MainForm::progressStep(std::string_view label, const std::string& name,
                            std::int32_t lDeleted) {
  if (!m_progressLoaded) {
    frmControl.Form_Load();
    m_progressLoaded = true;
  }
  frmControl.Update(label, name, lDeleted);
  m_windows.progressRefresh(frmControl);
}

void MainForm::deleteKeys() {
  removal::RemovalContext context{m_api,    lRootKey,  selection,    lKeysFound, bAutoRun,
                                  m_log,    m_windows, lKeysDeleted, outcome,
                                  timings,  backup};
  removal::DeleteKeys(context, frmKeysToDelete.lvwKeys);
}

void MainForm::chkRemoteComputer_Click() {
  bool visible = selection.chkRemoteComputer != 0;
  lblRemoteComputerVisible = visible;
  txtRemoteComputerVisible = visible;  // hiding keeps the typed name
}

void MainForm::cmdCancel_Click() {
  m_windows.mainUnload();
  endProgram();
}

void MainForm::cmdTIP_Click() { m_windows.tipShowModal(); }

}  // namespace comsweep::app
