#pragma once
// Splits the bytes of a .reg file into physical lines and decodes each to
// UTF-8. The encoding follows the byte-order mark: FF FE is UTF-16LE, EF BB BF
// UTF-8; without one the text is 8-bit, where sequences that are valid UTF-8
// are taken as such and every other byte as Windows-1252. Lines end at LF; a
// CR right before it belongs to the line end, not to the text.
//
// The decoded text lives in a buffer that the next line reuses, so reading a
// file costs no allocation per line.

#include <cstddef>
#include <string>
#include <string_view>

namespace comsweep::registry {

class RegFileLineReader {
 public:
  explicit RegFileLineReader(std::string_view bytes);

  // For a file read in parts: the reader goes on from `from`, a line start
  // after the first line, counting lines from there...
  void startAt(std::size_t from) {
    m_pos = from;
    m_line = 0;
    m_fromStart = false;
  }
  // ... or reads on past the end it was given, to the end of `whole`, the
  // bytes it was given and more.
  void extendTo(std::string_view whole) { m_bytes = whole; }

  // Advances to the next line; false at the end of the file.
  bool next();

  // The current line as UTF-8, without its line end (and, on line 1, without
  // the byte-order mark). Valid until the next call of next().
  std::string_view text() const { return m_text; }
  // The current line's end as the file spells it: "\r\n", "\n", or "" for a
  // last line without one.
  std::string_view terminator() const { return m_crlf ? "\r\n" : m_lf ? "\n" : ""; }
  // Byte offset of the current line in the file (0 for line 1: the mark
  // belongs to the first line).
  std::size_t offset() const { return m_offset; }
  // 1-based number of the current line.
  std::size_t lineNumber() const { return m_line; }

  bool utf16() const { return m_utf16; }
  // True once a UTF-16 file has turned out to end in half a character.
  bool strayByte() const { return m_strayByte; }

 private:
  bool nextUtf16();
  bool nextEightBit();

  std::string_view m_bytes;
  std::size_t m_pos = 0;  // where the next line starts
  bool m_utf16 = false;
  bool m_strayByte = false;

  std::string_view m_text;
  std::string m_buffer;  // decoded text when it cannot be a view of the file
  std::size_t m_offset = 0;
  std::size_t m_line = 0;
  bool m_fromStart = true;  // line 1 is the file's first line
  bool m_crlf = false;
  bool m_lf = false;
};

}  // namespace comsweep::registry
