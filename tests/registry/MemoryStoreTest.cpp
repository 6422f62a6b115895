#include "registry/memory/MemoryStore.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace comsweep::test {
namespace {

// The store contract holds for memory stores through the Layered instantiation, whose two layers are memory stores.
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
