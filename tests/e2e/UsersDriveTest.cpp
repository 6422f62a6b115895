// The executable on an offline Windows drive with user profiles: the
// machine's classes and every user's UsrClass.dat cleaned in one run, each
// user's keys named as that user's, judged by the hive tools, and put back
// from the backup with them as the README tells.

#include <gtest/gtest.h>

#include "registry/hive/HiveFixture.h"
#include "registry/regfile/RegFileTestText.h"
#include "support/RunBinary.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

namespace fs = std::filesystem;

const std::string kLib = "{AA000001-0000-0000-0000-000000000000}";

// A drive whose SOFTWARE hive and three users' UsrClass.dat (directory names
// in other letter cases than Windows writes them) hold family keys and kept
// keys; "All Users" is a link to a profile, "Public" has no classes.
struct UsersDrive {
  TempDir dir;
  fs::path software = dir / "Windows/System32/config/SOFTWARE";
  fs::path alice = dir / "Users/alice/AppData/Local/Microsoft/Windows/UsrClass.dat";
  fs::path bob = dir / "Users/Bob/appdata/local/microsoft/windows/usrclass.dat";
  fs::path carol = dir / "Users/carol/AppData/Local/Microsoft/Windows/UsrClass.dat";

  UsersDrive() {
    for (const fs::path& file : {software, alice, bob, carol}) fs::create_directories(file.parent_path());
    fs::create_directories(dir / "Users/Public");
    fs::create_directory_symlink("alice", dir / "Users/All Users");
    writeHive(software, {{"Classes\\CLSID\\{0}", std::nullopt}, {"Classes\\CLSID\\{C1}", sz("m9q Control")},
                         {"Classes\\CLSID\\{C2}", sz("Other")}, {"Classes\\.m9q", sz("m9qfile")},
                         {"Classes\\Interface\\{0}", std::nullopt},
                         {"Classes\\TypeLib\\" + kLib + "\\1.0\\0\\win32", sz("C:\\m9q\\m9qShared.ocx")},
                         {"Microsoft\\m9q", sz("outside")}});
    // Alice's interface names a library only the machine registers: hers as
    // Windows shows her HKEY_CLASSES_ROOT. {C1} is hers and the machine's.
    // Text beyond ASCII in key names, value names and values, in and out of
    // the BMP, must come back exactly.
    const std::string latin = "Gr\u00f6\u00dfe", cjk = "\u6f22\u5b57", clef = "\U0001D11E";
    writeHive(alice, {{"CLSID\\{A1}", sz("m9q Control")}, {"CLSID\\{A2}", sz("Calendar")},
                      {"CLSID\\{C1}", sz("m9q Control")},
                      {"Interface\\{BB000001-0000-0000-0000-000000000000}\\TypeLib", sz(kLib)},
                      {"Other", sz(latin)}, {"m9q." + latin, sz(latin + " " + cjk + " " + clef)},
                      {"m9q." + latin + "\\" + cjk + "\\" + clef, sz(clef)}});
    addHiveValues(alice, "m9q." + latin, {{latin, sz(latin + "!")}, {cjk, sz(cjk + "!")}, {clef, sz(clef + "!")}});
    writeHive(bob, {{".m9q", sz("m9qfile")}, {"CLSID\\{B2}", sz("Calendar")}, {"Wow6432Node\\CLSID\\{0}", std::nullopt},
                    {"Wow6432Node\\CLSID\\{CC2}", sz("m9q Control")}});
    writeHive(carol, {{"CLSID\\{K}", sz("Other")}});
  }
};

TEST(UsersDrive, OneRunCleansEveryUsersClassesAndTheBackupRestoresAllThree) {
  if (!commandOutput("command -v hivexregedit iconv awk")) GTEST_SKIP() << "hivexregedit not installed";
  UsersDrive drive;
  std::map<fs::path, std::string> before;
  for (const fs::path& hive : {drive.software, drive.alice, drive.bob})
    before[hive] = exportedHive(hive);
  const std::string carolBytes = readFile(drive.carol);

  BinaryResult r = runComsweep({"/ALL"}, {.machine = drive.dir.path()});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string log = readFile(drive.dir / "9QReg.log");
  for (const char* path : {"HKEY_CLASSES_ROOT\\CLSID\\{C1}", "HKEY_CLASSES_ROOT\\.m9q",
                           "HKEY_USERS\\alice_Classes\\CLSID\\{A1}", "HKEY_USERS\\alice_Classes\\CLSID\\{C1}",
                           "HKEY_USERS\\alice_Classes\\Interface\\{BB000001-0000-0000-0000-000000000000}",
                           "HKEY_USERS\\Bob_Classes\\.m9q", "HKEY_USERS\\Bob_Classes\\Wow6432Node\\CLSID\\{CC2}"})
    EXPECT_NE(log.find(" --- " + std::string(path) + "\r\n"), std::string::npos) << path << "\n" << log;
  EXPECT_NE(log.find("Number of deleted keys: 9\r\n"), std::string::npos) << log;

  // The hive tools see every family key gone from all three. (A key kept
  // wrongly is listed, against the count above, or missing once restored.)
  const std::string software = exportedHive(drive.software), alice = exportedHive(drive.alice),
                    bob = exportedHive(drive.bob);
  for (const std::string* hive : {&software, &alice, &bob})
    for (const char* gone : {"{C1}", "{A1}", "\\.m9q]", "AA000001", "BB000001", "{CC2}", "\\m9q.Gr"})
      EXPECT_EQ(hive->find(gone), std::string::npos) << gone << "\n" << *hive;
  // A user none of whose keys went keeps the file untouched.
  EXPECT_EQ(readFile(drive.carol), carolBytes);

  // The backup holds all three, each below the root it names; split by root
  // and merged into each hive as the README says, it gives every hive back.
  auto backups = filesStarting(drive.dir.path(), "9QReg-");
  ASSERT_EQ(backups.size(), 1u);
  const fs::path undo = drive.dir / "undo.reg";
  ASSERT_TRUE(commandOutput("iconv -f UTF-16 -t UTF-8 '" + backups[0].string() + "' | tr -d '\\r' > '" +
                            undo.string() + "'"));
  for (auto [hive, root] : {std::pair{drive.software, "HKEY_LOCAL_MACHINE\\SOFTWARE"},
                            {drive.alice, "HKEY_USERS\\alice_Classes"}, {drive.bob, "HKEY_USERS\\Bob_Classes"}}) {
    SCOPED_TRACE(root);
    const std::string awkRoot = replaceAll(std::string(root) + "\\", "\\", "\\\\");
    const fs::path part = drive.dir / "part.reg";
    const std::string merge = "awk -v root='[" + awkRoot + "' 'BEGIN { RS = \"\"; ORS = \"\\n\\n\" } index($0, root) == 1' '" +
                              undo.string() + "' > '" + part.string() + "' && grep -q . '" + part.string() +
                              "' && hivexregedit --merge --prefix '" + root + "' '" + hive.string() + "' '" +
                              part.string() + "'";
    ASSERT_TRUE(commandOutput(merge).has_value()) << merge;
    EXPECT_EQ(exportedHive(hive), before[hive]);
  }
}

// A user's file that cannot be cleaned stops the run before anything is
// read or written: the drive stays as it was. So does a machine's hive that
// cannot be read, with users' files beside it.
TEST(UsersDrive, AUsersFileThatCannotBeCleanedIsRefusedBeforeAnythingChanges) {
  for (std::string_view fault : {"read-only", "not a hive", "names apart from case", "SOFTWARE not a hive"}) {
    SCOPED_TRACE(fault);
    UsersDrive drive;
    const fs::path twin = drive.dir / "Users/ALICE/AppData/Local/Microsoft/Windows/UsrClass.dat";
    const fs::path named = fault == "SOFTWARE not a hive" ? drive.software : drive.bob;
    if (fault == "read-only") fs::permissions(drive.bob, static_cast<fs::perms>(0444));
    if (fault.ends_with("not a hive")) writeFile(named, "regf but not a hive at all");
    if (fault == "names apart from case") {
      fs::create_directories(twin.parent_path());
      fs::copy_file(drive.alice, twin);
    }
    const auto before = filesBelow(drive.dir.path());
    BinaryResult r = runComsweep({"/ALL"}, {.machine = drive.dir.path()});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find(fault == "names apart from case" ? "UsrClass.dat" : named.string()), std::string::npos)
        << r.err;
    EXPECT_EQ(filesBelow(drive.dir.path()), before) << "every hive as it was, and no log";
  }
}

}  // namespace
}  // namespace comsweep::test
