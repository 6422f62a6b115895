// Runs killed at arbitrary instants: the machine file must be exactly as
// before or exactly the finished result, and whatever it lacks must be in
// the backup.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "support/MachineDump.h"
#include "support/RunBinary.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

// A machine big enough that a run takes some milliseconds, with a family
// key in every fiftieth class.
std::string bigMachine() {
  std::string text = "Windows Registry Editor Version 5.00\n\n";
  char guid[64];
  for (int i = 0; i < 6000; ++i) {
    std::snprintf(guid, sizeof guid, "{%08X-0000-0000-0000-000000000000}", i);
    std::string key = std::string("[HKEY_CLASSES_ROOT\\CLSID\\") + guid;
    text += key + "]\n@=\"Class " + std::to_string(i) + "\"\n\n";
    text += key + "\\InprocServer32]\n@=\"C:\\\\lib\\\\" + (i % 50 == 0 ? "m9q" : "x") +
            std::to_string(i) + ".dll\"\n\"ThreadingModel\"=\"Both\"\n\n";
  }
  return text;
}

std::vector<std::filesystem::path> backups(const std::filesystem::path& dir) {
  std::vector<std::filesystem::path> found;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().filename().string().rfind("9QReg-", 0) == 0) found.push_back(entry.path());
  return found;
}

TEST(Kill, AMachineIsNeverLeftHalfDone) {
  const std::string original = bigMachine();
  TempDir finished;
  writeFile(finished / "m.reg", original);
  auto started = std::chrono::steady_clock::now();
  BinaryResult full = runComsweep({"/M9Q"}, {{{"COMSWEEP_MACHINE", (finished / "m.reg").string()}}});
  auto duration = std::chrono::steady_clock::now() - started;
  ASSERT_EQ(full.status, 0) << full.err;
  const std::string result = readFile(finished / "m.reg");
  ASSERT_NE(result, original);
  writeFile(finished / "original.reg", original);
  const std::string originalDump = dump(finished / "original.reg");

  std::mt19937 random(20261206);
  auto longest = std::chrono::duration_cast<std::chrono::microseconds>(duration) * 5 / 4;
  int untouched = 0, done = 0;
  for (int run = 0; run < 30; ++run) {
    TempDir dir;
    writeFile(dir / "m.reg", original);
    pid_t pid = spawnComsweep({"/M9Q"}, {{{"COMSWEEP_MACHINE", (dir / "m.reg").string()}}});
    std::this_thread::sleep_for(std::chrono::microseconds(random() % (longest.count() + 1)));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);

    std::string now = readFile(dir / "m.reg");
    if (now == original) {
      ++untouched;
      continue;
    }
    ASSERT_EQ(now, result) << "run " << run << ": the machine file is neither before nor after";
    ++done;
    // Whatever went is in the backup, complete.
    auto found = backups(dir.path());
    ASSERT_EQ(found.size(), 1u) << "run " << run;
    std::string undo = plainText(readFile(found[0]));
    writeFile(dir / "restored.reg", now + undo.substr(undo.find('\n') + 1));
    EXPECT_EQ(dump(dir / "restored.reg"), originalDump) << "run " << run;
  }
  std::printf("kill points: %d left the machine untouched, %d finished\n", untouched, done);
}

}  // namespace
}  // namespace comsweep::test
