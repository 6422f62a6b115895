#include "registry/hive/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <optional>
#include <string_view>

#include "platform/Files.h"
#include "platform/SignalCleanup.h"

namespace comsweep::registry {

std::string runInChildProcess(const std::function<std::string()>& work) {
  int channel[2];
  if (::pipe2(channel, O_CLOEXEC) != 0) return std::string("cannot create a pipe: ") + std::strerror(errno);
  const pid_t parent = ::getpid();
  // Until the child is registered to be stopped with the parent.
  platform::SignalsHeld held;
  pid_t child = ::fork();
  if (child < 0) {
    int err = errno;
    ::close(channel[0]);
    ::close(channel[1]);
    return std::string("cannot start a process: ") + std::strerror(err);
  }
  if (child == 0) {
    ::close(channel[0]);
    // The child must not outlive its parent and finish a file that nobody
    // will rename or remove; if the parent is already gone, stop now.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(1);
    platform::resetSignalCleanupInChild();
    held.release();
    // A crash ends the child as it would end a process without handlers,
    // not through handlers the parent installed; what the library says on
    // its way out becomes part of the reason.
    for (int sig : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL}) std::signal(sig, SIG_DFL);
    ::dup2(channel[1], STDERR_FILENO);
    std::string failure = work();
    platform::writeAll(channel[1], failure);
    ::_exit(failure.empty() ? 0 : 1);
  }
  // A signal that ends the parent ends the child first.
  std::optional<platform::StopChildOnSignal> stopOnSignal(std::in_place, child);
  held.release();

  ::close(channel[1]);
  std::string failure;
  char buffer[512];
  // A child forked from a process with other threads (the windows') may
  // find a lock held forever; it must not hold the program with it.
  constexpr int kLimitSeconds = 600;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kLimitSeconds);
  bool timedOut = false;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd ready{channel[0], POLLIN, 0};
    int polled = left.count() > 0 ? ::poll(&ready, 1, static_cast<int>(left.count())) : 0;
    if (polled < 0 && errno == EINTR) continue;
    if (polled == 0) {
      timedOut = true;
      ::kill(child, SIGKILL);
      break;
    }
    ssize_t n = ::read(channel[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    failure.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(channel[0]);
  int status = 0;
  // The guard goes once the child has ended but before it is reaped, so that
  // a signal handler never kills a process that took over its number.
  siginfo_t ended{};
  while (::waitid(P_PID, static_cast<id_t>(child), &ended, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
  }
  stopOnSignal.reset();
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return std::string("cannot wait for a process: ") + std::strerror(errno);
  }
  if (timedOut) return "did not finish within " + std::to_string(kLimitSeconds) + " seconds";
  while (!failure.empty() && (failure.back() == '\n' || failure.back() == '\r')) failure.pop_back();
  if (WIFSIGNALED(status))
    return std::string("ended by a signal (") + ::strsignal(WTERMSIG(status)) + ")" +
           (failure.empty() ? "" : ": " + failure);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return failure.empty() ? std::string("failed without saying why") : failure;
  return {};
}

}  // namespace comsweep::registry
