#include "support/Fixture.h"

#include "registry/store/Text.h"

namespace comsweep::test {

std::unique_ptr<registry::MemoryStore> makeStore(const std::vector<FixtureKey>& keys) {
  auto store = std::make_unique<registry::MemoryStore>();
  for (const FixtureKey& key : keys) {
    registry::NodeId node = store->addPath(key.path);
    if (key.value)
      store->setDefaultValue(node, {registry::REG_SZ, registry::utf8ToUtf16le(*key.value) + std::string(2, '\0')});
  }
  return store;
}

std::vector<std::string> allKeys(const registry::Store& store) {
  std::vector<std::string> out;
  auto collect = [&](auto& self, registry::NodeId node, const std::string& prefix) -> void {
    for (std::uint32_t i = 0; i < store.childCount(node); ++i) {
      const registry::NodeId child = store.childAt(node, i);
      out.push_back(prefix + std::string(store.name(child)));
      self(self, child, out.back() + "\\");
    }
  };
  collect(collect, store.root(), "");
  return out;
}

}  // namespace comsweep::test
