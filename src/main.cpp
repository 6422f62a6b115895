// comsweep: removes leftover COM registration keys of the chosen component
// families. Any argument text makes the run unattended, without a window.

#include <clocale>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/Program.h"

#ifdef COMSWEEP_WITH_GUI
#include "frontends/qt/QtProgram.h"
#include "frontends/qt/StartMessages.h"
#endif

extern char** environ;

int main(int argc, char** argv) {
  std::setlocale(LC_TIME, "");  // the log's dates follow the user's conventions

  comsweep::app::ProgramEnvironment environment;
  for (char** e = environ; e && *e; ++e) {
    std::string entry = *e;
    std::size_t eq = entry.find('=');
    if (eq != std::string::npos) environment.env[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
#ifdef COMSWEEP_WITH_GUI
  environment.interactive = [argc, argv](comsweep::app::MachineChooser& chooser) {
    return comsweep::qt::runQtProgram(argc, argv, chooser);
  };
  std::unique_ptr<comsweep::qt::StartMessages> boxes;
  environment.messageWindows = [&argc, argv, &boxes] {
    return comsweep::qt::startMessages(argc, argv, boxes);
  };
#endif
  std::vector<std::string> args(argv + 1, argv + argc);
  return comsweep::app::runProgram(args, environment, std::cout, std::cerr);
}
