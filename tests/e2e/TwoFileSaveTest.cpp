// A Wine prefix whose classes live in two files, system.reg and user.reg:
// the run replaces neither until both new files are written, and when it
// stops between the two, the log and the exit status say key by key what
// really happened.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>

#include "e2e/FamilyMachine.h"
#include "support/RunBinary.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

namespace fs = std::filesystem;

// A prefix with family keys only in system.reg, only in user.reg and in
// both; `systemFiller` and `userFiller` kept keys make either file large.
fs::path makePrefix(const fs::path& dir, int systemFiller, int userFiller) {
  KeyValues system = {{"m9q.Machine0", "x"}, {"m9q.Machine1", "x"}, {"m9q.Both", "machine's"}, {"Other", "stays"}};
  KeyValues user = {{"M9Q.BOTH", "user's"}, {"m9q.User0", "x"}};
  for (int i = 0; i < std::max(systemFiller, userFiller); ++i)
    (systemFiller ? system : user).push_back({"Filler" + std::to_string(i), "padding"});
  return writeMachine(dir, Format::Wine, system, user);
}

// The log's entries, one per listed key (display order: M9Q.BOTH,
// m9q.Machine0, m9q.Machine1, m9q.User0), and the line after them.
std::vector<std::string> fates(const std::string& log) {
  std::vector<std::string> found;
  for (std::size_t at = log.find("From component: ", log.find("--- [PROGID]")); at != std::string::npos;
       at = log.find("From component: ", at + 1)) {
    std::string line = log.substr(at + 16, log.find("\r\n", at) - at - 16);
    if (line.starts_with("***")) found.push_back(line);
    else if (log.compare(log.find("\r\n", at) + 2 + 22, 6, "Result") == 0) found.push_back("OK");
  }
  return found;
}

// Under a file size limit, with SIGXFSZ at its default, one new file cannot
// be written (user.reg's, then system.reg's): both files stay byte for byte,
// every key is reported not removed, the backup goes, no temporary stays.
TEST(TwoFileSave, AFileThatCannotBeWrittenLeavesBothFilesAsTheyWere) {
  for (bool userTooBig : {true, false}) {
    SCOPED_TRACE(userTooBig ? "user.reg too big" : "system.reg too big");
    TempDir dir;
    const fs::path prefix = makePrefix(dir.path(), userTooBig ? 0 : 600, userTooBig ? 600 : 0);
    const std::string system = readFile(prefix / "system.reg"), user = readFile(prefix / "user.reg");
    BinaryOptions options{{{"COMSWEEP_MACHINE", prefix.string()}}};
    options.fileSizeLimit = 16 << 10;
    BinaryResult r = runComsweep({"/M9Q"}, options);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(readFile(prefix / "system.reg"), system);
    EXPECT_EQ(readFile(prefix / "user.reg"), user);
    EXPECT_EQ(r.err.rfind("comsweep: no key removed: cannot write " + prefix.string() + "/.", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(": File too large\n"), std::string::npos) << r.err;
    const std::string log = readFile(prefix / "drive_c" / "9QReg.log");
    const std::vector<std::string> got = fates(log);
    ASSERT_EQ(got.size(), 5u) << log;
    for (const std::string& fate : got)
      EXPECT_TRUE(fate.starts_with("*** ERROR: The registry could not be saved (cannot write ")) << fate;
    for (std::size_t i = 0; i < 4; ++i) EXPECT_TRUE(got[i].ends_with(") - Key not removed.")) << got[i];
    EXPECT_TRUE(got[4].ends_with(") - No key removed.")) << got[4];
    EXPECT_NE(log.find("\r\nNumber of deleted keys: 0\r\n"), std::string::npos);
    EXPECT_TRUE(filesStarting(prefix, ".").empty()) << "no temporary file is left";
    EXPECT_TRUE(filesStarting(prefix / "drive_c", "9QReg-").empty()) << "no backup of keys still there";
  }
}

// The rename of user.reg fails once system.reg is in place (as when the
// directory vanishes), or the run is killed right there. The keys that lay
// only in system.reg are gone and, when the run lives to say it, logged as
// removed; the keys with a copy in user.reg are still there and logged as
// not removed; the backup holds what went.
TEST(TwoFileSave, ASaveStoppedBetweenTheFilesSaysWhatIsGone) {
  TempDir finished;
  const fs::path done = makePrefix(finished.path(), 0, 0);
  const std::string user = readFile(done / "user.reg");
  ASSERT_EQ(runComsweep({"/M9Q"}, {{{"COMSWEEP_MACHINE", done.string()}}}).status, 0);
  const std::string savedSystem = readFile(done / "system.reg");

  for (const char* how : {"COMSWEEP_TEST_FAIL_AT", "COMSWEEP_TEST_CRASH_AT"}) {
    SCOPED_TRACE(how);
    const bool crash = std::string(how) == "COMSWEEP_TEST_CRASH_AT";
    TempDir dir;
    const fs::path prefix = makePrefix(dir.path(), 0, 0);
    BinaryResult r = runComsweep(
        {"--json", "/M9Q"}, {{{"COMSWEEP_MACHINE", prefix.string()}, {how, crash ? "save-between-renames" : "save-later-rename"}}});
    EXPECT_EQ(readFile(prefix / "system.reg"), savedSystem);
    EXPECT_EQ(readFile(prefix / "user.reg"), user);
    EXPECT_TRUE(filesStarting(prefix, ".").empty() || crash) << "no temporary file is left";
    const auto backup = filesStarting(prefix / "drive_c", "9QReg-");
    ASSERT_EQ(backup.size(), 1u);
    if (crash) {
      EXPECT_EQ(r.status, 128 + SIGKILL);
      EXPECT_FALSE(fs::exists(prefix / "drive_c" / "9QReg.log"));
      continue;
    }
    const std::string failure = "cannot replace " + (prefix / "user.reg").string() +
                                ": No such file or directory; replaced before it: " + (prefix / "system.reg").string();
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "comsweep: the machine was saved only in part: " + failure +
                         "; 2 of the listed keys were removed, 2 not; see " + (prefix / "drive_c" / "9QReg.log").string() +
                         "\ncomsweep: what the run removed is in the backup " + backup[0].string() + "\n");
    const std::string log = readFile(prefix / "drive_c" / "9QReg.log");
    const std::string notSaved = "*** ERROR: The registry could not be saved (" + failure + ") - ";
    EXPECT_EQ(fates(log), (std::vector<std::string>{notSaved + "Key not removed.", "OK", "OK", notSaved + "Key not removed.",
                                                    notSaved + "Only the keys marked OK were removed."}));
    EXPECT_NE(log.find("\r\nNumber of deleted keys: 2\r\n"), std::string::npos);
    // The document says the same, key by key.
    auto count = [&](const std::string& what) {
      int n = 0;
      for (std::size_t at = r.out.find(what); at != std::string::npos; at = r.out.find(what, at + 1)) ++n;
      return n;
    };
    EXPECT_EQ(std::pair(count("\"result\":\"removed\""), count("\"result\":\"not removed\"")), std::pair(2, 2)) << r.out;
    EXPECT_NE(r.out.find("\"removed\":2,\"notRemoved\":2"), std::string::npos) << r.out;
  }
}

}  // namespace
}  // namespace comsweep::test
