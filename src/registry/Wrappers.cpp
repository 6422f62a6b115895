#include "registry/Wrappers.h"

#include <algorithm>

namespace comsweep::registry {

bool ConnectRemoteRegistry(RegistryApi& api, const std::string& strMachine, HKEY& lRoot) {
  HKEY h = 0;
  if (api.RegConnectRegistryA(strMachine.c_str(), HKEY_CLASSES_ROOT, &h) != ERROR_SUCCESS)
    return false;
  lRoot = h;
  return true;
}

bool OpenKey(RegistryApi& api, HKEY lParent, const std::string& strSubKey, HKEY& lKey) {
  return api.RegOpenKeyA(lParent, strSubKey.c_str(), &lKey) == ERROR_SUCCESS;
}

LONG EnumKey(RegistryApi& api, HKEY lKey, DWORD lIndex, std::string& strName) {
  static_assert(kEnumNameBytes > kEnumBufferLength);
  // Blanks, then NULs: a call that fails and writes nothing leaves exactly
  // kEnumBufferLength blanks before the first NUL.
  char buffer[kEnumNameBytes + 1];
  std::fill(buffer, buffer + kEnumBufferLength, ' ');
  std::fill(buffer + kEnumBufferLength, buffer + kEnumNameBytes + 1, '\0');
  LONG status = api.RegEnumKeyA(lKey, lIndex, buffer, kEnumNameBytes);
  // Assigned in place, so that a caller's variable keeps its storage from
  // step to step of a walk.
  strName.assign(TrimAtNulView(std::string_view(buffer, kEnumNameBytes)));
  return status;
}

bool QueryStringValue(RegistryApi& api, HKEY lKey, const std::string& strValueName,
                      std::string& strValue) {
  DWORD type = 0;
  DWORD size = 0;
  if (api.RegQueryValueExA(lKey, strValueName.c_str(), nullptr, &type, nullptr, &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ)
    return false;
  // One buffer for every read of the thread: the scans read hundreds of
  // thousands of values.
  thread_local std::string buffer;
  buffer.assign(size, ' ');
  DWORD type2 = 0;
  if (api.RegQueryValueExA(lKey, strValueName.c_str(), nullptr, &type2,
                           reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS)
    return false;
  strValue.assign(TrimAtNulView(buffer));
  return true;
}

std::string_view TrimAtNulView(std::string_view str) {
  std::size_t nul = str.find('\0');
  return nul == std::string_view::npos ? str : str.substr(0, nul);
}

std::string TrimAtNul(std::string_view str) { return std::string(TrimAtNulView(str)); }

}  // namespace comsweep::registry
