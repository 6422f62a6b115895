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

using namespace fuzz;
using namespace registry;

// The fixture's keys, as HiveDamage names them.
const char *const kGone = "Classes\\Gone", *const kChild = "Classes\\Gone\\Child", *const kKept = "Classes\\Kept";
const char *const kBelow = "Classes\\Kept\\Below", *const kOutside = "Microsoft\\Outside";

std::size_t keyIndex(const HiveDamage& damage, std::string_view path) {
  for (std::size_t i = 0; i < damage.keys().size(); ++i)
    if (damage.keys()[i].path == path) return i;
  ADD_FAILURE() << path << " not found";
  return 0;
}

TEST(HiveSharedCells, RemovingAKeyLeavesWhatKeptKeysShareWithIt) {
  TempDir dir;
  const std::filesystem::path sound = dir / "sound", file = dir / "SOFTWARE";
  const std::string text = "some text, stored in a cell of its own";
  writeValues(sound, {{kGone, {{"", sz("gone " + text)}, {"g", sz("gone")}}},
                      {kChild, {{"", sz("child " + text)}}},
                      {kKept, {{"", sz("kept " + text)}, {"second", sz("second " + text)}}},
                      {kBelow, {{"", sz("below " + text)}}},
                      {kOutside, {{"", sz("outside " + text)}, {"o", sz("o")}}}});
  const struct {
    const char* what;
    Damage damage;
    const char *from, *to;  // the keys it is planted between
    bool variant = false;
    const char* refused = nullptr;  // what the save says when it refuses, leaving the file as it was
  } cases[] = {
      {"removed class name names a kept key", Damage::ClassNameNamesKey, kGone, kKept},
      {"kept class name names a removed key", Damage::ClassNameNamesKey, kKept, kChild},
      {"shared value list", Damage::SharedValueList, kGone, kKept},
      {"shared value list, owner outside Classes", Damage::SharedValueList, kChild, kOutside},
      {"shared value", Damage::SharedValue, kGone, kKept},
      {"shared data", Damage::SharedData, kChild, kBelow},
      {"extra segment names a kept value", Damage::BigDataExtraSegment, kGone, kKept},
      {"extra segment names a kept key", Damage::BigDataExtraSegment, kGone, kKept, true},
      {"a kept value's extra segment names a removed key", Damage::BigDataExtraSegment, kKept, kChild, true},
      {"ring into data beginning with s", Damage::RingIntoData, kGone, kKept},
      {"ring into data beginning with sk", Damage::RingIntoData, kGone, kKept, true},
      {"kept key uses the removed key's descriptor, count 1", Damage::SharedDescriptorCountOne, kGone, kKept},
      {"the removed key's own descriptor leaves its ring", Damage::SharedDescriptorCountOne, kGone, kKept, true},
      {"a kept value's data is the descriptor the keys put back use", Damage::DataIsDescriptor, kKept, "Classes"},
      // A parent whose key cell a kept key's class name names cannot have its
      // subkeys rewritten without changing that class name.
      {"a kept class name names the parent", Damage::ClassNameNamesKey, kKept, "Classes", false,
       "the subkeys of the key Classes cannot be rewritten: the key Classes\\Kept names the same cells"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    HiveDamage damage(readFile(sound));
    ASSERT_TRUE(damage.plant(c.damage, keyIndex(damage, c.from), keyIndex(damage, c.to), c.variant));
    writeFile(file, damage.bytes());
    const auto before = hivexKeys(file);
    ASSERT_TRUE(before) << "libhivex cannot read it";
    ASSERT_TRUE(before->count("\\Classes\\Kept\\Below"));
    ASSERT_EQ(readersDisagree(file, *before), "");
    const HiveFaults faults = hiveFaults(file);
    ASSERT_EQ(faults.references, "");
    // Hashes and descriptors a damaged hive got wrong stay so; sound ones
    // stay sound. Only the planted descriptors are not sound to begin with.
    const bool indexesSound = faults.indexes.empty();
    EXPECT_EQ(indexesSound,
              c.damage != Damage::RingIntoData && (c.damage != Damage::SharedDescriptorCountOne || c.variant));

    auto store = openHive(file, HiveStore::Top::ClassesRequired);
    ASSERT_TRUE(store);
    // What an undo's backup holds: the values of Gone and of Gone\Child as read before the removal.
    const char* const levels[] = {"Gone", "Child"};
    std::vector<NamedValue> values[2];
    NodeId node = store->root();
    for (int i : {0, 1}) ASSERT_TRUE(store->values(node = store->findChild(node, levels[i]), values[i])) << levels[i];
    HandleTable api(*store);
    ASSERT_EQ(deleteTree(api, "Gone"), 0);
    const std::string saved = outcome(store->save());
    store.reset();
    if (c.refused) {
      EXPECT_THAT(saved, ::testing::HasSubstr(c.refused));
      EXPECT_EQ(readFile(file), damage.bytes());
      continue;
    }
    ASSERT_EQ(saved, "ok");
    EXPECT_EQ(whatTheSaveBroke(file, *before, {"\\Classes\\Gone"}, indexesSound), "");

    // Put back as an undo does: the hive reads as before the removal, or
    // the save refuses and leaves the file as the removal saved it.
    const std::string removed = readFile(file);
    store = openHive(file, HiveStore::Top::ClassesRequired);
    ASSERT_TRUE(store);
    bool created = false;
    node = store->root();
    for (int i : {0, 1}) {
      ASSERT_EQ(store->createKey(node, levels[i], node, created), 0) << levels[i];
      for (const NamedValue& value : values[i]) ASSERT_EQ(store->setValue(node, value), 0) << levels[i];
    }
    const std::string undone = outcome(store->save());
    store.reset();
    if (undone == "ok") EXPECT_EQ(whatTheSaveBroke(file, *before, {}, indexesSound), "");
    else EXPECT_EQ(readFile(file), removed) << undone;
  }

  // Values set on a key whose value list another key lists too: that list
  // stays as it was, allocated.
  HiveDamage shared(readFile(sound));
  const auto kept = keyIndex(shared, kKept), outside = keyIndex(shared, kOutside), below = keyIndex(shared, kBelow);
  ASSERT_TRUE(shared.plant(Damage::SharedValueList, kept, outside));
  ASSERT_TRUE(shared.plant(Damage::ClassNameNamesKey, outside, below));
  const std::string bytes = shared.bytes();
  regf::RegfImage image(std::span(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
  regf::RegfGrower grower(image);
  std::string why;
  ASSERT_TRUE(grower.start(why)) << why;
  const std::string data = sz("a value of its own").data;
  ASSERT_TRUE(grower.setValues(shared.keys()[kept].cell, {{"own", REG_SZ, data}}, why)) << why;
  // A key whose cell is another key's class name is not written at all.
  EXPECT_FALSE(grower.setValues(shared.keys()[below].cell, {{"own", REG_SZ, data}}, why));
  EXPECT_EQ(why, "another structure of the hive names its key cell too");
  grower.finish();
  writeFile(file, std::string(reinterpret_cast<const char*>(image.bytes().data()), image.bytes().size()));
  EXPECT_EQ(hivexKeys(file).value_or(std::map<std::string, std::string>{})["\\Microsoft\\Outside"],
            valueLine("", REG_SZ, sz("outside " + text).data) + valueLine("o", REG_SZ, sz("o").data));
  EXPECT_EQ(hiveFaults(file).references, "");
}

}  // namespace
}  // namespace comsweep::test
