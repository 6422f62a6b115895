#include "registry/layered/LayeredStore.h"

#include "registry/StoreContract.h"
#include "removal/KeyRemoval.h"
#include "removal/UndoFile.h"
#include "support/Fixture.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

using registry::LayeredStore;
using registry::MemoryStore;

void addKey(MemoryStore& store, const ContractKey& key) {
  registry::NodeId node = store.addPath(key.path);
  if (key.defaultValue) store.setDefaultValue(node, *key.defaultValue);
}

// Every other key goes to the upper store, the rest to the lower one; a key
// in the upper store brings the listed keys above it along with their
// values, so that keys end up in one store or in both, as a user's classes
// over a machine's do.
struct LayeredTraits {
  static StoreUnderTest make(const std::vector<ContractKey>& keys) {
    auto upper = std::make_unique<MemoryStore>();
    auto lower = std::make_unique<MemoryStore>();
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (i % 2 == 0) {
        addKey(*lower, keys[i]);
        continue;
      }
      addKey(*upper, keys[i]);
      for (const ContractKey& above : keys)
        if (keys[i].path.rfind(above.path + "\\", 0) == 0) addKey(*upper, above);
    }
    return {std::make_unique<LayeredStore>(std::move(upper), std::move(lower)), nullptr};
  }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Layered, StoreContract, LayeredTraits);

class FailingSaveStore : public MemoryStore {
 public:
  registry::CommitResult save() override { return {false, "user.reg: refused"}; }
};

// A key in both stores is one key with the user's values; removing it
// removes both copies, and the backup names each copy below its own root.
// A save that fails after the lower store was written says so, and the
// backup of what went stays.
TEST(LayeredStore, KeysInBothStoresAreOneKeyAndLeaveBoth) {
  struct Case {
    const char* removed;
    std::vector<std::string> upperLeft, lowerLeft;
    std::string backup;
    bool partial;
  };
  const std::vector<Case> cases = {
      {"m9q.Both", {"m9q.User"}, {"m9q.Machine"},
       "[HKLM\\m9q.Both]\n@=\"machine's\"\n\n[HKCU\\m9q.Both]\n@=\"user's\"\n", true},
      {"m9q.USER", {"M9Q.BOTH"}, {"m9q.Both", "m9q.Machine"}, "[HKCU\\m9q.USER]\n@=\"user\"\n",
       false},
      {"m9q.machine", {"M9Q.BOTH", "m9q.User"}, {"m9q.Both"},
       "[HKLM\\m9q.machine]\n@=\"machine\"\n", true},
  };
  for (const Case& c : cases) {
    auto upper = std::make_unique<FailingSaveStore>();
    auto lower = std::make_unique<MemoryStore>();
    addKey(*upper, {"M9Q.BOTH", sz("user's")});
    addKey(*upper, {"m9q.User", sz("user")});
    addKey(*lower, {"m9q.Both", sz("machine's")});
    addKey(*lower, {"m9q.Machine", sz("machine")});
    const MemoryStore& up = *upper;
    const MemoryStore& low = *lower;
    LayeredStore store(std::move(upper), std::move(lower));
    registry::HandleTable api(store);
    std::vector<std::string> names;
    std::string name, value;
    for (registry::DWORD i = 0; registry::EnumKey(api, registry::HKEY_CLASSES_ROOT, i, name) == 0; ++i)
      names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"M9Q.BOTH", "m9q.Machine", "m9q.User"}));
    registry::HKEY key = 0;
    ASSERT_EQ(api.RegOpenKeyA(registry::HKEY_CLASSES_ROOT, "m9q.both", &key), 0);
    EXPECT_TRUE(registry::QueryStringValue(api, key, "", value));
    EXPECT_EQ(value, "user's");
    api.RegCloseKey(key);

    removal::UndoFile undo({{&low, "HKLM"}, {&up, "HKCU"}}, ".");
    bool complete = false;
    EXPECT_EQ(undo.text({c.removed}, complete),
              "Windows Registry Editor Version 5.00\n\n" + c.backup + "\n")
        << c.removed;

    // The removal reports the failed save, and keeps the backup only when
    // the lower store was written, since keys are then gone.
    TempDir dir;
    scan::FoundKeyList listed;
    listed.add({c.removed, c.removed, c.removed, "PROGID", false});
    removal::RemovalReport report = removal::removeKeys(
        api, registry::HKEY_CLASSES_ROOT, listed, 1,
        [&](const std::vector<std::string>& paths) {
          return removal::UndoFile({{&low, "HKLM"}, {&up, "HKCU"}}, dir.path()).write(paths, 0);
        });
    EXPECT_EQ(allKeys(up), c.upperLeft) << c.removed;
    EXPECT_EQ(allKeys(low), c.lowerLeft) << c.removed;
    EXPECT_TRUE(report.saveFailed);
    EXPECT_EQ(report.removed, 0);
    EXPECT_EQ(!report.undoFile.empty(), c.partial) << c.removed;
    EXPECT_EQ(std::filesystem::is_empty(dir.path()), !c.partial) << c.removed;
  }
}

}  // namespace
}  // namespace comsweep::test
