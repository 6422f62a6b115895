#include "registry/regfile/RegFileWriter.h"

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "registry/store/Text.h"

namespace comsweep::registry {
namespace {

std::string regQuoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + '"';
}

// True when the data is UTF-16LE text with exactly one terminating NUL and
// nothing that a quoted string would change or lose (NULs, line breaks).
bool plainString(const std::string& data, std::string& text) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  if (data[data.size() - 2] != '\0' || data[data.size() - 1] != '\0') return false;
  text = utf16leToUtf8(std::string_view(data).substr(0, data.size() - 2));
  if (text.find_first_of(std::string("\0\r\n", 3)) != std::string::npos) return false;
  return utf8ToUtf16le(text) + std::string(2, '\0') == data;
}

bool isAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

std::string hexLine(std::string head, const std::string& data) {
  static const char* kDigits = "0123456789abcdef";
  std::size_t column = head.size();
  for (std::size_t i = 0; i < data.size(); ++i) {
    auto b = static_cast<unsigned char>(data[i]);
    head += kDigits[b >> 4];
    head += kDigits[b & 15];
    column += 2;
    if (i + 1 < data.size()) {
      head += ',';
      ++column;
      // Continue on a new line, indented, as exports do.
      if (column > 76) {
        head += "\\\n  ";
        column = 2;
      }
    }
  }
  return head;
}

}  // namespace

std::string regFileValueLine(const NamedValue& value, bool asciiText) {
  std::string head = value.name.empty() ? "@=" : regQuoted(value.name) + "=";
  const std::string& data = value.value.data;
  std::string text;
  switch (value.value.type) {
    case REG_SZ:
      if (plainString(data, text) && (!asciiText || isAscii(text))) return head + regQuoted(text);
      break;
    case REG_DWORD:
      if (data.size() == 4) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
        char digits[16];
        std::snprintf(digits, sizeof digits, "dword:%08x", v);
        return head + digits;
      }
      break;
    case REG_BINARY:
      return hexLine(head + "hex:", data);
    default:
      break;
  }
  char type[24];
  std::snprintf(type, sizeof type, "hex(%x):", value.value.type);
  return hexLine(head + type, data);
}

bool regFileQuotes(const RegValue& value) {
  std::string text;
  return value.type == REG_SZ && plainString(value.data, text);
}

std::string regFileHexLine(const NamedValue& value) {
  std::string head = value.name.empty() ? "@=" : regQuoted(value.name) + "=";
  if (value.value.type == REG_BINARY) return hexLine(head + "hex:", value.value.data);
  char type[24];
  std::snprintf(type, sizeof type, "hex(%x):", value.value.type);
  return hexLine(head + type, value.value.data);
}

}  // namespace comsweep::registry
