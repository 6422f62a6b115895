#include "registry/memory/MemoryStore.h"

#include <algorithm>

#include "registry/Text.h"

namespace comsweep::registry {

MemoryStore::MemoryStore() { m_nodes.emplace_back(); }

bool MemoryStore::isLive(NodeId node) const { return node < m_nodes.size() && m_nodes[node].live; }

std::size_t MemoryStore::lowerBound(const Node& parent, std::string_view name) const {
  auto it = std::lower_bound(parent.children.begin(), parent.children.end(), name,
                             [this](NodeId child, std::string_view n) {
                               return compareNoCase(m_nodes[child].name, n) < 0;
                             });
  return static_cast<std::size_t>(it - parent.children.begin());
}

NodeId MemoryStore::findChild(NodeId parent, std::string_view name) const {
  if (!isLive(parent)) return kNoNode;
  const Node& p = m_nodes[parent];
  std::size_t i = lowerBound(p, name);
  if (i < p.children.size() && compareNoCase(m_nodes[p.children[i]].name, name) == 0)
    return p.children[i];
  return kNoNode;
}

std::uint32_t MemoryStore::childCount(NodeId node) const {
  return isLive(node) ? static_cast<std::uint32_t>(m_nodes[node].children.size()) : 0;
}

NodeId MemoryStore::childAt(NodeId parent, std::uint32_t index) const {
  if (!isLive(parent) || index >= m_nodes[parent].children.size()) return kNoNode;
  return m_nodes[parent].children[index];
}

std::string_view MemoryStore::name(NodeId node) const {
  return node < m_nodes.size() ? std::string_view(m_nodes[node].name) : std::string_view();
}

bool MemoryStore::defaultValue(NodeId node, RegValue& out) const {
  if (!isLive(node) || !m_nodes[node].hasDefault) return false;
  out.type = m_nodes[node].defaultType;
  out.data = m_nodes[node].defaultData;
  return true;
}

bool MemoryStore::values(NodeId node, std::vector<NamedValue>& out) const {
  out.clear();
  if (!isLive(node)) return false;
  RegValue value;
  if (defaultValue(node, value)) out.push_back({std::string(), std::move(value)});
  return true;
}

LONG MemoryStore::removeLeaf(NodeId parent, NodeId child) {
  if (!isLive(parent) || !isLive(child) || m_nodes[child].parent != parent) return ERROR_FILE_NOT_FOUND;
  if (!m_nodes[child].children.empty()) return ERROR_ACCESS_DENIED;
  auto& siblings = m_nodes[parent].children;
  std::size_t i = lowerBound(m_nodes[parent], m_nodes[child].name);
  if (i >= siblings.size() || siblings[i] != child) {
    auto it = std::find(siblings.begin(), siblings.end(), child);
    if (it == siblings.end()) return ERROR_FILE_NOT_FOUND;
    i = static_cast<std::size_t>(it - siblings.begin());
  }
  siblings.erase(siblings.begin() + static_cast<std::ptrdiff_t>(i));
  Node& n = m_nodes[child];
  n.live = false;
  n.defaultData.clear();
  n.defaultData.shrink_to_fit();
  ++m_removed;
  return ERROR_SUCCESS;
}

NodeId MemoryStore::addKey(NodeId parent, std::string_view name) {
  Node& p = m_nodes[parent];
  if (!p.children.empty()) {
    int c = compareNoCase(m_nodes[p.children.back()].name, name);
    if (c == 0) return p.children.back();
    if (c > 0) {
      std::size_t i = lowerBound(p, name);
      if (compareNoCase(m_nodes[p.children[i]].name, name) == 0) return p.children[i];
      auto id = static_cast<NodeId>(m_nodes.size());
      m_nodes.emplace_back();
      m_nodes.back().name = std::string(name);
      m_nodes.back().parent = parent;
      auto& kids = m_nodes[parent].children;  // m_nodes may have moved
      kids.insert(kids.begin() + static_cast<std::ptrdiff_t>(i), id);
      return id;
    }
  }
  auto id = static_cast<NodeId>(m_nodes.size());
  m_nodes.emplace_back();
  m_nodes.back().name = std::string(name);
  m_nodes.back().parent = parent;
  m_nodes[parent].children.push_back(id);
  return id;
}

NodeId MemoryStore::addPath(std::string_view path) {
  NodeId node = root();
  while (!path.empty()) {
    std::size_t cut = path.find('\\');
    std::string_view part = path.substr(0, cut);
    if (!part.empty()) node = addKey(node, part);
    if (cut == std::string_view::npos) break;
    path.remove_prefix(cut + 1);
  }
  return node;
}

void MemoryStore::setDefaultValue(NodeId node, RegValue value) {
  Node& n = m_nodes[node];
  n.hasDefault = true;
  n.defaultType = value.type;
  n.defaultData = std::move(value.data);
}

void MemoryStore::clearDefaultValue(NodeId node) {
  Node& n = m_nodes[node];
  n.hasDefault = false;
  n.defaultType = REG_NONE;
  n.defaultData.clear();
}

}  // namespace comsweep::registry
