#pragma once
// One interactive start on the machine the operator chooses: the main
// window's logic, the windows it shows, and the outcome once the program has
// ended. The run itself (registry calls, backup, log, outcome) is an
// app::Session's on the machine chosen when it starts, as for every run.
// Needs a QApplication; shows nothing before show().

#include <functional>
#include <iosfwd>
#include <memory>

#include "app/MainForm.h"
#include "frontends/qt/QtWindowSystem.h"

namespace comsweep::app {
class MachineChooser;
}

namespace comsweep::qt {

class MainWindow;
class ModalRunner;

class InteractiveSession {
 public:
  // `quit` leaves the event loop when the program ends.
  InteractiveSession(app::MachineChooser& chooser, ModalRunner& modal,
                     std::function<void()> quit = {});
  ~InteractiveSession();
  InteractiveSession(const InteractiveSession&) = delete;
  InteractiveSession& operator=(const InteractiveSession&) = delete;

  // The main window, at once; the chosen machine is read behind it.
  void show();
  bool ended() const { return m_windows.ended(); }
  MainWindow& mainWindow() { return *m_main; }
  const app::RunOutcome& outcome() const { return m_form.outcome(); }
  // The program's exit status, as for an unattended run.
  int exitStatus() const { return app::exitStatusOf(m_form.outcome()); }
  // Says on `err` what went wrong; returns the exit status.
  int report(std::ostream& err) const { return m_form.report(err); }

 private:
  QtWindowSystem m_windows;
  app::MainForm m_form;
  std::unique_ptr<MainWindow> m_main;
};

}  // namespace comsweep::qt
