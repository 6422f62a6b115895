#include "fuzz/HiveKeptCheck.h"

#include <hivex.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

#include "registry/hive/HiveStore.h"
#include "registry/regf/RegfGrower.h"
#include "registry/regf/RegfHive.h"

namespace comsweep::fuzz {

namespace {

bool below(const std::string& path, const std::set<std::string>& removed) {
  for (const std::string& r : removed)
    if (path == r || path.starts_with(r + "\\")) return true;
  return false;
}

}  // namespace

std::string valueLine(std::string_view name, std::uint32_t type, std::string_view data) {
  static const char digits[] = "0123456789abcdef";
  std::string out = std::string(name) + " " + std::to_string(type) + " ";
  for (unsigned char c : data) out += digits[c >> 4], out += digits[c & 15];
  return out + "\n";
}

std::optional<std::map<std::string, std::string>> hivexKeys(const std::filesystem::path& file) {
  hive_h* h = hivex_open(file.c_str(), 0);
  if (!h) return std::nullopt;
  std::map<std::string, std::string> keys;
  std::set<hive_node_h> seen;
  std::function<void(hive_node_h, const std::string&, int)> walk = [&](hive_node_h node, const std::string& path,
                                                                        int depth) {
    if (depth > 64 || !seen.insert(node).second) return;
    std::string& values = keys[path];
    hive_value_h* list = hivex_node_values(h, node);
    for (hive_value_h* v = list; v && *v; ++v) {
      char* name = hivex_value_key(h, *v);
      hive_type type{};
      std::size_t length = 0;
      char* data = name ? hivex_value_value(h, *v, &type, &length) : nullptr;
      std::uint32_t rawType = 0;
      std::memcpy(&rawType, &type, sizeof rawType);
      values += name && data ? valueLine(name, rawType, std::string_view(data, length)) : "unreadable\n";
      std::free(name);
      std::free(data);
    }
    if (!list) values += "unreadable\n";
    std::free(list);
    hive_node_h* children = hivex_node_children(h, node);
    for (hive_node_h* c = children; c && *c; ++c) {
      char* name = hivex_node_name(h, *c);
      if (name) walk(*c, path + "\\" + name, depth + 1);
      std::free(name);
    }
    if (!children) keys[path] += "subkeys unreadable\n";
    std::free(children);
  };
  walk(hivex_root(h), "", 0);
  hivex_close(h);
  return keys;
}

std::string keptKeysChanged(const std::map<std::string, std::string>& before,
                                   const std::map<std::string, std::string>& after,
                                   const std::set<std::string>& removed, const std::set<std::string>& mayGo) {
  for (const auto& [path, values] : before) {
    auto it = after.find(path);
    if (below(path, removed)) {
      if (it != after.end()) return path + " is still there after its removal";
    } else if (it == after.end()) {
      if (below(path, mayGo)) continue;
      return path + " is gone";
    } else if (it->second != values) {
      return path + " changed:\n" + values + "became\n" + it->second;
    }
  }
  for (const auto& [path, values] : after)
    if (!before.count(path)) return path + " appeared";
  return {};
}

std::string readersDisagree(const std::filesystem::path& file,
                            const std::map<std::string, std::string>& oracle, std::string* top) {
  std::string error;
  auto store = registry::HiveStore::open(file, registry::HiveStore::Top::ClassesIfPresent, error);
  if (!store) return "the store cannot read it: " + error;
  const std::string prefix = store->topIsRoot() ? "" : "\\" + std::string(store->name(store->root()));
  if (top) *top = prefix;
  std::map<std::string, std::string> ours;
  std::function<void(registry::NodeId, const std::string&)> walk = [&](registry::NodeId node, const std::string& path) {
    std::vector<registry::NamedValue> values;
    std::string& out = ours[path];
    if (!store->values(node, values)) out += "unreadable\n";
    for (const registry::NamedValue& v : values) out += valueLine(v.name, v.value.type, v.value.data);
    for (std::uint32_t i = 0; i < store->childCount(node); ++i) {
      const registry::NodeId child = store->childAt(node, i);
      walk(child, path + "\\" + std::string(store->name(child)));
    }
  };
  walk(store->root(), prefix);
  for (const auto& [path, values] : oracle) {
    if (!prefix.empty() && path != prefix && !path.starts_with(prefix + "\\")) continue;
    auto it = ours.find(path);
    if (it == ours.end()) return path + " is missing from the store";
    if (it->second != values) return path + " reads\n" + it->second + "in the store, but\n" + values;
    ours.erase(it);
  }
  return ours.empty() ? std::string() : ours.begin()->first + " is only in the store";
}

namespace {

// Visits every key the root leads to, once each, with the subkey lists read
// for it (an ri list first, then its leaves; as far as they could be read).
void eachKey(const registry::regf::RegfView& view, std::uint32_t root,
             const std::function<void(const registry::regf::KeyCell&, const std::vector<registry::regf::ListCell>&)>& visit) {
  std::vector<std::uint32_t> pending{root};
  std::set<std::uint32_t> seen;
  std::vector<registry::regf::ListCell> lists;
  std::string why;
  while (!pending.empty()) {
    registry::regf::KeyCell key;
    const std::uint32_t cell = pending.back();
    pending.pop_back();
    if (!seen.insert(cell).second || !view.key(cell, key, why)) continue;
    lists.clear();
    view.subkeys(key, pending, why, &lists);
    visit(key, lists);
  }
}

// The descriptor's bytes, or null where the cell holds none.
const unsigned char* descriptorAt(const registry::regf::RegfView& view, std::uint32_t cell) {
  std::span<const unsigned char> sk = view.cell(cell);
  return sk.size() >= 0x14 && sk[0] == 's' && sk[1] == 'k' ? sk.data() : nullptr;
}

std::string hex(std::uint32_t cell) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", cell);
  return text;
}

// A descriptor whose count of users is lower than the live keys that use
// it (`users`), or whose ring does not link back; empty when there is none.
std::string descriptorsBroken(const registry::regf::RegfView& view, const std::map<std::uint32_t, std::uint32_t>& users) {
  std::set<std::uint32_t> ringed;
  for (const auto& [sk, count] : users) {
    const unsigned char* p = descriptorAt(view, sk);
    if (!p) return "the descriptor at " + hex(sk) + " is no descriptor";
    // Fewer users counted than there are would let the descriptor go while
    // keys still use it; more only keep it longer (a save leaves a count
    // alone where the descriptor's bytes are also a kept value's data).
    if (registry::regf::le32(p + 12) < count)
      return "the descriptor at " + hex(sk) + " counts " + std::to_string(registry::regf::le32(p + 12)) +
             " users, not " + std::to_string(count);
    // Around its ring: every member a descriptor whose next one links back to it.
    for (std::uint32_t at = sk; ringed.insert(at).second;) {
      const unsigned char* here = descriptorAt(view, at);
      if (!here) return "the ring of the descriptor at " + hex(sk) + " leads to " + hex(at) + ", no descriptor";
      const std::uint32_t next = registry::regf::le32(here + 4);
      const unsigned char* there = descriptorAt(view, next);
      if (!there || registry::regf::le32(there + 8) != at)
        return "the descriptor after " + hex(at) + " in its ring does not link back to it";
      at = next;
    }
  }
  return {};
}

// The key's security descriptor or class name, named where it is no cell;
// empty when both are sound.
std::string referenceFault(const registry::regf::RegfView& view, const registry::regf::KeyCell& key) {
  if (!descriptorAt(view, key.security))
    return "the key " + registry::regf::nameToUtf8(key.name, key.nameIsLatin1) + " has no security descriptor";
  if (key.className != registry::regf::kNoCell && !view.isCell(key.className))
    return "the class name of the key " + registry::regf::nameToUtf8(key.name, key.nameIsLatin1) + " is no cell";
  return {};
}

// An entry of the lh list at `cell` (a key's cell and the hash of its
// name, which lookups go by) whose hash is not its key's name's; empty when
// there is none.
std::string hashFault(const registry::regf::RegfView& view, std::uint32_t cell) {
  std::span<const unsigned char> list = view.cell(cell);
  std::string why;
  for (std::size_t i = 0; i < registry::regf::le16(list.data() + 2); ++i) {
    registry::regf::KeyCell child;
    if (!view.key(registry::regf::le32(list.data() + 4 + 8 * i), child, why)) continue;
    const std::string name = registry::regf::nameToUtf8(child.name, child.nameIsLatin1);
    if (registry::regf::le32(list.data() + 8 + 8 * i) != registry::regf::nameHash(name))
      return "the hash of the key " + name + " in its list is not its name's";
  }
  return {};
}

}  // namespace

HiveFaults hiveFaults(const std::filesystem::path& file) {
  std::string error;
  auto hive = registry::regf::RegfHive::open(file, error);
  if (!hive) return {error, error};
  const registry::regf::RegfView& view = hive->view();
  HiveFaults faults;
  std::string hashes;
  std::map<std::uint32_t, std::uint32_t> users;  // how many live keys use each descriptor
  eachKey(view, hive->rootCell(), [&](const registry::regf::KeyCell& key, const std::vector<registry::regf::ListCell>& lists) {
    ++users[key.security];
    if (faults.references.empty()) faults.references = referenceFault(view, key);
    for (std::size_t l = 0; hashes.empty() && l < lists.size(); ++l)
      if (lists[l].kind == 'h') hashes = hashFault(view, lists[l].cell);
  });
  faults.indexes = hashes.empty() ? descriptorsBroken(view, users) : hashes;
  return faults;
}

}  // namespace comsweep::fuzz
