// The executable on an offline Windows drive: keys removed from the SOFTWARE
// hive's Classes key, and put back from the backup with the hive tools.

#include <gtest/gtest.h>
#include <hivex.h>

#include "registry/Text.h"
#include "registry/hive/HiveFixture.h"
#include "support/MachineDump.h"
#include "support/RunBinary.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

std::string utf16(std::string_view text) { return registry::utf8ToUtf16le(text) + std::string(2, '\0'); }

TEST(HiveMachine, RemovesFromTheDriveAndRestoresWithTheHiveTools) {
  TempDir drive;
  std::filesystem::path hive = drive / "WINDOWS" / "system32" / "config" / "SOFTWARE";
  std::filesystem::create_directories(hive.parent_path());
  writeHive(hive, {{"Classes\\CLSID\\{0}", std::nullopt}, {"Classes\\CLSID\\{C1}", sz("Grid")},
                   {"Classes\\CLSID\\{C1}\\InprocServer32", std::nullopt}, {"Classes\\CLSID\\{C2}", sz("Other")},
                   {"Classes\\.m9q", sz("m9qfile")}, {"Microsoft\\m9q", sz("outside the classes")}});
  {
    hive_h* h = hivex_open(hive.c_str(), HIVEX_OPEN_WRITE);
    ASSERT_NE(h, nullptr);
    hive_node_h node = hivex_root(h);
    for (const char* level : {"Classes", "CLSID", "{C1}", "InprocServer32"}) node = hivex_node_get_child(h, node, level);
    // Values of every kind, an 8-bit string among them, must come back exact.
    const std::tuple<const char*, hive_type, std::string> values[] = {
        {"", hive_t_REG_SZ, utf16("C:\\m9q\\m9qGrid.ocx")},  {"ThreadingModel", hive_t_REG_SZ, utf16("Both")},
        {"Flags", hive_t_REG_DWORD, std::string("\x2a\0\0\0", 4)}, {"Blob", hive_t_REG_BINARY, std::string("\0\xff\x10", 3)},
        {"Narrow", hive_t_REG_SZ, std::string("ansi\0", 5)},    {"Path", hive_t_REG_EXPAND_SZ, utf16("%SystemRoot%\\x")}};
    for (auto [name, type, data] : values) {
      hive_set_value value{const_cast<char*>(name), type, data.size(), data.data()};
      ASSERT_EQ(hivex_node_set_value(h, node, &value, 0), 0) << name;
    }
    ASSERT_EQ(hivex_commit(h, hive.c_str(), 0), 0);
    hivex_close(h);
  }
  std::filesystem::copy_file(hive, drive / "original");
  const std::string before = dump(drive / "original");

  BinaryResult r = runComsweep({"/M9Q"}, {{{"COMSWEEP_MACHINE", drive.path().string()}}});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string log = readFile(drive / "9QReg.log");
  EXPECT_NE(log.find("CLSID\\{C1}\r\n" + std::string(22, ' ') + "From component: m9qGrid.ocx\r\n"), std::string::npos);
  EXPECT_NE(log.find("Number of deleted keys: 2"), std::string::npos) << log;
  const std::string after = dump(hive);
  EXPECT_TRUE(after.find("{C1}") == std::string::npos && after.find("[.M9Q]") == std::string::npos) << after;
  // Keys outside the classes are never touched.
  ASSERT_TRUE(commandOutput("hivexget '" + hive.string() + "' '\\Microsoft\\m9q' ''").has_value());

  std::filesystem::path backup;
  for (const auto& entry : std::filesystem::directory_iterator(drive.path()))
    if (entry.path().filename().string().rfind("9QReg-", 0) == 0) backup = entry.path();
  ASSERT_FALSE(backup.empty());
  if (!commandOutput("command -v hivexregedit iconv")) GTEST_SKIP() << "hivexregedit not installed";
  std::string merge = "iconv -f UTF-16 -t UTF-8 '" + backup.string() + "' | tr -d '\\r' > '" +
                      (drive / "undo.reg").string() + "' && hivexregedit --merge --prefix " +
                      "'HKEY_LOCAL_MACHINE\\SOFTWARE' '" + hive.string() + "' '" + (drive / "undo.reg").string() + "'";
  ASSERT_TRUE(commandOutput(merge).has_value()) << merge;
  EXPECT_EQ(dump(hive), before);
}

// The 32-bit view of a SOFTWARE hive's classes, and a user's UsrClass.dat
// whose root is the classes root: a 32-bit interface names a library kept
// only in the shared TypeLib, and the hive tools put back what went.
TEST(HiveMachine, The32BitViewIsCleanedInADrivesClassesAndInAUsersClassesHive) {
  struct Layout {
    std::string file, above, mergePrefix;
  };
  for (const Layout& layout : {Layout{"WINDOWS/system32/config/SOFTWARE", "Classes\\",
                                      "HKEY_LOCAL_MACHINE\\SOFTWARE"},
                               Layout{"UsrClass.dat", "", "HKEY_CLASSES_ROOT"}}) {
    TempDir dir;
    std::filesystem::path hive = dir / layout.file;
    std::filesystem::create_directories(hive.parent_path());
    const std::string c = layout.above, w = layout.above + "Wow6432Node\\";
    writeHive(hive, {{c + "TypeLib\\{AA000001-0000-0000-0000-000000000000}\\1.0\\0\\win32",
                      sz("C:\\m9q\\m9qShared.ocx")},
                     {w + "Interface\\{00000000-0000-0000-0000-000000000000}\\TypeLib", sz("x")},
                     {w + "Interface\\{BB000001-0000-0000-0000-000000000000}\\TypeLib",
                      sz("{AA000001-0000-0000-0000-000000000000}")},
                     {w + "CLSID\\{00000000-0000-0000-0000-000000000000}", std::nullopt},
                     {w + "CLSID\\{CC000001-0000-0000-0000-000000000000}", sz("m9q Control")},
                     {w + "CLSID\\{CC000002-0000-0000-0000-000000000000}", sz("Calendar")},
                     {w + "m9q.Control32\\CLSID", sz("{CC000001-0000-0000-0000-000000000000}")}});
    const std::string before = dump(hive);
    // The drive is named by its directory, the user's hive by its file;
    // either way the log goes to the directory.
    std::filesystem::path machine = layout.above.empty() ? hive : dir.path();
    BinaryResult r = runComsweep({"/M9Q"}, {{{"COMSWEEP_MACHINE", machine.string()}}});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string log = readFile(dir / "9QReg.log");
    EXPECT_NE(log.find("Number of deleted keys: 4"), std::string::npos) << log;
    EXPECT_NE(log.find(" --- HKEY_CLASSES_ROOT\\Wow6432Node\\Interface\\"
                       "{BB000001-0000-0000-0000-000000000000}\r\n"
                       "                      From component: m9qShared.ocx\r\n"),
              std::string::npos)
        << log;
    std::string after = dump(hive);
    for (const char* gone : {"AA000001", "BB000001", "CC000001", "M9Q.CONTROL32"})
      EXPECT_EQ(after.find(gone), std::string::npos) << gone << "\n" << after;
    EXPECT_NE(after.find("CC000002"), std::string::npos);

    std::filesystem::path backup;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path()))
      if (entry.path().filename().string().rfind("9QReg-", 0) == 0) backup = entry.path();
    ASSERT_FALSE(backup.empty());
    if (!commandOutput("command -v hivexregedit iconv")) GTEST_SKIP() << "hivexregedit not installed";
    std::string merge = "iconv -f UTF-16 -t UTF-8 '" + backup.string() + "' | tr -d '\\r' > '" +
                        (dir / "undo.reg").string() + "' && hivexregedit --merge --prefix '" +
                        layout.mergePrefix + "' '" + hive.string() + "' '" +
                        (dir / "undo.reg").string() + "'";
    ASSERT_TRUE(commandOutput(merge).has_value()) << merge;
    EXPECT_EQ(dump(hive), before) << layout.file;
  }
}

}  // namespace
}  // namespace comsweep::test
