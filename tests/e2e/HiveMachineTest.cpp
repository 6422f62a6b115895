// The executable on hives: keys removed from the classes, and put back from
// the backup with the hive tools.

#include <gtest/gtest.h>
#include <hivex.h>

#include "registry/store/Text.h"
#include "registry/hive/HiveFixture.h"
#include "support/MachineDump.h"
#include "support/RunBinary.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

// Merges the run's backup into `hive` the way the README tells, below `prefix`.
void mergeBackup(const std::filesystem::path& dir, const std::filesystem::path& hive, const std::string& prefix) {
  auto backups = filesStarting(dir, "9QReg-");
  ASSERT_EQ(backups.size(), 1u);
  const std::string merge = "iconv -f UTF-16 -t UTF-8 '" + backups[0].string() + "' | tr -d '\\r' > '" +
                            (dir / "undo.reg").string() + "' && hivexregedit --merge --prefix '" + prefix + "' '" +
                            hive.string() + "' '" + (dir / "undo.reg").string() + "'";
  ASSERT_TRUE(commandOutput(merge).has_value()) << merge;
}

// An offline drive's SOFTWARE hive, whose classes lie below Classes, and a
// user's UsrClass.dat, whose root is the classes root. Both views are
// cleaned: a 32-bit interface names a library kept only in the shared
// TypeLib. Keys outside the classes stay, and merging the backup back gives
// the hive as it was, values of every kind included.
TEST(HiveMachine, RemovesFromTheDriveAndRestoresWithTheHiveTools) {
  const struct { const char *file, *above, *mergePrefix; } hives[] = {
      {"WINDOWS/system32/config/SOFTWARE", "Classes\\", "HKEY_LOCAL_MACHINE\\SOFTWARE"},
      {"UsrClass.dat", "", "HKEY_CLASSES_ROOT"}};
  for (const auto& [file, above, mergePrefix] : hives) {
    SCOPED_TRACE(file);
    TempDir dir;
    const std::filesystem::path hive = dir / file;
    std::filesystem::create_directories(hive.parent_path());
    const std::string c = above, w = c + "Wow6432Node\\";
    writeHive(hive, {{c + "CLSID\\{0}", std::nullopt}, {c + "CLSID\\{C1}", sz("Grid")}, {c + "CLSID\\{C1}\\InprocServer32", std::nullopt},
                     {c + "CLSID\\{C2}", sz("Other")}, {c + ".m9q", sz("m9qfile")}, {"Microsoft\\m9q", sz("outside")},
                     {c + "TypeLib\\{AA000001-0000-0000-0000-000000000000}\\1.0\\0\\win32", sz("C:\\m9q\\m9qShared.ocx")},
                     {w + "Interface\\{00000000-0000-0000-0000-000000000000}\\TypeLib", sz("x")},
                     {w + "Interface\\{BB000001-0000-0000-0000-000000000000}\\TypeLib",
                      sz("{AA000001-0000-0000-0000-000000000000}")},
                     {w + "CLSID\\{00000000-0000-0000-0000-000000000000}", std::nullopt},
                     {w + "CLSID\\{CC000001-0000-0000-0000-000000000000}", sz("m9q Control")},
                     {w + "CLSID\\{CC000002-0000-0000-0000-000000000000}", sz("Calendar")},
                     {w + "m9q.Control32\\CLSID", sz("{CC000001-0000-0000-0000-000000000000}")}});
    // Values of every kind, an 8-bit string among them, must come back exact.
    addHiveValues(hive, c + "CLSID\\{C1}\\InprocServer32",
                  {{"", sz("C:\\m9q\\m9qGrid.ocx")}, {"ThreadingModel", sz("Both")},
                   {"Flags", {registry::REG_DWORD, std::string("\x2a\0\0\0", 4)}},
                   {"Blob", {registry::REG_BINARY, std::string("\0\xff\x10", 3)}},
                   {"Narrow", {registry::REG_SZ, std::string("ansi\0", 5)}},
                   {"Path", sz("%SystemRoot%\\x", registry::REG_EXPAND_SZ)}});
    const std::string before = dump(hive);

    // The drive is named by its directory, the user's hive by its file;
    // either way the log goes to the directory.
    BinaryResult r = runComsweep({"/M9Q"}, {{{"COMSWEEP_MACHINE", (*above ? dir.path() : hive).string()}}});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string log = readFile(dir / "9QReg.log");
    for (const char* entry : {"\\CLSID\\{C1}\r\n", "\\Wow6432Node\\Interface\\{BB000001-0000-0000-0000-000000000000}\r\n"})
      EXPECT_NE(log.find(" --- HKEY_CLASSES_ROOT" + std::string(entry) + std::string(22, ' ') + "From component: m9q"),
                std::string::npos) << entry << log;
    EXPECT_NE(log.find("Number of deleted keys: 6\r\n"), std::string::npos) << log;
    const std::string after = dump(hive);
    for (const char* gone : {"{C1}", "[.M9Q]", "AA000001", "BB000001", "CC000001", "M9Q.CONTROL32"})
      EXPECT_EQ(after.find(gone), std::string::npos) << gone << "\n" << after;
    EXPECT_NE(after.find("CC000002"), std::string::npos);
    EXPECT_TRUE(commandOutput("hivexget '" + hive.string() + "' '\\Microsoft\\m9q' ''").has_value());

    if (!commandOutput("command -v hivexregedit iconv")) GTEST_SKIP() << "hivexregedit not installed";
    mergeBackup(dir.path(), hive, mergePrefix);
    EXPECT_EQ(dump(hive), before);
  }
}

// The restore the README gives for a hive puts back text outside ASCII in
// key names, value names and string values exactly, as the hive tools see it.
TEST(HiveMachine, RestoresTextOutsideAsciiWithTheDocumentedProcedure) {
  if (!commandOutput("command -v hivexregedit iconv")) GTEST_SKIP() << "hivexregedit not installed";
  TempDir dir;
  const std::filesystem::path hive = dir / "UsrClass.dat";
  const std::string latin = "Gr\u00f6\u00dfe", cjk = "\u6f22\u5b57", clef = "\U0001D11E";
  writeHive(hive, {{"Other", sz(latin)}, {"m9q." + latin, sz(latin + " " + cjk + " " + clef)},
                   {"m9q." + latin + "\\" + cjk + "\\" + clef, sz(clef)}});
  std::vector<registry::NamedValue> named;
  for (const std::string& text : {latin, cjk, clef}) named.push_back({text, sz(text + "!")});
  addHiveValues(hive, "m9q." + latin, named);
  const std::string exportAll = "hivexregedit --export --prefix HKEY_CLASSES_ROOT '" + hive.string() + "' '\\'";
  const auto before = commandOutput(exportAll);
  ASSERT_TRUE(before.has_value());
  ASSERT_NE(before->find(cjk), std::string::npos) << *before;

  BinaryResult r = runComsweep({"/M9Q"}, {{{"COMSWEEP_MACHINE", hive.string()}}});
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(commandOutput(exportAll)->find(cjk), std::string::npos);
  mergeBackup(dir.path(), hive, "HKEY_CLASSES_ROOT");
  EXPECT_EQ(commandOutput(exportAll), before);
}

}  // namespace
}  // namespace comsweep::test
