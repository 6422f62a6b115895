#include "gen/WineWriter.h"

#include <cinttypes>
#include <cstdio>

namespace comsweep::bench {
namespace {
// Every key carries the same modification time: 2023-11-14 22:13:20 UTC.
constexpr std::uint64_t kUnixTime = 1700000000;
constexpr std::uint64_t kFileTime = (kUnixTime + 11644473600ull) * 10000000ull;
}  // namespace

WineWriter::WineWriter(OutputFile& out) : m_out(out) {
  m_out.write("WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n");
  char buf[64];
  std::snprintf(buf, sizeof buf, " %" PRIu64 "\n#time=%x%08x\n", kUnixTime,
                static_cast<unsigned>(kFileTime >> 32), static_cast<unsigned>(kFileTime));
  m_timeLines = buf;
}

void WineWriter::openKey(std::string_view name) {
  if (!m_frames.empty()) m_frames.back().hasSubkeys = true;
  m_frames.push_back({m_path.size()});
  if (!m_path.empty()) m_path += "\\\\";
  // Wine escapes '[' and ']' in key names besides the backslash.
  for (char c : name) {
    if (c == '\\' || c == '[' || c == ']') m_path += '\\';
    m_path += c;
  }
}

void WineWriter::writeHeader(Frame& frame) {
  m_line.assign("\n[");
  m_line += m_path;
  m_line += ']';
  m_line += m_timeLines;
  m_out.write(m_line);
  frame.written = true;
}

void WineWriter::appendEscaped(std::string_view text, char quote) {
  for (char c : text) {
    if (c == '\\' || c == quote) m_line += '\\';
    m_line += c;
  }
}

void WineWriter::addValue(const Value& value) {
  Frame& frame = m_frames.back();
  if (!frame.written) writeHeader(frame);
  m_line.clear();
  if (value.name.empty()) {
    m_line += '@';
  } else {
    m_line += '"';
    appendEscaped(value.name, '"');
    m_line += '"';
  }
  m_line += '=';
  switch (value.type) {
    case ValueType::Binary: {
      // Wine breaks hex data after the comma that passes column 76.
      m_line += "hex:";
      std::size_t count = m_line.size();
      for (std::size_t i = 0; i < value.text.size(); ++i) {
        char buf[4];
        std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(value.text[i]));
        m_line += buf;
        count += 2;
        if (i + 1 == value.text.size()) break;
        m_line += ',';
        if (++count > 76) {
          m_line += "\\\n  ";
          count = 2;
        }
      }
      break;
    }
    case ValueType::Dword: {
      char buf[16];
      std::snprintf(buf, sizeof buf, "dword:%08x", value.dword);
      m_line += buf;
      break;
    }
    case ValueType::ExpandSz:
      m_line += "str(2):";
      [[fallthrough]];
    case ValueType::Sz:
      m_line += '"';
      appendEscaped(value.text, '"');
      m_line += '"';
      break;
  }
  m_line += '\n';
  m_out.write(m_line);
}

void WineWriter::closeKey() {
  Frame& frame = m_frames.back();
  if (!frame.written && !frame.hasSubkeys) writeHeader(frame);
  m_path.resize(frame.pathLength);
  m_frames.pop_back();
}

}  // namespace comsweep::bench
