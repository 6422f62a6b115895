#include "registry/memory/MemoryStore.h"

#include "registry/StoreContract.h"

namespace comsweep::test {
namespace {

struct MemoryTraits {
  static StoreUnderTest make(const std::vector<ContractKey>& keys) {
    auto store = std::make_unique<registry::MemoryStore>();
    for (const auto& key : keys) {
      registry::NodeId node = store->addPath(key.path);
      if (key.defaultValue) store->setDefaultValue(node, *key.defaultValue);
    }
    return {std::move(store), nullptr};
  }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Memory, StoreContract, MemoryTraits);

TEST(MemoryStore, KeysArrivingOutOfOrderAreSortedAndMerged) {
  registry::MemoryStore store;
  for (const char* path : {"c", "A", "b\\x", "B\\y", "a"}) store.addPath(path);
  ASSERT_EQ(store.childCount(store.root()), 3u);
  EXPECT_EQ(store.name(store.childAt(store.root(), 0)), "A");
  EXPECT_EQ(store.name(store.childAt(store.root(), 1)), "b");
  EXPECT_EQ(store.childCount(store.childAt(store.root(), 1)), 2u);
  EXPECT_EQ(store.name(store.childAt(store.root(), 2)), "c");
}

}  // namespace
}  // namespace comsweep::test
