#pragma once
// How the native registry is opened; the registry's UTF-8 names and values
// to and from the UTF-16 of the "W" calls, exactly as the registry holds
// them (an unpaired surrogate stays one); a slot's native handle. Windows only: include it after the
// registry's own names are taken, since <windows.h> makes macros of them.

#include <windows.h>

#include <string>
#include <string_view>

#include "registry/Text.h"

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
