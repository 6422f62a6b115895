#pragma once
// The membership tests the scans share.

#include <string>
#include <string_view>
#include <vector>

#include "families/PatternList.h"

namespace comsweep::scan {

// The pattern list prepared for matching: fragments upper-cased once.
class Matcher {
 public:
  explicit Matcher(const families::PatternList& patterns);
  // True when some fragment occurs in the text, letter case ignored.
  bool matches(std::string_view text) const;

 private:
  std::vector<std::string> m_upper;
  mutable std::string m_text;  // the text being tested, upper-cased; reused
};

// The part after the last "\" or "/"; the whole text when it has neither.
std::string fileNameOf(std::string_view path);

}  // namespace comsweep::scan
