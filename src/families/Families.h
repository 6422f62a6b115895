#pragma once
// The seven component families: their boxes, captions, switches and log
// labels.

#include <array>

#include "families/Selection.h"

namespace comsweep::families {

struct Family {
  const char* code;          // "m9q"
  const char* groupLabel;    // main window group label
  Box ownBox;
  const char* ownCaption;
  Box plusBox;
  const char* plusCaption;
  const char* ownSwitch;     // "/M9Q"
  const char* plusSwitch;    // "/M9Q+"
  const char* logLabel;      // "  OmniSonnet:"
};

// Families 1 to 7, in their numbering (which is the log header's order).
extern const std::array<Family, 7> kFamilies;

// The family a box belongs to (its own box or its other-components box).
const Family& familyOf(Box box);

// The object name of a box's control in the main window ("chkM9qPlus").
const char* boxName(Box box);

}  // namespace comsweep::families
