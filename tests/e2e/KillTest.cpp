// Runs killed at arbitrary instants: the machine file must be exactly as
// before or exactly the finished result, and whatever it lacks must be in
// the backup, which is on the disk before the machine changes.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <random>
#include <thread>

#include "e2e/FamilyMachine.h"
#include "support/MachineDump.h"
#include "support/RunBinary.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

// Each signal in turn, at a random instant of a run on a .reg file and on a
// hive: the machine is as it was (and, killed, no log claims removals) or
// finished, and but for SIGKILL no temporary file is left. (That a finished
// run's backup gives the machine back is Undo's to check.)
TEST(Kill, AMachineIsNeverLeftHalfDone) {
  TempDir sources;
  // Big enough that a run takes some milliseconds.
  makeMachine(sources.path(), Format::Reg, 3000);
  makeMachine(sources.path(), Format::Hive, 1500);
  std::mt19937 random(20261206);
  for (const char* name : {"m.reg", "SOFTWARE"}) {
    const std::string original = readFile(sources / name);
    auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(runComsweep({"/M9Q"}, {.machine = sources / name}).status, 0);
    const auto longest =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started) * 5 / 4;
    const std::string result = readFile(sources / name);
    ASSERT_NE(result, original);
    for (int run = 0; run < 24; ++run) {
      SCOPED_TRACE(std::string(name) + " run " + std::to_string(run));
      TempDir dir;
      writeFile(dir / name, original);
      const int signal = std::array{SIGKILL, SIGINT, SIGTERM, SIGHUP}[run % 4];
      const int pid = spawnComsweep({"/M9Q"}, {.machine = dir / name});
      std::this_thread::sleep_for(std::chrono::microseconds(random() % (longest.count() + 1)));
      ::kill(pid, signal);
      waitForExit(pid);
      const std::string now = readFile(dir / name);
      // Names a run writes under and renames start with a dot: none may be
      // left by a run that could clean up.
      if (signal != SIGKILL) {
        EXPECT_EQ(filesStarting(dir.path(), "."), std::vector<std::filesystem::path>());
      }
      EXPECT_TRUE(now == original || now == result) << "the machine file is neither before nor after";
      if (now == original && signal == SIGKILL) {
        EXPECT_FALSE(std::filesystem::exists(dir / "9QReg.log")) << "a log of removals the machine does not show";
      }
    }
  }
}

// Crashes at fixed instants of the save (the program kills itself there):
// the machine file is whole, either as it was or finished, and a log appears
// only with the machine it describes.
TEST(Kill, ACrashInsideTheSaveLeavesTheMachineBeforeOrAfter) {
  for (Format format : {Format::Reg, Format::Wine, Format::Hive}) {
    // What to run on, the machine's file, and where its log and backup go.
    auto place = [&](const TempDir& dir) {
      const std::filesystem::path machine = makeMachine(dir.path(), format, 1);
      const bool wine = format == Format::Wine;
      return std::array{machine, wine ? machine / "system.reg" : machine, wine ? machine / "drive_c" : dir.path()};
    };
    TempDir finished;
    const auto done = place(finished);
    const std::string original = readFile(done[1]);
    ASSERT_EQ(runComsweep({"/M9Q"}, {.machine = done[0]}).status, 0);
    const std::string result = readFile(done[1]);
    ASSERT_NE(result, original);
    for (const char* point : {"save-before-rename", "save-after-rename", "log-before-rename"}) {
      SCOPED_TRACE(done[1].filename().string() + " at " + point);
      TempDir dir;
      const auto crashed = place(dir);
      const BinaryOptions options{.env = {{"COMSWEEP_TEST_CRASH_AT", point}}, .machine = crashed[0]};
      EXPECT_EQ(runComsweep({"/M9Q"}, options).status, 128 + SIGKILL);
      EXPECT_EQ(readFile(crashed[1]), std::string(point) == "save-before-rename" ? original : result);
      EXPECT_FALSE(std::filesystem::exists(crashed[2] / "9QReg.log"));
      // The backup was on the disk before anything changed.
      auto found = filesStarting(crashed[2], "9QReg-");
      ASSERT_EQ(found.size(), 1u);
      EXPECT_NE(plainText(readFile(found[0])).find("\\m9q.Part0]\n@=\"x\""), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace comsweep::test
