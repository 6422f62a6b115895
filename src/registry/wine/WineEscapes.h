#pragma once
// The string escapes of Wine's registry files. Wine writes names and string
// data as ASCII: "\\" and the closing delimiter escaped, C escapes for
// control characters (\a \b \t \n \v \f \r \e), octal for the other ones,
// and "\x" with up to four hex digits for UTF-16 code units above 127 (four
// digits exactly when a hex digit follows). Raw bytes above 127 are read as
// UTF-8, as Wine's loader does.

#include <cstddef>
#include <string>
#include <string_view>

namespace comsweep::registry {

class WineEscapes {
 public:
  enum class Status { Ok, Unterminated, BadUtf8 };

  struct Result {
    Status status = Status::Ok;
    std::size_t consumed = 0;  // bytes read, the closing delimiter included
  };

  // Reads escaped text up to the first unescaped `delimiter` and appends its
  // UTF-16 code units to `out` (only validates when `out` is null).
  // Unknown escapes stand for the escaped character itself.
  static Result unescape(std::string_view text, char delimiter, std::u16string* out);

  // Wine's spelling of `units` between the given delimiter characters
  // (`"` for strings, `[` and `]` for key names).
  static std::string escape(std::u16string_view units, std::string_view delimiters);
};

}  // namespace comsweep::registry
