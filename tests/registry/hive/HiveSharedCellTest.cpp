// Removing keys from a hive whose removed keys share cells with kept ones
// (damage the hive tools read cleanly): every kept key and value reads back
// exactly, by libhivex and by the store, and still names its descriptor.

#include <gmock/gmock.h>

#include "fuzz/HiveDamage.h"
#include "fuzz/HiveKeptCheck.h"
#include "registry/handles/HandleTable.h"
#include "registry/hive/HiveFixture.h"
#include "registry/hive/HiveStore.h"
#include "registry/regf/RegfGrower.h"
#include "registry/wine/WineTestSupport.h"
#include "support/Fixture.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

namespace fs = std::filesystem;
using fuzz::Damage;
using fuzz::indexesBroken;
using fuzz::HiveDamage;
using fuzz::hivexKeys;
using fuzz::keptKeysChanged;
using fuzz::keyReferencesBroken;
using fuzz::readersDisagree;

std::size_t keyIndex(const HiveDamage& damage, std::string_view path) {
  for (std::size_t i = 0; i < damage.keys().size(); ++i)
    if (damage.keys()[i].path == path) return i;
  ADD_FAILURE() << path << " not found";
  return 0;
}

TEST(HiveSharedCells, RemovingAKeyLeavesWhatKeptKeysShareWithIt) {
  TempDir dir;
  const fs::path sound = dir / "sound", file = dir / "SOFTWARE";
  const std::string text = "some text, stored in a cell of its own";
  writeValues(sound, {{"Classes\\Gone", {{"", sz("gone " + text)}, {"g", sz("gone")}}},
                      {"Classes\\Gone\\Child", {{"", sz("child " + text)}}},
                      {"Classes\\Kept", {{"", sz("kept " + text)}, {"second", sz("second " + text)}}},
                      {"Classes\\Kept\\Below", {{"", sz("below " + text)}}},
                      {"Microsoft\\Outside", {{"", sz("outside " + text)}, {"o", sz("o")}}}});
  const struct {
    const char* what;
    Damage damage;
    const char* from;
    const char* to;
    bool variant = false;
  } cases[] = {
      {"removed class name names a kept key", Damage::ClassNameNamesKey, "Classes\\Gone", "Classes\\Kept"},
      {"kept class name names a removed key", Damage::ClassNameNamesKey, "Classes\\Kept", "Classes\\Gone\\Child"},
      {"shared value list", Damage::SharedValueList, "Classes\\Gone", "Classes\\Kept"},
      {"shared value list, owner outside Classes", Damage::SharedValueList, "Classes\\Gone\\Child",
       "Microsoft\\Outside"},
      {"shared value", Damage::SharedValue, "Classes\\Gone", "Classes\\Kept"},
      {"shared data", Damage::SharedData, "Classes\\Gone\\Child", "Classes\\Kept\\Below"},
      {"extra segment names a kept value", Damage::BigDataExtraSegment, "Classes\\Gone", "Classes\\Kept"},
      {"extra segment names a kept key", Damage::BigDataExtraSegment, "Classes\\Gone", "Classes\\Kept", true},
      {"a kept value's extra segment names a removed key", Damage::BigDataExtraSegment, "Classes\\Kept",
       "Classes\\Gone\\Child", true},
      {"ring into data beginning with s", Damage::RingIntoData, "Classes\\Gone", "Classes\\Kept"},
      {"ring into data beginning with sk", Damage::RingIntoData, "Classes\\Gone", "Classes\\Kept", true},
      {"kept key uses the removed key's descriptor, count 1", Damage::SharedDescriptorCountOne,
       "Classes\\Gone", "Classes\\Kept"},
      {"the removed key's own descriptor leaves its ring", Damage::SharedDescriptorCountOne, "Classes\\Gone",
       "Classes\\Kept", true},
      {"a kept value's data is the descriptor the keys put back use", Damage::DataIsDescriptor,
       "Classes\\Kept", "Classes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    HiveDamage damage(readFile(sound));
    ASSERT_TRUE(damage.ok());
    ASSERT_TRUE(damage.plant(c.damage, keyIndex(damage, c.from), keyIndex(damage, c.to), c.variant));
    writeFile(file, damage.bytes());
    const auto before = hivexKeys(file);
    ASSERT_TRUE(before) << "libhivex cannot read it";
    ASSERT_TRUE(before->count("\\Classes\\Kept\\Below"));
    ASSERT_EQ(readersDisagree(file, *before), "");
    ASSERT_EQ(keyReferencesBroken(file), "");
    // Hashes and descriptors a damaged hive got wrong stay so; sound ones
    // stay sound. Only the planted descriptors are not sound to begin with.
    const bool indexesSound = indexesBroken(file).empty();
    EXPECT_EQ(indexesSound,
              c.damage != Damage::RingIntoData && (c.damage != Damage::SharedDescriptorCountOne || c.variant));

    std::string error;
    auto store = registry::HiveStore::open(file, registry::HiveStore::Top::ClassesRequired, error);
    ASSERT_TRUE(store) << error;
    // What an undo's backup holds: the values as read before the removal.
    std::vector<registry::NamedValue> goneValues, childValues;
    const registry::NodeId goneBefore = store->findChild(store->root(), "Gone");
    ASSERT_TRUE(store->values(goneBefore, goneValues));
    ASSERT_TRUE(store->values(store->findChild(goneBefore, "Child"), childValues));
    registry::HandleTable api(*store);
    ASSERT_EQ(deleteTree(api, "Gone"), 0);
    ASSERT_EQ(outcome(store->save()), "ok");
    store.reset();
    const auto after = hivexKeys(file);
    ASSERT_TRUE(after);
    EXPECT_EQ(keptKeysChanged(*before, *after, {"\\Classes\\Gone"}), "");
    EXPECT_EQ(readersDisagree(file, *after), "");
    EXPECT_EQ(keyReferencesBroken(file), "");
    if (indexesSound) {
      EXPECT_EQ(indexesBroken(file), "");
    }

    // Put back as an undo does: the hive reads as before the removal, or
    // the save refuses and leaves the file as the removal saved it.
    const std::string removed = readFile(file);
    store = registry::HiveStore::open(file, registry::HiveStore::Top::ClassesRequired, error);
    ASSERT_TRUE(store) << error;
    registry::NodeId gone = 0, child = 0;
    bool created = false;
    ASSERT_EQ(store->createKey(store->root(), "Gone", gone, created), 0);
    ASSERT_EQ(store->createKey(gone, "Child", child, created), 0);
    for (const registry::NamedValue& value : goneValues) ASSERT_EQ(store->setValue(gone, value), 0);
    for (const registry::NamedValue& value : childValues) ASSERT_EQ(store->setValue(child, value), 0);
    const std::string undone = outcome(store->save());
    store.reset();
    if (undone != "ok") {
      EXPECT_EQ(readFile(file), removed) << undone;
      continue;
    }
    const auto back = hivexKeys(file);
    ASSERT_TRUE(back);
    EXPECT_EQ(keptKeysChanged(*before, *back, {}), "");
    EXPECT_EQ(keyReferencesBroken(file), "");
    if (indexesSound) {
      EXPECT_EQ(indexesBroken(file), "");
    }
  }

  // Values set on a key whose value list another key lists too: that list
  // stays as it was, allocated.
  {
    HiveDamage shared(readFile(sound));
    const std::size_t kept = keyIndex(shared, "Classes\\Kept"), outside = keyIndex(shared, "Microsoft\\Outside");
    const std::size_t below = keyIndex(shared, "Classes\\Kept\\Below");
    ASSERT_TRUE(shared.plant(Damage::SharedValueList, kept, outside));
    ASSERT_TRUE(shared.plant(Damage::ClassNameNamesKey, outside, below));
    writeFile(file, shared.bytes());
    const auto before = hivexKeys(file);
    ASSERT_TRUE(before);
    const std::string bytes = shared.bytes();
    std::vector<unsigned char> image(bytes.begin(), bytes.end());
    registry::regf::RegfGrower grower(image);
    std::string why;
    ASSERT_TRUE(grower.start(why)) << why;
    const std::string data = sz("a value of its own").data;
    ASSERT_TRUE(grower.setValues(shared.keys()[kept].cell, {{"own", registry::REG_SZ, data}}, why)) << why;
    // A key whose cell is another key's class name is not written at all.
    EXPECT_FALSE(grower.setValues(shared.keys()[below].cell, {{"own", registry::REG_SZ, data}}, why));
    EXPECT_EQ(why, "another structure of the hive names its key cell too");
    grower.finish();
    writeFile(file, std::string(image.begin(), image.end()));
    const auto after = hivexKeys(file);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->at("\\Microsoft\\Outside"), before->at("\\Microsoft\\Outside"));
    EXPECT_EQ(keyReferencesBroken(file), "");
  }

  // A parent whose key cell a kept key's class name names cannot have its
  // subkeys rewritten without changing that class name: the save fails,
  // naming the parent, and the file stays as it was.
  HiveDamage damage(readFile(sound));
  ASSERT_TRUE(damage.plant(Damage::ClassNameNamesKey, keyIndex(damage, "Classes\\Kept"), keyIndex(damage, "Classes")));
  writeFile(file, damage.bytes());
  std::string error;
  auto store = registry::HiveStore::open(file, registry::HiveStore::Top::ClassesRequired, error);
  ASSERT_TRUE(store) << error;
  registry::HandleTable api(*store);
  ASSERT_EQ(deleteTree(api, "Gone"), 0);
  EXPECT_THAT(outcome(store->save()),
              ::testing::HasSubstr("the subkeys of the key Classes cannot be rewritten: "
                                   "the key Classes\\Kept names the same cells"));
  EXPECT_EQ(readFile(file), damage.bytes());
}

}  // namespace
}  // namespace comsweep::test
