#include "removal/Restore.h"

#include <algorithm>
#include <unordered_map>

#include "platform/Files.h"
#include "registry/store/Text.h"
#include "registry/regfile/RegFileParser.h"
#include "registry/regfile/RegFileSink.h"

namespace comsweep::removal {
namespace {

using registry::kNoNode;
using registry::NodeId;

class BackupReader : public registry::RegFileSink {
 public:
  explicit BackupReader(std::vector<BackupKey>& keys) : m_keys(keys) {}

  void keyLine(std::string_view path, bool deletion, std::size_t) override {
    m_current = nullptr;
    if (deletion) {
      m_deletion = std::string(path);
      return;
    }
    auto [it, fresh] = m_index.try_emplace(registry::upperCase(path), m_keys.size());
    if (fresh) m_keys.push_back({std::string(path), {}});
    m_current = &m_keys[it->second];
  }
  void defaultValue(registry::DWORD type, std::string_view data) override { namedValue("", type, data); }
  void defaultValueDeleted() override { namedValueDeleted(""); }
  bool wantsNamedValues() const override { return true; }
  void namedValue(std::string_view name, registry::DWORD type, std::string_view data) override {
    if (!m_current) return;
    for (registry::NamedValue& v : m_current->values) {
      if (registry::equalsNoCase(v.name, name)) {
        v.value = {type, std::string(data)};
        return;
      }
    }
    m_current->values.push_back({std::string(name), {type, std::string(data)}});
  }
  void namedValueDeleted(std::string_view name) override {
    if (m_current)
      std::erase_if(m_current->values,
                    [name](const registry::NamedValue& v) { return registry::equalsNoCase(v.name, name); });
  }

  const std::string& deletion() const { return m_deletion; }

 private:
  std::vector<BackupKey>& m_keys;
  std::unordered_map<std::string, std::size_t> m_index;  // upper-cased path -> key
  BackupKey* m_current = nullptr;  // m_keys does not grow while it is in use
  std::string m_deletion;
};

// The same values, names compared as the registry compares them, in any order.
bool sameValues(std::vector<registry::NamedValue> a, std::vector<registry::NamedValue> b) {
  if (a.size() != b.size()) return false;
  for (const registry::NamedValue& v : a) {
    auto it = std::find_if(b.begin(), b.end(),
                           [&](const registry::NamedValue& w) { return registry::equalsNoCase(v.name, w.name); });
    if (it == b.end() || it->value.type != v.value.type || it->value.data != v.value.data) return false;
    b.erase(it);
  }
  return true;
}

std::string_view parentPath(std::string_view path) {
  std::size_t cut = path.rfind('\\');
  return cut == std::string_view::npos ? std::string_view() : path.substr(0, cut);
}

}  // namespace

bool readBackup(const std::filesystem::path& file, std::vector<BackupKey>& keys, std::string& error) {
  keys.clear();
  platform::FileStatus st {};
  platform::FileDescriptor fd = platform::openRegularFile(file, st, error);
  if (!fd.valid()) {
    error = file.string() + ": " + error;
    return false;
  }
  std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
  if (platform::readAt(fd.get(), bytes.data(), bytes.size(), 0) != static_cast<long long>(bytes.size())) {
    error = file.string() + ": cannot be read";
    return false;
  }
  // Keys are appended while the reader holds a pointer into the list: room
  // for one per key line keeps it in place.
  keys.reserve(static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '[')));
  BackupReader reader(keys);
  registry::RegFileParser parser(reader);
  if (!parser.parse(bytes)) {
    error = file.string() + ":" + std::to_string(parser.error().line) + ": " + parser.error().reason;
    return false;
  }
  if (!reader.deletion().empty()) {
    error = file.string() + ": deletes " + reader.deletion() + "; a backup of removed keys deletes nothing";
    return false;
  }
  return true;
}

std::size_t RestorePlan::count(RestoreState state) const {
  return static_cast<std::size_t>(
      std::count_if(items.begin(), items.end(), [state](const RestoreItem& i) { return i.state == state; }));
}

int Restore::layerOf(std::string_view path, std::string_view& below) const {
  for (std::size_t i = 0; i < m_layers.size(); ++i) {
    const std::string& root = m_layers[i].registryRoot;
    if (path.size() > root.size() + 1 && path[root.size()] == '\\' &&
        registry::equalsNoCase(path.substr(0, root.size()), root)) {
      below = path.substr(root.size() + 1);
      return static_cast<int>(i);
    }
  }
  return -1;
}

NodeId Restore::find(const registry::Store& store, std::string_view path) const {
  NodeId node = store.root();
  while (node != kNoNode && !path.empty()) {
    std::size_t cut = path.find('\\');
    node = store.findChild(node, path.substr(0, cut));
    path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
  }
  return node;
}

RestorePlan Restore::plan(const std::vector<BackupKey>& keys) const {
  RestorePlan plan;
  // Parents first: by depth, file order within a depth.
  std::vector<std::size_t> order(keys.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  auto depth = [&](std::size_t i) { return std::count(keys[i].path.begin(), keys[i].path.end(), '\\'); };
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return depth(a) < depth(b); });
  std::unordered_map<std::string, std::size_t> stateOf;  // upper-cased path -> item
  for (std::size_t k : order) {
    const BackupKey& key = keys[k];
    std::string_view below;
    int layer = layerOf(key.path, below);
    if (layer < 0) {
      std::string roots;
      for (const auto& l : m_layers) roots += (roots.empty() ? "" : ", ") + l.registryRoot;
      plan.refusal = "the backup holds " + key.path + ", which lies outside this machine's classes (" +
                     roots + "): it was taken from another machine";
      return plan;
    }
    const registry::Store& store = *m_layers[static_cast<std::size_t>(layer)].store;
    RestoreItem item{k, RestoreState::PutBack, {}};
    auto parent = stateOf.find(registry::upperCase(parentPath(key.path)));
    if (parent != stateOf.end() && plan.items[parent->second].state != RestoreState::AlreadyThere) {
      if (plan.items[parent->second].state != RestoreState::PutBack) item.state = RestoreState::BelowOccupied;
    } else {
      if (parent == stateOf.end() && find(store, parentPath(below)) == kNoNode) {
        plan.refusal = "the backup holds " + key.path + ", whose parent key does not exist on this machine: "
                       "the backup was taken from another machine, or that key was removed since";
        return plan;
      }
      NodeId node = find(store, below);
      if (node != kNoNode) {
        std::vector<registry::NamedValue> now;
        item.state = store.values(node, now) && sameValues(now, key.values) ? RestoreState::AlreadyThere
                                                                           : RestoreState::Occupied;
      }
    }
    stateOf.emplace(registry::upperCase(key.path), plan.items.size());
    plan.items.push_back(std::move(item));
  }
  return plan;
}

void Restore::apply(const std::vector<BackupKey>& keys, RestorePlan& plan) {
  std::unordered_map<std::string, std::size_t> itemOf;  // upper-cased path -> item
  std::vector<NodeId> nodes(plan.items.size(), kNoNode);
  for (std::size_t i = 0; i < plan.items.size(); ++i) {
    RestoreItem& item = plan.items[i];
    const BackupKey& key = keys[item.key];
    itemOf.emplace(registry::upperCase(key.path), i);
    std::string_view below;
    auto& layer = m_layers[static_cast<std::size_t>(layerOf(key.path, below))];
    registry::Store& store = *layer.store;
    auto parent = itemOf.find(registry::upperCase(parentPath(key.path)));
    if (item.state == RestoreState::AlreadyThere) nodes[i] = find(store, below);
    if (item.state != RestoreState::PutBack) continue;
    if (parent != itemOf.end() && plan.items[parent->second].state == RestoreState::Failed) {
      item.state = RestoreState::BelowOccupied;
      continue;
    }
    NodeId parentNode = parent != itemOf.end() ? nodes[parent->second] : find(store, parentPath(below));
    std::string_view name = below.substr(below.rfind('\\') + 1);
    bool created = false;
    registry::LONG status = store.createKey(parentNode, name, nodes[i], created);
    for (std::size_t v = 0; status == registry::ERROR_SUCCESS && v < key.values.size(); ++v)
      status = store.setValue(nodes[i], key.values[v]);
    if (status != registry::ERROR_SUCCESS) {
      item.state = RestoreState::Failed;
      item.detail = registry::statusMessage(status);
    }
  }
}

void addMachineClassesNames(std::vector<registry::Machine::Layer>& layers) {
  const registry::Machine::Layer machineClasses = layers.front();
  for (const char* root : {"HKEY_CLASSES_ROOT", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes"})
    if (!registry::equalsNoCase(machineClasses.registryRoot, root)) layers.push_back({machineClasses.store, root});
}

const char* restoreStateText(RestoreState state, bool listing) {
  switch (state) {
    case RestoreState::PutBack: return listing ? "would put back" : "put back";
    case RestoreState::AlreadyThere: return "already there";
    case RestoreState::Occupied: return "left as it is (exists again with other values)";
    case RestoreState::BelowOccupied: return "left (below a key that is left)";
    case RestoreState::Failed: return "not put back";
  }
  return "";
}

}  // namespace comsweep::removal
