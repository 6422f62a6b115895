// The executable on a machine that others use too: two runs at once,
// another program writing the file, files of odd kinds and owners.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <tuple>

#include "platform/RunLock.h"
#include "e2e/FamilyMachine.h"
#include "support/MachineDump.h"
#include "support/RunBinary.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

namespace fs = std::filesystem;

TEST(SharedMachine, TwoRunsAtOnceNeverUndoEachOther) {
  for (Format format : {Format::Reg, Format::Wine, Format::Hive}) {
    for (int attempt = 0; attempt < 20; ++attempt) {
      SCOPED_TRACE("format " + std::to_string(static_cast<int>(format)) + ", attempt " + std::to_string(attempt));
      TempDir dir;
      const BinaryOptions options{.machine = makeMachine(dir.path(), format, 150)};
      const int first = spawnComsweep({"/M9Q"}, options), second = spawnComsweep({"/P9Q"}, options);
      const int a = waitForExit(first);
      ASSERT_EQ(std::make_pair(a, waitForExit(second)), std::make_pair(0, 0));
      EXPECT_EQ(dump(options.machine).find("9Q.PART"), std::string::npos) << "a family key is left";
    }
  }
}

// Machines a run must leave alone, refused by name, each left as it was and
// no log written: files of odd kinds, a read-only file, a prefix without
// drive_c/, and a machine another run holds, once the stated time to wait
// for it has passed.
TEST(SharedMachine, BusyOrOddMachinesAreRefusedByNameAndLeftAsTheyWere) {
  TempDir dir;
  for (const char* made : {"fifo-prefix/drive_c", "dir-prefix/drive_c", "dir-prefix/system.reg", "ro", "nodrive",
                           "busy", "drive/Windows/System32/config/SOFTWARE"})
    fs::create_directories(dir / made);
  for (const char* fifo : {"fifo.reg", "fifo-prefix/system.reg"}) ASSERT_EQ(::mkfifo((dir / fifo).c_str(), 0600), 0);
  fs::path readOnly = makeMachine(dir / "ro", Format::Reg, 1);
  fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::path noDriveC = makeMachine(dir / "nodrive", Format::Wine, 1);
  fs::remove(noDriveC / "drive_c");
  fs::path busy = makeMachine(dir / "busy", Format::Reg, 2);
  std::string error;
  platform::RunLock held = platform::RunLock::acquire(busy, std::chrono::milliseconds(0), error);
  ASSERT_TRUE(held.held()) << error;
  const auto before = filesBelow(dir.path());

  // named: the file the message names; says: what follows its name.
  const struct { fs::path machine, named; std::string says; } cases[] = {
      {dir / "fifo.reg", dir / "fifo.reg", "is a named pipe (FIFO), not a file"},
      {dir / "fifo-prefix", dir / "fifo-prefix" / "system.reg", "is a named pipe (FIFO), not a file"},
      {dir / "dir-prefix", dir / "dir-prefix" / "system.reg", "is a directory, not a file"},
      {dir / "drive", dir / "drive/Windows/System32/config/SOFTWARE", "is a directory, not a file"},
      {readOnly, readOnly, "is read-only (mode 0444); comsweep replaces this file when it removes keys. Make it "
                           "writable (chmod u+w) to clean it"},
      {noDriveC, noDriveC, "this Wine prefix has no drive_c/ directory, where the log and the backup of the removed "
                           "keys go (wineboot makes it)"},
      {busy, busy, "another comsweep run is working on this machine (waited 0.3 seconds); try again when it has ended"},
  };
  for (const auto& c : cases) {
    BinaryResult r = runComsweep({"/M9Q"}, {.env = {{"COMSWEEP_LOCK_WAIT", "0.3"}}, .machine = c.machine});
    EXPECT_EQ(r.status, 2) << c.machine;
    EXPECT_EQ(r.err, "comsweep: " + c.named.string() + ": " + c.says + "\n");
  }
  EXPECT_EQ(filesBelow(dir.path()), before) << "every machine as it was, and no log";
}

TEST(SharedMachine, FilesKeepTheirOwnersWhenRootCleansThem) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand files to another user";
  const uid_t user = 4321;
  const gid_t group = 4322;
  for (Format format : {Format::Reg, Format::Wine, Format::Hive}) {
    TempDir dir;
    fs::path machine = makeMachine(dir / "home", format, 2);
    fs::path file = format == Format::Wine ? machine / "system.reg" : machine;
    fs::path driveC = format == Format::Wine ? machine / "drive_c" : dir / "home";
    for (const fs::path& p : {dir / "home", driveC, file}) ASSERT_EQ(::chown(p.c_str(), user, group), 0);
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    BinaryResult r = runComsweep({"/M9Q"}, {.machine = machine});
    ASSERT_EQ(r.status, 0) << r.err;
    // Owner, group and the file's mode; the log's and the backup's owner and group.
    auto owned = [](const fs::path& p, mode_t mask) {
      struct stat st {};
      EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
      return std::tuple(st.st_uid, st.st_gid, st.st_mode & mask);
    };
    EXPECT_EQ(owned(file, 07777), std::tuple(user, group, mode_t{0640}));
    const auto written = filesStarting(driveC, "9QReg");
    EXPECT_EQ(written.size(), 2u) << "the log and the backup";
    for (const fs::path& p : written) EXPECT_EQ(owned(p, 0), std::tuple(user, group, mode_t{0})) << p;
  }
}

}  // namespace
}  // namespace comsweep::test
