#pragma once
// The engine's own small wrappers over the registry operations. They turn
// every failure into a result and never retry.

#include <string>
#include <string_view>

#include "registry/api/RegistryApi.h"

namespace comsweep::registry {

// Length of the name EnumKey returns when RegEnumKeyA fails: that many blanks.
inline constexpr DWORD kEnumBufferLength = 300;
// Buffer length, in bytes of 8-bit text, that EnumKey passes to RegEnumKeyA:
// a key name has at most 255 UTF-16 units, each at most three UTF-8 bytes,
// and a NUL follows, so any name the registry can hold fits.
inline constexpr DWORD kEnumNameBytes = 255 * 3 + 1;

// Connects to HKEY_CLASSES_ROOT of the named machine; root is written only
// on success.
bool ConnectRemoteRegistry(RegistryApi& api, const std::string& machine, HKEY& root);
// True exactly when RegOpenKeyA returned 0.
bool OpenKey(RegistryApi& api, HKEY parent, const std::string& subKey, HKEY& key);
// RegEnumKeyA's status unchanged. name is always assigned: the name, or
// kEnumBufferLength (300) blanks when the call failed.
LONG EnumKey(RegistryApi& api, HKEY key, DWORD index, std::string& name);
// True when the value exists and is a REG_SZ; value is then the text
// before its first NUL. On false, value keeps what it held.
bool QueryStringValue(RegistryApi& api, HKEY key, const std::string& valueName,
                      std::string& value);
// The text before the first NUL character, or the whole text.
std::string_view TrimAtNul(std::string_view str);

}  // namespace comsweep::registry
