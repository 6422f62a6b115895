#include "registry/store/Text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "registry/store/UpcaseTable.h"

namespace comsweep::registry {
namespace {

void appendUnit(std::string& out, std::uint16_t unit) {
  out += static_cast<char>(unit & 0xFF);
  out += static_cast<char>(unit >> 8);
}

constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

char32_t cp1252(unsigned char b) {
  return (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : b;
}

char32_t upper(char32_t cp) {
  if (cp < 0x80) return (cp >= 'a' && cp <= 'z') ? cp - 0x20 : cp;
  return cp < 0x10000 ? upcaseUnit(static_cast<char16_t>(cp)) : cp;
}

// Reads a name as the upper-cased UTF-16 units the registry compares.
// Bytes that are not UTF-8 stand for Windows-1252 characters, as in
// utf8ToUtf16le.
class UnitReader {
 public:
  explicit UnitReader(std::string_view text) : m_text(text) {}
  bool atEnd() const { return m_pending == 0 && m_at == m_text.size(); }
  // The next byte when it is ASCII and no low surrogate is waiting, else
  // 0x80; lets the caller take the fast path.
  unsigned char asciiAhead() const {
    if (m_pending != 0) return 0x80;
    auto b = static_cast<unsigned char>(m_text[m_at]);
    return b < 0x80 ? b : 0x80;
  }
  void skipAscii() { ++m_at; }
  std::uint16_t next() {
    if (m_pending != 0) {
      std::uint16_t low = m_pending;
      m_pending = 0;
      return low;
    }
    char32_t cp;
    if (!decodeUtf8(m_text, m_at, cp)) cp = cp1252(static_cast<unsigned char>(m_text[m_at++]));
    if (cp < 0x10000) return static_cast<std::uint16_t>(upper(cp));
    cp -= 0x10000;
    m_pending = static_cast<std::uint16_t>(0xDC00 + (cp & 0x3FF));
    return static_cast<std::uint16_t>(0xD800 + (cp >> 10));
  }

 private:
  std::string_view m_text;
  std::size_t m_at = 0;
  std::uint16_t m_pending = 0;  // the low surrogate of a pair half read
};

}  // namespace

// Decodes one UTF-8 sequence at text[i]; surrogate code points encoded in
// three bytes are accepted (they stand for unpaired UTF-16 units). Returns
// false for bytes that are not UTF-8.
bool decodeUtf8(std::string_view text, std::size_t& i, char32_t& cp) {
  auto b0 = static_cast<unsigned char>(text[i]);
  if (b0 < 0x80) {
    cp = b0;
    ++i;
    return true;
  }
  int len = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2;
    cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3;
    cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4;
    cp = b0 & 0x07;
  } else {
    return false;
  }
  if (i + len > text.size()) return false;
  for (int k = 1; k < len; ++k) {
    auto b = static_cast<unsigned char>(text[i + k]);
    if ((b & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (b & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[len] || cp > 0x10FFFF) return false;
  i += len;
  return true;
}

char* encodeUtf8(char32_t cp, char* out) {
  if (cp < 0x80) {
    *out++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out++ = static_cast<char>(0xC0 | (cp >> 6));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (cp >> 12));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (cp >> 18));
    *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

void appendUtf8(std::string& out, char32_t cp) {
  char bytes[4];
  out.append(bytes, encodeUtf8(cp, bytes));
}

bool isValidUtf8(std::string_view text) {
  char32_t cp;
  for (std::size_t i = 0; i < text.size();)
    if (!decodeUtf8(text, i, cp)) return false;
  return true;
}

namespace {

// Appends `count` UTF-16 units, unit(k) giving the k-th, as UTF-8.
template <typename Unit>
void appendUnitsAsUtf8(std::string& out, std::size_t count, Unit unit) {
  for (std::size_t k = 0; k < count; ++k) {
    char32_t cp = unit(k);
    if (cp >= 0xD800 && cp <= 0xDBFF && k + 1 < count) {
      char32_t lo = unit(k + 1);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
        ++k;
      }
    }
    appendUtf8(out, cp);
  }
}

}  // namespace

std::string utf16leToUtf8(std::string_view bytes) {
  const std::size_t count = bytes.size() / 2;
  // The ASCII part, most often all of it, a byte per unit.
  std::string out(count, '\0');
  std::size_t ascii = 0;
  while (ascii < count && bytes[2 * ascii + 1] == 0 && (bytes[2 * ascii] & 0x80) == 0) {
    out[ascii] = bytes[2 * ascii];
    ++ascii;
  }
  out.resize(ascii);
  appendUnitsAsUtf8(out, count - ascii, [bytes, ascii](std::size_t k) {
    return static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * (ascii + k)]) |
                                 (static_cast<unsigned char>(bytes[2 * (ascii + k) + 1]) << 8));
  });
  return out;
}

namespace {

// Calls put() with each UTF-16 unit of `text`; bytes that are not UTF-8 are
// Windows-1252 characters.
template <typename Put>
void forEachUtf16Unit(std::string_view text, Put put) {
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp;
    if (!decodeUtf8(text, i, cp)) cp = cp1252(static_cast<unsigned char>(text[i++]));
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(static_cast<char16_t>(0xD800 + (cp >> 10)));
      put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      put(static_cast<char16_t>(cp));
    }
  }
}

}  // namespace

std::string utf8ToUtf16le(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  forEachUtf16Unit(text, [&out](char16_t unit) { appendUnit(out, unit); });
  return out;
}

std::u16string utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  forEachUtf16Unit(text, [&out](char16_t unit) { out.push_back(unit); });
  return out;
}

void appendUtf8(std::string& out, std::u16string_view units) {
  appendUnitsAsUtf8(out, units.size(), [units](std::size_t k) { return units[k]; });
}

void appendUtf16le(std::string& out, std::u16string_view units) {
  std::size_t at = out.size();
  out.resize(at + 2 * units.size());
  for (char16_t u : units) {
    out[at++] = static_cast<char>(u & 0xFF);
    out[at++] = static_cast<char>(u >> 8);
  }
}

std::string upperCase(std::string_view text) {
  std::string out;
  upperCaseInto(text, out);
  return out;
}

void upperCaseInto(std::string_view text, std::string& out) {
  out.clear();
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      out += static_cast<char>((b >= 'a' && b <= 'z') ? b - 0x20 : b);
      ++i;
      continue;
    }
    std::size_t start = i;
    char32_t cp;
    if (!decodeUtf8(text, i, cp)) {
      out += text[i++];
      continue;
    }
    char32_t up = upper(cp);
    if (up == cp)
      out.append(text.substr(start, i - start));
    else
      appendUtf8(out, up);
  }
}

int compareNoCase(std::string_view a, std::string_view b) {
  // Names that sort near each other share long prefixes: the bytes they
  // share are passed over eight at a time while they are plain ASCII, each
  // of which is a character of its own whatever follows.
  const std::size_t shorter = std::min(a.size(), b.size());
  std::size_t same = 0;
  while (same + 8 <= shorter) {
    std::uint64_t x, y;
    std::memcpy(&x, a.data() + same, 8);
    std::memcpy(&y, b.data() + same, 8);
    if (x != y || (x & 0x8080808080808080ull) != 0) break;
    same += 8;
  }
  while (same < shorter && a[same] == b[same] && static_cast<unsigned char>(a[same]) < 0x80) ++same;
  a.remove_prefix(same);
  b.remove_prefix(same);
  UnitReader ra(a), rb(b);
  while (!ra.atEnd() && !rb.atEnd()) {
    unsigned char ca = ra.asciiAhead(), cb = rb.asciiAhead();
    std::uint32_t wa, wb;
    if ((ca | cb) < 0x80) {
      wa = (ca >= 'a' && ca <= 'z') ? ca - 0x20 : ca;
      wb = (cb >= 'a' && cb <= 'z') ? cb - 0x20 : cb;
      ra.skipAscii();
      rb.skipAscii();
    } else {
      wa = ra.next();
      wb = rb.next();
    }
    if (wa != wb) return wa < wb ? -1 : 1;
  }
  if (!ra.atEnd()) return 1;
  if (!rb.atEnd()) return -1;
  return 0;
}

}  // namespace comsweep::registry
