#pragma once
// The type libraries the TypeLib scan found, so that the Interface scan can
// list the interfaces that name them.

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

namespace comsweep::scan {

class TypeLibTable {
 public:
  static constexpr std::size_t kMaxRows = 32767;  // a 16-bit table

  struct Row {
    std::string identifier;  // the library's key name as enumerated
    std::string fileName;    // file name of its Win32 path
  };

  bool full() const { return m_rows.size() == kMaxRows; }
  // Appends a row; the caller has checked full().
  void add(std::string identifier, std::string fileName);
  // File name of the first row whose identifier equals libraryId exactly
  // (letter case counts), or the empty text.
  std::string lookupTypeLibFile(const std::string& libraryId) const;

  const std::vector<Row>& rows() const { return m_rows; }

 private:
  std::vector<Row> m_rows;
  std::unordered_map<std::string, std::size_t> m_first;  // identifier -> first row
};

}  // namespace comsweep::scan
