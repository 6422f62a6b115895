#include "app/Families.h"

#include <utility>

namespace comsweep::app {

const std::array<Family, 7> kFamilies = {{
    {"m9q", "Sonnet:", Box::chkM9q, "m9q components", Box::chkM9qPlus,
     "Other Sonnet components (VOXA, etc.)", "/M9Q", "/M9Q+", "  OmniSonnet:"},
    {"p9q", "Peregrine:", Box::chkP9q, "p9q components", Box::chkP9qPlus,
     "Other Peregrine Components  (QZ.dll, etc.)", "/P9Q", "/P9Q+", "  OmniDial/Peregrine:"},
    {"t9q", "Workbench:", Box::chkT9q, "t9q components", Box::chkT9qPlus,
     "Other Workbench Components", "/T9Q", "/T9Q+", "  Omni +Macro:"},
    {"w9q", "Cadence Script DLLs:", Box::chkW9q, "w9q components", Box::chkW9qPlus,
     "Other Cadence Components  (m9qRES.dll, etc.)", "/W9Q", "/W9Q+", "  Omni Cadence Scripts:"},
    {"h9q", "Harbor:", Box::chkH9q, "h9q components", Box::chkH9qPlus,
     "Other Harbor Components", "/H9Q", "/H9Q+", "  Harbor:"},
    {"r9q", "Summit:", Box::chkR9q, "r9q components", Box::chkR9qPlus,
     "Other Summit Components", "/R9Q", "/R9Q+", "  Summit:"},
    {"n9q", "Journey Operators:", Box::chkN9q, "n9q components", Box::chkN9qPlus,
     "Other Journey Operators Components", "/N9Q", "/N9Q+", "  Journeys:"},
}};

const char* boxName(Box box) {
  static constexpr const char* kNames[kBoxCount] = {
      "chkM9q", "chkM9qPlus", "chkP9q", "chkP9qPlus", "chkT9q", "chkT9qPlus", "chkW9q",
      "chkW9qPlus", "chkH9q", "chkH9qPlus", "chkN9q", "chkN9qPlus", "chkR9q", "chkR9qPlus"};
  return kNames[static_cast<int>(box)];
}

void BuildPatternList(const Selection& selection, PatternList& list) {
  // Journeys (n9q) comes before Summit (r9q) here, unlike the family
  // numbering; the other-components boxes of Workbench, Harbor, Summit and
  // Journeys add nothing.
  static const std::pair<Box, std::vector<const char*>> kBuildOrder[] = {
      {Box::chkM9q, {"m9q"}},
      {Box::chkM9qPlus, {"ASSETBINDER", "GVOXA", "DATEPAD", "CADENCEX"}},
      {Box::chkP9q, {"p9q"}},
      {Box::chkP9qPlus, {"QZ."}},
      {Box::chkT9q, {"t9q"}},
      {Box::chkW9q, {"w9q"}},
      {Box::chkW9qPlus, {"M9QRES", "GRIDCHART"}},
      {Box::chkH9q, {"h9q"}},
      {Box::chkN9q, {"n9q"}},
      {Box::chkR9q, {"r9q"}},
  };
  list.iPatternCount = 0;
  list.aPatterns.clear();
  for (const auto& [box, fragments] : kBuildOrder) {
    if (selection[box] == 0) continue;
    for (const char* fragment : fragments) {
      ++list.iPatternCount;
      list.aPatterns.emplace_back(fragment);
    }
  }
}

}  // namespace comsweep::app
