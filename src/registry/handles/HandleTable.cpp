#include "registry/handles/HandleTable.h"

#include <cstring>
#include <string_view>

#include "registry/store/Text.h"

namespace comsweep::registry {
namespace {

constexpr HKEY kHandleStep = 4;

}  // namespace

// The 8-bit form of a string value: the text up to the end of the data
// (embedded NULs kept), one terminating NUL.
bool Store::defaultValueNarrow(NodeId node, DWORD& type, std::string& out) const {
  RegValue value;
  if (!defaultValue(node, value)) return false;
  type = value.type;
  if (!isStringType(value.type)) {
    out = std::move(value.data);
    return true;
  }
  out = utf16leToUtf8(value.data);
  if (!out.empty() && out.back() == '\0') out.pop_back();
  out += '\0';
  return true;
}

NodeId HandleTable::resolve(HKEY key, LONG& status) const {
  NodeId node = kNoNode;
  if (key == HKEY_CLASSES_ROOT) {
    node = m_store.root();
  } else if (key != 0 && key % kHandleStep == 0 && key / kHandleStep - 1 < m_slots.size()) {
    node = m_slots[key / kHandleStep - 1];
  }
  if (node == kNoNode) {
    status = ERROR_INVALID_HANDLE;
    return kNoNode;
  }
  if (!m_store.isLive(node)) {
    status = ERROR_KEY_DELETED;
    return kNoNode;
  }
  status = ERROR_SUCCESS;
  return node;
}

NodeId HandleTable::findChild(NodeId parent, std::string_view name) const {
  if (parent == m_enumParent && m_store.isLive(m_enumChild) && m_store.name(m_enumChild) == name)
    return m_enumChild;
  return m_store.findChild(parent, name);
}

NodeId HandleTable::cachedPrefix(NodeId from, std::string_view path, std::size_t& used) const {
  NodeId best = kNoNode;
  used = 0;
  for (const ResolvedPrefix& p : m_prefixes) {
    if (p.from != from || p.path.size() <= used || p.path.size() > path.size()) continue;
    if (path.size() > p.path.size() && path[p.path.size()] != '\\') continue;
    if (path.compare(0, p.path.size(), p.path) != 0 || !m_store.isLive(p.node)) continue;
    best = p.node;
    used = p.path.size();
  }
  return best;
}

void HandleTable::remember(NodeId from, std::string_view path, NodeId node) const {
  for (ResolvedPrefix& p : m_prefixes)
    if (p.from == from && p.path == path) {
      p.node = node;
      return;
    }
  ResolvedPrefix& slot = m_prefixes[m_nextPrefix++ % std::size(m_prefixes)];
  slot.from = from;
  slot.path.assign(path);
  slot.node = node;
}

NodeId HandleTable::walk(NodeId from, const char* subKey, LONG& status) const {
  std::string_view path = subKey ? subKey : "";
  if (!path.empty() && path.front() == '\\') {
    status = ERROR_BAD_PATHNAME;
    return kNoNode;
  }
  std::size_t used = 0;
  NodeId node = from;
  if (NodeId cached = cachedPrefix(from, path, used); cached != kNoNode) node = cached;
  std::string_view rest = path.substr(used);
  if (!rest.empty() && rest.front() == '\\') rest.remove_prefix(1);
  std::size_t lastPrefix = used;  // the longest prefix remembered so far
  while (!rest.empty()) {
    std::size_t cut = rest.find('\\');
    std::string_view part = rest.substr(0, cut);
    bool last = cut == std::string_view::npos || cut + 1 == rest.size();
    if (part.empty() && !last) {
      status = ERROR_FILE_NOT_FOUND;
      return kNoNode;
    }
    if (!part.empty()) {
      node = findChild(node, part);
      if (node == kNoNode) {
        status = ERROR_FILE_NOT_FOUND;
        return kNoNode;
      }
      std::size_t end = static_cast<std::size_t>(part.data() + part.size() - path.data());
      if (end > lastPrefix) {
        lastPrefix = end;
        remember(from, path.substr(0, end), node);
      }
    }
    if (cut == std::string_view::npos) break;
    rest.remove_prefix(cut + 1);
  }
  status = ERROR_SUCCESS;
  return node;
}

LONG HandleTable::RegConnectRegistryA(const char* machineName, HKEY key, HKEY* result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  if (key != HKEY_CLASSES_ROOT) return ERROR_INVALID_HANDLE;
  if (machineName && *machineName) return ERROR_BAD_NETPATH;
  *result = HKEY_CLASSES_ROOT;
  return ERROR_SUCCESS;
}

LONG HandleTable::RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  LONG status;
  NodeId node = resolve(key, status);
  if (node == kNoNode) return status;
  node = walk(node, subKey, status);
  if (node == kNoNode) return status;
  std::size_t slot;
  if (!m_free.empty()) {
    slot = m_free.back();
    m_free.pop_back();
    m_slots[slot] = node;
  } else {
    slot = m_slots.size();
    m_slots.push_back(node);
  }
  ++m_open;
  *result = static_cast<HKEY>((slot + 1) * kHandleStep);
  return ERROR_SUCCESS;
}

LONG HandleTable::RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD cchName) {
  LONG status;
  NodeId node = resolve(key, status);
  if (node == kNoNode) return status;
  // No count first: counting a live registry's key can cost as much as
  // reading every name below it.
  NodeId child = m_store.childAt(node, index);
  if (child == kNoNode) return ERROR_NO_MORE_ITEMS;
  m_enumParent = node;
  m_enumChild = child;
  std::string_view childName = m_store.name(child);
  if (!name || childName.size() + 1 > cchName) return ERROR_MORE_DATA;
  std::memcpy(name, childName.data(), childName.size());
  name[childName.size()] = '\0';
  return ERROR_SUCCESS;
}

LONG HandleTable::RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type,
                                   BYTE* data, DWORD* cbData) {
  if (reserved && *reserved != 0) return ERROR_INVALID_PARAMETER;
  if (data && !cbData) return ERROR_INVALID_PARAMETER;
  LONG status;
  NodeId node = resolve(key, status);
  if (node == kNoNode) return status;
  // Only the unnamed value is part of the store contract.
  if (valueName && *valueName) return ERROR_FILE_NOT_FOUND;
  if (node != m_valueNode) {
    m_valueNode = kNoNode;
    if (!m_store.defaultValueNarrow(node, m_valueType, m_valueBytes)) return ERROR_FILE_NOT_FOUND;
    m_valueNode = node;
  }
  if (type) *type = m_valueType;
  if (!cbData) return ERROR_SUCCESS;
  auto size = static_cast<DWORD>(m_valueBytes.size());
  if (data) {
    if (*cbData < size) {
      *cbData = size;
      return ERROR_MORE_DATA;
    }
    std::memcpy(data, m_valueBytes.data(), size);
  }
  *cbData = size;
  return ERROR_SUCCESS;
}

LONG HandleTable::RegCloseKey(HKEY key) {
  if (key == HKEY_CLASSES_ROOT) return ERROR_SUCCESS;
  if (key == 0 || key % kHandleStep != 0 || key / kHandleStep - 1 >= m_slots.size() ||
      m_slots[key / kHandleStep - 1] == kNoNode)
    return ERROR_INVALID_HANDLE;
  std::size_t slot = key / kHandleStep - 1;
  m_slots[slot] = kNoNode;
  m_free.push_back(slot);
  --m_open;
  return ERROR_SUCCESS;
}

LONG HandleTable::RegDeleteKeyA(HKEY key, const char* subKey) {
  LONG status;
  NodeId parent = resolve(key, status);
  if (parent == kNoNode) return status;
  if (!subKey || !*subKey) return ERROR_BAD_PATHNAME;
  NodeId node = walk(parent, subKey, status);
  if (node == kNoNode) return status;
  if (m_store.childCount(node) != 0) return ERROR_ACCESS_DENIED;
  // The key's own parent, found again through the path without its last level.
  std::string_view path = subKey;
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  std::size_t cut = path.rfind('\\');
  NodeId owner = parent;
  if (cut != std::string_view::npos) {
    std::string head(path.substr(0, cut));
    owner = walk(parent, head.c_str(), status);
    if (owner == kNoNode) return status;
  }
  if (node == m_valueNode) m_valueNode = kNoNode;
  return m_store.removeLeaf(owner, node);
}

std::vector<std::string> HandleTable::filesHolding(HKEY key, const char* subKey) {
  std::vector<std::string> files;
  LONG status;
  NodeId node = resolve(key, status);
  if (node != kNoNode && subKey && *subKey) node = walk(node, subKey, status);
  if (node != kNoNode) m_store.filesHolding(node, files);
  return files;
}

}  // namespace comsweep::registry
