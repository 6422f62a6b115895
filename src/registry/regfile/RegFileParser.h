#pragma once
// The .reg importer's reading: a state machine over the physical lines of a
// file, one handler per state in a table. A handler consumes part of the
// current line and names the state that goes on; quoted strings and hex data
// ended by '\' carry their state over to the next line. Keys and default
// values go to a RegFileSink; everything else is checked and dropped.
//
// Lenient where exports differ (trailing blanks, a missing blank line between
// blocks, either case in type names and hex digits, ';' comments between
// continuation lines); strict wherever data could be misread.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "registry/api/RegistryApi.h"
#include "registry/regfile/RegFileLineReader.h"
#include "registry/regfile/RegFileSink.h"

namespace comsweep::registry {

struct RegFileError {
  std::size_t line = 0;  // 1-based
  std::string reason;
};

class RegFileParser {
 public:
  explicit RegFileParser(RegFileSink& sink) : m_sink(sink) {}

  // Reads a whole file. False when it is malformed; error() then says where
  // and why, and the sink may have seen part of the file.
  bool parse(std::string_view bytes);
  const RegFileError& error() const { return m_error; }

  // A file read in two parts at once. parseUntil() reads the lines before
  // `cut` (a line start) as parse() reads them; splitsAt() then says whether
  // it stands between statements there, so that the part from `cut` on can
  // be read by another parser's parsePart() exactly as this one would go
  // on; else parseOn() reads on to the end. A part's error lines count from
  // `from`: add linesRead() of the parser of the lines before.
  bool parseUntil(std::string_view bytes, std::size_t cut);
  bool splitsAt() const { return !m_failed && m_state == kLineStart; }
  bool parseOn(std::string_view bytes);
  bool parsePart(std::string_view bytes, std::size_t from);
  std::size_t linesRead() const { return m_reader ? m_reader->lineNumber() : 0; }
  // Where bytes[from, ...) could be cut for parsePart(): the start of the
  // first key line at or after `from` that follows a blank line;
  // bytes.size() when there is none.
  static std::size_t cutPoint(std::string_view bytes, std::size_t from);

  // The data of a string value from the text between its quotes, as
  // decoded lines give it: UTF-16LE with the terminating NUL.
  static void decodeQuoted(std::string_view quoted, std::string& data);
  // The same as 8-bit text with one NUL, when the text is plain ASCII;
  // false otherwise.
  static bool decodeQuotedAscii(std::string_view quoted, std::string& text);

 private:
  // One state per place in the grammar; each handler consumes what its
  // state allows on the current line and names the next state (the
  // handlers' comments give the details).
  enum State : unsigned char {
    kHeader,            // the first line: one of the two headers
    kLineStart,         // between statements: blank, comment, key or value line
    kKeyName,           // after '[': the key path up to the last ']'
    kDefaultValueName,  // after '@': blanks, then '='
    kQuotedValueName,   // after '"': the value name up to its closing '"', then '='
    kDataStart,         // after '=': which kind of data follows
    kStringData,        // inside a quoted string, possibly over several lines
    kDwordData,         // after "dword:": up to eight hex digits
    kHexData,           // after "hex:" or "hex(N):": comma-separated bytes
    kHexContinuation,   // the line after a '\' that continues hex data
    kValueEnd,          // after the data: blanks or a comment, then the value is complete
    kStateCount
  };

  // The part of the current line not consumed yet.
  struct Cursor {
    std::string_view text;
    std::size_t pos = 0;
    bool lineDone = false;

    bool atEnd() const { return pos >= text.size(); }
    char peek() const { return text[pos]; }
    std::string_view rest() const { return text.substr(pos); }
    void skipBlanks();
    bool eat(char c);
  };

  using Handler = State (RegFileParser::*)(Cursor&);
  static const Handler kHandlers[kStateCount];

  State header(Cursor& c);
  State lineStart(Cursor& c);
  State keyName(Cursor& c);
  State defaultValueName(Cursor& c);
  State quotedValueName(Cursor& c);
  State dataStart(Cursor& c);
  State stringData(Cursor& c);
  State dwordData(Cursor& c);
  State hexData(Cursor& c);
  State hexContinuation(Cursor& c);
  State valueEnd(Cursor& c);

  // Reading from the start of `bytes` (the lines of a new file), and
  // reading lines until the reader's end or an error.
  void start(std::string_view bytes);
  void readLines();
  // Checks how the file ended: a value still open is cut off.
  void finish();
  // Hands a finished default value to the sink.
  void deliver();
  // Records the first error (on the current line unless `line` is given)
  // and stops the current line.
  State fail(Cursor& c, std::string reason, std::size_t line = 0);

  RegFileSink& m_sink;
  std::optional<RegFileLineReader> m_reader;
  const RegFileLineReader* m_lines = nullptr;  // the reader while reading
  State m_state = kHeader;
  bool m_failed = false;
  RegFileError m_error;

  bool m_unicode = false;       // version 5.00: hex(1), hex(2), hex(7) hold UTF-16LE
  bool m_haveKey = false;       // a key line has been seen
  // The value being read.
  std::size_t m_valueLine = 0;  // where it started
  bool m_isDefault = false;
  bool m_deletion = false;
  bool m_quoted = false;        // data is text from a quoted string
  // A quoted string that ends on its own line is not copied: m_spelling is
  // its text between the quotes, a view of the current line.
  bool m_spelled = false;
  std::string_view m_spelling;
  DWORD m_type = REG_NONE;
  std::string m_data;           // text or bytes; reused from value to value
  std::string m_wide;           // quoted text as UTF-16LE
  std::string m_name;           // a named value's name, when the sink wants it
};

}  // namespace comsweep::registry
