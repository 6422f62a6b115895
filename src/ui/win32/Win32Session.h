#pragma once
// One interactive start on an opened machine: the main window's logic, the
// Win32 windows it shows, and the outcome once the program has ended. The
// run itself (registry calls, backup, log, outcome) is app::Session's, as
// for every run.

#include <functional>
#include <memory>
#include <string>

#include "app/MainForm.h"
#include "app/Session.h"
#include "ui/win32/Win32WindowSystem.h"

namespace comsweep::registry {
struct Machine;
}

namespace comsweep::ui::win32 {

class MainWindow;

class Win32Session {
 public:
  // `quit` ends the program's message loop when the program ends; `runGate`
  // is asked before each run (MainForm::setRunGate).
  explicit Win32Session(registry::Machine& machine, std::function<void()> quit = {},
                        std::function<std::string()> runGate = {});
  ~Win32Session();
  Win32Session(const Win32Session&) = delete;
  Win32Session& operator=(const Win32Session&) = delete;

  // The main window.
  void show();
  bool ended() const { return m_windows.ended(); }
  Win32WindowSystem& windows() { return m_windows; }
  MainWindow& mainWindow() { return *m_main; }
  const app::RunOutcome& outcome() const { return m_run.outcome(); }
  // The program's exit status, as for an unattended run.
  int exitStatus() const { return m_run.exitStatus(); }
  // Says on standard error what went wrong; returns the exit status.
  int report() const;

 private:
  app::Session m_run;
  Win32WindowSystem m_windows;
  app::MainForm m_form;
  std::unique_ptr<MainWindow> m_main;
};

// The interactive program: the main window on the given machine, until the
// program ends; each run first passes `runGate`. Returns the exit status.
int runWin32Program(registry::Machine& machine, const std::function<std::string()>& runGate = {});

}  // namespace comsweep::ui::win32
