#pragma once
// The engine's own small wrappers over the registry operations. They turn
// every failure into a result and never retry.

#include <string>
#include <string_view>

#include "registry/RegistryApi.h"

namespace comsweep::registry {

// Buffer length, in characters, that EnumKey passes to RegEnumKeyA.
inline constexpr DWORD kEnumBufferLength = 300;

// Connects to HKEY_CLASSES_ROOT of the named machine; lRoot is written only
// on success.
bool ConnectRemoteRegistry(RegistryApi& api, const std::string& strMachine, HKEY& lRoot);
// True exactly when RegOpenKeyA returned 0.
bool OpenKey(RegistryApi& api, HKEY lParent, const std::string& strSubKey, HKEY& lKey);
// RegEnumKeyA's status unchanged. strName is always assigned: the name, or
// 300 blanks when the call failed.
LONG EnumKey(RegistryApi& api, HKEY lKey, DWORD lIndex, std::string& strName);
// True when the value exists and is a REG_SZ; strValue is then the text
// before its first NUL. On false strValue keeps what it held.
bool QueryStringValue(RegistryApi& api, HKEY lKey, const std::string& strValueName,
                      std::string& strValue);
// The text before the first NUL character, or the whole text.
std::string TrimAtNul(std::string_view str);
std::string_view TrimAtNulView(std::string_view str);

}  // namespace comsweep::registry
