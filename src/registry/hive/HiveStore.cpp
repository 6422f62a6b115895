#include "registry/hive/HiveStore.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "registry/AtomicFile.h"
#include "registry/Text.h"
#include "registry/hive/ChildProcess.h"
#include "registry/hive/HiveFileCheck.h"
#include "registry/hive/HiveString.h"

namespace comsweep::registry {
namespace {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Malloced = std::unique_ptr<T, FreeDeleter>;

// What an errno from libhivex's readers means to the user.
std::string readFailure(int err) {
  if (err == ERANGE)
    return "has more subkeys or values than libhivex can read (at most 70,000 subkeys and "
           "110,000 values per key); the hive is refused rather than cleaned in part";
  if (err == ENOMEM) return "cannot be read: not enough memory";
  return std::string("is damaged (libhivex: ") + (err ? std::strerror(err) : "unreadable cell") +
         ")";
}

}  // namespace

HiveStore::HiveStore(std::filesystem::path file, HiveHandle hive)
    : m_file(std::move(file)), m_hive(std::move(hive)) {}

std::unique_ptr<HiveStore> HiveStore::open(const std::filesystem::path& file, Top top,
                                           std::string& error) {
  const std::string where = file.string() + ": ";
  HiveFileCheck check = checkHiveFile(file);
  if (!check.problem.empty()) {
    error = where + check.problem;
    return nullptr;
  }
  errno = 0;
  HiveHandle hive(hivex_open(file.c_str(), HIVEX_OPEN_WRITE));
  if (!hive) {
    int err = errno;
    if (err == ENOENT || err == EACCES || err == EPERM || err == EISDIR || err == EIO)
      error = where + "cannot be read: " + std::strerror(err);
    else
      error = where + "the hive " + readFailure(err);
    return nullptr;
  }

  // The file must be the one checked above, read in one piece by libhivex.
  platform::FileIdentity read;
  if (!platform::FileIdentity::ofPath(file, read) || !(read == check.identity)) {
    error = where + "changed while it was being read";
    return nullptr;
  }
  std::unique_ptr<HiveStore> store(new HiveStore(file, std::move(hive)));
  store->m_identity = read;
  store->m_top = top;
  hive_h* h = store->m_hive.get();
  hive_node_h topCell = hivex_root(h);
  if (topCell == 0) {
    error = where + "the hive is damaged (no root key)";
    return nullptr;
  }
  errno = 0;
  Malloced<hive_node_h> children(hivex_node_children(h, topCell));
  if (!children) {
    error = where + "the root key " + readFailure(errno);
    return nullptr;
  }
  for (const hive_node_h* c = children.get(); *c; ++c) {
    Malloced<char> name(hivex_node_name(h, *c));
    if (name && equalsNoCase(name.get(), "Classes")) {
      topCell = *c;
      store->m_topIsRoot = false;
      break;
    }
  }
  if (store->m_topIsRoot && top == Top::ClassesRequired) {
    error = where + "the hive has no Classes key (it is not a SOFTWARE hive)";
    return nullptr;
  }
  if (!store->load(topCell, check.size, error)) {
    error = where + error;
    return nullptr;
  }
  return store;
}

bool HiveStore::load(hive_node_h top, std::uint64_t fileSize, std::string& error) {
  hive_h* h = m_hive.get();
  // Cells are 4-byte aligned: one bit per possible cell finds a key that is
  // reached twice, which would make a damaged hive an endless tree.
  std::vector<bool> seen(fileSize / 4 + 1);
  auto fail = [&](NodeId node, const std::string& what) {
    std::string path = keyPath(node);
    error = (path.empty() ? std::string("the root key") : "the key " + path) + " " + what;
    return false;
  };

  Malloced<char> topName(hivex_node_name(h, top));
  if (!topName) return fail(kNoNode, readFailure(errno));
  m_nodes.push_back({});
  m_nodes[0].cell = top;
  m_nodes[0].name = topName.get();
  seen[top / 4] = true;

  for (NodeId i = 0; i < m_nodes.size(); ++i) {
    const hive_node_h cell = m_nodes[i].cell;
    errno = 0;
    hive_value_h value = hivex_node_get_value(h, cell, "");
    if (value == 0 && errno != 0) return fail(i, readFailure(errno));
    m_nodes[i].value = value;

    errno = 0;
    Malloced<hive_node_h> children(hivex_node_children(h, cell));
    if (!children) return fail(i, readFailure(errno));
    for (const hive_node_h* c = children.get(); *c; ++c) {
      if (*c / 4 >= seen.size() || seen[*c / 4])
        return fail(i, "is damaged (a subkey is reached twice)");
      seen[*c / 4] = true;
      errno = 0;
      Malloced<char> name(hivex_node_name(h, *c));
      if (!name) return fail(i, readFailure(errno));
      // Keys are named by paths: a subkey without a name or with a
      // backslash in it would be opened as its parent or as another key.
      if (!*name) return fail(i, "is damaged (a subkey has an empty name)");
      if (std::strchr(name.get(), '\\'))
        return fail(i, "is damaged (a subkey name holds a backslash: \"" + std::string(name.get()) +
                           "\")");
      if (m_nodes.size() >= kNoNode) return fail(i, "holds more keys than can be handled");
      auto id = static_cast<NodeId>(m_nodes.size());
      m_nodes.push_back({});
      m_nodes.back().cell = *c;
      m_nodes.back().parent = i;
      m_nodes.back().name = name.get();
      m_nodes[i].children.push_back(id);
    }
    // Of two subkeys whose names the registry cannot tell apart, both would
    // be opened, and removed, as the one found first.
    const std::vector<NodeId>& sorted = sortedChildren(i);
    for (std::size_t k = 1; k < sorted.size(); ++k) {
      const std::string& a = m_nodes[sorted[k - 1]].name;
      const std::string& b = m_nodes[sorted[k]].name;
      if (equalsNoCase(a, b))
        return fail(i, "is damaged (two subkeys named \"" + a + "\" and \"" + b + "\")");
    }
  }
  return true;
}

std::string HiveStore::keyPath(NodeId node) const {
  std::vector<std::string_view> names;
  for (NodeId n = node; n != kNoNode && n < m_nodes.size(); n = m_nodes[n].parent)
    if (n != 0 || !m_topIsRoot) names.push_back(m_nodes[n].name);
  std::string path;
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    if (!path.empty()) path += '\\';
    path += *it;
  }
  return path;
}

const std::vector<NodeId>& HiveStore::sortedChildren(NodeId node) const {
  const Node& n = m_nodes[node];
  if (!n.sorted) {
    std::stable_sort(n.children.begin(), n.children.end(), [this](NodeId a, NodeId b) {
      return compareNoCase(m_nodes[a].name, m_nodes[b].name) < 0;
    });
    n.sorted = true;
  }
  return n.children;
}

bool HiveStore::isLive(NodeId node) const { return node < m_nodes.size() && m_nodes[node].live; }

NodeId HiveStore::findChild(NodeId parent, std::string_view name) const {
  if (!isLive(parent)) return kNoNode;
  const std::vector<NodeId>& children = sortedChildren(parent);
  auto it = std::lower_bound(children.begin(), children.end(), name,
                             [this](NodeId child, std::string_view n) {
                               return compareNoCase(m_nodes[child].name, n) < 0;
                             });
  if (it != children.end() && equalsNoCase(m_nodes[*it].name, name)) return *it;
  return kNoNode;
}

std::uint32_t HiveStore::childCount(NodeId node) const {
  return isLive(node) ? static_cast<std::uint32_t>(m_nodes[node].children.size()) : 0;
}

NodeId HiveStore::childAt(NodeId parent, std::uint32_t index) const {
  if (!isLive(parent) || index >= m_nodes[parent].children.size()) return kNoNode;
  return sortedChildren(parent)[index];
}

std::string_view HiveStore::name(NodeId node) const {
  return node < m_nodes.size() ? std::string_view(m_nodes[node].name) : std::string_view();
}

bool HiveStore::defaultValue(NodeId node, RegValue& out) const {
  if (!isLive(node) || m_nodes[node].value == 0) return false;
  hive_type type = hive_t_REG_NONE;
  std::size_t length = 0;
  Malloced<char> raw(hivex_value_value(m_hive.get(), m_nodes[node].value, &type, &length));
  if (!raw) return false;
  // libhivex stores the type field as it finds it in the hive, any 32-bit
  // number; read as the enum, most of them would be undefined behaviour.
  static_assert(sizeof type == sizeof out.type);
  std::memcpy(&out.type, &type, sizeof out.type);
  std::string_view data(raw.get(), length);
  out.data = isStringType(out.type) ? hiveStringToUtf16le(data) : std::string(data);
  return true;
}

bool HiveStore::values(NodeId node, std::vector<NamedValue>& out) const {
  out.clear();
  if (!isLive(node)) return false;
  Malloced<hive_value_h> list(hivex_node_values(m_hive.get(), m_nodes[node].cell));
  if (!list) return false;
  for (std::size_t i = 0; list.get()[i] != 0; ++i) {
    hive_value_h value = list.get()[i];
    Malloced<char> key(hivex_value_key(m_hive.get(), value));
    hive_type type = hive_t_REG_NONE;
    std::size_t length = 0;
    Malloced<char> raw(hivex_value_value(m_hive.get(), value, &type, &length));
    if (!key || !raw) return false;
    out.push_back({key.get(), {static_cast<DWORD>(type), std::string(raw.get(), length)}});
  }
  return true;
}

LONG HiveStore::removeLeaf(NodeId parent, NodeId child) {
  if (!isLive(parent) || !isLive(child) || m_nodes[child].parent != parent)
    return ERROR_FILE_NOT_FOUND;
  if (!m_nodes[child].children.empty()) return ERROR_ACCESS_DENIED;
  const std::vector<NodeId>& siblings = sortedChildren(parent);
  auto it = std::lower_bound(siblings.begin(), siblings.end(), child, [this](NodeId a, NodeId b) {
    return compareNoCase(m_nodes[a].name, m_nodes[b].name) < 0;
  });
  while (it != siblings.end() && *it != child) ++it;  // past equal names only
  if (it == siblings.end()) return ERROR_FILE_NOT_FOUND;
  m_nodes[parent].children.erase(it);
  m_nodes[child].live = false;
  m_nodes[child].value = 0;
  m_removed.push_back(child);
  m_changed = true;
  return ERROR_SUCCESS;
}

std::string HiveStore::writeWithoutRemovedKeys(const std::filesystem::path& temp) {
  // The default values as they are before libhivex frees any cell: on a
  // hive whose keys share cells, a removal can take a kept key's value.
  std::vector<RegValue> values(m_nodes.size());
  std::vector<bool> hasValue(m_nodes.size());
  for (NodeId i = 0; i < m_nodes.size(); ++i)
    if (m_nodes[i].live) hasValue[i] = defaultValue(i, values[i]);

  hive_h* h = m_hive.get();
  for (NodeId node : m_removed) {
    errno = 0;
    if (hivex_node_delete_child(h, m_nodes[node].cell) != 0)
      return "libhivex cannot remove the key " + keyPath(node) + " (" +
             (errno ? std::strerror(errno) : "no reason given") + ")";
  }
  errno = 0;
  if (hivex_commit(h, temp.c_str(), 0) != 0)
    return errno ? std::strerror(errno) : "libhivex could not write the hive";

  std::string error;
  std::unique_ptr<HiveStore> written = open(temp, m_top, error);
  if (!written) return "what libhivex wrote cannot be read back: " + error;
  std::string difference = compareTree(*written, values, hasValue);
  if (!difference.empty()) return "what libhivex wrote reads back differently: " + difference;
  return {};
}

std::string HiveStore::compareTree(const HiveStore& written, const std::vector<RegValue>& values,
                                   const std::vector<bool>& hasValue) const {
  auto where = [this](NodeId node) {
    std::string path = keyPath(node);
    return path.empty() ? std::string("the root key") : "the key " + path;
  };
  std::vector<std::pair<NodeId, NodeId>> pending{{root(), written.root()}};
  while (!pending.empty()) {
    auto [mine, theirs] = pending.back();
    pending.pop_back();
    RegValue value;
    bool has = written.defaultValue(theirs, value);
    if (has != hasValue[mine] || (has && (value.type != values[mine].type ||
                                          value.data != values[mine].data)))
      return "the default value of " + where(mine);
    const std::vector<NodeId>& a = sortedChildren(mine);
    const std::vector<NodeId>& b = written.sortedChildren(theirs);
    if (a.size() != b.size()) return "the subkeys of " + where(mine);
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (m_nodes[a[i]].name != written.m_nodes[b[i]].name) return "the subkeys of " + where(mine);
      pending.emplace_back(a[i], b[i]);
    }
  }
  return {};
}

std::string HiveStore::changedOnDisk() const {
  platform::FileIdentity now;
  if (!platform::FileIdentity::ofPath(m_file, now)) return std::strerror(errno);
  if (!(now == m_identity)) return "another program changed it since it was read";
  return {};
}

CommitResult HiveStore::save() {
  if (!m_changed) return {};
  auto unchanged = [this] { return changedOnDisk(); };
  if (std::string changed = unchanged(); !changed.empty())
    return {false, m_file.string() + ": the hive was left unchanged: " + changed};
  CommitResult result = replaceFileAtomicallyByName(
      m_file,
      [this](const std::filesystem::path& temp, std::string& error) {
        error = runInChildProcess([&] { return writeWithoutRemovedKeys(temp); });
        return error.empty();
      },
      unchanged);
  if (!result.ok) return {false, m_file.string() + ": the hive was left unchanged: " + result.message};
  m_changed = false;
  platform::FileIdentity::ofPath(m_file, m_identity);
  return result;
}

}  // namespace comsweep::registry
