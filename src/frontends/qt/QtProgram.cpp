#include "frontends/qt/QtProgram.h"

#include <QApplication>
#include <cstdlib>
#include <iostream>

#include "app/MachineChooser.h"
#include "app/Program.h"
#include "frontends/qt/InteractiveSession.h"
#include "frontends/qt/ModalRunner.h"
#include "frontends/qt/Pictures.h"

namespace comsweep::qt {
namespace {

bool isSet(const char* value) { return value != nullptr && *value != '\0'; }

}  // namespace

std::string missingDisplayMessage(const char* display, const char* waylandDisplay,
                                  const char* platform) {
#if defined(__unix__) && !defined(__APPLE__)
  if (isSet(display) || isSet(waylandDisplay) || isSet(platform)) return {};
  return "comsweep: no display to open the windows on (neither DISPLAY nor WAYLAND_DISPLAY is "
         "set).\n"
         "An unattended run needs no display: give switches, for example 'comsweep /M9Q' "
         "(see 'comsweep --help').\n"
         "For the windows, start it in a desktop session, over 'ssh -X', or under "
         "'xvfb-run'.\n";
#else
  (void)display;
  (void)waylandDisplay;
  (void)platform;
  return {};
#endif
}

int runQtProgram(int argc, char** argv, app::MachineChooser& chooser) {
  // Qt would abort without a display; say what to do instead.
  const std::string problem = missingDisplayMessage(
      std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"), std::getenv("QT_QPA_PLATFORM"));
  if (!problem.empty()) {
    std::cerr << problem;
    return 2;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("comsweep"));
  QApplication::setWindowIcon(Pictures::animationFrame(QStringLiteral("REG0")));
  // The program ends when the logic says so, not when a window closes.
  QApplication::setQuitOnLastWindowClosed(false);

  ModalRunner modal;
  InteractiveSession session(chooser, modal, [] { QCoreApplication::exit(0); });
  session.show();
  if (!session.ended()) QApplication::exec();

  return session.report(std::cerr);
}

}  // namespace comsweep::qt
