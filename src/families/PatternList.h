#pragma once
// The name fragments a run looks for, built from the ticked family boxes.

#include <string>
#include <vector>

#include "families/Selection.h"

namespace comsweep::families {

struct PatternList {
  std::vector<std::string> fragments;  // in the fixed build order
};

PatternList buildPatternList(const Selection& selection);

}  // namespace comsweep::families
