#pragma once
// What the .reg parser reports while it reads a file: every key line, in file
// order with its byte offset (so that a store can keep the raw text of each
// key block), and what happens to the default value of the current key.
// Named values are reported only to a sink that asks for them (the backup
// of keys about to be removed reads them; loading does not).

#include <cstddef>
#include <string_view>

#include "registry/api/RegistryApi.h"

namespace comsweep::registry {

class RegFileSink {
 public:
  virtual ~RegFileSink() = default;

  // A key line "[path]", or "[-path]" when `deletion`. The path has no
  // brackets, no leading '-' and no trailing backslash, and none of its
  // levels is empty. `offset` is the byte offset of the line in the file.
  virtual void keyLine(std::string_view path, bool deletion, std::size_t offset) = 0;
  // The current key's default value: string types as UTF-16LE bytes
  // (quoted strings with their terminating NUL), other types raw.
  virtual void defaultValue(DWORD type, std::string_view data) = 0;
  // What the parser reports instead for a default value given as a quoted
  // string on one line: the text between the quotes as the file spells it,
  // already checked (RegFileParser::decodeQuoted gives the data). By default
  // it is decoded here and passed on to defaultValue().
  virtual void defaultSpelling(std::string_view quoted);
  // "@=-": the current key's default value is to be deleted.
  virtual void defaultValueDeleted() = 0;
  virtual bool wantsNamedValues() const { return false; }
  // A named value of the current key, data as for defaultValue.
  virtual void namedValue(std::string_view /*name*/, DWORD /*type*/, std::string_view /*data*/) {}
  // "name"=-: the named value is to be deleted.
  virtual void namedValueDeleted(std::string_view /*name*/) {}
};

}  // namespace comsweep::registry
