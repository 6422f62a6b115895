#pragma once
// Text helpers shared by the stores: UTF-8 is the engine's own text and the
// 8-bit character set of the registry interface; registry files hold UTF-16LE.

#include <string>
#include <string_view>

namespace comsweep::registry {

// UTF-16LE bytes (odd trailing byte ignored) to UTF-8. Unpaired surrogates
// are kept as three-byte sequences so that the conversion can be reversed.
std::string utf16leToUtf8(std::string_view bytes);
// UTF-8 to UTF-16LE bytes; the inverse of utf16leToUtf8. Bytes that are not
// valid UTF-8 are taken as Windows-1252 characters.
std::string utf8ToUtf16le(std::string_view text);
// UTF-8 to UTF-16 code units, as utf8ToUtf16le gives them.
std::u16string utf8ToUtf16(std::string_view text);
// UTF-16 code units appended as UTF-8, unpaired surrogates kept as above.
void appendUtf8(std::string& out, std::u16string_view units);
// UTF-16 code units appended as UTF-16LE bytes.
void appendUtf16le(std::string& out, std::u16string_view units);
bool isValidUtf8(std::string_view text);
// Decodes one UTF-8 sequence at text[i] and moves i past it; surrogates
// encoded in three bytes are accepted (they stand for unpaired UTF-16
// units). False, with i unchanged, for bytes that are not UTF-8.
bool decodeUtf8(std::string_view text, std::size_t& i, char32_t& cp);
// Appends one code point as UTF-8 (surrogates as three bytes).
void appendUtf8(std::string& out, char32_t cp);
// The same at `out`, which has room for four bytes; returns the end.
char* encodeUtf8(char32_t cp, char* out);

// The value of a hexadecimal digit (either case), -1 for any other character.
constexpr int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Upper-cases letters the way the registry folds key names: by its own table
// (registry/UpcaseTable.h), one UTF-16 unit to one; characters outside the
// Basic Multilingual Plane and bytes that are not UTF-8 stay as they are.
std::string upperCase(std::string_view text);
// The same into `out`, reusing its storage.
void upperCaseInto(std::string_view text, std::string& out);
// Compares two names as the registry orders keys: by their upper-cased
// UTF-16 code units, so a character outside the Basic Multilingual Plane
// sorts by its surrogates. Returns <0, 0 or >0.
int compareNoCase(std::string_view a, std::string_view b);
inline bool equalsNoCase(std::string_view a, std::string_view b) { return compareNoCase(a, b) == 0; }

}  // namespace comsweep::registry
