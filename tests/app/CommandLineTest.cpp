#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include "families/Families.h"
#include "families/PatternList.h"

namespace comsweep::app {
namespace {

using families::Box;
using families::Selection;

// The ticked boxes by name without "chk", in box order; "ALL" when every one is.
std::string ticked(const Selection& selection) {
  std::string names;
  for (int b = 0; b < families::kBoxCount; ++b)
    if (selection.boxes[b] == 1) names += (names.empty() ? "" : " ") + std::string(families::boxName(Box(b)) + 3);
  return std::count(selection.boxes.begin(), selection.boxes.end(), 1) == families::kBoxCount ? "ALL" : names;
}

TEST(CommandLine, SwitchesTickTheirBoxes) {
  const std::tuple<const char*, const char*, bool> cases[] = {  // text, ticked, display
      {"/m9q", "M9q", false}, {"/M9Q+ /M9Q", "M9q M9qPlus", false}, {"/M9Q/M9Q+", "M9q M9qPlus", false},
      // The second copy of a "+" switch is found by the plain switch.
      {"/M9Q+ /M9Q+", "M9q M9qPlus", false}, {"/T9Q /ALL", "ALL", false}, {"/SOMETHING", "ALL", false},
      {"/n9q+ /r9q /w9q+", "W9qPlus N9qPlus R9q", false}, {"XYZ", "", false}, {"/LOG /P9Q/T9Q", "P9q T9q", false},
      {"/DISPLAY /M9Q", "ALL", true}, {"/d", "ALL", true},
      // "/D" is looked for only after the family switches are cut out.
      {"/H9Q", "H9q", false},
  };
  for (auto [text, boxes, display] : cases) {
    SCOPED_TRACE(text);
    Selection selection;
    selection.boxes.fill(2);  // every box must be written
    CommandLineFlags flags = parseCommandLine(text, selection);
    EXPECT_TRUE(flags.unattended);
    EXPECT_EQ(flags.endAtOnce, display);
    EXPECT_EQ(std::count(selection.boxes.begin(), selection.boxes.end(), 2), 0);
    EXPECT_EQ(ticked(selection), boxes);
  }
  // No text at all leaves the designed selection for the operator.
  Selection selection;
  selection[Box::p9q] = 1;
  CommandLineFlags flags = parseCommandLine("", selection);
  EXPECT_FALSE(flags.unattended || flags.endAtOnce);
  EXPECT_EQ(ticked(selection), "P9q");
  EXPECT_EQ(selection.reviewFirst, 1);
}

TEST(PatternList, FollowsTheBuildOrder) {
  auto build = [](std::vector<Box> boxes) {
    Selection s;
    for (Box b : boxes) s[b] = 1;
    return families::buildPatternList(s).fragments;
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(build({Box::t9qPlus, Box::h9qPlus, Box::r9qPlus, Box::n9qPlus}), V{});
  EXPECT_EQ(build({Box::m9q, Box::m9qPlus, Box::p9q, Box::p9qPlus, Box::t9q, Box::t9qPlus, Box::w9q, Box::w9qPlus,
                   Box::h9q, Box::h9qPlus, Box::n9q, Box::n9qPlus, Box::r9q, Box::r9qPlus}),
            (V{"m9q", "ASSETBINDER", "GVOXA", "DATEPAD", "CADENCEX", "p9q", "QZ.", "t9q", "w9q", "M9QRES", "GRIDCHART",
               "h9q", "n9q", "r9q"}));
}

}  // namespace
}  // namespace comsweep::app
