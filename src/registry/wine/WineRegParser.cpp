#include "registry/wine/WineRegParser.h"

#include "registry/store/ByteScan.h"
#include "registry/store/KeyLimits.h"
#include "registry/store/Text.h"
#include "registry/wine/WineEscapes.h"

namespace comsweep::registry {

// Where the reader is; the table below says what each kind of line means there.
enum class WineRegParser::State : unsigned char {
  Signature,  // nothing read yet: the first line must be Wine's signature
  Preamble,   // before the first key: comments name the base key, options the architecture
  Block,      // inside a key block: options and values belong to its key
  HexData,    // a hex value's line ended in a backslash: the next line carries more bytes
};

namespace {

// A line's kind, by its first character after leading white space (Wine's
// loader skips that white space too).
enum LineKind { kBlank, kComment, kOption, kKey, kValue, kOther, kLineKinds };

enum class Action {
  Signature,
  Skip,
  PreambleComment,
  GlobalOption,
  KeyOption,
  StartKey,
  Value,
  MoreHex,
  ValueOutsideKey,
  Unrecognised,
};

struct Step {
  Action action;
  WineRegParser::State next;
};

using S = WineRegParser::State;
using A = Action;

// kSteps[state][line kind]: what to do with the line and where to go next.
// The actions for values and hex data may go to HexData instead.
// clang-format off
constexpr Step kSteps[4][kLineKinds] = {
    // Signature: every line kind is checked against the signature.
    {{A::Signature, S::Preamble}, {A::Signature, S::Preamble}, {A::Signature, S::Preamble},
     {A::Signature, S::Preamble}, {A::Signature, S::Preamble}, {A::Signature, S::Preamble}},
    // Preamble: blank, comment, option, key, value, other.
    {{A::Skip, S::Preamble}, {A::PreambleComment, S::Preamble}, {A::GlobalOption, S::Preamble},
     {A::StartKey, S::Block}, {A::ValueOutsideKey, S::Preamble}, {A::Unrecognised, S::Preamble}},
    // Block: blank, comment, option, key, value, other.
    {{A::Skip, S::Block}, {A::Skip, S::Block}, {A::KeyOption, S::Block},
     {A::StartKey, S::Block}, {A::Value, S::Block}, {A::Unrecognised, S::Block}},
    // HexData: whatever the line looks like, it continues the value.
    {{A::MoreHex, S::Block}, {A::MoreHex, S::Block}, {A::MoreHex, S::Block},
     {A::MoreHex, S::Block}, {A::MoreHex, S::Block}, {A::MoreHex, S::Block}},
};
// clang-format on

// How the data after "=" is spelled, in the order Wine's loader tries them.
enum class Encoding { Quoted, Dword, Hex, TypedHex };

struct DataTag {
  std::string_view tag;
  DWORD type;
  Encoding encoding;
};

constexpr DataTag kDataTags[] = {
    {"\"", REG_SZ, Encoding::Quoted},
    {"str:\"", REG_SZ, Encoding::Quoted},
    {"str(2):\"", REG_EXPAND_SZ, Encoding::Quoted},
    {"str(7):\"", REG_MULTI_SZ, Encoding::Quoted},
    {"hex:", REG_BINARY, Encoding::Hex},
    {"dword:", REG_DWORD, Encoding::Dword},
    {"hex(", REG_NONE, Encoding::TypedHex},  // hex(<type in hex>):
};

constexpr std::string_view kSignature = "WINE REGISTRY Version 2";
constexpr std::string_view kRelativeTo = ";; All keys relative to ";

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

std::string_view trimLeft(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && isSpace(s[i])) ++i;
  return s.substr(i);
}

std::string_view trim(std::string_view s) {
  s = trimLeft(s);
  while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
  return s;
}

// Reads 1 to `maxDigits` hex digits at the start of `s`; false when there are
// none or more.
bool readHex(std::string_view& s, std::size_t maxDigits, std::uint64_t& value) {
  std::size_t i = 0;
  value = 0;
  while (i < s.size() && hexDigit(s[i]) >= 0) {
    if (i == maxDigits) return false;
    value = value * 16 + static_cast<std::uint64_t>(hexDigit(s[i++]));
  }
  s.remove_prefix(i);
  return i > 0;
}

bool equalsAsciiNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// clang-format off
LineKind classify(std::string_view content) {
  if (content.empty()) return kBlank;
  switch (content.front()) {
    case ';': return kComment;
    case '#': return kOption;
    case '[': return kKey;
    case '@':
    case '"': return kValue;
    default: return kOther;
  }
}
// clang-format on

const char* escapeProblem(WineEscapes::Status status, const char* unterminated) {
  return status == WineEscapes::Status::BadUtf8 ? "bytes that are not UTF-8" : unterminated;
}

}  // namespace

void WineRegParser::Handler::defaultSpelling(DWORD type, std::string_view quoted) {
  RegValue value{type, {}};
  decodeQuoted(quoted, value.data);
  defaultValue(std::move(value));
}

void WineRegParser::decodeQuoted(std::string_view quoted, std::string& data) {
  // The text holds no unescaped quote: it is read to its end.
  std::u16string units;
  WineEscapes::unescape(quoted, '"', &units);
  data.clear();
  data.reserve(units.size() * 2 + 2);
  appendUtf16le(data, units);
  data.append(2, '\0');  // Wine stores the terminating NUL
}

bool WineRegParser::decodeQuotedAscii(std::string_view quoted, std::string& text) {
  text.clear();
  text.reserve(quoted.size() + 1);
  for (std::size_t i = 0; i < quoted.size(); ++i) {
    char c = quoted[i];
    if (static_cast<unsigned char>(c) >= 0x80) return false;
    if (c == '\\') {
      if (i + 1 == quoted.size() || (quoted[i + 1] != '\\' && quoted[i + 1] != '"')) return false;
      c = quoted[++i];
    }
    text += c;
  }
  text += '\0';
  return true;
}

bool WineRegParser::fail(std::string reason) {
  m_error->reason = std::move(reason);
  return false;
}

void WineRegParser::reset(State start) {
  m_state = start;
  m_blankRun = std::string_view::npos;
  m_lines = 0;
}

bool WineRegParser::parse(std::string_view text, Error& error) {
  m_namedValues = false;
  reset(State::Signature);
  return run(text, 0, text.size(), error, true);
}

bool WineRegParser::parseBlocks(std::string_view blocks, Error& error) {
  m_namedValues = true;
  reset(State::Block);
  return run(blocks, 0, blocks.size(), error, true);
}

bool WineRegParser::parseUntil(std::string_view text, std::size_t cut, Error& error) {
  m_namedValues = false;
  reset(State::Signature);
  return run(text, 0, cut, error, false);
}

bool WineRegParser::splitsAt() const {
  return (m_state == State::Block || m_state == State::Preamble) && m_blankRun == std::string_view::npos;
}

bool WineRegParser::parseOn(std::string_view text, Error& error) {
  return run(text, m_pos, text.size(), error, true);
}

bool WineRegParser::parsePart(std::string_view text, std::size_t from, Error& error) {
  m_namedValues = false;
  reset(State::Block);
  return run(text, from, text.size(), error, true);
}

std::size_t WineRegParser::cutPoint(std::string_view text, std::size_t from) {
  // The start of the line that ends at `lineEnd` (a line end or the text's end).
  auto lineStart = [&](std::size_t lineEnd) {
    std::size_t at = lineEnd == 0 ? std::string_view::npos : text.rfind('\n', lineEnd - 1);
    return at == std::string_view::npos ? 0 : at + 1;
  };
  for (std::size_t at = text.find("\n[", from); at != std::string_view::npos; at = text.find("\n[", at + 1)) {
    // The cut goes before the blank lines that belong to the key's block.
    std::size_t cut = at + 1, end = at;
    std::size_t start = lineStart(end);
    while (start > 0 && trim(text.substr(start, end - start)).empty()) {
      cut = start;
      end = start - 1;
      start = lineStart(end);
    }
    std::string_view before = trim(text.substr(start, end - start));
    if (!before.empty() && before.back() != '\\') return cut;
  }
  return text.size();
}

void WineRegParser::deliver(RegValue value) {
  if (m_valueIsDefault)
    m_handler.defaultValue(std::move(value));
  else
    m_handler.namedValue(m_valueName, std::move(value));
}

bool WineRegParser::run(std::string_view text, std::size_t from, std::size_t to, Error& error, bool last) {
  m_error = &error;
  error = {};
  error.line = m_lines;
  State state = m_state;
  std::size_t pos = from;
  std::size_t blankRun = m_blankRun;  // where the blank lines just read began
  while (pos < to) {
    std::size_t newline = text.find('\n', pos);
    std::size_t end = newline == std::string_view::npos ? text.size() : newline;
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++error.line;
    std::string_view content = trimLeft(line);
    LineKind kind = classify(content);
    const Step& step = kSteps[static_cast<int>(state)][kind];
    State next = step.next;
    bool ok = true;
    // clang-format off
    switch (step.action) {
      case Action::Signature: ok = checkSignature(line); break;
      case Action::Skip: break;
      case Action::PreambleComment: ok = preambleComment(content); break;
      case Action::GlobalOption: ok = globalOption(content); break;
      case Action::KeyOption: ok = keyOption(content); break;
      case Action::StartKey:
        ok = startKey(content, blankRun != std::string_view::npos ? blankRun : pos);
        break;
      case Action::Value: ok = value(content, next); break;
      case Action::MoreHex: ok = hexData(content, next); break;
      case Action::ValueOutsideKey: ok = fail("a value before the first key"); break;
      case Action::Unrecognised: ok = fail("not a key, value, option or comment"); break;
    }
    // clang-format on
    if (!ok) return false;
    if (kind == kBlank) {
      if (blankRun == std::string_view::npos) blankRun = pos;
    } else {
      blankRun = std::string_view::npos;
    }
    state = next;
    pos = newline == std::string_view::npos ? text.size() : newline + 1;
  }
  m_state = state;
  m_blankRun = blankRun;
  m_lines = error.line;
  m_pos = pos;
  if (!last) {
    error = {};
    return true;
  }
  if (state == State::Signature) {
    error.line = 1;
    return fail("empty file, not a Wine registry file");
  }
  if (state == State::HexData) return fail("hex data continues past the end of the file");
  error = {};
  return true;
}

bool WineRegParser::checkSignature(std::string_view line) {
  if (line == kSignature) return true;
  return fail("not a Wine registry file (the first line is not \"" + std::string(kSignature) +
              "\")");
}

bool WineRegParser::preambleComment(std::string_view line) {
  if (line.substr(0, kRelativeTo.size()) != kRelativeTo) return true;
  std::string_view base = trim(line.substr(kRelativeTo.size()));
  if (m_owner == Owner::User) {
    // user.reg names the user's key: REGISTRY\\User\\S-1-5-21-...
    for (std::string_view user : {"REGISTRY\\\\User\\\\", "\\\\User\\\\"})
      if (base.size() > user.size() && equalsAsciiNoCase(base.substr(0, user.size()), user))
        return true;
    return fail("keys are relative to " + std::string(base) + ", not to a user's key");
  }
  // The file of HKEY_LOCAL_MACHINE; user.reg names a user's key instead.
  if (equalsAsciiNoCase(base, "REGISTRY\\\\Machine") || equalsAsciiNoCase(base, "\\\\Machine"))
    return true;
  return fail("keys are relative to " + std::string(base) + ", not to the machine key");
}

bool WineRegParser::globalOption(std::string_view line) {
  if (line.substr(0, 6) != "#arch=") return true;  // Wine ignores options it does not know
  std::string_view arch = trim(line.substr(6));
  if (arch == "win32" || arch == "win64") return true;
  return fail("unknown architecture \"" + std::string(arch) + "\"");
}

bool WineRegParser::keyOption(std::string_view line) {
  if (line.substr(0, 6) == "#time=") {
    std::string_view rest = line.substr(6);
    std::uint64_t time;
    if (!readHex(rest, 16, time) || !trim(rest).empty()) return fail("malformed #time option");
  } else if (line.substr(0, 7) == "#class=") {
    std::string_view rest = line.substr(7);
    if (rest.empty() || rest.front() != '"') return fail("malformed #class option");
    auto r = WineEscapes::unescape(rest.substr(1), '"', nullptr);
    if (r.status != WineEscapes::Status::Ok || !trim(rest.substr(1 + r.consumed)).empty())
      return fail(std::string("#class option with ") +
                  escapeProblem(r.status, "an unterminated string"));
  }
  return true;  // "#link" and options Wine does not know need no checking
}

bool WineRegParser::startKey(std::string_view line, std::size_t offset) {
  m_levels.clear();
  // One pass over the name: most are plain ASCII with "\\" between levels,
  // taken from the text as they are. Any other escape or a byte above 127
  // sends the line the long way, which unescapes it.
  const std::size_t n = line.size();
  std::size_t start = 1;  // of the current level
  std::size_t i = 1;
  bool nul = false;
  for (;; ++i) {
    i = findStop(line, i, '\\', ']', true);
    if (i == n || line[i] == ']') break;
    char c = line[i];
    if (c == '\\') {
      if (i + 1 == n || line[i + 1] != '\\') break;
      if (i > start) m_levels.push_back(line.substr(start, i - start));
      start = ++i + 1;
    } else if (c == '\0') {
      nul = true;
    } else {
      break;  // above 127
    }
  }
  std::string_view rest;
  if (i < n && line[i] == ']') {
    if (i > start) m_levels.push_back(line.substr(start, i - start));
    rest = line.substr(i + 1);
  } else if (!escapedKeyLevels(line, rest, nul)) {
    return false;
  }
  // What follows is the time of the last change, in seconds since 1970.
  rest = trimLeft(rest);
  while (!rest.empty() && rest.front() >= '0' && rest.front() <= '9') rest.remove_prefix(1);
  if (!trim(rest).empty()) return fail("unexpected text after the key name");
  // The registry operations name keys by NUL-terminated text: such a key
  // would be listed under the part of its name before the NUL.
  if (nul) return fail("a NUL character in a key name");
  if (!withinLimits()) return false;
  m_handler.keyBlock(offset, m_levels);
  return true;
}

bool WineRegParser::withinLimits() {
  auto pathTo = [this](std::size_t last) {
    std::string path;
    for (std::size_t k = 0; k <= last; ++k) path.append(k ? "\\" : "").append(m_levels[k]);
    return path;
  };
  if (m_levels.size() > kMaxKeyDepth) return fail(tooDeepMessage(pathTo(m_levels.size() - 1)));
  for (std::size_t k = 0; k < m_levels.size(); ++k)
    if (keyNameTooLong(m_levels[k]))
      return fail(tooLongNameMessage(k ? pathTo(k - 1) : std::string(), m_levels[k]));
  return true;
}

bool WineRegParser::escapedKeyLevels(std::string_view line, std::string_view& rest, bool& nul) {
  m_levels.clear();
  m_units.clear();
  auto r = WineEscapes::unescape(line.substr(1), ']', &m_units);
  if (r.status != WineEscapes::Status::Ok)
    return fail(std::string("key name with ") + escapeProblem(r.status, "no closing \"]\""));
  rest = line.substr(1 + r.consumed);
  m_scratch.clear();
  appendUtf8(m_scratch, m_units);
  nul = m_scratch.find('\0') != std::string::npos;
  std::string_view path = m_scratch;
  while (!path.empty()) {
    std::size_t cut = path.find('\\');
    if (cut != 0) m_levels.push_back(path.substr(0, cut));
    if (cut == std::string_view::npos) break;
    path.remove_prefix(cut + 1);
  }
  return true;
}

bool WineRegParser::value(std::string_view line, State& next) {
  m_valueIsDefault = true;
  std::size_t p = 1;
  if (line.front() == '"') {
    m_units.clear();
    auto r = WineEscapes::unescape(line.substr(1), '"', &m_units);
    if (r.status != WineEscapes::Status::Ok)
      return fail(std::string("value name with ") + escapeProblem(r.status, "no closing quote"));
    m_valueIsDefault = m_units.empty();  // "" names the unnamed value, like "@"
    p += r.consumed;
  }
  m_valueWanted = m_valueIsDefault || m_namedValues;
  if (m_valueWanted && !m_valueIsDefault) {
    m_valueName.clear();
    appendUtf8(m_valueName, m_units);
  }
  std::string_view data = trimLeft(line.substr(p));
  if (data.empty() || data.front() != '=') return fail("value without \"=\"");
  data = trimLeft(data.substr(1));

  const DataTag* tag = nullptr;
  for (const DataTag& t : kDataTags) {
    if (data.substr(0, t.tag.size()) == t.tag) {
      tag = &t;
      break;
    }
  }
  if (!tag) return fail("value of unknown type");
  data.remove_prefix(tag->tag.size());

  switch (tag->encoding) {
    case Encoding::Quoted: {
      // While loading, the unnamed value is only checked: its spelling is
      // kept and decoded when the value is read.
      const bool spelled = m_valueIsDefault && !m_namedValues;
      m_units.clear();
      auto r = WineEscapes::unescape(data, '"', m_valueWanted && !spelled ? &m_units : nullptr);
      if (r.status != WineEscapes::Status::Ok)
        return fail(std::string("string value with ") +
                    escapeProblem(r.status, "no closing quote"));
      if (!trim(data.substr(r.consumed)).empty()) return fail("unexpected text after the value");
      if (spelled) {
        m_handler.defaultSpelling(tag->type, data.substr(0, r.consumed - 1));
      } else if (m_valueWanted) {
        RegValue v{tag->type, {}};
        v.data.reserve(m_units.size() * 2 + 2);
        appendUtf16le(v.data, m_units);
        v.data.append(2, '\0');  // Wine stores the terminating NUL
        deliver(std::move(v));
      }
      return true;
    }
    case Encoding::Dword: {
      std::uint64_t dw;
      if (!readHex(data, 8, dw) || !trim(data).empty()) return fail("malformed dword value");
      if (m_valueWanted) {
        std::string bytes(4, '\0');
        for (int k = 0; k < 4; ++k) bytes[k] = static_cast<char>((dw >> (8 * k)) & 0xFF);
        deliver({REG_DWORD, std::move(bytes)});
      }
      return true;
    }
    case Encoding::Hex:
      m_hexType = tag->type;
      break;
    case Encoding::TypedHex: {
      std::uint64_t type;
      if (!readHex(data, 8, type) || data.substr(0, 2) != "):")
        return fail("malformed hex(type) value");
      data.remove_prefix(2);
      m_hexType = static_cast<DWORD>(type);
      break;
    }
  }
  m_hexBytes.clear();
  return hexData(data, next);
}

bool WineRegParser::hexData(std::string_view rest, State& next) {
  // Bytes are one or two hex digits, separated by commas and white space.
  std::size_t i = 0;
  const std::size_t n = rest.size();
  while (i < n && hexDigit(rest[i]) >= 0) {
    int byte = hexDigit(rest[i++]);
    if (i < n && hexDigit(rest[i]) >= 0) byte = byte * 16 + hexDigit(rest[i++]);
    if (i < n && hexDigit(rest[i]) >= 0) return fail("hex byte above ff");
    if (m_valueWanted) m_hexBytes.push_back(static_cast<char>(byte));
    while (i < n && isSpace(rest[i])) ++i;
    if (i < n && rest[i] == ',') ++i;
    while (i < n && isSpace(rest[i])) ++i;
  }
  if (i < n && rest[i] == '\\') {
    if (!trim(rest.substr(i + 1)).empty())
      return fail("unexpected text after a continuation backslash");
    next = State::HexData;
    return true;
  }
  if (i < n) return fail("malformed hex data");
  next = State::Block;
  if (m_valueWanted) deliver({m_hexType, std::move(m_hexBytes)});
  m_hexBytes.clear();
  return true;
}

}  // namespace comsweep::registry
