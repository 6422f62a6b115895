#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include "families/Families.h"
#include "families/PatternList.h"

namespace comsweep::app {
namespace {

using families::Box;
using families::Selection;

const std::vector<Box> kAll = {Box::m9q, Box::m9qPlus, Box::p9q, Box::p9qPlus, Box::t9q,
                               Box::t9qPlus, Box::w9q, Box::w9qPlus, Box::h9q, Box::h9qPlus,
                               Box::n9q, Box::n9qPlus, Box::r9q, Box::r9qPlus};

TEST(CommandLine, SwitchesTickTheirBoxes) {
  struct Case {
    const char* text;
    std::vector<Box> ticked;  // every other box clear
    bool display;
  };
  const Case cases[] = {
      {"/m9q", {Box::m9q}, false},
      {"/M9Q+ /M9Q", {Box::m9q, Box::m9qPlus}, false},
      {"/M9Q/M9Q+", {Box::m9q, Box::m9qPlus}, false},
      // The second copy of a "+" switch is found by the plain switch.
      {"/M9Q+ /M9Q+", {Box::m9q, Box::m9qPlus}, false},
      {"/T9Q /ALL", kAll, false},
      {"/SOMETHING", kAll, false},
      {"/n9q+ /r9q /w9q+", {Box::n9qPlus, Box::r9q, Box::w9qPlus}, false},
      {"XYZ", {}, false},
      {"/LOG /P9Q/T9Q", {Box::p9q, Box::t9q}, false},
      {"/DISPLAY /M9Q", kAll, true},
      {"/d", kAll, true},
      // "/D" is looked for only after the family switches are cut out.
      {"/H9Q", {Box::h9q}, false},
  };
  for (const Case& c : cases) {
    Selection selection;
    selection.boxes.fill(1);  // every box must be written
    CommandLineFlags flags = parseCommandLine(c.text, selection);
    EXPECT_TRUE(flags.unattended) << c.text;
    EXPECT_EQ(flags.endAtOnce, c.display) << c.text;
    for (int b = 0; b < families::kBoxCount; ++b) {
      bool expected = std::find(c.ticked.begin(), c.ticked.end(), Box(b)) != c.ticked.end();
      EXPECT_EQ(selection.boxes[b], expected ? 1 : 0) << c.text << " " << families::boxName(Box(b));
    }
  }
  // No text at all leaves the designed selection for the operator.
  Selection selection;
  selection[Box::p9q] = 1;
  CommandLineFlags flags = parseCommandLine("", selection);
  EXPECT_FALSE(flags.unattended || flags.endAtOnce);
  EXPECT_EQ(selection[Box::p9q], 1);
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
  EXPECT_EQ(build(kAll), (V{"m9q", "ASSETBINDER", "GVOXA", "DATEPAD", "CADENCEX", "p9q", "QZ.",
                            "t9q", "w9q", "M9QRES", "GRIDCHART", "h9q", "n9q", "r9q"}));
}

}  // namespace
}  // namespace comsweep::app
