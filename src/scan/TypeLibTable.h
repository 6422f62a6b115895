#pragma once
// The type libraries the TypeLib scan found, so that the Interface scan can
// list the interfaces that name them.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace comsweep::scan {

class TypeLibTable {
 public:
  static constexpr std::int16_t kMaxRows = 32767;

  struct Row {
    std::string identifier;  // the library's key name as enumerated
    std::string fileName;    // file name of its Win32 path
  };

  bool full() const { return iTypeLibCount == kMaxRows; }
  // Appends a row; the caller has checked full().
  void add(std::string identifier, std::string fileName);
  // File name of the first row whose identifier equals strLibId exactly
  // (letter case counts), or the empty text.
  std::string LookupTypeLibFile(const std::string& strLibId) const;

  const std::vector<Row>& rows() const { return m_rows; }
  std::int16_t iTypeLibCount = 0;

 private:
  std::vector<Row> m_rows;
  std::unordered_map<std::string, std::size_t> m_first;  // identifier -> first row
};

}  // namespace comsweep::scan
