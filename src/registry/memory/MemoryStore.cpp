#include "registry/memory/MemoryStore.h"

#include <algorithm>

#include "registry/store/Text.h"

namespace comsweep::registry {

MemoryStore::MemoryStore() { m_nodes.emplace_back(); }

bool MemoryStore::isLive(NodeId node) const { return node < m_nodes.size() && m_nodes[node].live; }

std::size_t MemoryStore::lowerBound(const Node& parent, std::string_view name) const {
  auto it = std::lower_bound(parent.children.begin(), parent.children.end(), name,
                             [this](NodeId child, std::string_view n) {
                               return compareNoCase(nameOf(m_nodes[child]), n) < 0;
                             });
  return static_cast<std::size_t>(it - parent.children.begin());
}

NodeId MemoryStore::findChild(NodeId parent, std::string_view name) const {
  if (!isLive(parent)) return kNoNode;
  const Node& p = m_nodes[parent];
  std::size_t i = lowerBound(p, name);
  if (i < p.children.size() && compareNoCase(nameOf(m_nodes[p.children[i]]), name) == 0 &&
      m_nodes[p.children[i]].live)
    return p.children[i];
  return kNoNode;
}

const std::vector<NodeId>& MemoryStore::liveChildren(NodeId node) const {
  const Node& n = m_nodes[node];
  if (n.removedChildren != 0) {
    std::erase_if(n.children, [this](NodeId child) { return !m_nodes[child].live; });
    n.removedChildren = 0;
  }
  return n.children;
}

std::uint32_t MemoryStore::childCount(NodeId node) const {
  return isLive(node) ? static_cast<std::uint32_t>(liveChildren(node).size()) : 0;
}

NodeId MemoryStore::childAt(NodeId parent, std::uint32_t index) const {
  if (!isLive(parent)) return kNoNode;
  const std::vector<NodeId>& kids = liveChildren(parent);
  return index < kids.size() ? kids[index] : kNoNode;
}

std::string_view MemoryStore::name(NodeId node) const {
  return node < m_nodes.size() ? nameOf(m_nodes[node]) : std::string_view();
}

bool MemoryStore::defaultValue(NodeId node, RegValue& out) const {
  if (!isLive(node) || !m_nodes[node].hasDefault) return false;
  const Node& n = m_nodes[node];
  out.type = n.defaultType;
  if (n.encoded) {
    decodeDefault(n.defaultType, m_texts.get(n.defaultData), out.data);
  } else if (n.utf8String) {
    out.data = utf8ToUtf16le(m_texts.get(n.defaultData));
    out.data.append(2, '\0');
  } else {
    out.data.assign(m_texts.get(n.defaultData));
  }
  return true;
}

bool MemoryStore::defaultValueNarrow(NodeId node, DWORD& type, std::string& out) const {
  if (!isLive(node) || !m_nodes[node].hasDefault) return false;
  const Node& n = m_nodes[node];
  if (n.encoded && decodeDefaultNarrow(m_texts.get(n.defaultData), out)) {
    type = n.defaultType;
    return true;
  }
  if (!n.utf8String || n.encoded) return Store::defaultValueNarrow(node, type, out);
  type = n.defaultType;
  out.assign(m_texts.get(n.defaultData));
  out += '\0';
  return true;
}

bool MemoryStore::values(NodeId node, std::vector<NamedValue>& out) const {
  out.clear();
  if (!isLive(node)) return false;
  RegValue value;
  if (defaultValue(node, value)) out.push_back({std::string(), std::move(value)});
  if (const std::vector<NamedValue>* set = valuesSet(node)) {
    for (const NamedValue& v : *set)
      if (!v.name.empty()) out.push_back(v);
  }
  return true;
}

LONG MemoryStore::removeLeaf(NodeId parent, NodeId child) {
  if (!isLive(parent) || !isLive(child) || m_nodes[child].parent != parent) return ERROR_FILE_NOT_FOUND;
  if (!liveChildren(child).empty()) return ERROR_ACCESS_DENIED;
  m_nodes[child].live = false;
  ++m_nodes[parent].removedChildren;
  return ERROR_SUCCESS;
}

NodeId MemoryStore::newNode(NodeId parent, std::string_view name) {
  auto id = static_cast<NodeId>(m_nodes.size());
  m_nodes.emplace_back();
  m_nodes.back().name = m_texts.store(name);
  m_nodes.back().parent = parent;
  return id;
}

NodeId MemoryStore::addKey(NodeId parent, std::string_view name) {
  liveChildren(parent);
  std::vector<NodeId>& kids = m_nodes[parent].children;
  if (!kids.empty()) {
    int c = compareNoCase(nameOf(m_nodes[kids.back()]), name);
    if (c == 0) return kids.back();
    if (c > 0) {
      // A file written in another order than the registry's puts the key
      // a few places before the end: the place is looked for from there,
      // in steps that double.
      std::size_t i = kids.size() - 1, step = 1;
      while (i > 0 && compareNoCase(nameOf(m_nodes[kids[i - 1]]), name) >= 0) {
        const std::size_t low = i > step ? i - step : 0;
        if (compareNoCase(nameOf(m_nodes[kids[low]]), name) >= 0) {
          i = low;
          step *= 2;
          continue;
        }
        i = static_cast<std::size_t>(
            std::lower_bound(kids.begin() + static_cast<std::ptrdiff_t>(low) + 1,
                             kids.begin() + static_cast<std::ptrdiff_t>(i), name,
                             [this](NodeId child, std::string_view n) {
                               return compareNoCase(nameOf(m_nodes[child]), n) < 0;
                             }) -
            kids.begin());
        break;
      }
      if (compareNoCase(nameOf(m_nodes[kids[i]]), name) == 0) return kids[i];
      NodeId id = newNode(parent, name);
      kids.insert(kids.begin() + static_cast<std::ptrdiff_t>(i), id);
      return id;
    }
  }
  NodeId id = newNode(parent, name);
  kids.push_back(id);
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

MemoryStore::Node& MemoryStore::startDefault(NodeId node, DWORD type, bool encoded) {
  Node& n = m_nodes[node];
  n.hasDefault = true;
  n.defaultType = type;
  n.utf8String = false;
  n.encoded = encoded;
  return n;
}

void MemoryStore::setDefaultValue(NodeId node, DWORD type, std::string_view data) {
  Node& n = startDefault(node, type, false);
  if (isStringType(type) && data.size() >= 2 && data.size() % 2 == 0 &&
      data[data.size() - 2] == '\0' && data[data.size() - 1] == '\0') {
    std::string_view body = data.substr(0, data.size() - 2);
    // Plain ASCII, by far the most common, converts one unit to one byte.
    std::string text(body.size() / 2, '\0');
    bool ascii = true;
    for (std::size_t i = 0; ascii && i < text.size(); ++i) {
      auto lo = static_cast<unsigned char>(body[2 * i]);
      ascii = body[2 * i + 1] == '\0' && lo != 0 && lo < 0x80;
      text[i] = static_cast<char>(lo);
    }
    if (!ascii) text = utf16leToUtf8(body);
    // Only where the way back gives the same bytes.
    if (ascii || (text.find('\0') == std::string::npos && utf8ToUtf16le(text) == body)) {
      n.utf8String = true;
      n.defaultData = m_texts.store(text);
      return;
    }
  }
  n.defaultData = m_texts.store(data);
}

void MemoryStore::setEncodedDefault(NodeId node, DWORD type, std::string_view spelling) {
  startDefault(node, type, true).defaultData = m_texts.store(spelling);
}

void MemoryStore::decodeDefault(DWORD, std::string_view spelling, std::string& data) const {
  data.assign(spelling);
}

bool MemoryStore::decodeDefaultNarrow(std::string_view, std::string&) const { return false; }

void MemoryStore::clearDefaultValue(NodeId node) {
  Node& n = m_nodes[node];
  n.hasDefault = false;
  n.utf8String = false;
  n.encoded = false;
  n.defaultType = REG_NONE;
  n.defaultData = {};
}

void MemoryStore::dropSubtree(NodeId node) {
  if (!isLive(node)) return;
  std::vector<NodeId> pending = std::move(m_nodes[node].children);
  m_nodes[node].children.clear();
  m_nodes[node].removedChildren = 0;
  while (!pending.empty()) {
    Node& n = m_nodes[pending.back()];
    pending.pop_back();
    if (!n.live) continue;
    n.live = false;
    pending.insert(pending.end(), n.children.begin(), n.children.end());
  }
  if (parentOf(node) == kNoNode) {
    clearDefaultValue(node);
    return;
  }
  m_nodes[node].live = false;
  ++m_nodes[parentOf(node)].removedChildren;
}

void MemoryStore::appendPart(MemoryStore&& part, std::vector<NodeId>& ids) {
  const std::uint32_t shift = m_texts.adopt(std::move(part.m_texts));
  const auto known = static_cast<NodeId>(m_nodes.size());  // nodes below are this store's own
  ids.assign(part.m_nodes.size(), kNoNode);
  ids[0] = root();
  // The keys here that the part has too, with the part's children of them
  // (part nodes): new ones are merged into the children they have. The
  // part's nodes are given back as they are taken over.
  std::vector<std::pair<NodeId, std::vector<NodeId>>> shared;
  shared.emplace_back(root(), std::move(part.m_nodes[0].children));
  // A default value the part gives a key it shares replaces the key's.
  auto takeDefault = [&](const Node& from, NodeId key) {
    if (!from.hasDefault) return;
    Node& to = m_nodes[key];
    to.hasDefault = true;
    to.defaultType = from.defaultType;
    to.utf8String = from.utf8String;
    to.encoded = from.encoded;
    to.defaultData = TextArena::moved(from.defaultData, shift);
  };
  takeDefault(part.m_nodes[0], root());
  for (NodeId j = 1; j < part.m_nodes.size(); ++j) {
    if (j % 4096 == 0) part.m_nodes.dropBefore(j);
    Node& from = part.m_nodes[j];
    const NodeId parent = ids[from.parent];
    const std::string_view name = m_texts.get(TextArena::moved(from.name, shift));
    NodeId found = kNoNode;
    if (parent < known) {
      // Like addKey(): a part read in order mostly sorts after what is here.
      const std::vector<NodeId>& kids = liveChildren(parent);
      if (!kids.empty() && compareNoCase(nameOf(m_nodes[kids.back()]), name) >= 0) {
        std::size_t i = lowerBound(m_nodes[parent], name);
        if (i < kids.size() && compareNoCase(nameOf(m_nodes[kids[i]]), name) == 0) found = kids[i];
      }
    }
    if (found != kNoNode) {
      ids[j] = found;
      shared.emplace_back(found, std::move(from.children));
      takeDefault(from, found);
      continue;
    }
    ids[j] = static_cast<NodeId>(m_nodes.size());
    m_nodes.emplace_back();
    Node& to = m_nodes.back();
    to = std::move(from);
    to.name = TextArena::moved(to.name, shift);
    to.defaultData = TextArena::moved(to.defaultData, shift);
    to.parent = parent;
  }
  // Children of new keys are new keys; children lists were sorted in the part.
  for (NodeId n = known; n < m_nodes.size(); ++n)
    for (NodeId& child : m_nodes[n].children) child = ids[child];
  std::vector<NodeId> added;
  for (const auto& [key, partChildren] : shared) {
    added.clear();
    for (NodeId child : partChildren)
      if (ids[child] >= known) added.push_back(ids[child]);
    if (added.empty()) continue;
    std::vector<NodeId>& kids = m_nodes[key].children;  // compacted above
    const bool after = kids.empty() ||
                       compareNoCase(nameOf(m_nodes[kids.back()]), nameOf(m_nodes[added.front()])) < 0;
    const std::size_t old = kids.size();
    kids.insert(kids.end(), added.begin(), added.end());
    if (!after)
      std::inplace_merge(kids.begin(), kids.begin() + static_cast<std::ptrdiff_t>(old), kids.end(),
                         [this](NodeId a, NodeId b) {
                           return compareNoCase(nameOf(m_nodes[a]), nameOf(m_nodes[b])) < 0;
                         });
  }
  part.m_nodes = NodeTable<Node>();
  part.m_nodes.emplace_back();
}

LONG MemoryStore::createKey(NodeId parent, std::string_view name, NodeId& out, bool& created) {
  out = kNoNode;
  created = false;
  if (!isLive(parent)) return ERROR_KEY_DELETED;
  // No limit on the length: a key read from a file with a longer name than
  // the registry allows is put back as it was.
  if (name.empty() || name.find_first_of(std::string_view("\\\0", 2)) != std::string_view::npos)
    return ERROR_INVALID_PARAMETER;
  out = findChild(parent, name);
  if (out != kNoNode) return ERROR_SUCCESS;
  out = addKey(parent, name);
  created = true;
  m_nodes[out].added = true;
  m_nodes[out].created = true;
  m_added.push_back(out);
  return ERROR_SUCCESS;
}

LONG MemoryStore::setValue(NodeId node, const NamedValue& value) {
  if (!isLive(node)) return ERROR_KEY_DELETED;
  if (value.name.empty()) setDefaultValue(node, value.value);
  if (!m_nodes[node].added) {
    m_nodes[node].added = true;
    m_added.push_back(node);
  }
  std::vector<NamedValue>& set = m_valuesSet[node];
  for (NamedValue& v : set) {
    if (equalsNoCase(v.name, value.name)) {
      v.value = value.value;
      return ERROR_SUCCESS;
    }
  }
  set.push_back(value);
  return ERROR_SUCCESS;
}

}  // namespace comsweep::registry
