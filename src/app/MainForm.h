#pragma once
// The main window's logic and the program's state for one start: the
// start-up decision, the run from the ticked boxes to the end of the
// program, and the main window's small events.

#include <cstdint>
#include <filesystem>
#include <string>

#include "app/CommandLine.h"
#include "app/Families.h"
#include "registry/RegistryApi.h"
#include "removal/KeyRemoval.h"
#include "removal/LogWriter.h"
#include "scan/Scanner.h"
#include "scan/TypeLibTable.h"
#include "ui/ControlForm.h"
#include "ui/KeysToDeleteForm.h"
#include "ui/WindowSystem.h"

namespace comsweep::app {

class MainForm : private scan::ProgressSink {
 public:
  // logPath is where "C:\9QReg.log" lives on this machine.
  MainForm(registry::RegistryApi& api, ui::WindowSystem& windows, std::filesystem::path logPath,
           removal::LogWriter::Clock clock = removal::currentDateTimeText);

  // Start-up: reads the argument text; runs unattended, ends at once, or
  // returns for the operator (ended() tells which).
  void Form_Load(const std::string& argumentText);
  // One run; returns early, with the window waiting, only when the remote
  // connection failed.
  void cmdContinue_Click();
  void chkRemoteComputer_Click();
  void cmdManual_Click() {}
  void cmdCancel_Click();
  void cmdTIP_Click();

  bool ended() const { return m_ended; }

  // The selection and the flags, as the window shows and the run reads them.
  Selection selection;
  bool bAutoRun = false;
  bool bDisplay = false;
  bool lblRemoteComputerVisible = false;
  bool txtRemoteComputerVisible = false;
  int MousePointer = ui::vbDefault;

  // The run's globals.
  PatternList patterns;
  registry::HKEY lRootKey = 0;
  scan::TypeLibTable typeLibs;
  std::int32_t lKeysFound = 0;
  std::int32_t lKeysDeleted = 0;
  removal::RunOutcome outcome;
  util::Timings* timings = nullptr;  // phase marks for the benchmark
  removal::Backup backup;            // writes the undo file before the first removal

  ui::ControlForm frmControl;
  ui::KeysToDeleteForm frmKeysToDelete;

 private:
  void progressStep(std::string_view label, const std::string& name,
                    std::int32_t lDeleted) override;
  void setMousePointer(int pointer);
  void endProgram();
  void deleteKeys();

  registry::RegistryApi& m_api;
  ui::WindowSystem& m_windows;
  removal::LogWriter m_log;
  bool m_progressLoaded = false;
  bool m_ended = false;
};

}  // namespace comsweep::app
