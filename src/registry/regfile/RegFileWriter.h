#pragma once
// Writing values as lines of a version 5.00 .reg file, the way the reader
// beside it (RegFileParser) reads them back.

#include <string>

#include "registry/store/Store.h"

namespace comsweep::registry {

// One value as a line (without line end): quoted text where that keeps the
// data exactly, dword:xxxxxxxx for a four-byte DWORD, else hex data broken
// over continuation lines as exports break it. With `asciiText`, a string
// is quoted only when all of it is ASCII: some importers take quoted text
// as bytes in no particular encoding, but hex data as it stands.
std::string regFileValueLine(const NamedValue& value, bool asciiText = false);
// Whether regFileValueLine() writes the value as quoted text.
bool regFileQuotes(const RegValue& value);
// The value as hex data whatever its type (hex: for REG_BINARY, else hex(N):).
std::string regFileHexLine(const NamedValue& value);

}  // namespace comsweep::registry
