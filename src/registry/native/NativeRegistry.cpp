#include "registry/native/NativeRegistry.h"

#include <cstring>
#include <string>

#include "registry/native/NativeText.h"

namespace comsweep::registry {
namespace {

using comsweep_native::kLocalMachine;
using native::kAccess;
using native::kBadPathname;
using native::kClassesRoot;
using native::kInvalidHandle;
using native::kInvalidParameter;
using native::kMoreData;
using native::kOpenLink;
using native::kSuccess;
constexpr HKEY kHandleStep = 4;

}  // namespace

LONG openNativeClassesRoot(void* machine, void*& out) {
  // Per-user classes (HKEY_CURRENT_USER\Software\Classes) are to be laid
  // over these machine classes here, key by key, as the Linux stores do for
  // a Wine prefix; until then HKEY_CLASSES_ROOT is the machine's classes.
  ::HKEY key = nullptr;
  LONG status = ::RegOpenKeyExW(native::handle(machine), L"Software\\Classes", 0, kAccess, &key);
  out = status == kSuccess ? key : nullptr;
  return status;
}

NativeRegistry::~NativeRegistry() {
  for (NativeKey key : m_slots)
    if (key) ::RegCloseKey(native::handle(key));
  if (m_classesRoot) ::RegCloseKey(native::handle(m_classesRoot));
}

NativeRegistry::NativeKey NativeRegistry::resolve(HKEY key, LONG& status) {
  status = kSuccess;
  if (key == kClassesRoot) {
    if (!m_classesRoot) status = openNativeClassesRoot(kLocalMachine, m_classesRoot);
    return m_classesRoot;
  }
  if (key != 0 && key % kHandleStep == 0 && key / kHandleStep - 1 < m_slots.size())
    if (NativeKey found = m_slots[key / kHandleStep - 1]) return found;
  status = kInvalidHandle;
  return nullptr;
}

HKEY NativeRegistry::addSlot(NativeKey key) {
  std::size_t slot;
  if (!m_free.empty()) {
    slot = m_free.back();
    m_free.pop_back();
    m_slots[slot] = key;
  } else {
    slot = m_slots.size();
    m_slots.push_back(key);
  }
  ++m_open;
  return static_cast<HKEY>((slot + 1) * kHandleStep);
}

LONG NativeRegistry::RegConnectRegistryA(const char* machineName, HKEY key, HKEY* result) {
  if (!result) return kInvalidParameter;
  if (key != kClassesRoot) return kInvalidHandle;
  if (!machineName || !*machineName) {
    *result = kClassesRoot;
    return kSuccess;
  }
  std::string name = machineName;
  if (name.rfind("\\\\", 0) != 0) name = "\\\\" + name;
  ::HKEY machine = nullptr;
  LONG status = ::RegConnectRegistryW(native::wide(name.c_str()).c_str(), kLocalMachine, &machine);
  if (status != kSuccess) return status;
  void* classes = nullptr;
  status = openNativeClassesRoot(machine, classes);
  ::RegCloseKey(machine);
  if (status != kSuccess) return status;
  *result = addSlot(classes);
  return kSuccess;
}

LONG NativeRegistry::RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) {
  if (!result) return kInvalidParameter;
  LONG status;
  NativeKey parent = resolve(key, status);
  if (!parent) return status;
  ::HKEY opened = nullptr;
  status = ::RegOpenKeyExW(native::handle(parent), native::wide(subKey).c_str(), kOpenLink, kAccess,
                           &opened);
  if (status != kSuccess) return status;
  *result = addSlot(opened);
  return kSuccess;
}

LONG NativeRegistry::RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD cchName) {
  LONG status;
  NativeKey parent = resolve(key, status);
  if (!parent) return status;
  wchar_t found[256];
  ::DWORD length = 256;
  status = ::RegEnumKeyExW(native::handle(parent), index, found, &length, nullptr, nullptr, nullptr,
                           nullptr);
  if (status != kSuccess) return status;
  const std::string text = native::narrow(found, length);
  if (!name || text.size() + 1 > cchName) return kMoreData;
  std::memcpy(name, text.c_str(), text.size() + 1);
  return kSuccess;
}

LONG NativeRegistry::RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type,
                                      BYTE* data, DWORD* cbData) {
  if (reserved && *reserved != 0) return kInvalidParameter;
  if (data && !cbData) return kInvalidParameter;
  LONG status;
  NativeKey owner = resolve(key, status);
  if (!owner) return status;
  // The whole value in its "W" form, then in the 8-bit form the engine
  // reads: string types as UTF-8 (embedded NULs kept) with one NUL after.
  std::wstring name = native::wide(valueName);
  std::string bytes(256, '\0');
  ::DWORD valueType = 0;
  for (;;) {
    ::DWORD size = static_cast<::DWORD>(bytes.size());
    status = ::RegQueryValueExW(native::handle(owner), name.c_str(), nullptr, &valueType,
                                reinterpret_cast<::BYTE*>(bytes.data()), &size);
    if (status == kMoreData) {
      bytes.resize(size > bytes.size() ? size : bytes.size() * 2);
      continue;
    }
    if (status != kSuccess) return status;
    bytes.resize(size);
    break;
  }
  if (isStringType(valueType)) {
    bytes = utf16leToUtf8(bytes);
    if (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
    bytes += '\0';
  }
  if (type) *type = valueType;
  if (!cbData) return kSuccess;
  auto size = static_cast<DWORD>(bytes.size());
  if (data) {
    if (*cbData < size) {
      *cbData = size;
      return kMoreData;
    }
    std::memcpy(data, bytes.data(), size);
  }
  *cbData = size;
  return kSuccess;
}

LONG NativeRegistry::RegCloseKey(HKEY key) {
  if (key == kClassesRoot) return kSuccess;
  if (key == 0 || key % kHandleStep != 0 || key / kHandleStep - 1 >= m_slots.size() ||
      !m_slots[key / kHandleStep - 1])
    return kInvalidHandle;
  std::size_t slot = key / kHandleStep - 1;
  LONG status = ::RegCloseKey(native::handle(m_slots[slot]));
  m_slots[slot] = nullptr;
  m_free.push_back(slot);
  --m_open;
  return status;
}

LONG NativeRegistry::RegDeleteKeyA(HKEY key, const char* subKey) {
  LONG status;
  NativeKey parent = resolve(key, status);
  if (!parent) return status;
  if (!subKey || !*subKey) return kBadPathname;
  return ::RegDeleteKeyExW(native::handle(parent), native::wide(subKey).c_str(), KEY_WOW64_64KEY,
                           0);
}

}  // namespace comsweep::registry
