// Machines no registry could hold, and a file that shrinks under the run:
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

// The machine's file is cut short while the run, stopped once the file is
// in memory, has it mapped (a hive cut to its header once its keys are
// read, a text file emptied before it is parsed): reading on then faults.
TEST(DamagedMachine, AFileThatShrinksUnderTheRunStopsItWithAMessage) {
  for (Format format : {Format::Hive, Format::Reg, Format::Wine}) {
    SCOPED_TRACE(static_cast<int>(format));
    TempDir dir;
    const std::filesystem::path machine = machineWith(dir.path(), format, "m9q.A");
    const std::filesystem::path file = format == Format::Wine ? machine / "system.reg" : machine;
    const std::size_t cut = format == Format::Hive ? 4096 : 0;
    const std::string kept = readFile(file).substr(0, cut);
    BinaryOptions options{{{"COMSWEEP_MACHINE", machine.string()},
                           {"COMSWEEP_TEST_STOP_AT", format == Format::Hive ? "hive-loaded" : "text-shown"}}};
    int stops = 0;
    options.whenStopped = [&] {
      ++stops;
      ASSERT_EQ(::truncate(file.c_str(), static_cast<off_t>(cut)), 0);
    };
    BinaryResult r = runComsweep({"/M9Q"}, options);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(r.err, "comsweep: " + file.string() + ": changed while it was being read (it shrank); the run was stopped\n");
    // No backup, no log, no temporary: only the machine, as the test left it.
    std::map<std::string, std::string> expected{{file.string(), kept}};
    EXPECT_EQ(contents(dir.path()), expected);
  }
}

}  // namespace
}  // namespace comsweep::test
