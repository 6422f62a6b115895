// Machines no registry could hold, and a hive that shrinks under the run:
// the run refuses or stops with a message naming the key or the file, and
// leaves the machine and its directory as they were.

#include <gtest/gtest.h>
#include <unistd.h>

#include "e2e/FamilyMachine.h"
#include "support/RunBinary.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

// Every file below `dir` with its bytes.
std::map<std::string, std::string> contents(const std::filesystem::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
    if (entry.is_regular_file()) files[entry.path().string()] = readFile(entry.path());
  return files;
}

// A machine whose classes hold `odd` before the family key m9q.Z.
std::filesystem::path machineWith(const std::filesystem::path& dir, Format format, const std::string& odd) {
  return writeMachine(dir, format, {{odd, "x"}, {"m9q.Z", "x"}});
}

TEST(DamagedMachine, AKeyNoRegistryCanHoldIsRefusedAtOpenNamingIt) {
  std::string deep = "Deep";
  for (int level = 0; level < 600; ++level) deep += "\\L" + std::to_string(level);
  const std::string longName(800, 'A');
  const struct {
    std::string odd;
    const char* said;
  } cases[] = {{longName, "has a name of 800 characters; a registry key name holds at most 255"},
               {"Ok\\" + longName + "\\Below", "has a name of 800 characters"},
               {deep, "levels deep, deeper than a registry allows"}};
  for (Format format : {Format::Reg, Format::Wine, Format::Hive}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::to_string(static_cast<int>(format)) + " " + c.said);
      TempDir dir;
      const std::filesystem::path machine = machineWith(dir.path(), format, c.odd);
      const auto before = contents(dir.path());
      BinaryResult r = runComsweep({"/M9Q"}, {{{"COMSWEEP_MACHINE", machine.string()}}});
      EXPECT_EQ(r.status, 2) << r.err;
      EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
      // The key is named, shortened to a readable length.
      EXPECT_NE(r.err.find(c.odd.substr(0, 2)), std::string::npos) << r.err;
      EXPECT_LT(r.err.size(), 600u) << r.err;
      EXPECT_EQ(contents(dir.path()), before);
    }
  }
}

// The hive is cut to its header while the run, stopped once the keys are
// read, has it mapped: reading a value then faults.
TEST(DamagedMachine, AHiveThatShrinksUnderTheRunStopsItWithAMessage) {
  TempDir dir;
  const std::filesystem::path hive = machineWith(dir.path(), Format::Hive, "m9q.A");
  const std::string header = readFile(hive).substr(0, 4096);
  BinaryOptions options{{{"COMSWEEP_MACHINE", hive.string()}, {"COMSWEEP_TEST_STOP_AT", "hive-loaded"}}};
  int stops = 0;
  options.whenStopped = [&] {
    ++stops;
    ASSERT_EQ(::truncate(hive.c_str(), 4096), 0);
  };
  BinaryResult r = runComsweep({"/M9Q"}, options);
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_EQ(r.err, "comsweep: " + hive.string() + ": changed while it was being read (it shrank); the run was stopped\n");
  // No backup, no log, no temporary: only the hive, as the test left it.
  std::map<std::string, std::string> expected{{hive.string(), header}};
  EXPECT_EQ(contents(dir.path()), expected);
}

}  // namespace
}  // namespace comsweep::test
