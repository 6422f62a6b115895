#include "support/RunBinary.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <stdexcept>

#ifndef COMSWEEP_BINARY
#error COMSWEEP_BINARY must name the executable under test
#endif

namespace comsweep::test {
namespace {

void drain(int fd, std::string& into) {
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) into.append(buffer, static_cast<std::size_t>(n));
}

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
      ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
      const auto limit = static_cast<rlim_t>(options.fileSizeLimit);
      const rlimit both{limit, limit};
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

BinaryResult runComsweep(const std::vector<std::string>& args, const BinaryOptions& options) {
  int outPipe[2], errPipe[2];
  if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) throw std::runtime_error("pipe");
  pid_t pid = start(args, options, outPipe[1], errPipe[1]);
  BinaryResult result;
  // Both pipes are small in these tests; read them in turn.
  for (auto [pipe, into] : {std::pair{outPipe, &result.out}, {errPipe, &result.err}}) {
    ::close(pipe[1]);
    drain(pipe[0], *into);
    ::close(pipe[0]);
  }
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  return result;
}

std::string maskDates(std::string log) {
  // Only dates in the C locale's short date and long time, "MM/DD/YY HH:MM:SS", are masked.
  static const std::regex date(R"((Creation Date: |End of processing date: )\d\d/\d\d/\d\d \d\d:\d\d:\d\d\r\n)");
  return std::regex_replace(log, date, "$1<date>\r\n");
}

}  // namespace comsweep::test
