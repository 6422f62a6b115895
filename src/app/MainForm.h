#pragma once
// The main window's logic and the program's state for one start: the
// start-up decision, the run from the ticked boxes to the end of the
// program, and the main window's small events.

#include <cstdint>
#include <filesystem>
#include <string>

#include "app/RunOutcome.h"
#include "families/PatternList.h"
#include "families/Selection.h"
#include "registry/RegistryApi.h"
#include "removal/KeyRemoval.h"
#include "removal/LogWriter.h"
#include "scan/Scanner.h"
#include "ui/ProgressState.h"
#include "ui/ReviewState.h"
#include "ui/WindowSystem.h"

namespace comsweep::app {

class MachineChooser;

class MainForm : private scan::ProgressSink {
 public:
  // logPath is where "C:\9QReg.log" lives on this machine.
  MainForm(registry::RegistryApi& api, ui::WindowSystem& windows, std::filesystem::path logPath,
           removal::LogWriter::Clock clock = removal::currentDateTimeText);

  // Start-up: reads the argument text; runs unattended, ends at once, or
  // returns for the operator (ended() tells which).
  void load(const std::string& argumentText);
  // One run; returns early, with the window waiting, only when the remote
  // connection failed.
  void continueClicked();
  // After the remote-machine box changed: shows or hides the name field.
  void remoteMachineClicked();
  void manualClicked() {}
  void cancelClicked();
  void tipClicked();

  bool ended() const { return m_ended; }

  // The selection as the window shows and edits it and the run reads it.
  families::Selection& selection() { return m_selection; }
  const families::Selection& selection() const { return m_selection; }
  // Whether the remote machine's label and name field are shown.
  bool remoteNameVisible() const { return m_remoteNameVisible; }

  // An interactive start: the machine is the one the operator chooses, read
  // while the window waits; a run takes the registry calls (the chooser's
  // api(), which the form was made with), log path, backup and run lock of
  // the machine chosen when it starts, and is refused while none is read.
  void setMachineChooser(MachineChooser* chooser);
  // The operator chose `machine`: it is read from now on.
  void machineChosen(const std::filesystem::path& machine);
  // Asked by the window while the chosen machine is read: true once the
  // reading is over; a machine that could not be opened says why in a box,
  // and the window waits for another choice.
  bool machineReadingEnded();

  // Phase marks for the benchmark; none by default.
  void setTimings(util::Timings* timings) { m_timings = timings; }
  // Asked before a run reads the machine; a refusal (why) is shown and the
  // window waits. None by default.
  void setRunGate(std::function<std::string()> gate) { m_runGate = std::move(gate); }
  // Writes the undo file before the first removal; none by default.
  void setBackup(removal::Backup backup) { m_backup = std::move(backup); }

  // What the last run used and did.
  const families::PatternList& patterns() const { return m_patterns; }
  registry::HKEY root() const { return m_root; }
  std::int32_t keysRemoved() const { return m_outcome.removal.removed; }
  const RunOutcome& outcome() const { return m_outcome; }
  // The keys the last run's scans found, struck ones marked kept.
  const scan::FoundKeyList& foundKeys() const { return m_review.foundKeys; }

 private:
  void progressStep(std::string_view label, const std::string& name,
                    std::int32_t foundSoFar) override;
  void setMousePointer(int pointer);
  void endProgram();
  void removeKeys();
  // An interactive run's box of reasons; nothing when there are none.
  void showReasons(const std::vector<std::string>& reasons);

  registry::RegistryApi& m_api;
  ui::WindowSystem& m_windows;
  std::filesystem::path m_logPath;
  removal::LogWriter::Clock m_clock;
  MachineChooser* m_chooser = nullptr;
  util::Timings* m_timings = nullptr;
  removal::Backup m_backup;
  std::function<std::string()> m_runGate;

  families::Selection m_selection;
  bool m_unattended = false;
  bool m_remoteNameVisible = false;

  families::PatternList m_patterns;
  registry::HKEY m_root = 0;
  std::int32_t m_keysFound = 0;
  RunOutcome m_outcome;

  ui::ProgressState m_progress;
  bool m_progressLoaded = false;
  ui::ReviewState m_review;
  bool m_ended = false;
};

}  // namespace comsweep::app
