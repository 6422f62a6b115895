#include "removal/Restore.h"

#include <gtest/gtest.h>

#include "registry/store/Text.h"
#include "registry/memory/MemoryStore.h"
#include "support/TempDir.h"

namespace comsweep::removal {
namespace {

using registry::NamedValue;
using registry::RegValue;

RegValue text(std::string_view utf8) { return {registry::REG_SZ, registry::utf8ToUtf16le(utf8) + std::string(2, '\0')}; }

std::string states(const std::vector<BackupKey>& keys, const RestorePlan& plan) {
  std::string out;
  for (const RestoreItem& item : plan.items)
    out += keys[item.key].path.substr(keys[item.key].path.find('\\') + 1) + "=" +
           restoreStateText(item.state, true) + "\n";
  return out;
}

TEST(Restore, PlansEachKeyByWhatTheMachineHoldsAndPutsBackOnlyMissingOnes) {
  registry::MemoryStore store;
  store.setDefaultValue(store.addPath("Same"), text("s"));
  store.setDefaultValue(store.addPath("Changed"), text("new"));
  store.addPath("Kept");
  Restore restore({{&store, "HKEY_CLASSES_ROOT"}});
  const std::vector<BackupKey> keys = {
      {"HKEY_CLASSES_ROOT\\Same\\Child", {{"", text("c")}, {"N", {0x2A, std::string("\0\1", 2)}}}},
      {"HKEY_CLASSES_ROOT\\Same", {{"", text("s")}}},
      {"HKEY_CLASSES_ROOT\\Changed", {{"", text("old")}}},
      {"hkey_classes_root\\Changed\\Below", {}},
      {"HKEY_CLASSES_ROOT\\Kept\\Gone", {}},
  };
  RestorePlan plan = restore.plan(keys);
  ASSERT_EQ(plan.refusal, "");
  EXPECT_EQ(states(keys, plan),
            "Same=already there\nChanged=left as it is (exists again with other values)\n"
            "Same\\Child=would put back\nChanged\\Below=left (below a key that is left)\nKept\\Gone=would put back\n");
  restore.apply(keys, plan);
  std::vector<NamedValue> values;
  ASSERT_TRUE(store.values(store.findChild(store.findChild(store.root(), "same"), "child"), values));
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values[1].value.data, std::string("\0\1", 2));
  EXPECT_EQ(store.findChild(store.findChild(store.root(), "Changed"), "Below"), registry::kNoNode);
  EXPECT_EQ(plan.count(RestoreState::PutBack), 2u);
}

// (A backup that does not fit the machine is refused in
// Undo.RefusesABackupOfAnotherMachineAndMachinesItCannotWrite.)
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
