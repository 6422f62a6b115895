#pragma once
// The text of a .reg file written as it is produced: UTF-8 with LF line ends
// goes in, UTF-16LE with CR LF line ends and a byte-order mark comes out,
// through a buffer of fixed size, so that a backup of any size needs no more
// memory than its largest piece.

#include <string>
#include <string_view>

namespace comsweep::removal {

class RegTextOutput {
 public:
  // Writes to `fd` (which stays the caller's), starting with the byte-order mark.
  explicit RegTextOutput(int fd);
  // Keeps the UTF-8 text as it is given, for callers that want to look at it.
  explicit RegTextOutput(std::string& text) : m_text(&text) {}
  RegTextOutput(const RegTextOutput&) = delete;
  RegTextOutput& operator=(const RegTextOutput&) = delete;

  // `utf8` must hold whole characters (a piece that ends inside one would be
  // encoded differently from the same text given in one piece).
  void put(std::string_view utf8);
  // Writes what is buffered; false, with error() set, once any write failed.
  bool flush();
  // The errno of the first failed write, 0 while none failed.
  int error() const { return m_error; }

 private:
  void append(std::string_view utf8);

  std::string* m_text = nullptr;
  int m_fd = -1;
  std::string m_buffer;  // UTF-16LE bytes not yet written
  int m_error = 0;
};

}  // namespace comsweep::removal
