#include "registry/wine/WineServerCheck.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include <memory>
#include <sstream>
#include <thread>

#include "machine/WineMachine.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

using registry::WineServerCheck;
namespace fs = std::filesystem;
using Status = WineServerCheck::Status;
using namespace ::testing;

// A process that stands for a server from its own process (locks of the
// checking process itself would not show): it holds a write lock on `lock`,
// or works in `workDir` under the name `name`, until destroyed.
struct FakeServer {
  pid_t pid = -1;
  bool ready = false;
  explicit FakeServer(const fs::path& lock, const fs::path& workDir = {}, const char* name = "wineserver64") {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return;
    if ((pid = ::fork()) == 0) {
      struct flock fl {.l_type = F_WRLCK, .l_whence = SEEK_SET, .l_start = 0, .l_len = 1, .l_pid = 0};
      bool ok = lock.empty() || ::fcntl(::open(lock.c_str(), O_RDWR | O_CREAT, 0600), F_SETLK, &fl) == 0;
      if (!workDir.empty()) ok = ::chdir(workDir.c_str()) == 0 && ::prctl(PR_SET_NAME, name) == 0;
      (void)!::write(pipeEnds[1], ok ? "y" : "n", 1);
      for (;;) ::pause();
    }
    ::close(pipeEnds[1]);  // or a child that died before writing would never be noticed
    char c = 0;
    ready = ::read(pipeEnds[0], &c, 1) == 1 && c == 'y';
    ::close(pipeEnds[0]);
  }
  ~FakeServer() {
    if (pid > 0 && ::kill(pid, SIGKILL) == 0) ::waitpid(pid, nullptr, 0);
  }
};

// The check in turn sees servers holding the lock of either layout's server
// directory, what a killed server leaves, a listening socket, a server working
// in a directory below no root it knows (as under another TMPDIR), a name
// leading out of the root, and files it cannot examine. Opening a prefix
// whose server runs under another TMPDIR, the advice waits for the server
// (never kills it) and names that TMPDIR; COMSWEEP_SERVER_WAIT's wait lets a
// server that ends meanwhile through.
TEST(WineServerCheck, TellsRunningNotRunningAndUnknownApartAndAdvisesWaiting) {
  TempDir temp;
  const fs::path prefix = temp / "prefix", root = temp / "tmp";
  fs::create_directories(prefix / "drive_c");
  writeFile(prefix / "system.reg", "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n");
  writeFile(prefix / "wineserver", "wine-AbC123");
  struct stat st {};
  ::stat(prefix.c_str(), &st);
  std::ostringstream leaf;
  leaf << "server-" << std::hex << st.st_dev << "-" << st.st_ino;
  const fs::path debianDir = root / "wine-AbC123" / leaf.str();
  const fs::path upstreamDir = root / (".wine-" + std::to_string(::getuid())) / leaf.str();
  const fs::path elsewhere = temp / "other-tmp" / "wine-x" / leaf.str();
  for (const fs::path& dir : {debianDir, upstreamDir, elsewhere}) fs::create_directories(dir);
  {
    const char* oldTmp = std::getenv("TMPDIR");
    std::shared_ptr<void> restore(nullptr, [had = oldTmp != nullptr, old = std::string(oldTmp ? oldTmp : "")](void*) {
      had ? ::setenv("TMPDIR", old.c_str(), 1) : ::unsetenv("TMPDIR");
    });
    ::setenv("TMPDIR", root.c_str(), 1);
    auto server = std::make_unique<FakeServer>(debianDir / "lock");
    ASSERT_TRUE(server->ready);
    const std::string advice = "\"TMPDIR='" + root.string() + "' WINEPREFIX='" + prefix.string() + "' wineserver -w\"";
    for (auto wait : {std::chrono::milliseconds(0), std::chrono::milliseconds(300)}) {
      registry::MachineOpenResult r = registry::openWinePrefix(prefix, wait);
      EXPECT_EQ(r.machine, nullptr);
      EXPECT_THAT(r.failure.why, AllOf(HasSubstr("close the programs running in this prefix"), HasSubstr(advice),
                                       HasSubstr("COMSWEEP_SERVER_WAIT"), Not(HasSubstr("-k"))));
      EXPECT_EQ(r.failure.why.find("(waited 0.3 s)") != std::string::npos, wait.count() > 0) << r.failure.why;
    }
    // The server ends while the run waits for it.
    registry::MachineOpenResult waited;
    std::thread run([&] { waited = registry::openWinePrefix(prefix, std::chrono::hours(1)); });
    server.reset();
    run.join();
    EXPECT_NE(waited.machine, nullptr) << waited.failure.why;
  }
  auto expect = [&](Status status, const std::string& detail = "") {
    WineServerCheck::Result r = WineServerCheck(prefix, {root}).check();
    EXPECT_THAT(std::pair(r.status, r.detail), Pair(status, HasSubstr(detail)));
  };
  auto bindSocket = [](const fs::path& path) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{AF_UNIX, {}};
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    return fd;
  };
  for (const fs::path& dir : {debianDir, upstreamDir}) {
    SCOPED_TRACE(dir);
    FakeServer server(dir / "lock");
    ASSERT_TRUE(server.ready);
    expect(Status::Running, (dir / "lock").string());
  }
  ::close(bindSocket(upstreamDir / "socket"));  // lock files and a socket nobody listens on
  expect(Status::NotRunning);
  const int listening = bindSocket(debianDir / "socket");
  ::listen(listening, 1);
  expect(Status::Running, "accepts connections");
  ::close(listening);
  // A shell merely standing there does not count.
  for (const auto& [name, running] : {std::pair{"bash", false}, std::pair{"wineserver64", true}}) {
    FakeServer server({}, elsewhere, name);
    ASSERT_TRUE(server.ready);
    expect(running ? Status::Running : Status::NotRunning, running ? elsewhere.string() : "");
  }
  writeFile(prefix / "wineserver", "../../etc\n");
  std::string problem;
  for (const fs::path& dir : WineServerCheck(prefix, {root}).serverDirs(problem))
    EXPECT_EQ(dir.parent_path().parent_path(), root) << dir;
  auto unexaminable = [](const fs::path& lock) { fs::remove(lock), fs::create_symlink("/dev/null", lock); };
  unexaminable(upstreamDir / "lock");
  expect(Status::Unknown, (upstreamDir / "lock").string());
  writeFile(prefix / "wineserver", "wine-AbC123");
  unexaminable(debianDir / "lock");
  expect(Status::Unknown, (debianDir / "lock").string());  // the first that cannot be examined
  EXPECT_EQ(WineServerCheck(temp / "missing", {root}).check().status, Status::Unknown);
}

}  // namespace
}  // namespace comsweep::test
