#pragma once
// Helpers for the .reg tests: spelling a text in a file's encoding and line
// ends, and writing contract keys as an export.

#include <string>
#include <string_view>
#include <vector>

#include "registry/store/StoreContract.h"
#include "registry/regfile/RegFileWriter.h"

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

// The keys as a 5.00 export below `root`, every key with a block of its own
// and its default value in the writer's spelling (which the writer's own
// test pins down).
inline std::string contractRegText(const std::vector<ContractKey>& keys, std::string_view root) {
  std::string out = "Windows Registry Editor Version 5.00\n\n";
  for (const ContractKey& key : keys) {
    out += "[" + std::string(root) + "\\" + key.path + "]\n";
    if (key.defaultValue) out += registry::regFileValueLine({"", *key.defaultValue}) + "\n";
    out += "\n";
  }
  return out;
}

}  // namespace comsweep::test
