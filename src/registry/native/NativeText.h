#pragma once
// The registry's UTF-8 names and values to and from the UTF-16 of the "W"
// calls, exactly as the registry holds them (an unpaired surrogate stays
// one), and a slot's native handle. Windows only: include it after the
// registry's own names are taken, since <windows.h> makes macros of them.

#include <windows.h>

#include <string>
#include <string_view>

#include "registry/Text.h"

namespace comsweep::registry::native {

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
