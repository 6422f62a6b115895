#include "ui/win32/Win32Session.h"

#include <commctrl.h>

#include <iostream>

#include "app/Program.h"
#include "registry/Machine.h"
#include "removal/UndoFile.h"
#include "ui/win32/MainWindow.h"

namespace comsweep::ui::win32 {

Win32Session::Win32Session(registry::Machine& machine, std::function<void()> quit,
                           std::function<std::string()> runGate)
    : m_table(*machine.store),
      m_windows(machine, std::move(quit)),
      m_form(machine.api ? *machine.api : static_cast<registry::RegistryApi&>(m_table), m_windows,
             app::logPathOf(machine)) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  m_main = std::make_unique<MainWindow>(m_form, machine);
  m_windows.setMainWindow(m_main.get());
  m_form.setBackup(removal::undoFileBackup(machine));
  m_form.setUserClasses(app::userClassesOf(machine));
  m_form.setRunGate(std::move(runGate));
}

Win32Session::~Win32Session() { m_windows.setMainWindow(nullptr); }

void Win32Session::show() {
  m_form.load("");
  if (!ended()) m_main->show();
}

int Win32Session::exitStatus() const { return app::exitStatusOf(m_form.outcome()); }

int runWin32Program(registry::Machine& machine, const std::function<std::string()>& runGate) {
  Win32Session session(machine, [] { PostQuitMessage(0); }, runGate);
  session.show();
  MSG msg;
  while (!session.ended() && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(session.mainWindow().handle(), &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return app::reportOutcome(session.outcome(), app::logPathOf(machine), std::cerr);
}

}  // namespace comsweep::ui::win32
