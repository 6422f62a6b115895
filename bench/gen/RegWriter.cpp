#include "gen/RegWriter.h"

#include <cstdio>

namespace comsweep::bench {
namespace {
// The registry editor breaks hex data after the comma that reaches this column.
constexpr std::size_t kHexColumns = 77;
}

RegWriter::RegWriter(OutputFile& out) : m_out(out) {
  m_out.write("\xFF\xFE");
  m_out.writeUtf16("Windows Registry Editor Version 5.00\r\n");
}

void RegWriter::openKey(std::string_view name) {
  m_pathLengths.push_back(m_path.size());
  if (!m_path.empty()) m_path += '\\';
  m_path += name;
  m_line.assign("\r\n[");
  m_line += m_path;
  m_line += "]\r\n";
  m_out.writeUtf16(m_line);
  m_anyBlock = true;
}

void RegWriter::appendEscaped(std::string_view text) {
  for (char c : text) {
    if (c == '\\' || c == '"') m_line += '\\';
    m_line += c;
  }
}

void RegWriter::appendHex(std::string_view bytes) {
  std::size_t column = m_line.size();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(bytes[i]));
    m_line += buf;
    if (i + 1 == bytes.size()) break;
    m_line += ',';
    column += 3;
    if (column >= kHexColumns) {
      m_line += "\\\r\n  ";
      column = 2;
    }
  }
}

void RegWriter::addValue(const Value& value) {
  m_line.clear();
  if (value.name.empty()) {
    m_line += '@';
  } else {
    m_line += '"';
    appendEscaped(value.name);
    m_line += '"';
  }
  m_line += '=';
  switch (value.type) {
    case ValueType::Sz:
      m_line += '"';
      appendEscaped(value.text);
      m_line += '"';
      break;
    case ValueType::Dword: {
      char buf[16];
      std::snprintf(buf, sizeof buf, "dword:%08x", value.dword);
      m_line += buf;
      break;
    }
    case ValueType::ExpandSz: {
      // UTF-16LE code units and the terminating NUL.
      std::string bytes;
      for (char c : value.text) {
        bytes += c;
        bytes += '\0';
      }
      bytes.append(2, '\0');
      m_line += "hex(2):";
      appendHex(bytes);
      break;
    }
    case ValueType::Binary:
      m_line += "hex:";
      appendHex(value.text);
      break;
  }
  m_line += "\r\n";
  m_out.writeUtf16(m_line);
}

void RegWriter::closeKey() {
  m_path.resize(m_pathLengths.back());
  m_pathLengths.pop_back();
}

void RegWriter::finish() {
  if (m_anyBlock) m_out.writeUtf16("\r\n");
}

}  // namespace comsweep::bench
