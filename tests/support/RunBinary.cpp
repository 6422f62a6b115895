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
// descriptors and no other one open; returns the child's pid.
pid_t start(const std::vector<std::string>& args, const BinaryOptions& options, int out, int err) {
  std::vector<std::string> envStrings = {"PATH=/usr/bin:/bin", "LC_ALL=C", "HOME=/nonexistent"};
  for (const auto& [k, v] : options.env) envStrings.push_back(k + "=" + v);
  std::vector<char*> argv = {const_cast<char*>(COMSWEEP_BINARY)}, envp;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  for (auto& e : envStrings) envp.push_back(e.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);

  pid_t pid = ::fork();
  if (pid == 0) {
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
  int devnull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  pid_t pid = start(args, options, devnull, devnull);
  ::close(devnull);
  return pid;
}

int waitForExit(int pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

BinaryResult runComsweep(const std::vector<std::string>& args, const BinaryOptions& options) {
  // Files rather than pipes: the child can write any amount without a reader.
  TempDir dir;
  auto create = [&](const char* name) { return ::open((dir / name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600); };
  const int out = create("out"), err = create("err");
  const pid_t pid = start(args, options, out, err);
  int status = 0;
  if (options.whenStopped) {
    int raw = 0;
    for (;;) {
      const pid_t r = ::waitpid(pid, &raw, WUNTRACED);
      if (r < 0 && errno == EINTR) continue;
      if (r != pid || !WIFSTOPPED(raw)) break;
      options.whenStopped();
      ::kill(pid, SIGCONT);
    }
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  } else {
    status = waitForExit(pid);
  }
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
