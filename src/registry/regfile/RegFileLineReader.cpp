#include "registry/regfile/RegFileLineReader.h"

#include <cstdint>
#include <cstring>

#include "registry/Text.h"

namespace comsweep::registry {
namespace {

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::uint16_t unitAt(const char* p) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(p[0]) |
                                    (static_cast<unsigned char>(p[1]) << 8));
}

// UTF-16LE units to UTF-8 into `out`, the same way utf16leToUtf8 does
// (unpaired surrogates kept as three-byte sequences), without a new string.
void decodeUtf16(const char* p, std::size_t units, std::string& out) {
  out.clear();
  for (std::size_t k = 0; k < units; ++k) {
    std::uint16_t u = unitAt(p + 2 * k);
    if (u < 0x80) {
      out += static_cast<char>(u);
      continue;
    }
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units) {
      std::uint16_t lo = unitAt(p + 2 * (k + 1));
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        appendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (lo - 0xDC00));
        ++k;
        continue;
      }
    }
    appendUtf8(out, u);
  }
}

bool isAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

RegFileLineReader::RegFileLineReader(std::string_view bytes) : m_bytes(bytes) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    m_utf16 = true;
    m_pos = 2;
  } else if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    m_pos = 3;
  }
}

bool RegFileLineReader::next() {
  if (m_pos >= m_bytes.size()) return false;
  m_offset = m_line == 0 ? 0 : m_pos;
  ++m_line;
  return m_utf16 ? nextUtf16() : nextEightBit();
}

bool RegFileLineReader::nextUtf16() {
  const char* base = m_bytes.data();
  const std::size_t size = m_bytes.size();
  // Only a whole unit 0x000A ends a line; a 0x0A byte may also be half of
  // another character.
  std::size_t lf = size;
  for (std::size_t from = m_pos; from < size;) {
    const void* hit = std::memchr(base + from, '\n', size - from);
    if (!hit) break;
    auto at = static_cast<std::size_t>(static_cast<const char*>(hit) - base);
    if ((at - m_pos) % 2 == 0 && at + 1 < size && base[at + 1] == '\0') {
      lf = at;
      break;
    }
    from = at + 1;
  }
  std::size_t end = lf;
  if (lf == size && (size - m_pos) % 2 != 0) {
    m_strayByte = true;
    --end;
  }
  m_lf = lf != size;
  m_crlf = m_lf && end >= m_pos + 2 && unitAt(base + end - 2) == '\r';
  if (m_crlf) end -= 2;
  decodeUtf16(base + m_pos, (end - m_pos) / 2, m_buffer);
  m_text = m_buffer;
  m_pos = m_lf ? lf + 2 : size;
  return true;
}

bool RegFileLineReader::nextEightBit() {
  const char* base = m_bytes.data();
  const std::size_t size = m_bytes.size();
  const void* hit = std::memchr(base + m_pos, '\n', size - m_pos);
  std::size_t lf = hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - base) : size;
  std::size_t end = lf;
  m_lf = hit != nullptr;
  m_crlf = m_lf && end > m_pos && base[end - 1] == '\r';
  if (m_crlf) --end;
  m_text = m_bytes.substr(m_pos, end - m_pos);
  if (!isAscii(m_text) && !isValidUtf8(m_text)) {
    // Round trip through UTF-16: valid sequences stay, other bytes become
    // their Windows-1252 characters, exactly as the engine converts text.
    m_buffer = utf16leToUtf8(utf8ToUtf16le(m_text));
    m_text = m_buffer;
  }
  m_pos = m_lf ? lf + 1 : size;
  return true;
}

}  // namespace comsweep::registry
