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

#include "support/TempDir.h"

namespace comsweep::test {
namespace {

using registry::WineServerCheck;
namespace fs = std::filesystem;
using Status = WineServerCheck::Status;

// A prefix and a temporary root, with the server directory of each layout.
struct Layout {
  TempDir temp;
  fs::path prefix = temp / "prefix";
  fs::path root = temp / "tmp";
  fs::path debianDir, upstreamDir;

  Layout() {
    fs::create_directories(prefix);
    writeFile(prefix / "wineserver", "wine-AbC123");
    struct stat st {};
    ::stat(prefix.c_str(), &st);
    char leaf[64];
    std::snprintf(leaf, sizeof leaf, "server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    debianDir = root / "wine-AbC123" / leaf;
    upstreamDir = root / (".wine-" + std::to_string(::getuid())) / leaf;
    fs::create_directories(debianDir);
    fs::create_directories(upstreamDir);
  }
  WineServerCheck::Result check() const { return WineServerCheck(prefix, {root}).check(); }
};

// A process that stands for a server from its own process (locks of the
// checking process itself would not show): it holds a write lock on `lock`,
// or works in `workDir` under the name `name`, until destroyed.
class FakeServer {
 public:
  FakeServer(const fs::path& lock, const fs::path& workDir = {},
             const char* name = "wineserver64") {
    int ready[2];
    if (::pipe(ready) != 0) return;
    m_pid = ::fork();
    if (m_pid == 0) {
      bool ok = true;
      if (!lock.empty()) {
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_len = 1;
        ok = ::fcntl(::open(lock.c_str(), O_RDWR | O_CREAT, 0600), F_SETLK, &fl) == 0;
      }
      if (!workDir.empty()) ok = ::chdir(workDir.c_str()) == 0 && ::prctl(PR_SET_NAME, name) == 0;
      (void)!::write(ready[1], ok ? "y" : "n", 1);
      for (;;) ::pause();
    }
    ::close(ready[1]);  // or a child that died before writing would never be noticed
    char c = 0;
    m_ready = ::read(ready[0], &c, 1) == 1 && c == 'y';
    ::close(ready[0]);
  }
  ~FakeServer() {
    if (m_pid > 0 && ::kill(m_pid, SIGKILL) == 0) ::waitpid(m_pid, nullptr, 0);
  }
  bool ready() const { return m_ready; }

 private:
  pid_t m_pid = -1;
  bool m_ready = false;
};

// A Unix socket bound at `path`, listening or (closed) left behind.
int bindSocket(const fs::path& path, bool listening) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  if (listening) {
    ::listen(fd, 1);
    return fd;
  }
  ::close(fd);
  return -1;
}

TEST(WineServerCheck, AHeldLockOrAListeningSocketInEitherLayoutMeansRunning) {
  Layout layout;
  for (const fs::path& dir : {layout.debianDir, layout.upstreamDir}) {
    FakeServer server(dir / "lock");
    ASSERT_TRUE(server.ready());
    WineServerCheck::Result r = layout.check();
    EXPECT_EQ(r.status, Status::Running) << dir;
    EXPECT_THAT(r.detail, ::testing::HasSubstr((dir / "lock").string()));
  }
  // What a killed server leaves: its lock files and a socket nobody listens on.
  bindSocket(layout.upstreamDir / "socket", false);
  EXPECT_EQ(layout.check().status, Status::NotRunning);
  int fd = bindSocket(layout.debianDir / "socket", true);
  WineServerCheck::Result r = layout.check();
  EXPECT_EQ(r.status, Status::Running);
  EXPECT_THAT(r.detail, ::testing::HasSubstr("accepts connections"));
  ::close(fd);
}

TEST(WineServerCheck, AServerWorkingInAnUnguessedDirectoryIsFound) {
  Layout layout;
  // As under another TMPDIR: not below any root the check knows.
  fs::path elsewhere = layout.temp / "other-tmp" / "wine-x" / layout.debianDir.filename();
  fs::create_directories(elsewhere);
  {
    FakeServer shell({}, elsewhere, "bash");  // merely standing there does not count
    ASSERT_TRUE(shell.ready());
    EXPECT_EQ(layout.check().status, Status::NotRunning);
  }
  FakeServer server({}, elsewhere);
  ASSERT_TRUE(server.ready());
  WineServerCheck::Result r = layout.check();
  EXPECT_EQ(r.status, Status::Running);
  EXPECT_THAT(r.detail, ::testing::HasSubstr(elsewhere.string()));
}

TEST(WineServerCheck, OddNamesAndUnreadableFilesAreHandledSafely) {
  Layout layout;
  // A name leading out of the temporary root is not followed.
  writeFile(layout.prefix / "wineserver", "../../etc\n");
  std::string problem;
  for (const fs::path& dir : WineServerCheck(layout.prefix, {layout.root}).serverDirs(problem))
    EXPECT_EQ(dir.parent_path().parent_path(), layout.root) << dir;
  // A lock that cannot be examined leaves the answer open.
  fs::create_symlink("/dev/null", layout.upstreamDir / "lock");
  WineServerCheck::Result r = layout.check();
  EXPECT_EQ(r.status, Status::Unknown);
  EXPECT_THAT(r.detail, ::testing::HasSubstr((layout.upstreamDir / "lock").string()));
  // So does a prefix that cannot be looked at.
  EXPECT_EQ(WineServerCheck(layout.temp / "missing", {layout.root}).check().status,
            Status::Unknown);
}

}  // namespace
}  // namespace comsweep::test
