#pragma once
// One interactive start on the machine the operator chooses: the main
// window's logic, the windows it shows, and the outcome once the program has
// ended. Needs a QApplication; shows nothing before show().

#include <functional>
#include <memory>

#include "app/MainForm.h"
#include "ui/qt/QtWindowSystem.h"

namespace comsweep::app {
class MachineChooser;
}

namespace comsweep::ui {

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

  // Start-up without arguments, then the main window.
  void show();
  bool ended() const { return m_windows.ended(); }
  MainWindow& mainWindow() { return *m_main; }
  const app::RunOutcome& outcome() const { return m_form.outcome(); }
  // The program's exit status, as for an unattended run.
  int exitStatus() const;

 private:
  QtWindowSystem m_windows;
  app::MainForm m_form;
  std::unique_ptr<MainWindow> m_main;
};

}  // namespace comsweep::ui
