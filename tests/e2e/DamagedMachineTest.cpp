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

TEST(DamagedMachine, AKeyNoRegistryCanHoldIsRefusedAtOpenNamingIt) {
  std::string deep = "Deep";
  for (int level = 0; level < 600; ++level) deep += "\\L" + std::to_string(level);
  const std::string longName(800, 'A');
  // odd: the key, held before the family key m9q.Z.
  const struct { std::string odd; const char* said; } cases[] = {
      {longName, "has a name of 800 characters; a registry key name holds at most 255"},
      {"Ok\\" + longName + "\\Below", "has a name of 800 characters"},
      {deep, "levels deep, deeper than a registry allows"}};
  for (Format format : {Format::Reg, Format::Wine, Format::Hive}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::to_string(static_cast<int>(format)) + " " + c.said);
      TempDir dir;
      const auto machine = writeMachine(dir.path(), format, {{c.odd, "x"}, {"m9q.Z", "x"}});
      const auto before = filesBelow(dir.path());
      BinaryResult r = runComsweep({"/M9Q"}, {.machine = machine});
      EXPECT_EQ(r.status, 2) << r.err;
      EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
      // The key is named, shortened to a readable length.
      EXPECT_NE(r.err.find(c.odd.substr(0, 2)), std::string::npos) << r.err;
      EXPECT_LT(r.err.size(), 600u) << r.err;
      EXPECT_EQ(filesBelow(dir.path()), before);
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
    const auto machine = writeMachine(dir.path(), format, {{"m9q.A", "x"}, {"m9q.Z", "x"}});
    const std::filesystem::path file = format == Format::Wine ? machine / "system.reg" : machine;
    const std::size_t cut = format == Format::Hive ? 4096 : 0;
    const std::string kept = readFile(file).substr(0, cut);
    int stops = 0;
    auto shrink = [&] { ++stops; ASSERT_EQ(::truncate(file.c_str(), static_cast<off_t>(cut)), 0); };
    const char* stopAt = format == Format::Hive ? "hive-loaded" : "text-shown";
    BinaryResult r =
        runComsweep({"/M9Q"}, {.env = {{"COMSWEEP_TEST_STOP_AT", stopAt}}, .whenStopped = shrink, .machine = machine});
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(r.err, "comsweep: " + file.string() + ": changed while it was being read (it shrank); the run was stopped\n");
    // No backup, no log, no temporary: only the machine, as the test left it.
    EXPECT_EQ(filesBelow(dir.path()), (std::map<std::string, std::string>{{file.string(), kept}}));
  }
}

}  // namespace
}  // namespace comsweep::test
