#pragma once
// What the native registry's files share (Windows only): the engine's
// status codes under names <windows.h> leaves alone, how keys are opened,
// the registry's UTF-8 names and values to and from the UTF-16 of the "W"
// calls, exactly as the registry holds them (an unpaired surrogate stays
// one), and a slot's native handle. Include it instead of <windows.h>.

#include <string>
#include <string_view>

#include "registry/api/RegistryApi.h"
#include "registry/store/Text.h"

// Named before <windows.h> turns the engine's names into macros of its own.
namespace comsweep::registry::native {
inline constexpr HKEY kClassesRoot = HKEY_CLASSES_ROOT;
inline constexpr LONG kSuccess = ERROR_SUCCESS;
inline constexpr LONG kMoreData = ERROR_MORE_DATA;
inline constexpr LONG kAccessDenied = ERROR_ACCESS_DENIED;
inline constexpr LONG kFileNotFound = ERROR_FILE_NOT_FOUND;
inline constexpr LONG kInvalidHandle = ERROR_INVALID_HANDLE;
inline constexpr LONG kInvalidParameter = ERROR_INVALID_PARAMETER;
inline constexpr LONG kBadPathname = ERROR_BAD_PATHNAME;
}  // namespace comsweep::registry::native

#include <windows.h>

// Outside the engine's namespace, where HKEY is the native one.
namespace comsweep_native {
inline const ::HKEY kLocalMachine = HKEY_LOCAL_MACHINE;
inline const ::HKEY kCurrentUser = HKEY_CURRENT_USER;
}  // namespace comsweep_native

namespace comsweep::registry::native {

// Every key is opened in the 64-bit view, so that a 64-bit exe sees both
// views and Wow6432Node alike on every machine, and a symbolic link key
// (Wine links Wow6432Node\TypeLib to the shared TypeLib) as itself, a key
// without subkeys, as the file stores read it: otherwise the 32-bit pass
// would list the shared libraries a second time.
inline constexpr REGSAM kAccess = KEY_READ | KEY_WOW64_64KEY;
inline constexpr DWORD kOpenLink = REG_OPTION_OPEN_LINK;

inline std::wstring wide(std::string_view utf8) {
  std::u16string units = utf8ToUtf16(utf8);
  return std::wstring(units.begin(), units.end());
}

// A null name is the empty one, as the "A" calls take it.
inline std::wstring wide(const char* utf8) { return wide(std::string_view(utf8 ? utf8 : "")); }

inline std::string narrow(const wchar_t* text, std::size_t length) {
  std::string out;
  appendUtf8(out, std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
  return out;
}

inline ::HKEY handle(void* key) { return static_cast<::HKEY>(key); }

}  // namespace comsweep::registry::native
