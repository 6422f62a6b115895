#include "registry/HandleTable.h"

#include <cstring>
#include <string_view>

#include "registry/Text.h"

namespace comsweep::registry {
namespace {

constexpr HKEY kHandleStep = 4;

// The 8-bit form of a string value as RegQueryValueExA returns it: the text
// up to the end of the data (embedded NULs kept), one terminating NUL.
std::string narrowString(const RegValue& value) {
  std::string text = utf16leToUtf8(value.data);
  if (!text.empty() && text.back() == '\0') text.pop_back();
  text += '\0';
  return text;
}

bool isStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

}  // namespace

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

NodeId HandleTable::walk(NodeId from, const char* subKey, LONG& status) const {
  std::string_view path = subKey ? subKey : "";
  if (!path.empty() && path.front() == '\\') {
    status = ERROR_BAD_PATHNAME;
    return kNoNode;
  }
  NodeId node = from;
  while (!path.empty()) {
    std::size_t cut = path.find('\\');
    std::string_view part = path.substr(0, cut);
    bool last = cut == std::string_view::npos || cut + 1 == path.size();
    if (part.empty() && !last) {
      status = ERROR_FILE_NOT_FOUND;
      return kNoNode;
    }
    if (!part.empty()) {
      node = m_store.findChild(node, part);
      if (node == kNoNode) {
        status = ERROR_FILE_NOT_FOUND;
        return kNoNode;
      }
    }
    if (cut == std::string_view::npos) break;
    path.remove_prefix(cut + 1);
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
  if (index >= m_store.childCount(node)) return ERROR_NO_MORE_ITEMS;
  std::string_view childName = m_store.name(m_store.childAt(node, index));
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
  RegValue value;
  if (!m_store.defaultValue(node, value)) return ERROR_FILE_NOT_FOUND;
  std::string bytes = isStringType(value.type) ? narrowString(value) : std::move(value.data);
  if (type) *type = value.type;
  if (!cbData) return ERROR_SUCCESS;
  auto size = static_cast<DWORD>(bytes.size());
  if (data) {
    if (*cbData < size) {
      *cbData = size;
      return ERROR_MORE_DATA;
    }
    std::memcpy(data, bytes.data(), size);
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
  return m_store.removeLeaf(owner, node);
}

}  // namespace comsweep::registry
