#include "registry/native/NativeKeyReader.h"

#include "registry/native/NativeRegistry.h"
#include "registry/native/NativeText.h"

namespace comsweep::registry {
namespace {

using comsweep_native::kLocalMachine;
using native::kAccess;
using native::kAccessDenied;
using native::kMoreData;
using native::kOpenLink;
using native::kSuccess;

}  // namespace

NativeKeyReader::~NativeKeyReader() {
  for (Key& k : m_keys)
    if (k.key) ::RegCloseKey(native::handle(k.key));
}

NodeId NativeKeyReader::add(void* key, std::string name) const {
  m_keys.push_back({key, std::move(name)});
  return static_cast<NodeId>(m_keys.size() - 1);
}

NodeId NativeKeyReader::root() const {
  if (m_keys.empty()) {
    void* classes = nullptr;
    openNativeClassesRoot(kLocalMachine, classes);
    add(classes, "");
  }
  return 0;
}

bool NativeKeyReader::isLive(NodeId node) const {
  return node < m_keys.size() && m_keys[node].key != nullptr;
}

NodeId NativeKeyReader::findChild(NodeId parent, std::string_view name) const {
  if (!isLive(parent)) return kNoNode;
  ::HKEY key = nullptr;
  if (::RegOpenKeyExW(native::handle(m_keys[parent].key), native::wide(name).c_str(), kOpenLink,
                      kAccess, &key) != kSuccess)
    return kNoNode;
  return add(key, std::string(name));
}

std::uint32_t NativeKeyReader::childCount(NodeId node) const {
  ::DWORD count = 0;
  if (!isLive(node) ||
      ::RegQueryInfoKeyW(native::handle(m_keys[node].key), nullptr, nullptr, nullptr, &count,
                         nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) != kSuccess)
    return 0;
  return count;
}

NodeId NativeKeyReader::childAt(NodeId parent, std::uint32_t index) const {
  if (!isLive(parent)) return kNoNode;
  wchar_t found[256];
  ::DWORD length = 256;
  if (::RegEnumKeyExW(native::handle(m_keys[parent].key), index, found, &length, nullptr, nullptr,
                      nullptr, nullptr) != kSuccess)
    return kNoNode;
  ::HKEY key = nullptr;
  if (::RegOpenKeyExW(native::handle(m_keys[parent].key), found, kOpenLink, kAccess, &key) !=
      kSuccess)
    return kNoNode;
  return add(key, native::narrow(found, length));
}

std::string_view NativeKeyReader::name(NodeId node) const {
  return node < m_keys.size() ? std::string_view(m_keys[node].name) : std::string_view();
}

bool NativeKeyReader::defaultValue(NodeId node, RegValue& out) const {
  if (!isLive(node)) return false;
  std::string bytes(256, '\0');
  for (;;) {
    ::DWORD type = 0, size = static_cast<::DWORD>(bytes.size());
    LONG status = ::RegQueryValueExW(native::handle(m_keys[node].key), L"", nullptr, &type,
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

bool NativeKeyReader::values(NodeId node, std::vector<NamedValue>& out) const {
  out.clear();
  if (!isLive(node)) return false;
  ::HKEY key = native::handle(m_keys[node].key);
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

LONG NativeKeyReader::removeLeaf(NodeId, NodeId) { return kAccessDenied; }

}  // namespace comsweep::registry
