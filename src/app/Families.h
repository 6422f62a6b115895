#pragma once
// The seven component families: their boxes, captions, switches, name
// fragments and log labels, and the pattern list built from the ticked boxes.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/Selection.h"

namespace comsweep::app {

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

// The object name of a box ("chkM9qPlus").
const char* boxName(Box box);

// Fragments numbered from 1; iPatternCount is 16-bit like the table it counts.
struct PatternList {
  std::vector<std::string> aPatterns;
  std::int16_t iPatternCount = 0;
};

// Rebuilds the list from the ticked boxes, in the fixed build order.
void BuildPatternList(const Selection& selection, PatternList& list);

}  // namespace comsweep::app
