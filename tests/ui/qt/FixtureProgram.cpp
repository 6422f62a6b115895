// The interactive program on the fixture machine. Drive C: (and so the log)
// is $COMSWEEP_FIXTURE_DRIVE_C, else a directory made under /tmp.

#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "FixtureMachine.h"
#include "ui/qt/QtProgram.h"

int main(int argc, char** argv) {
  std::filesystem::path driveC;
  if (const char* dir = std::getenv("COMSWEEP_FIXTURE_DRIVE_C"); dir && *dir) {
    driveC = dir;
  } else {
    std::string pattern = (std::filesystem::temp_directory_path() / "comsweep-fixture-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return 2;
    driveC = pattern;
  }
  std::cerr << "drive C: is " << driveC.string() << "\n";
  auto machine = comsweep::test::makeFixtureMachine(driveC);
  return comsweep::ui::runQtProgram(argc, argv, *machine);
}
