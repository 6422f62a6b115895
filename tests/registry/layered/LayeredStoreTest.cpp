#include "registry/layered/LayeredStore.h"

#include "registry/store/SaveBatch.h"
#include "registry/store/StoreContract.h"
#include "registry/store/Text.h"
#include "registry/wine/WineTestSupport.h"
#include "removal/KeyRemoval.h"
#include "support/Fixture.h"
#include "support/MachineDump.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

using registry::LayeredStore;
using registry::MemoryStore;

// The user's M9Q.BOTH and m9q.User over the machine's m9q.Both and m9q.Machine.
void addKeys(MemoryStore& upper, MemoryStore& lower) {
  for (const ContractKey& key : {ContractKey{"M9Q.BOTH", sz("user's")}, {"m9q.User", sz("user")}}) addKey(upper, key);
  for (const ContractKey& key : {ContractKey{"m9q.Both", sz("machine's")}, {"m9q.Machine", sz("machine")}}) addKey(lower, key);
}

// Every other key goes to the upper store, the rest to the lower one; a key
// in the upper store brings the listed keys above it along with their
// values, so that keys end up in one store or in both, as a user's classes
// over a machine's do.
struct LayeredTraits {
  static StoreUnderTest make(const std::vector<ContractKey>& keys) {
    auto upper = std::make_unique<MemoryStore>(), lower = std::make_unique<MemoryStore>();
    for (std::size_t i = 0; i < keys.size(); ++i) {
      addKey(i % 2 ? *upper : *lower, keys[i]);
      for (const ContractKey& above : keys)
        if (i % 2 && keys[i].path.rfind(above.path + "\\", 0) == 0) addKey(*upper, above);
    }
    return {std::make_unique<LayeredStore>(std::move(upper), std::move(lower)), nullptr};
  }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Layered, StoreContract, LayeredTraits);

// A key in both stores is one key with the user's values; removing it
// removes both copies (the backup naming each copy below its own root is
// UndoFile.NamesEachCopyOfAKeyAsItsStoreSpellsIt; a save that fails leaving
// both files and no backup is AnObjectionAtTheLastCheckReplacesNeitherFile's
// and TwoFileSave's).
TEST(LayeredStore, KeysInBothStoresAreOneKeyAndLeaveBoth) {
  const struct { const char* removed; std::vector<std::string> upperLeft, lowerLeft; } cases[] = {
      {"m9q.Both", {"m9q.User"}, {"m9q.Machine"}}, {"m9q.USER", {"M9Q.BOTH"}, {"m9q.Both", "m9q.Machine"}},
      {"m9q.machine", {"M9Q.BOTH", "m9q.User"}, {"m9q.Both"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.removed);
    auto upper = std::make_unique<MemoryStore>(), lower = std::make_unique<MemoryStore>();
    addKeys(*upper, *lower);
    LayeredStore store(std::move(upper), std::move(lower));
    registry::HandleTable api(store);
    EXPECT_EQ(defaultText(api, "m9q.both"), "user's");
    EXPECT_EQ(api.RegDeleteKeyA(registry::HKEY_CLASSES_ROOT, c.removed), 0);
    EXPECT_EQ(allKeys(store.upper()), c.upperLeft);
    EXPECT_EQ(allKeys(store.lower()), c.lowerLeft);
  }
}

// A memory store saved as one file, "new" once saved, whose last check may
// object.
struct OneFileStore : MemoryStore {
  explicit OneFileStore(std::filesystem::path path) : file(std::move(path)) {}
  const std::filesystem::path file;
  std::string objection;
  void filesHolding(registry::NodeId node, std::vector<std::string>& out) const override {
    if (isLive(node)) out.push_back(file.string());
  }
  registry::CommitResult prepareSave(registry::SaveBatch& batch) override {
    std::string error;
    auto made = platform::PreparedFile::write(file, [](platform::AtomicWriter& w) { return w.write("new"); }, error);
    if (!made) return registry::CommitResult::failed(error);
    batch.add(file.string(), std::move(made), [this] { return objection; }, "", {});
    return {};
  }
};

// Two files, the machine's replaced first: when the user's file objects at
// the last check, neither is replaced, every key is still there, and the
// backup goes. (Stopped between the two renames is TwoFileSave's.)
TEST(LayeredStore, AnObjectionAtTheLastCheckReplacesNeitherFile) {
  TempDir dir;
  for (const char* name : {"system.reg", "user.reg"}) writeFile(dir / name, "old");
  auto upper = std::make_unique<OneFileStore>(dir / "user.reg");
  auto lower = std::make_unique<OneFileStore>(dir / "system.reg");
  upper->objection = "user.reg changed";
  addKeys(*upper, *lower);
  LayeredStore store(std::move(upper), std::move(lower));
  registry::HandleTable api(store);
  scan::FoundKeyList listed;
  for (const char* key : {"m9q.Both", "m9q.Machine", "m9q.User"}) listed.add({key, key, key, "PROGID", false});
  removal::RemovalReport report = removal::removeKeys(api, registry::HKEY_CLASSES_ROOT, listed, 3, [&](const auto&) {
    writeFile(dir / "undo.reg", "backup");
    return removal::BackupResult{{}, dir / "undo.reg", {}};
  });
  EXPECT_NE(report.save.why.find("user.reg changed"), std::string::npos) << report.save.why;
  EXPECT_FALSE(report.savePartial);
  ASSERT_EQ(report.keys.size(), 3u);
  for (const auto& fate : report.keys) EXPECT_EQ(fate.status, removal::kNotSaved);
  EXPECT_EQ(report.removed, 0);
  EXPECT_TRUE(report.undoFile.empty());
  for (const char* name : {"system.reg", "user.reg"}) EXPECT_EQ(readFile(dir / name), "old") << name;
  EXPECT_EQ(filesStarting(dir.path(), "").size(), 2u) << "no backup and no temporary file is left";
}

// A key made through the composed tree goes into the user's classes below a
// key the user has a copy of, else into the machine's; values go to the
// copy the key shows.
TEST(LayeredStore, AddsWhereTheRegistryCreatesBelowTheClassesRoot) {
  LayeredStore store(makeStore({{"Both", "user's"}}), makeStore({{"Both", "machine's"}, {"Machine", "m"}}));
  registry::NodeId made = registry::kNoNode;
  bool created = false;
  const struct { const char* parent; const char* name; } cases[] = {{"Both", "U"}, {"Machine", "M"}, {"", "Top"}};
  for (const auto& c : cases) {
    registry::NodeId parent = *c.parent ? store.findChild(store.root(), c.parent) : store.root();
    ASSERT_EQ(store.createKey(parent, c.name, made, created), 0) << c.name;
    EXPECT_TRUE(created);
    EXPECT_EQ(store.setValue(made, {"", sz(c.name)}), 0);
  }
  ASSERT_EQ(store.setValue(store.findChild(store.root(), "both"), {"v", sz("x")}), 0);
  // The machine's copy of Both is not what the key shows: it keeps only its own value.
  EXPECT_EQ(dump(store.upper(), true), "[]\n[Both]\n=1:" + sz("user's").data + "\nv=1:" + sz("x").data +
                                           "\n[Both\\U]\n=1:" + sz("U").data + "\n[Top]\n=1:" + sz("Top").data + "\n");
  EXPECT_EQ(dump(store.lower(), true), "[]\n[Both]\n=1:" + sz("machine's").data + "\n[Machine]\n=1:" + sz("m").data +
                                           "\n[Machine\\M]\n=1:" + sz("M").data + "\n");
  EXPECT_EQ(store.childCount(store.findChild(store.root(), "Both")), 1u);
}

}  // namespace
}  // namespace comsweep::test
