#pragma once
// One interactive start on the machine the operator chooses: the main
// window's logic, the Win32 windows it shows, and the outcome once the
// program has ended. The run itself (registry calls, backup, log, outcome)
// is an app::Session's on the machine chosen when it starts, as for every
// run.

#include <functional>
#include <memory>
#include <string>

#include "app/MainForm.h"
#include "frontends/win32/Win32WindowSystem.h"

namespace comsweep::app {
class MachineChooser;
}

namespace comsweep::win32 {

class MainWindow;

class Win32Session {
 public:
  // `quit` ends the program's message loop when the program ends.
  explicit Win32Session(app::MachineChooser& chooser, std::function<void()> quit = {});
  ~Win32Session();
  Win32Session(const Win32Session&) = delete;
  Win32Session& operator=(const Win32Session&) = delete;

  // The main window.
  void show();
  bool ended() const { return m_windows.ended(); }
  Win32WindowSystem& windows() { return m_windows; }
  MainWindow& mainWindow() { return *m_main; }
  const app::RunOutcome& outcome() const { return m_form.outcome(); }
  // The program's exit status, as for an unattended run.
  int exitStatus() const { return app::exitStatusOf(m_form.outcome()); }
  // Says on standard error what went wrong; returns the exit status.
  int report() const;

 private:
  Win32WindowSystem m_windows;
  app::MainForm m_form;
  std::unique_ptr<MainWindow> m_main;
};

// The interactive program: the main window on the machine the operator
// chooses, until the program ends. Returns the exit status.
int runWin32Program(app::MachineChooser& chooser);

}  // namespace comsweep::win32
