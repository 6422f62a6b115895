// A Wine prefix whose classes live in two files, system.reg and user.reg:
// the run replaces neither until both new files are written, and when it
// stops between the two, the log and the exit status say key by key what
// really happened.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <regex>

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
  static const std::regex fate("From component: (\\*\\*\\*.*)|\r\n {22}Result: OK\r\n");
  std::vector<std::string> found;
  for (std::sregex_iterator it(log.begin() + log.find("--- [PROGID]"), log.end(), fate), end; it != end; ++it)
    found.push_back((*it)[1].matched ? (*it)[1].str() : "OK");
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
    BinaryResult r = runComsweep({"/M9Q"}, {.fileSizeLimit = 16 << 10, .machine = prefix});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(readFile(prefix / "system.reg"), system);
    EXPECT_EQ(readFile(prefix / "user.reg"), user);
    ASSERT_EQ(r.err.rfind("comsweep: no key removed: cannot write " + prefix.string() + "/.", 0), 0u) << r.err;
    ASSERT_TRUE(r.err.ends_with(": File too large\n")) << r.err;
    // The log gives the same reason, key by key.
    const std::string reason = r.err.substr(26, r.err.size() - 27);  // after "comsweep: no key removed: "
    const std::string notSaved = "*** ERROR: The registry could not be saved (" + reason + ") - ";
    std::vector<std::string> expected(4, notSaved + "Key not removed.");
    expected.push_back(notSaved + "No key removed.");
    const std::string log = readFile(prefix / "drive_c" / "9QReg.log");
    EXPECT_EQ(fates(log), expected) << log;
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
  ASSERT_EQ(runComsweep({"/M9Q"}, {.machine = done}).status, 0);
  const std::string savedSystem = readFile(done / "system.reg");

  for (const char* how : {"COMSWEEP_TEST_FAIL_AT", "COMSWEEP_TEST_CRASH_AT"}) {
    SCOPED_TRACE(how);
    const bool crash = std::string(how) == "COMSWEEP_TEST_CRASH_AT";
    TempDir dir;
    const fs::path prefix = makePrefix(dir.path(), 0, 0);
    const char* at = crash ? "save-between-renames" : "save-later-rename";
    BinaryResult r = runComsweep({"--json", "/M9Q"}, {.env = {{how, at}}, .machine = prefix});
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
    EXPECT_EQ(checkedJson("json-schema.json", r.out, "c = doc['counts']\n"
                          "print(c['removed'], c['notRemoved'], sorted(k['result'] for k in doc['keys']))\n"),
              "2 2 ['not removed', 'not removed', 'removed', 'removed']\n");
  }
}

}  // namespace
}  // namespace comsweep::test
