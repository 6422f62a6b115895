// The users' classes below HKEY_USERS\<name>_Classes beside the machine's:
// what a scan of the root sees, what a user's path reaches and removes, and
// which copy the backup writes for a key both hold.

#include "registry/layered/UsersClassesStore.h"

#include <gtest/gtest.h>

#include "registry/handles/HandleTable.h"
#include "registry/api/Wrappers.h"
#include "removal/KeyRemoval.h"
#include "removal/UndoFile.h"
#include "support/Fixture.h"

namespace comsweep::test {
namespace {

using registry::HKEY_CLASSES_ROOT;

TEST(UsersClassesStore, UsersKeysAreReachedByTheirFullNamesOnlyAndRemovedFromTheirOwnStore) {
  registry::UsersClassesStore store(makeStore({{"CLSID\\{M}", {}}, {"CLSID\\{B}", {}}}));
  store.addUser("alice_Classes", makeStore({{"CLSID\\{A}\\Sub", {}}, {"CLSID\\{B}", {}}}));
  registry::HandleTable api(store);

  // The root enumerates the machine's classes alone.
  std::string name;
  EXPECT_EQ(registry::EnumKey(api, HKEY_CLASSES_ROOT, 0, name), 0);
  EXPECT_EQ(name, "CLSID");
  EXPECT_EQ(registry::EnumKey(api, HKEY_CLASSES_ROOT, 1, name), registry::ERROR_NO_MORE_ITEMS);

  const struct { const char* path; registry::LONG opens; } paths[] = {
      {"HKEY_USERS\\alice_Classes\\CLSID\\{A}\\Sub", 0}, {"hkey_users\\ALICE_CLASSES\\clsid", 0},
      {"HKEY_USERS\\bob_Classes", registry::ERROR_FILE_NOT_FOUND}, {"CLSID\\{A}", registry::ERROR_FILE_NOT_FOUND},
      {"HKEY_USERS\\alice_Classes\\CLSID\\{M}", registry::ERROR_FILE_NOT_FOUND}};
  for (const auto& p : paths) {
    registry::HKEY key = 0;
    EXPECT_EQ(api.RegOpenKeyA(HKEY_CLASSES_ROOT, p.path, &key), p.opens) << p.path;
    if (p.opens == 0) api.RegCloseKey(key);
  }

  // A user's key goes from the user's store only, with its subtree; the
  // user's root and HKEY_USERS itself stay, even when empty.
  EXPECT_EQ(removal::deleteKeyPath(api, HKEY_CLASSES_ROOT, "HKEY_USERS\\alice_Classes\\CLSID\\{A}"), 0);
  EXPECT_EQ(removal::deleteKeyPath(api, HKEY_CLASSES_ROOT, "HKEY_USERS\\alice_Classes\\CLSID\\{B}"), 0);
  EXPECT_EQ(allKeys(store.user(0)), std::vector<std::string>{"CLSID"});
  EXPECT_EQ(allKeys(store.machine()), (std::vector<std::string>{"CLSID", "CLSID\\{B}", "CLSID\\{M}"}));
  EXPECT_EQ(removal::deleteKeyPath(api, HKEY_CLASSES_ROOT, "HKEY_USERS\\alice_Classes\\CLSID"), 0);
  EXPECT_EQ(api.RegDeleteKeyA(HKEY_CLASSES_ROOT, "HKEY_USERS\\alice_Classes"), registry::ERROR_ACCESS_DENIED);
  EXPECT_NE(api.RegDeleteKeyA(HKEY_CLASSES_ROOT, "HKEY_USERS"), 0);
  EXPECT_EQ(allKeys(store.user(0)), std::vector<std::string>{});
}

// The backup names a user's key below that user's root and writes the
// user's copy of it; a machine's key only the machine's copy, though the
// user holds one of the same path.
TEST(UsersClassesStore, TheBackupWritesEachKeyFromTheLayerItIsNamedBy) {
  auto machine = makeStore({{"CLSID\\{B}", "machine's"}});
  auto alice = makeStore({{"CLSID\\{B}\\Own", "alice's"}});
  removal::UndoFile undo({{machine.get(), "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes"},
                          {alice.get(), "HKEY_USERS\\alice_Classes", true, "UsrClass.dat"}}, ".");
  bool complete = false;
  const std::string text = undo.text({"CLSID\\{B}", "HKEY_USERS\\alice_Classes\\CLSID\\{B}"}, complete);
  EXPECT_TRUE(complete);
  EXPECT_EQ(text,
            "Windows Registry Editor Version 5.00\n"
            "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{B}]\n@=\"machine's\"\n"
            "\n[HKEY_USERS\\alice_Classes\\CLSID\\{B}]\n"
            "\n[HKEY_USERS\\alice_Classes\\CLSID\\{B}\\Own]\n@=\"alice's\"\n\n");
}

}  // namespace
}  // namespace comsweep::test
