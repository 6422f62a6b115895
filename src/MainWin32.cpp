// comsweep.exe: the Windows program. Arguments and environment arrive as
// UTF-16 and are handed on as UTF-8, the program's own text. Any argument
// text makes the run unattended and shows nothing; a start without
// arguments opens the main window.

#include <cstdlib>
#include <cwchar>
#include <iostream>
#include <string>
#include <vector>

#include "app/Program.h"
#include "platform/WideText.h"
#include "frontends/win32/Desktop.h"
#include "frontends/win32/StartMessages.h"
#include "frontends/win32/Win32Session.h"

int wmain(int argc, wchar_t** argv) {
  comsweep::app::ProgramEnvironment environment;
  for (wchar_t** e = _wenviron; e && *e; ++e) {
    std::string entry = comsweep::platform::narrowText(*e);
    // Entries such as "=C:=C:\" name the current directory of a drive.
    std::size_t eq = entry.find('=', 1);
    if (eq != std::string::npos) environment.env[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(comsweep::platform::narrowText(argv[i]));
  environment.interactive = [](comsweep::app::MachineChooser& chooser) {
    // Without a desktop the windows would wait for an operator who cannot
    // see them.
    const std::string problem = comsweep::win32::missingDesktopMessage();
    if (!problem.empty()) {
      std::cerr << problem;
      return comsweep::app::kExitMachineFailed;
    }
    // A console made for this start alone (a start from the Start menu or
    // Explorer) would stand empty behind the windows; one shared with the
    // shell the program was started from stays.
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) == 1) FreeConsole();
    return comsweep::win32::runWin32Program(chooser);
  };
  environment.messageWindows = [] { return comsweep::win32::startMessages(); };
  return comsweep::app::runProgram(args, environment, std::cout, std::cerr);
}
