#include "frontends/win32/Win32Session.h"

#include <commctrl.h>

#include <iostream>

#include "app/MachineChooser.h"
#include "frontends/win32/MainWindow.h"

namespace comsweep::win32 {

Win32Session::Win32Session(app::MachineChooser& chooser, std::function<void()> quit)
    : m_windows([&chooser] { return chooser.machine(); }, std::move(quit)), m_form(chooser, m_windows) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  m_main = std::make_unique<MainWindow>(m_form, chooser);
  m_windows.setMainWindow(m_main.get());
}

Win32Session::~Win32Session() { m_windows.setMainWindow(nullptr); }

void Win32Session::show() {
  m_form.windowOpened();
  m_main->show();
}

int Win32Session::report() const { return m_form.report(std::cerr); }

int runWin32Program(app::MachineChooser& chooser) {
  Win32Session session(chooser, [] { PostQuitMessage(0); });
  session.show();
  MSG msg;
  while (!session.ended() && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(session.mainWindow().handle(), &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return session.report();
}

}  // namespace comsweep::win32
