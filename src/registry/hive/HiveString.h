#pragma once
// String values as hives hold them. Windows stores REG_SZ, REG_EXPAND_SZ and
// REG_MULTI_SZ data as UTF-16LE, but tools that write hives directly
// sometimes store the 8-bit text they were given, and libhivex's own string
// reader would garble it. The rule that tells them apart:
//
//   The data is 8-bit text when its length is odd, or when it holds no NUL
//   byte before its last byte. Otherwise it is UTF-16LE.
//
// UTF-16 data always has an even length, and unless every character lies
// outside Latin-1 it holds a NUL high byte, or the 00 00 terminator, before
// its last byte; 8-bit text holds at most its one terminating NUL. The rule
// errs on UTF-16 text without terminator made only of characters beyond
// U+00FF (read as 8-bit), and on 8-bit text with NULs inside (read as
// UTF-16); both are rare, and neither makes the read fail. A one-character
// Latin-1 string without terminator reads the same either way.
//
// 8-bit text is decoded as UTF-8 where it is valid UTF-8 and as Windows-1252
// elsewhere, the engine's convention for 8-bit registry text.

#include <string>
#include <string_view>

namespace comsweep::registry {

bool looksLike8BitString(std::string_view data);
// The data as UTF-16LE bytes, widened when it is 8-bit text.
std::string hiveStringToUtf16le(std::string_view data);

}  // namespace comsweep::registry
