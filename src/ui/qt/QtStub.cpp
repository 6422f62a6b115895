#include <iostream>

#include "ui/qt/QtProgram.h"

namespace comsweep::ui {

int runQtProgram(int, char**, registry::Machine&) {
  std::cerr << "comsweep: the windows are not built yet; give switches such as /M9Q\n";
  return 2;
}

}  // namespace comsweep::ui
