#pragma once
// One interactive start on an opened machine: the main window's logic, the
// windows it shows, and the outcome once the program has ended. The run
// itself (registry calls, backup, log, outcome) is app::Session's, as for
// every run. Needs a QApplication; shows nothing before show().

#include <functional>
#include <iosfwd>
#include <memory>

#include "app/MainForm.h"
#include "app/Session.h"
#include "ui/qt/QtWindowSystem.h"

namespace comsweep::registry {
struct Machine;
}

namespace comsweep::ui {

class MainWindow;
class ModalRunner;

class InteractiveSession {
 public:
  // `quit` leaves the event loop when the program ends; `runGate` is asked
  // before each run (MainForm::setRunGate).
  InteractiveSession(registry::Machine& machine, ModalRunner& modal,
                     std::function<void()> quit = {}, std::function<std::string()> runGate = {});
  ~InteractiveSession();
  InteractiveSession(const InteractiveSession&) = delete;
  InteractiveSession& operator=(const InteractiveSession&) = delete;

  // The main window.
  void show();
  bool ended() const { return m_windows.ended(); }
  MainWindow& mainWindow() { return *m_main; }
  const app::RunOutcome& outcome() const { return m_run.outcome(); }
  // The program's exit status, as for an unattended run.
  int exitStatus() const { return m_run.exitStatus(); }
  // Says on `err` what went wrong; returns the exit status.
  int report(std::ostream& err) const { return m_run.report(err); }

 private:
  app::Session m_run;
  QtWindowSystem m_windows;
  app::MainForm m_form;
  std::unique_ptr<MainWindow> m_main;
};

}  // namespace comsweep::ui
