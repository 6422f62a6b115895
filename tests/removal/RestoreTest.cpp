#include "removal/Restore.h"

#include <gtest/gtest.h>

#include "registry/store/Text.h"
#include "support/TempDir.h"

namespace comsweep::removal {
namespace {

using registry::RegValue;

RegValue text(std::string_view utf8) { return {registry::REG_SZ, registry::utf8ToUtf16le(utf8) + std::string(2, '\0')}; }

// How each key of a backup is planned and put back (already there, left,
// below a key that is left, put back with its values' bytes) is
// Undo.LeavesAKeyThatExistsAgainWithOtherValuesAndWhatLiesBelowIt's and
// Undo.PutsBackEveryBlockOfARegFileAsItWas's, through the executable.
// (A backup that does not fit the machine is refused in
// Undo.PutsBackAWinePrefixExactlyWhereTheKeysCameFromAndRefusesWhatItCannotDo.)
TEST(Restore, ReadsABackupMergingRepeatedKeysAndRefusesDeletions) {
  test::TempDir dir;
  test::writeFile(dir / "b.reg", "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT\\A]\r\n@=\"1\"\r\n"
                                 "\"v\"=dword:00000001\r\n\r\n[HKEY_CLASSES_ROOT\\a]\r\n@=\"2\"\r\n");
  std::vector<BackupKey> keys;
  std::string error;
  ASSERT_TRUE(readBackup(dir / "b.reg", keys, error)) << error;
  ASSERT_EQ(keys.size(), 1u);
  ASSERT_EQ(keys[0].values.size(), 2u);
  EXPECT_EQ(keys[0].values[0].value.data, text("2").data);
  test::writeFile(dir / "d.reg", "REGEDIT4\r\n\r\n[-HKEY_CLASSES_ROOT\\A]\r\n");
  EXPECT_FALSE(readBackup(dir / "d.reg", keys, error));
  EXPECT_NE(error.find("deletes HKEY_CLASSES_ROOT\\A"), std::string::npos) << error;
  EXPECT_FALSE(readBackup(dir / "none.reg", keys, error));
}

}  // namespace
}  // namespace comsweep::removal
