#include "registry/regfile/RegFileParser.h"

#include "registry/store/ByteScan.h"
#include "registry/store/KeyLimits.h"
#include "registry/store/Text.h"

namespace comsweep::registry {
namespace {

constexpr std::string_view kUnicodeHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kAnsiHeader = "REGEDIT4";

// A CR that is left over at the end of a line (CR CR LF from a double
// conversion) counts as trailing blank.
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

bool allBlank(std::string_view text) {
  for (char c : text)
    if (!isBlank(c)) return false;
  return true;
}

std::string_view trimRight(std::string_view text) {
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::size_t countHexDigits(std::string_view text) {
  std::size_t n = 0;
  while (n < text.size() && hexDigit(text[n]) >= 0) ++n;
  return n;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

// A piece of the offending text for a message, cut short.
std::string quote(std::string_view text, std::size_t max = 24) {
  std::string out = "\"";
  out.append(text.substr(0, max));
  if (text.size() > max) out += "...";
  out += '"';
  return out;
}

// utf8ToUtf16le into a buffer that is reused, widening plain ASCII directly.
void toUtf16(std::string_view text, std::string& out) {
  out.resize(2 * text.size());
  char* wide = out.data();
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      out = utf8ToUtf16le(text);
      return;
    }
    *wide++ = c;
    *wide++ = '\0';
  }
}

}  // namespace

void RegFileSink::defaultSpelling(std::string_view quoted) {
  std::string data;
  RegFileParser::decodeQuoted(quoted, data);
  defaultValue(REG_SZ, data);
}

namespace {

// The text of a quoted string from the spelling between its quotes.
void unquote(std::string_view quoted, std::string& text) {
  text.clear();
  text.reserve(quoted.size() + 1);
  for (std::size_t i = 0; i < quoted.size(); ++i) {
    const bool escape = quoted[i] == '\\' && i + 1 < quoted.size() &&
                        (quoted[i + 1] == '\\' || quoted[i + 1] == '"');
    if (escape) ++i;
    text += quoted[i];
  }
}

}  // namespace

void RegFileParser::decodeQuoted(std::string_view quoted, std::string& data) {
  std::string text;
  unquote(quoted, text);
  toUtf16(text, data);
  data.append(2, '\0');
}

bool RegFileParser::decodeQuotedAscii(std::string_view quoted, std::string& text) {
  for (char c : quoted)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  unquote(quoted, text);
  text += '\0';
  return true;
}

const RegFileParser::Handler RegFileParser::kHandlers[kStateCount] = {
    &RegFileParser::header,          &RegFileParser::lineStart,
    &RegFileParser::keyName,         &RegFileParser::defaultValueName,
    &RegFileParser::quotedValueName, &RegFileParser::dataStart,
    &RegFileParser::stringData,      &RegFileParser::dwordData,
    &RegFileParser::hexData,         &RegFileParser::hexContinuation,
    &RegFileParser::valueEnd,
};

void RegFileParser::Cursor::skipBlanks() {
  while (pos < text.size() && isBlank(text[pos])) ++pos;
}

bool RegFileParser::Cursor::eat(char c) {
  if (pos < text.size() && text[pos] == c) {
    ++pos;
    return true;
  }
  return false;
}

void RegFileParser::start(std::string_view bytes) {
  m_reader.emplace(bytes);
  m_lines = &*m_reader;
  m_state = kHeader;
  m_failed = false;
  m_error = {};
  m_haveKey = false;
}

void RegFileParser::readLines() {
  RegFileLineReader& lines = *m_reader;
  while (!m_failed && lines.next()) {
    Cursor c{lines.text()};
    while (!c.lineDone) {
      // Through a local: GCC 12's bounds sanitizer misreads the index when
      // the table is indexed inside the member-pointer call.
      Handler handler = kHandlers[m_state];
      m_state = (this->*handler)(c);
    }
  }
}

bool RegFileParser::parse(std::string_view bytes) {
  start(bytes);
  readLines();
  if (!m_failed) finish();
  return !m_failed;
}

bool RegFileParser::parseUntil(std::string_view bytes, std::size_t cut) {
  start(bytes.substr(0, cut));
  readLines();
  return !m_failed;
}

bool RegFileParser::parseOn(std::string_view bytes) {
  m_reader->extendTo(bytes);
  readLines();
  if (!m_failed) finish();
  return !m_failed;
}

bool RegFileParser::parsePart(std::string_view bytes, std::size_t from) {
  // The header decides how hex string data is read; it is read here too.
  RegFileLineReader first(bytes);
  m_unicode = first.next() && trimRight(first.text()) == kUnicodeHeader;
  start(bytes);
  m_reader->startAt(from);
  m_state = kLineStart;
  readLines();
  if (!m_failed) finish();
  return !m_failed;
}

std::size_t RegFileParser::cutPoint(std::string_view bytes, std::size_t from) {
  const bool utf16 = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
  const std::string_view key = utf16 ? std::string_view("\n\0[\0", 4) : std::string_view("\n[");
  const std::size_t unit = utf16 ? 2 : 1;
  for (std::size_t at = bytes.find(key, from); at != std::string_view::npos; at = bytes.find(key, at + 1)) {
    if (at % unit != 0) continue;
    // The line before is empty (or a lone CR): the blank line that ends a block.
    std::size_t before = at;
    if (before >= unit && bytes[before - unit] == '\r' && (!utf16 || bytes[before - 1] == '\0')) before -= unit;
    if (before >= unit && bytes[before - unit] == '\n' && (!utf16 || bytes[before - 1] == '\0'))
      return at + unit;
  }
  return bytes.size();
}

void RegFileParser::finish() {
  Cursor end{};
  if (m_lines->strayByte()) {
    fail(end, "the file ends in the middle of a UTF-16 character (odd length)");
  } else if (m_state == kHeader) {
    fail(end, "missing header (the file is empty)", 1);
  } else if (m_state == kStringData) {
    fail(end, "unterminated string (no closing '\"' before the end of the file)", m_valueLine);
  } else if (m_state == kHexContinuation) {
    fail(end, "hex data continues past the end of the file");
  }
}

RegFileParser::State RegFileParser::fail(Cursor& c, std::string reason, std::size_t line) {
  c.lineDone = true;
  if (!m_failed) {
    m_failed = true;
    m_error.line = line ? line : (m_lines->lineNumber() ? m_lines->lineNumber() : 1);
    m_error.reason = std::move(reason);
  }
  return m_state;
}

// kHeader: line 1 names the format and holds nothing else. The version
// decides how string data given as hex bytes is encoded.
RegFileParser::State RegFileParser::header(Cursor& c) {
  std::string_view line = trimRight(c.text);
  c.lineDone = true;
  if (line == kUnicodeHeader || line == kAnsiHeader) {
    m_unicode = line == kUnicodeHeader;
    return kLineStart;
  }
  if (line.substr(0, 23) == "Windows Registry Editor" || line.substr(0, 7) == "REGEDIT")
    return fail(c, "unknown header " + quote(line, 48));
  return fail(c, "missing header (\"" + std::string(kUnicodeHeader) + "\" or \"" +
                     std::string(kAnsiHeader) + "\" must be the first line)");
}

// kLineStart: between statements. Blank lines and ';' comments are passed
// over, '[' opens a key block, '@' and '"' start a value of the current key.
RegFileParser::State RegFileParser::lineStart(Cursor& c) {
  c.skipBlanks();
  if (c.atEnd() || c.peek() == ';') {
    c.lineDone = true;
    return kLineStart;
  }
  char first = c.peek();
  if (first == '[') {
    ++c.pos;
    return kKeyName;
  }
  if (first != '@' && first != '"') return fail(c, "neither a key, a value nor a comment");
  if (!m_haveKey) return fail(c, "value line before any key");
  ++c.pos;
  m_valueLine = m_lines->lineNumber();
  m_isDefault = first == '@';
  m_deletion = false;
  m_quoted = false;
  m_spelled = false;
  m_type = REG_NONE;
  m_data.clear();
  return first == '@' ? kDefaultValueName : kQuotedValueName;
}

// kKeyName: after '['. The path runs to the last ']' on the line, since a
// key name may itself hold ']'; only blanks may follow it. A leading '-'
// asks for the key's deletion. One trailing backslash is tolerated.
RegFileParser::State RegFileParser::keyName(Cursor& c) {
  // The name is read once: the ']' is looked for from the end, and only a
  // backslash or a NUL stops the walk over what precedes it.
  std::string_view rest = c.rest();
  std::size_t close = rest.rfind(']');
  if (close == std::string_view::npos) return fail(c, "unterminated key line (no closing ']')");
  if (!allBlank(rest.substr(close + 1))) return fail(c, "text after the ']' of a key line");
  std::size_t begin = 0, end = close;
  bool deletion = end > 0 && rest[0] == '-';
  if (deletion) ++begin;
  if (end > begin && rest[end - 1] == '\\') --end;
  std::string_view path = rest.substr(begin, end - begin);
  if (path.empty()) return fail(c, "empty key path");
  bool emptyLevel = path.front() == '\\', nul = false;
  for (std::size_t i = findStop(path, 0, '\\', '\\', false); i < path.size();
       i = findStop(path, i + 1, '\\', '\\', false)) {
    if (path[i] == '\0')
      nul = true;
    else if (i + 1 < path.size() && path[i + 1] == '\\')
      emptyLevel = true;
  }
  if (emptyLevel) return fail(c, "empty key name in the path " + quote(path, 60));
  // The registry operations name keys by NUL-terminated text: such a key
  // would be listed under the part of its name before the NUL, which may be
  // the name of another key.
  if (nul) return fail(c, "a NUL character in a key name");
  // The first level names the registry root (HKEY_CLASSES_ROOT ...).
  if (std::string why = pathLimitProblem(path, 1); !why.empty()) return fail(c, why);
  m_sink.keyLine(path, deletion, m_lines->offset());
  m_haveKey = true;
  c.lineDone = true;
  return kLineStart;
}

// kDefaultValueName: after '@'; blanks, then the '='.
RegFileParser::State RegFileParser::defaultValueName(Cursor& c) {
  c.skipBlanks();
  if (!c.eat('=')) return fail(c, "missing '=' after the value name");
  return kDataStart;
}

// kQuotedValueName: after the opening '"'. "\\" and "\"" stand for '\' and
// '"'; the name ends on its own line. The empty name "" is the default value.
RegFileParser::State RegFileParser::quotedValueName(Cursor& c) {
  std::size_t start = c.pos;
  while (!c.atEnd()) {
    char ch = c.text[c.pos++];
    if (ch == '\\' && !c.atEnd() && (c.peek() == '\\' || c.peek() == '"')) {
      ++c.pos;
    } else if (ch == '"') {
      m_isDefault = c.pos - 1 == start;
      if (!m_isDefault && m_sink.wantsNamedValues()) {
        m_name.clear();
        for (std::size_t i = start; i + 1 < c.pos; ++i) {
          if (c.text[i] == '\\' && i + 2 < c.pos && (c.text[i + 1] == '\\' || c.text[i + 1] == '"'))
            ++i;
          m_name += c.text[i];
        }
      }
      c.skipBlanks();
      if (!c.eat('=')) return fail(c, "missing '=' after the value name");
      return kDataStart;
    }
  }
  return fail(c, "unterminated value name (no closing '\"')");
}

// kDataStart: after '='. '"' starts a string, '-' deletes the value, and
// "dword:", "hex:" or "hex(N):" (N in hex digits) name the type of the data.
RegFileParser::State RegFileParser::dataStart(Cursor& c) {
  c.skipBlanks();
  if (c.atEnd()) return fail(c, "missing value data after '='");
  if (c.eat('"')) {
    m_type = REG_SZ;
    m_quoted = true;
    if (m_isDefault) {
      // Escapes as in stringData(); a string that goes on past this line is
      // read there instead.
      for (std::size_t i = c.pos; i < c.text.size(); ++i) {
        char ch = c.text[i];
        if (ch == '"') {
          m_spelled = true;
          m_spelling = c.text.substr(c.pos, i - c.pos);
          c.pos = i + 1;
          return kValueEnd;
        }
        if (ch == '\\' && i + 1 < c.text.size() && (c.text[i + 1] == '\\' || c.text[i + 1] == '"'))
          ++i;
      }
    }
    return kStringData;
  }
  if (c.eat('-')) {
    m_deletion = true;
    return kValueEnd;
  }
  std::string_view rest = c.rest();
  if (startsWithNoCase(rest, "dword:")) {
    c.pos += 6;
    m_type = REG_DWORD;
    return kDwordData;
  }
  if (startsWithNoCase(rest, "hex:")) {
    c.pos += 4;
    m_type = REG_BINARY;
    return kHexData;
  }
  if (startsWithNoCase(rest, "hex(")) {
    std::size_t digits = countHexDigits(rest.substr(4));
    if (digits == 0 || digits > 8 || rest.substr(4 + digits, 2) != "):")
      return fail(c, "bad value type " + quote(rest.substr(0, rest.find(':'))));
    m_type = 0;
    for (char d : rest.substr(4, digits)) m_type = m_type * 16 + static_cast<DWORD>(hexDigit(d));
    c.pos += 4 + digits + 2;
    return kHexData;
  }
  return fail(c, "unknown value type syntax " + quote(rest));
}

// kStringData: inside a quoted string, escapes as in names. Other
// backslashes are plain characters, as paths are often written unescaped.
// The string may run on over physical lines; the line end is then part of
// the value, spelled as in the file.
RegFileParser::State RegFileParser::stringData(Cursor& c) {
  while (!c.atEnd()) {
    std::size_t stop = c.pos;
    while (stop < c.text.size() && c.text[stop] != '"' && c.text[stop] != '\\') ++stop;
    m_data.append(c.text.substr(c.pos, stop - c.pos));
    c.pos = stop;
    if (c.atEnd()) break;
    char ch = c.text[c.pos++];
    if (ch == '"') return kValueEnd;
    if (!c.atEnd() && (c.peek() == '\\' || c.peek() == '"')) ch = c.text[c.pos++];
    m_data += ch;
  }
  m_data.append(m_lines->terminator());
  c.lineDone = true;
  return kStringData;
}

// kDwordData: after "dword:"; one to eight hex digits, a 32-bit number kept
// little-endian.
RegFileParser::State RegFileParser::dwordData(Cursor& c) {
  std::string_view rest = c.rest();
  std::size_t digits = countHexDigits(rest);
  bool ends = digits == rest.size() || isBlank(rest[digits]) || rest[digits] == ';';
  if (digits == 0 || digits > 8 || !ends)
    return fail(c, "bad dword value " + quote(rest) + " (one to eight hex digits)");
  DWORD value = 0;
  for (char d : rest.substr(0, digits)) value = value * 16 + static_cast<DWORD>(hexDigit(d));
  for (int i = 0; i < 4; ++i) m_data += static_cast<char>((value >> (8 * i)) & 0xFF);
  c.pos += digits;
  return kValueEnd;
}

// kHexData: bytes of one or two hex digits separated by commas; a trailing
// comma is allowed. A '\' at the end of the line continues the data on the
// next line; the end of the line or a ';' comment ends it.
RegFileParser::State RegFileParser::hexData(Cursor& c) {
  for (;;) {
    c.skipBlanks();
    if (c.atEnd() || c.peek() == ';') return kValueEnd;
    if (c.peek() == '\\') {
      ++c.pos;
      if (!allBlank(c.rest())) return fail(c, "text after the '\\' that continues hex data");
      c.lineDone = true;
      return kHexContinuation;
    }
    std::size_t stop = c.pos;
    while (stop < c.text.size() && c.text[stop] != ',' && c.text[stop] != ';' &&
           c.text[stop] != '\\' && !isBlank(c.text[stop]))
      ++stop;
    std::string_view token = c.text.substr(c.pos, stop - c.pos);
    if (token.empty() || token.size() > 2 || countHexDigits(token) != token.size())
      return fail(c, "bad hex byte " + quote(token));
    int byte = hexDigit(token[0]);
    if (token.size() == 2) byte = byte * 16 + hexDigit(token[1]);
    m_data += static_cast<char>(byte);
    c.pos += token.size();
    c.skipBlanks();
    if (c.eat(',')) continue;
    if (!c.atEnd() && c.peek() != ';' && c.peek() != '\\')
      return fail(c, "missing ',' between hex bytes");
  }
}

// kHexContinuation: a line after a '\'. Its indentation is skipped and ';'
// comment lines are passed over; a blank line ends the data.
RegFileParser::State RegFileParser::hexContinuation(Cursor& c) {
  c.skipBlanks();
  if (c.atEnd()) return kValueEnd;
  if (c.peek() == ';') {
    c.lineDone = true;
    return kHexContinuation;
  }
  return kHexData;
}

// kValueEnd: after the data only blanks and a ';' comment may follow. The
// value is complete here.
RegFileParser::State RegFileParser::valueEnd(Cursor& c) {
  c.skipBlanks();
  if (!c.atEnd() && c.peek() != ';') return fail(c, "text after the value data " + quote(c.rest()));
  c.lineDone = true;
  deliver();
  return kLineStart;
}

void RegFileParser::deliver() {
  if (!m_isDefault && !m_sink.wantsNamedValues()) return;
  if (m_deletion) {
    if (m_isDefault)
      m_sink.defaultValueDeleted();
    else
      m_sink.namedValueDeleted(m_name);
    return;
  }
  if (m_spelled) {
    m_sink.defaultSpelling(m_spelling);
    return;
  }
  std::string_view data = m_data;
  std::string converted;
  if (m_quoted) {
    toUtf16(m_data, m_wide);
    m_wide.append(2, '\0');
    data = m_wide;
  } else if (isStringType(m_type) && !m_unicode) {
    // REGEDIT4 files give string data as 8-bit text, terminator included.
    converted = utf8ToUtf16le(m_data);
    data = converted;
  }
  if (m_isDefault)
    m_sink.defaultValue(m_type, data);
  else
    m_sink.namedValue(m_name, m_type, data);
}

}  // namespace comsweep::registry
