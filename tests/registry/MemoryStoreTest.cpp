#include "registry/memory/MemoryStore.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registry/StoreContract.h"

namespace comsweep::test {
namespace {

struct MemoryTraits {
  static StoreUnderTest make(const std::vector<ContractKey>& keys) {
    auto store = std::make_unique<registry::MemoryStore>();
    for (const ContractKey& key : keys) {
      registry::NodeId node = store->addPath(key.path);
      if (key.defaultValue) store->setDefaultValue(node, *key.defaultValue);
    }
    return {std::move(store), nullptr};
  }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Memory, StoreContract, MemoryTraits);

// A value larger than the store keeps among others, and the ones around it.
TEST(MemoryStore, KeepsValuesOfAnySize) {
  registry::MemoryStore store;
  const std::string sizes[] = {"small", std::string(300000, 'L'), "after"};
  std::vector<registry::NodeId> nodes;
  for (const std::string& data : sizes) {
    nodes.push_back(store.addPath("K" + std::to_string(nodes.size())));
    store.setDefaultValue(nodes.back(), registry::REG_BINARY, data);
  }
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    registry::RegValue value;
    ASSERT_TRUE(store.defaultValue(nodes[i], value));
    EXPECT_EQ(value.data, sizes[i]);
  }
}

}  // namespace
}  // namespace comsweep::test
