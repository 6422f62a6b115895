#include "scan/Matcher.h"

#include "registry/Text.h"

namespace comsweep::scan {

Matcher::Matcher(const app::PatternList& patterns) {
  for (int i = 0; i < patterns.iPatternCount; ++i)
    m_upper.push_back(registry::upperCase(patterns.aPatterns[static_cast<std::size_t>(i)]));
}

bool Matcher::MatchesPattern(std::string_view strText) const {
  if (m_upper.empty()) return false;
  registry::upperCaseInto(strText, m_text);
  for (const std::string& fragment : m_upper)
    if (m_text.find(fragment) != std::string::npos) return true;
  return false;
}

std::string FileNameOf(std::string_view strPath) {
  std::size_t cut = strPath.find_last_of("\\/");
  return std::string(cut == std::string_view::npos ? strPath : strPath.substr(cut + 1));
}

}  // namespace comsweep::scan
