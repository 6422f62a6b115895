#include "support/MachineDump.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "registry/Machine.h"
#include "registry/Text.h"
#include "support/Fixture.h"

namespace comsweep::test {

std::string dump(const std::filesystem::path& file) {
  registry::MachineOpenResult opened = registry::openMachine(file);
  EXPECT_TRUE(opened.machine) << opened.error;
  if (!opened.machine) return {};
  const registry::Store& store = *opened.machine->store;
  std::string out;
  std::vector<std::string> keys = allKeys(store);
  for (const std::string& path : keys) {
    out += "[" + registry::upperCase(path) + "]\n";
    registry::NodeId node = store.root();
    std::string_view rest = path;
    while (!rest.empty()) {
      std::size_t cut = rest.find('\\');
      node = store.findChild(node, rest.substr(0, cut));
      rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    }
    std::vector<registry::NamedValue> values;
    EXPECT_TRUE(store.values(node, values));
    std::vector<std::string> lines;
    for (const auto& v : values)
      lines.push_back(registry::upperCase(v.name) + "=" + std::to_string(v.value.type) + ":" +
                      v.value.data);
    std::sort(lines.begin(), lines.end());
    for (const auto& l : lines) out += l + "\n";
  }
  return out;
}

std::string plainText(const std::string& bytes) {
  std::string text = bytes.rfind("\xFF\xFE", 0) == 0 ? registry::utf16leToUtf8(bytes.substr(2)) : bytes;
  std::string out;
  for (char c : text)
    if (c != '\r') out += c;
  return out;
}

}  // namespace comsweep::test
