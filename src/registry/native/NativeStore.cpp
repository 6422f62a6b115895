#include "registry/native/NativeStore.h"

#include "registry/native/NativeText.h"

namespace comsweep::registry {
namespace {

using native::kAccess;
using native::kFileNotFound;
using native::kMoreData;
using native::kOpenLink;
using native::kSuccess;

}  // namespace

NativeStore::NativeStore(void* top, std::string path, std::size_t openLimit, bool ownsTop)
    : m_top(top), m_ownsTop(ownsTop), m_openLimit(openLimit) {
  m_keys.push_back({kNoNode, std::move(path)});
}

NativeStore::~NativeStore() {
  for (Key& k : m_keys)
    if (k.key) ::RegCloseKey(native::handle(k.key));
  if (m_ownsTop) ::RegCloseKey(native::handle(m_top));
}

NodeId NativeStore::nodeFor(NodeId parent, std::string name, bool spelled) const {
  std::string id(reinterpret_cast<const char*>(&parent), sizeof parent);
  id += upperCase(name);
  auto [it, added] = m_nodeOfName.try_emplace(std::move(id), static_cast<NodeId>(m_keys.size()));
  if (!added && !m_keys[it->second].removed) {
    Key& known = m_keys[it->second];
    if (spelled && !known.spelled) {
      known.name = std::move(name);
      known.spelled = true;
    }
    return it->second;
  }
  it->second = static_cast<NodeId>(m_keys.size());
  m_keys.push_back({parent, std::move(name)});
  m_keys.back().spelled = spelled;
  return it->second;
}

void* NativeStore::open(NodeId node) const {
  if (m_keys[node].key) return m_keys[node].key;
  if (m_openCount >= m_openLimit) {
    for (NodeId open : m_open) close(open);
    m_open.clear();
  }
  return openThroughParents(node);
}

void* NativeStore::openThroughParents(NodeId node) const {
  Key& k = m_keys[node];
  if (k.key || k.removed) return k.key;
  ::HKEY opened = nullptr;
  if (node == 0) {
    if (::RegOpenKeyExW(native::handle(m_top), native::wide(k.name).c_str(), 0, kAccess,
                        &opened) != kSuccess)
      return nullptr;
  } else {
    void* parent = openThroughParents(k.parent);
    if (!parent || ::RegOpenKeyExW(native::handle(parent), native::wide(k.name).c_str(), kOpenLink,
                                   kAccess, &opened) != kSuccess)
      return nullptr;
    m_open.push_back(node);
  }
  k.key = opened;
  ++m_openCount;
  return opened;
}

void NativeStore::close(NodeId node) const {
  Key& k = m_keys[node];
  if (!k.key) return;
  ::RegCloseKey(native::handle(k.key));
  k.key = nullptr;
  --m_openCount;
}

bool NativeStore::isLive(NodeId node) const {
  return node < m_keys.size() && !m_keys[node].removed;
}

NodeId NativeStore::findChild(NodeId parent, std::string_view name) const {
  if (!isLive(parent)) return kNoNode;
  NodeId child = nodeFor(parent, std::string(name), false);
  if (!open(child)) return kNoNode;
  return child;
}

std::uint32_t NativeStore::childCount(NodeId node) const {
  if (!isLive(node)) return 0;
  void* key = open(node);
  ::DWORD count = 0;
  if (!key || ::RegQueryInfoKeyW(native::handle(key), nullptr, nullptr, nullptr, &count, nullptr,
                                 nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) != kSuccess)
    return 0;
  return count;
}

NodeId NativeStore::childAt(NodeId parent, std::uint32_t index) const {
  if (!isLive(parent)) return kNoNode;
  void* key = open(parent);
  wchar_t found[256];
  ::DWORD length = 256;
  if (!key || ::RegEnumKeyExW(native::handle(key), index, found, &length, nullptr, nullptr,
                              nullptr, nullptr) != kSuccess)
    return kNoNode;
  return nodeFor(parent, native::narrow(found, length), true);
}

std::string_view NativeStore::name(NodeId node) const {
  if (node == 0 || node >= m_keys.size()) return {};
  if (!m_keys[node].spelled) {
    // Enumerating the parent spells the key; one that has gone meanwhile
    // keeps the name it was found by.
    const NodeId parent = m_keys[node].parent;
    for (std::uint32_t i = 0, count = childCount(parent); i < count && !m_keys[node].spelled; ++i)
      childAt(parent, i);
    m_keys[node].spelled = true;
  }
  return m_keys[node].name;
}

bool NativeStore::defaultValue(NodeId node, RegValue& out) const {
  if (!isLive(node)) return false;
  void* key = open(node);
  if (!key) return false;
  std::string bytes(256, '\0');
  for (;;) {
    ::DWORD type = 0, size = static_cast<::DWORD>(bytes.size());
    LONG status = ::RegQueryValueExW(native::handle(key), L"", nullptr, &type,
                                     reinterpret_cast<::BYTE*>(bytes.data()), &size);
    if (status == kMoreData) {
      bytes.resize(size > bytes.size() ? size : bytes.size() * 2);
      continue;
    }
    if (status != kSuccess) return false;
    bytes.resize(size);
    out = {static_cast<DWORD>(type), std::move(bytes)};
    return true;
  }
}

bool NativeStore::values(NodeId node, std::vector<NamedValue>& out) const {
  out.clear();
  if (!isLive(node)) return false;
  ::HKEY key = native::handle(open(node));
  if (!key) return false;
  std::wstring name;
  std::string data;
  for (::DWORD index = 0;;) {
    ::DWORD nameLength = 0, dataLength = 0;
    if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           &nameLength, &dataLength, nullptr, nullptr) != kSuccess)
      return false;
    name.assign(nameLength + 1, L'\0');
    data.assign(dataLength, '\0');
    ::DWORD nameSize = nameLength + 1, dataSize = dataLength, type = 0;
    LONG status = ::RegEnumValueW(key, index, name.data(), &nameSize, nullptr, &type,
                                  reinterpret_cast<::BYTE*>(data.data()), &dataSize);
    if (status == ERROR_NO_MORE_ITEMS) return true;
    if (status == kMoreData) continue;  // the value grew meanwhile: sizes asked again
    if (status != kSuccess) return false;
    data.resize(dataSize);
    out.push_back(
        {native::narrow(name.c_str(), nameSize), RegValue{static_cast<DWORD>(type), data}});
    ++index;
  }
}

LONG NativeStore::removeLeaf(NodeId parent, NodeId child) {
  if (!isLive(parent) || !isLive(child) || child == 0 || m_keys[child].parent != parent)
    return kFileNotFound;
  close(child);
  void* key = open(parent);
  if (!key) return kFileNotFound;
  LONG status = ::RegDeleteKeyExW(native::handle(key), native::wide(m_keys[child].name).c_str(),
                                  KEY_WOW64_64KEY, 0);
  if (status == kSuccess) m_keys[child].removed = true;
  return status;
}

void* NativeStore::openForWriting(NodeId node) const {
  void* key = open(node);
  ::HKEY writable = nullptr;
  if (!key || ::RegOpenKeyExW(native::handle(key), L"", 0, KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_WOW64_64KEY,
                              &writable) != kSuccess)
    return nullptr;
  return writable;
}

LONG NativeStore::createKey(NodeId parent, std::string_view name, NodeId& out, bool& created) {
  out = kNoNode;
  created = false;
  if (!isLive(parent)) return ERROR_KEY_DELETED;
  if (name.empty() || name.find_first_of(std::string_view("\\\0", 2)) != std::string_view::npos ||
      !isValidUtf8(name))
    return native::kInvalidParameter;
  // An existing key keeps its spelling: RegCreateKeyExW opens it as it is.
  if (NodeId existing = findChild(parent, name); existing != kNoNode) {
    out = existing;
    return kSuccess;
  }
  void* writable = openForWriting(parent);
  if (!writable) return native::kAccessDenied;
  ::HKEY made = nullptr;
  ::DWORD disposition = 0;
  LONG status = ::RegCreateKeyExW(native::handle(writable), native::wide(name).c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, kAccess, nullptr, &made, &disposition);
  ::RegCloseKey(native::handle(writable));
  if (status != kSuccess) return status;
  ::RegCloseKey(made);
  // Named as given: a key made just now is spelled so.
  out = nodeFor(parent, std::string(name), disposition == REG_CREATED_NEW_KEY);
  created = disposition == REG_CREATED_NEW_KEY;
  return kSuccess;
}

LONG NativeStore::setValue(NodeId node, const NamedValue& value) {
  if (!isLive(node)) return ERROR_KEY_DELETED;
  if (!isValidUtf8(value.name) || value.value.data.size() > 0xFFFFFFFFu) return native::kInvalidParameter;
  void* writable = openForWriting(node);
  if (!writable) return native::kAccessDenied;
  // The bytes go as they are: string types are UTF-16LE already, as values()
  // reads them, odd sizes and missing terminators included. The call adds a
  // terminator to a string whose bytes are followed by a NUL in memory; a
  // string that had none keeps none, since its bytes are followed by others.
  std::string data = value.value.data;
  const ::DWORD size = static_cast<::DWORD>(data.size());
  data.append(3, '\x01');
  LONG status = ::RegSetValueExW(native::handle(writable), native::wide(value.name).c_str(), 0,
                                 static_cast<::DWORD>(value.value.type),
                                 reinterpret_cast<const ::BYTE*>(data.data()), size);
  ::RegCloseKey(native::handle(writable));
  return status;
}

}  // namespace comsweep::registry
