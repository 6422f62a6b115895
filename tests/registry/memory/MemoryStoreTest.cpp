#include "registry/memory/MemoryStore.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registry/store/StoreContract.h"

namespace comsweep::test {
namespace {

struct MemoryTraits {
  static StoreUnderTest make(const std::vector<ContractKey>& keys) {
    auto store = std::make_unique<registry::MemoryStore>();
    for (const ContractKey& key : keys) addKey(*store, key);
    return {std::move(store), nullptr};
  }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Memory, StoreContract, MemoryTraits);

}  // namespace
}  // namespace comsweep::test
