// The damage campaign: hives built at random from a fixed seed, damaged
// with what HiveDamage plants (most of it into the keys about to be
// removed), then keys removed and the hive saved. After every save each
// kept key and value must read back exactly, by libhivex and by the store.
// (hivexregedit judges saved hives in HiveOracle.)
// COMSWEEP_HIVE_CAMPAIGN=N sets the number of hives (default 150).

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "fuzz/HiveDamage.h"
#include "fuzz/HiveKeptCheck.h"
#include "registry/handles/HandleTable.h"
#include "registry/hive/HiveFixture.h"
#include "registry/hive/HiveStore.h"
#include "registry/wine/WineTestSupport.h"
#include "support/Fixture.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

using fuzz::HiveDamage;
using namespace registry;

// Builds a hive of a few dozen keys below Classes and outside it, each with
// up to three values: strings, binary data (some held in the value cell,
// some of several kilobytes) and numbers.
void buildHive(const std::filesystem::path& file, std::mt19937& random) {
  auto pick = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  std::vector<HiveKey> keys;
  auto add = [&](const std::string& path) {
    std::vector<NamedValue> values;
    for (int v = 0, count = pick(0, 3); v < count; ++v) {
      const int kind = pick(0, 5);
      std::string bytes;
      if (kind <= 2) {
        for (int i = pick(1, 40); i > 0; --i) bytes += static_cast<char>(pick('a', 'z')), bytes += '\0';
        bytes += std::string(2, '\0');
      } else if (kind == 3) {
        bytes.assign(4, static_cast<char>(pick(0, 255)));
      } else {
        bytes.resize(static_cast<std::size_t>(kind == 5 && pick(0, 3) == 0 ? pick(2000, 9000) : pick(0, 200)));
        for (char& c : bytes) c = static_cast<char>(pick(0, 255));
      }
      values.push_back({v == 0 ? "" : "v" + std::to_string(v), {v % 3 == 1 ? REG_BINARY : REG_SZ, bytes}});
    }
    keys.push_back({path, values});
    return path + "\\";
  };
  const std::string classes = add("Classes");
  for (int i = pick(4, 16); i > 0; --i) {
    const std::string top = add(classes + "k" + std::to_string(i));
    for (int j = pick(0, 3); j > 0; --j) {
      const std::string child = add(top + "c" + std::to_string(j));
      for (int k = pick(0, 2); k > 0; --k) add(child + "g" + std::to_string(k));
    }
  }
  const std::string outside = add(add("Microsoft") + "Outside");
  for (int i = pick(0, 4); i > 0; --i) add(outside + "o" + std::to_string(i));
  writeValues(file, keys);
}

TEST(HiveDamageCampaign, EveryKeptKeyAndValueSurvivesEverySave) {
  const char* env = std::getenv("COMSWEEP_HIVE_CAMPAIGN");
  const int hives = env ? std::atoi(env) : 150;
  TempDir dir;
  const auto file = dir / "SOFTWARE";
  std::mt19937 random(22);
  int saved = 0, refusedOpen = 0, refusedSave = 0, planted = 0;
  for (int n = 0; n < hives && !HasFailure(); ++n) {
    SCOPED_TRACE("hive " + std::to_string(n));
    buildHive(file, random);
    HiveDamage damage(readFile(file));
    ASSERT_TRUE(damage.ok());
    // Keys to remove below Classes, and damage planted from them (or from
    // a key below them) into any key.
    std::vector<std::string> removals;  // in the order picked: a key's child may go before it
    std::set<std::string> removedPaths;
    const auto& keys = damage.keys();
    std::uniform_int_distribution<std::size_t> anyKey(1, keys.size() - 1);
    for (int r = std::uniform_int_distribution<int>(1, 3)(random); r > 0; --r) {
      const std::string& path = keys[anyKey(random)].path;
      if (!path.starts_with("Classes\\")) continue;
      removals.push_back(path.substr(8));
      removedPaths.insert("\\" + path);
      std::vector<std::size_t> inside;
      for (std::size_t k = 0; k < keys.size(); ++k)
        if (keys[k].path == path || keys[k].path.starts_with(path + "\\")) inside.push_back(k);
      for (int d = std::uniform_int_distribution<int>(1, 3)(random); d > 0; --d) {
        const auto kind = static_cast<fuzz::Damage>(random() % static_cast<unsigned>(fuzz::Damage::kCount));
        planted += damage.plant(kind, inside[random() % inside.size()], anyKey(random), random() % 2);
      }
    }
    planted += damage.plantRandom(random, static_cast<int>(random() % 3));
    const std::string bytes = damage.bytes();
    writeFile(file, bytes);
    const auto before = fuzz::hivexKeys(file);
    ASSERT_TRUE(before);
    ASSERT_EQ(fuzz::readersDisagree(file, *before), "");
    const bool indexesSound = fuzz::hiveFaults(file).indexes.empty();

    std::string error;
    auto store = HiveStore::open(file, HiveStore::Top::ClassesRequired, error);
    if (!store) {
      EXPECT_FALSE(error.empty());
      ++refusedOpen;
      continue;
    }
    HandleTable api(*store);
    for (const std::string& path : removals) deleteTree(api, path);
    const CommitResult result = store->save();
    store.reset();
    if (result.failure.failed()) {
      EXPECT_FALSE(result.failure.why.empty());
      EXPECT_EQ(readFile(file), bytes);
      if (refusedSave++ < 3) std::printf("hive %d: %s\n", n, result.failure.why.c_str());
      continue;
    }
    ++saved;
    EXPECT_EQ(whatTheSaveBroke(file, *before, removedPaths, indexesSound), "");
  }
  std::printf("damage campaign: %d hives, %d damages planted, %d saved, %d refused at open, %d saves refused\n", hives,
              planted, saved, refusedOpen, refusedSave);
  EXPECT_GT(saved, hives / 2);
}

}  // namespace
}  // namespace comsweep::test
