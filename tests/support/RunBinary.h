#pragma once
// Runs the real comsweep executable, as a user would, and collects what it
// printed and its exit status.

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace comsweep::test {

struct BinaryResult {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
};

struct BinaryOptions {
  std::map<std::string, std::string> env = {};  // added to a minimal environment
  long fileSizeLimit = 0;                  // RLIMIT_FSIZE in bytes when > 0: writes past it fail
  // Called each time the run stops itself (COMSWEEP_TEST_STOP_AT); the run
  // goes on when it returns.
  std::function<void()> whenStopped = nullptr;
  std::filesystem::path machine = {};  // COMSWEEP_MACHINE, when not empty
};

BinaryResult runComsweep(const std::vector<std::string>& args, const BinaryOptions& options);
// Starts the executable with its output discarded; the caller waits for it.
int spawnComsweep(const std::vector<std::string>& args, const BinaryOptions& options);
// Waits for a spawned run, calling `whenStopped` each time it stops itself;
// its exit status, or 128 + the signal that ended it.
int waitForExit(int pid, const std::function<void()>& whenStopped = nullptr);

// The log with its two date-time lines masked; only well-formed dates are.
std::string maskDates(std::string log);

}  // namespace comsweep::test
