#include "families/PatternList.h"

#include <utility>

namespace comsweep::families {

PatternList buildPatternList(const Selection& selection) {
  // In the order of the boxes (Journeys before Summit, unlike the family
  // numbering): the fragments are looked for in this order, which decides
  // the family a found key is reported under. The other-components boxes of
  // Workbench, Harbor, Summit and Journeys add nothing.
  static const std::pair<Box, std::vector<const char*>> kBuildOrder[] = {
      {Box::m9q, {"m9q"}},
      {Box::m9qPlus, {"ASSETBINDER", "GVOXA", "DATEPAD", "CADENCEX"}},
      {Box::p9q, {"p9q"}},
      {Box::p9qPlus, {"QZ."}},
      {Box::t9q, {"t9q"}},
      {Box::w9q, {"w9q"}},
      {Box::w9qPlus, {"M9QRES", "GRIDCHART"}},
      {Box::h9q, {"h9q"}},
      {Box::n9q, {"n9q"}},
      {Box::r9q, {"r9q"}},
  };
  PatternList list;
  for (const auto& [box, fragments] : kBuildOrder) {
    if (!selection[box]) continue;
    for (const char* fragment : fragments) list.fragments.emplace_back(fragment);
  }
  return list;
}

}  // namespace comsweep::families
