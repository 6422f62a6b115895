// The interactive program on the fixture machine. Drive C: (and so the log)
// is $COMSWEEP_FIXTURE_DRIVE_C, else a directory made under /tmp.

#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "FixtureMachine.h"
#include "app/MachineChooser.h"
#include "frontends/qt/QtProgram.h"

int main(int argc, char** argv) {
  const char* given = std::getenv("COMSWEEP_FIXTURE_DRIVE_C");
  std::string driveC = (std::filesystem::temp_directory_path() / "comsweep-fixture-XXXXXX").string();
  if (given && *given)
    driveC = given;
  else if (!::mkdtemp(driveC.data()))
    return 2;
  std::cerr << "drive C: is " << driveC << "\n";
  auto machine = comsweep::test::makeFixtureMachine(driveC);
  comsweep::app::MachineChooser chooser({machine->path}, {});
  chooser.adopt(std::move(machine));
  return comsweep::qt::runQtProgram(argc, argv, chooser);
}
