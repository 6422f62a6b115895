#pragma once
// Fixture hives: an empty hive, keys and values added through libhivex.

#include <hivex.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "registry/store/StoreContract.h"
#include "support/EmptyHive.h"

namespace comsweep::test {

// The node at `path` ("\\" between levels) below the root; missing levels
// are added when `add`, else the answer is 0.
inline hive_node_h hiveNode(hive_h* h, std::string_view path, bool add) {
  hive_node_h node = hivex_root(h);
  for (std::string_view rest = path; !rest.empty() && node;) {
    std::string part(rest.substr(0, rest.find('\\')));
    rest.remove_prefix(std::min(rest.size(), part.size() + 1));
    hive_node_h child = hivex_node_get_child(h, node, part.c_str());
    node = child || !add ? child : hivex_node_add_child(h, node, part.c_str());
  }
  return node;
}

// A key of a fixture hive with its values, in the order stored.
using HiveKey = std::pair<std::string, std::vector<registry::NamedValue>>;

// Writes a hive holding `keys` (parents implied) with their values, each key
// added with its values before the next.
inline void writeValues(const std::filesystem::path& file, const std::vector<HiveKey>& keys) {
  writeEmptyHive(file);
  hive_h* h = hivex_open(file.c_str(), HIVEX_OPEN_WRITE);
  ASSERT_NE(h, nullptr) << file;
  for (const auto& [path, values] : keys) {
    hive_node_h node = hiveNode(h, path, true);
    ASSERT_NE(node, 0u) << path;
    std::vector<hive_set_value> set;
    for (const registry::NamedValue& v : values)
      set.push_back({const_cast<char*>(v.name.c_str()), static_cast<hive_type>(v.value.type), v.value.data.size(),
                     const_cast<char*>(v.value.data.data())});
    if (!set.empty()) {
      ASSERT_EQ(hivex_node_set_values(h, node, set.size(), set.data(), 0), 0) << path;
    }
  }
  ASSERT_EQ(hivex_commit(h, file.c_str(), 0), 0);
  hivex_close(h);
}

// Writes a hive holding `keys` (parents implied); values are stored as given.
inline void writeHive(const std::filesystem::path& file, const std::vector<ContractKey>& keys) {
  std::vector<HiveKey> withValues;
  for (const ContractKey& key : keys) {
    withValues.push_back({key.path, {}});
    if (key.defaultValue) withValues.back().second.push_back({"", *key.defaultValue});
  }
  writeValues(file, withValues);
}

// Adds `values` to the existing key at `path`.
inline void addHiveValues(const std::filesystem::path& file, std::string_view path,
                          const std::vector<registry::NamedValue>& values) {
  hive_h* h = hivex_open(file.c_str(), HIVEX_OPEN_WRITE);
  ASSERT_NE(h, nullptr) << file;
  hive_node_h node = hiveNode(h, path, false);
  ASSERT_NE(node, 0u) << path;
  for (const registry::NamedValue& v : values) {
    hive_set_value value{const_cast<char*>(v.name.c_str()), static_cast<hive_type>(v.value.type), v.value.data.size(),
                         const_cast<char*>(v.value.data.data())};
    ASSERT_EQ(hivex_node_set_value(h, node, &value, 0), 0) << path << " " << v.name;
  }
  ASSERT_EQ(hivex_commit(h, file.c_str(), 0), 0);
  hivex_close(h);
}

inline std::uint32_t le32At(const std::string& bytes, std::size_t at) {
  std::uint32_t v = 0;
  std::memcpy(&v, bytes.data() + at, 4);
  return v;
}

// The file offset of the subkey list of the key whose nk cell is at `nk`.
inline std::size_t listOf(const std::string& bytes, std::size_t nk) { return 0x1000 + le32At(bytes, nk + 4 + 0x1C); }

// The file offset of a key's nk cell (4 bytes before its signature).
inline std::size_t keyCell(const std::filesystem::path& file, const char* name) {
  hive_h* h = hivex_open(file.c_str(), 0);
  hive_node_h node = h ? hiveNode(h, name, false) : 0;
  if (h) hivex_close(h);
  return node;
}

// Standard output of a shell command, or nullopt when it failed.
inline std::optional<std::string> commandOutput(const std::string& command) {
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return std::nullopt;
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  if (::pclose(pipe) != 0) return std::nullopt;
  return out;
}

}  // namespace comsweep::test
