#include "registry/api/Wrappers.h"

#include <algorithm>

namespace comsweep::registry {

bool ConnectRemoteRegistry(RegistryApi& api, const std::string& machine, HKEY& root) {
  HKEY h = 0;
  if (api.RegConnectRegistryA(machine.c_str(), HKEY_CLASSES_ROOT, &h) != ERROR_SUCCESS)
    return false;
  root = h;
  return true;
}

bool OpenKey(RegistryApi& api, HKEY parent, const std::string& subKey, HKEY& key) {
  return api.RegOpenKeyA(parent, subKey.c_str(), &key) == ERROR_SUCCESS;
}

LONG EnumKey(RegistryApi& api, HKEY key, DWORD index, std::string& name) {
  static_assert(kEnumNameBytes > kEnumBufferLength);
  // Blanks, then NULs: a call that fails and writes nothing leaves exactly
  // kEnumBufferLength blanks before the first NUL.
  char buffer[kEnumNameBytes + 1];
  std::fill(buffer, buffer + kEnumBufferLength, ' ');
  std::fill(buffer + kEnumBufferLength, buffer + kEnumNameBytes + 1, '\0');
  LONG status = api.RegEnumKeyA(key, index, buffer, kEnumNameBytes);
  // Assigned in place, so that a caller's variable keeps its storage from
  // step to step of a walk.
  name.assign(TrimAtNul(std::string_view(buffer, kEnumNameBytes)));
  return status;
}

bool QueryStringValue(RegistryApi& api, HKEY key, const std::string& valueName,
                      std::string& value) {
  DWORD type = 0;
  DWORD size = 0;
  if (api.RegQueryValueExA(key, valueName.c_str(), nullptr, &type, nullptr, &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ)
    return false;
  // One buffer for every read of the thread: the scans read hundreds of
  // thousands of values.
  thread_local std::string buffer;
  buffer.assign(size, ' ');
  DWORD type2 = 0;
  if (api.RegQueryValueExA(key, valueName.c_str(), nullptr, &type2,
                           reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS)
    return false;
  value.assign(TrimAtNul(buffer));
  return true;
}

std::string_view TrimAtNul(std::string_view str) {
  std::size_t nul = str.find('\0');
  return nul == std::string_view::npos ? str : str.substr(0, nul);
}

}  // namespace comsweep::registry
