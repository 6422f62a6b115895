#include "families/Families.h"

namespace comsweep::families {

const std::array<Family, 7> kFamilies = {{
    {"m9q", "Sonnet:", Box::m9q, "m9q components", Box::m9qPlus,
     "Other Sonnet components (VOXA, etc.)", "/M9Q", "/M9Q+", "  OmniSonnet:"},
    {"p9q", "Peregrine:", Box::p9q, "p9q components", Box::p9qPlus,
     "Other Peregrine Components  (QZ.dll, etc.)", "/P9Q", "/P9Q+", "  OmniDial/Peregrine:"},
    {"t9q", "Workbench:", Box::t9q, "t9q components", Box::t9qPlus,
     "Other Workbench Components", "/T9Q", "/T9Q+", "  Omni +Macro:"},
    {"w9q", "Cadence Script DLLs:", Box::w9q, "w9q components", Box::w9qPlus,
     "Other Cadence Components  (m9qRES.dll, etc.)", "/W9Q", "/W9Q+", "  Omni Cadence Scripts:"},
    {"h9q", "Harbor:", Box::h9q, "h9q components", Box::h9qPlus,
     "Other Harbor Components", "/H9Q", "/H9Q+", "  Harbor:"},
    {"r9q", "Summit:", Box::r9q, "r9q components", Box::r9qPlus,
     "Other Summit Components", "/R9Q", "/R9Q+", "  Summit:"},
    {"n9q", "Journey Operators:", Box::n9q, "n9q components", Box::n9qPlus,
     "Other Journey Operators Components", "/N9Q", "/N9Q+", "  Journeys:"},
}};

const Family& familyOf(Box box) {
  for (const Family& family : kFamilies)
    if (family.ownBox == box || family.plusBox == box) return family;
  return kFamilies[0];  // every box has its family
}

const char* boxName(Box box) {
  static constexpr const char* kNames[kBoxCount] = {
      "chkM9q", "chkM9qPlus", "chkP9q", "chkP9qPlus", "chkT9q", "chkT9qPlus", "chkW9q",
      "chkW9qPlus", "chkH9q", "chkH9qPlus", "chkN9q", "chkN9qPlus", "chkR9q", "chkR9qPlus"};
  return kNames[static_cast<int>(box)];
}

}  // namespace comsweep::families
