#include "support/MachineDump.h"

#include <gtest/gtest.h>

#include <set>

#include "machine/Machine.h"
#include "registry/store/Text.h"

namespace comsweep::test {

namespace {

void dumpKey(const registry::Store& store, registry::NodeId node, const std::string& path, bool asSpelled,
             std::string& out) {
  auto shown = [asSpelled](const std::string& name) { return asSpelled ? name : registry::upperCase(name); };
  std::vector<registry::NamedValue> values;
  EXPECT_TRUE(store.values(node, values)) << path;
  std::multiset<std::string> lines;  // sorted by name
  for (const auto& v : values) lines.insert(shown(v.name) + "=" + std::to_string(v.value.type) + ":" + v.value.data);
  out += "[" + shown(path) + "]\n";
  for (const auto& l : lines) out += l + "\n";
  for (std::uint32_t i = 0; i < store.childCount(node); ++i) {
    registry::NodeId child = store.childAt(node, i);
    dumpKey(store, child, (path.empty() ? "" : path + "\\") + std::string(store.name(child)), asSpelled, out);
  }
}

}  // namespace

std::string dump(const registry::Store& store, bool asSpelled) {
  std::string out;
  dumpKey(store, store.root(), "", asSpelled, out);
  return out;
}

std::string dump(const std::filesystem::path& file) {
  registry::MachineOpenResult opened = registry::openMachine(file);
  EXPECT_TRUE(opened.machine) << opened.failure.why;
  return opened.machine ? dump(*opened.machine->store) : std::string();
}

std::string plainText(const std::string& bytes) {
  std::string text = bytes.rfind("\xFF\xFE", 0) == 0 ? registry::utf16leToUtf8(bytes.substr(2)) : bytes;
  std::erase(text, '\r');
  return text;
}

}  // namespace comsweep::test
