#pragma once
// The main window's logic for one interactive start: the machine the
// operator chooses, the run from the ticked boxes to the end of the
// program, and the main window's small events. The run's registry calls,
// backup, log and outcome are the session's; this class decides what the
// windows show around them.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "app/RunOutcome.h"
#include "app/Session.h"
#include "families/PatternList.h"
#include "families/Selection.h"
#include "registry/api/RegistryApi.h"
#include "scan/Scanner.h"
#include "scan/UserClassesScan.h"
#include "forms/ProgressState.h"
#include "forms/ReviewState.h"
#include "forms/WindowSystem.h"

namespace comsweep::app {

class MachineChooser;

class MainForm : private scan::ProgressSink {
 public:
  // Every run goes through `session`. Both must outlive the form.
  MainForm(Session& session, forms::WindowSystem& windows);
  // An interactive start on the machine the operator chooses, read while
  // the window waits: a run is refused while none is read, and otherwise
  // takes the machine's run lock and gets a session of its own on the
  // machine chosen when it starts. Both must outlive the form.
  MainForm(MachineChooser& chooser, forms::WindowSystem& windows);
  ~MainForm() override;

  // The window opens: the chosen machine is read behind it, unless it is
  // read already or being read.
  void windowOpened();
  // The operator chose `machine`: it is read from now on.
  void machineChosen(const std::filesystem::path& machine);
  // The operator picked the machine the chooser lists at `index`: it is read
  // unless it is the one read already. False when nothing new was chosen.
  bool listedMachineChosen(int index);
  // Asked by the window while the chosen machine is read: true once the
  // reading is over; a machine that could not be opened says why in a box,
  // and the window waits for another choice.
  bool machineReadingEnded();

  // One run; returns early, with the window waiting, only when no machine
  // is read, the remote connection failed or the run gate refused.
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

  // Asked before a run reads the machine; a refusal (why) is shown and the
  // window waits. None by default; with a chooser, its run lock.
  void setRunGate(std::function<std::string()> gate) { m_runGate = std::move(gate); }

  // What the last run used and did.
  const families::PatternList& patterns() const { return m_patterns; }
  registry::HKEY root() const { return m_root; }
  // Empty before a run has started.
  const RunOutcome& outcome() const;
  // Says on `err` what went wrong in the run, if anything; returns the exit
  // status.
  int report(std::ostream& err) const;
  // The keys the last run's scans found, struck ones marked kept.
  const scan::FoundKeyList& foundKeys() const { return m_review.foundKeys; }

 private:
  void progressStep(std::string_view label, const std::string& name,
                    std::int32_t foundSoFar) override;
  void endProgram();
  void removeKeys();
  // The box of reasons; nothing when there are none.
  void showReasons(const std::vector<std::string>& reasons);

  MachineChooser* m_chooser = nullptr;
  std::unique_ptr<Session> m_ownSession;  // on the chooser's machine
  Session* m_session = nullptr;           // the run's; null before one
  forms::WindowSystem& m_windows;
  std::function<std::string()> m_runGate;
  std::vector<scan::ClassesView> m_userClasses;

  families::Selection m_selection;
  bool m_remoteNameVisible = false;

  families::PatternList m_patterns;
  registry::HKEY m_root = 0;
  std::int32_t m_keysFound = 0;

  forms::ProgressState m_progress;
  bool m_progressLoaded = false;
  forms::ReviewState m_review;
  bool m_ended = false;
};


}  // namespace comsweep::app
