#pragma once
// Fixture hives: an empty hive, keys and values added through libhivex;
// the store opened on them, and the judgement of a save that removed keys.

#include <hivex.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fuzz/HiveKeptCheck.h"
#include "registry/hive/HiveStore.h"
#include "registry/regf/RegfView.h"
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

// A value as libhivex takes it; it points into `v`.
inline hive_set_value hivexValue(const registry::NamedValue& v) {
  return {const_cast<char*>(v.name.c_str()), static_cast<hive_type>(v.value.type), v.value.data.size(),
          const_cast<char*>(v.value.data.data())};
}

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
    for (const registry::NamedValue& v : values) set.push_back(hivexValue(v));
    ASSERT_EQ(hivex_node_set_values(h, node, set.size(), set.data(), 0), 0) << path;
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
    const hive_set_value value = hivexValue(v);
    ASSERT_EQ(hivex_node_set_value(h, node, &value, 0), 0) << path << " " << v.name;
  }
  ASSERT_EQ(hivex_commit(h, file.c_str(), 0), 0);
  hivex_close(h);
}

inline std::uint32_t le32At(const std::string& bytes, std::size_t at) {
  return registry::regf::le32(reinterpret_cast<const unsigned char*>(bytes.data() + at));
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

// The hive store of `file`; null, and a failure, when it is refused.
inline std::unique_ptr<registry::HiveStore> openHive(
    const std::filesystem::path& file, registry::HiveStore::Top top = registry::HiveStore::Top::ClassesIfPresent) {
  std::string error;
  auto store = registry::HiveStore::open(file, top, error);
  EXPECT_TRUE(store) << error;
  return store;
}

// What a save that removed `removed` (with what is below them) broke in
// `file`, which libhivex read as `before`: a kept key that libhivex reads
// otherwise, the store and libhivex reading it differently, a reference to
// no cell, and, when `indexesSound` held before, an lh hash or a descriptor
// broken. Empty when nothing.
inline std::string whatTheSaveBroke(const std::filesystem::path& file, const std::map<std::string, std::string>& before,
                                    const std::set<std::string>& removed, bool indexesSound) {
  const auto after = fuzz::hivexKeys(file);
  if (!after) return "libhivex cannot read it";
  const fuzz::HiveFaults faults = fuzz::hiveFaults(file);
  std::string broken;
  for (const std::string& why : {fuzz::keptKeysChanged(before, *after, removed), fuzz::readersDisagree(file, *after),
                                 faults.references, indexesSound ? faults.indexes : ""})
    if (!why.empty()) broken += why + "\n";
  return broken;
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

// The whole hive as the hive tools export it.
inline std::string exportedHive(const std::filesystem::path& hive) {
  return commandOutput("hivexregedit --export '" + hive.string() + "' '\\'").value_or("(failed)");
}

}  // namespace comsweep::test
