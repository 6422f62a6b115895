#include "registry/regfile/RegFileLineReader.h"

#include <cstdint>
#include <cstring>

#include "registry/store/Text.h"

namespace comsweep::registry {
namespace {

std::uint16_t unitAt(const char* p) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(p[0]) |
                                    (static_cast<unsigned char>(p[1]) << 8));
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
  m_offset = m_line == 0 && m_fromStart ? 0 : m_pos;
  ++m_line;
  return m_utf16 ? nextUtf16() : nextEightBit();
}

bool RegFileLineReader::nextUtf16() {
  // One pass finds the line end and decodes, writing through a pointer into
  // a buffer that only ever grows. Unpaired surrogates are kept as
  // three-byte sequences, as utf16leToUtf8 keeps them.
  const char* p = m_bytes.data() + m_pos;
  const char* end = m_bytes.data() + m_pos + (m_bytes.size() - m_pos) / 2 * 2;
  if (m_buffer.size() < 256) m_buffer.resize(256);
  char* out = m_buffer.data();
  char* room = m_buffer.data() + m_buffer.size() - 4;  // a character fits below it
  m_lf = false;
  for (; p < end; p += 2) {
    if (out >= room) {
      std::size_t used = static_cast<std::size_t>(out - m_buffer.data());
      m_buffer.resize(2 * m_buffer.size());
      out = m_buffer.data() + used;
      room = m_buffer.data() + m_buffer.size() - 4;
    }
    std::uint16_t u = unitAt(p);
    if (u < 0x80) {
      if (u == '\n') {
        m_lf = true;
        break;
      }
      *out++ = static_cast<char>(u);
    } else if (u >= 0xD800 && u <= 0xDBFF && p + 2 < end && unitAt(p + 2) >= 0xDC00 &&
               unitAt(p + 2) <= 0xDFFF) {
      out = encodeUtf8(0x10000 + ((char32_t(u) - 0xD800) << 10) + (unitAt(p + 2) - 0xDC00), out);
      p += 2;
    } else {
      out = encodeUtf8(u, out);
    }
  }
  m_crlf = m_lf && out > m_buffer.data() && out[-1] == '\r';
  if (m_crlf) --out;
  m_text = std::string_view(m_buffer.data(), static_cast<std::size_t>(out - m_buffer.data()));
  if (m_lf) {
    m_pos = static_cast<std::size_t>(p + 2 - m_bytes.data());
  } else {
    m_strayByte = end != m_bytes.data() + m_bytes.size();
    m_pos = m_bytes.size();
  }
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
