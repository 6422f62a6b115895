#pragma once
// Helpers for the .reg tests: spelling a text in a file's encoding and line
// ends, and writing contract keys as an export.

#include <string>
#include <string_view>
#include <vector>

#include "registry/StoreContract.h"

namespace comsweep::test {

// `text` (UTF-8, LF line ends) as a file would hold it: CR LF line ends when
// `crlf`, UTF-16LE with its byte-order mark when `utf16`.
inline std::string encodeRegText(std::string_view text, bool utf16, bool crlf) {
  std::string lines;
  for (char c : text) {
    if (c == '\n' && crlf) lines += '\r';
    lines += c;
  }
  return utf16 ? "\xFF\xFE" + registry::utf8ToUtf16le(lines) : lines;
}

inline std::string replaceAll(std::string text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// The keys as a .reg export below `root`, every key with a block of its own.
// Plain strings are quoted; other values are given as hex data broken over
// continuation lines, string types 8-bit in REGEDIT4 files.
inline std::string contractRegText(const std::vector<ContractKey>& keys, bool unicode,
                                   std::string_view root) {
  std::string out = unicode ? "Windows Registry Editor Version 5.00\n\n" : "REGEDIT4\n\n";
  for (const ContractKey& key : keys) {
    out += "[" + std::string(root) + "\\" + key.path + "]\n";
    if (key.defaultValue) {
      const registry::RegValue& v = *key.defaultValue;
      std::string text = registry::utf16leToUtf8(v.data);
      if (!text.empty() && text.back() == '\0') text.pop_back();
      if (v.type == registry::REG_SZ && text.find('\0') == std::string::npos) {
        out += "@=\"" + replaceAll(replaceAll(text, "\\", "\\\\"), "\"", "\\\"") + "\"\n";
      } else {
        bool narrow = !unicode && v.type != registry::REG_DWORD && v.type != registry::REG_BINARY;
        std::string bytes = narrow ? registry::utf16leToUtf8(v.data) : v.data;
        char head[32];
        std::snprintf(head, sizeof head, "@=hex(%x):", v.type);
        out += head;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
          char b[8];
          std::snprintf(b, sizeof b, "%02x", static_cast<unsigned char>(bytes[i]));
          out += b;
          if (i + 1 < bytes.size()) out += (i % 8 == 7) ? ",\\\n  " : ",";
        }
        out += "\n";
      }
    }
    out += "\n";
  }
  return out;
}

}  // namespace comsweep::test
