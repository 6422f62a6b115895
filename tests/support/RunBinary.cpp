#include "support/RunBinary.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <regex>

#include "support/TempDir.h"

namespace comsweep::test {
namespace {

// Forks and executes the binary with stdout and stderr on the given
// descriptors (on /dev/null for -1) and no other one open; returns the
// child's pid.
pid_t start(const std::vector<std::string>& args, const BinaryOptions& options, int out, int err) {
  std::vector<std::string> envStrings = {"PATH=/usr/bin:/bin", "LC_ALL=C", "HOME=/nonexistent"};
  for (const auto& [k, v] : options.env) envStrings.push_back(k + "=" + v);
  if (!options.machine.empty()) envStrings.push_back("COMSWEEP_MACHINE=" + options.machine.string());
  std::vector<char*> argv = {const_cast<char*>(COMSWEEP_BINARY)}, envp;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  for (auto& e : envStrings) envp.push_back(e.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);

  pid_t pid = ::fork();
  if (pid == 0) {
    if (out < 0) out = err = ::open("/dev/null", O_WRONLY);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::dup2(::open("/dev/null", O_RDONLY), 0);
    ::closefrom(3);
    if (options.fileSizeLimit > 0) {
      ::signal(SIGXFSZ, SIG_DFL);  // as a shell leaves it: the program must ignore it itself
      const rlimit both{rlim_t(options.fileSizeLimit), rlim_t(options.fileSizeLimit)};
      ::setrlimit(RLIMIT_FSIZE, &both);
    }
    ::execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  return pid;
}

}  // namespace

int spawnComsweep(const std::vector<std::string>& args, const BinaryOptions& options) {
  return start(args, options, -1, -1);
}

int waitForExit(int pid, const std::function<void()>& whenStopped) {
  int status = 0;
  for (;;) {
    const pid_t r = ::waitpid(pid, &status, whenStopped ? WUNTRACED : 0);
    if (r < 0 && errno == EINTR) continue;
    if (r != pid || !WIFSTOPPED(status)) break;
    whenStopped();
    ::kill(pid, SIGCONT);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

BinaryResult runComsweep(const std::vector<std::string>& args, const BinaryOptions& options) {
  // Files rather than pipes: the child can write any amount without a reader.
  TempDir dir;
  auto create = [&](const char* name) { return ::open((dir / name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600); };
  const int out = create("out"), err = create("err");
  const int status = waitForExit(start(args, options, out, err), options.whenStopped);
  ::close(out);
  ::close(err);
  return {status, readFile(dir / "out"), readFile(dir / "err")};
}

std::string maskDates(std::string log) {
  // Only dates in the C locale's short date and long time, "MM/DD/YY HH:MM:SS", are masked.
  static const std::regex date(R"((Creation Date: |End of processing date: )\d\d/\d\d/\d\d \d\d:\d\d:\d\d\r\n)");
  return std::regex_replace(log, date, "$1<date>\r\n");
}

}  // namespace comsweep::test
