#include "families/PatternList.h"

#include <gtest/gtest.h>

namespace comsweep::families {
namespace {

// Every box ticked: each family's fragments in the fixed build order, where
// Journeys (n9q) comes before Summit (r9q). Only "+" boxes: the four that
// add nothing give an empty list.
TEST(PatternList, FollowsTheBuildOrder) {
  auto build = [](std::vector<Box> boxes) {
    Selection s;
    for (Box b : boxes) s[b] = 1;
    return buildPatternList(s).fragments;
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(build({Box::t9qPlus, Box::h9qPlus, Box::r9qPlus, Box::n9qPlus}), V{});
  EXPECT_EQ(build({Box::m9q, Box::m9qPlus, Box::p9q, Box::p9qPlus, Box::t9q, Box::t9qPlus, Box::w9q, Box::w9qPlus,
                   Box::h9q, Box::h9qPlus, Box::n9q, Box::n9qPlus, Box::r9q, Box::r9qPlus}),
            (V{"m9q", "ASSETBINDER", "GVOXA", "DATEPAD", "CADENCEX", "p9q", "QZ.", "t9q", "w9q", "M9QRES", "GRIDCHART",
               "h9q", "n9q", "r9q"}));
}

}  // namespace
}  // namespace comsweep::families
