#include "scan/Matcher.h"

#include "registry/store/Text.h"

namespace comsweep::scan {

Matcher::Matcher(const families::PatternList& patterns) {
  for (const std::string& fragment : patterns.fragments)
    m_upper.push_back(registry::upperCase(fragment));
}

bool Matcher::matches(std::string_view text) const {
  if (m_upper.empty()) return false;
  registry::upperCaseInto(text, m_text);
  for (const std::string& fragment : m_upper)
    if (m_text.find(fragment) != std::string::npos) return true;
  return false;
}

std::string fileNameOf(std::string_view path) {
  std::size_t cut = path.find_last_of("\\/");
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

}  // namespace comsweep::scan
