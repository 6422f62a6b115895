#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include "app/Families.h"

namespace comsweep::app {
namespace {

struct Case {
  const char* text;
  std::vector<Box> ticked;  // every other box clear
  bool autoRun;
  bool display;
};

const std::vector<Box> kAll = {Box::chkM9q, Box::chkM9qPlus, Box::chkP9q, Box::chkP9qPlus,
                               Box::chkT9q, Box::chkT9qPlus, Box::chkW9q, Box::chkW9qPlus,
                               Box::chkH9q, Box::chkH9qPlus, Box::chkN9q, Box::chkN9qPlus,
                               Box::chkR9q, Box::chkR9qPlus};

TEST(CommandLine, SwitchesTickTheirBoxes) {
  const Case cases[] = {
      {"/m9q", {Box::chkM9q}, true, false},
      {"/M9Q+", {Box::chkM9qPlus}, true, false},
      {"/M9Q+ /M9Q", {Box::chkM9q, Box::chkM9qPlus}, true, false},
      {"/M9Q/M9Q+", {Box::chkM9q, Box::chkM9qPlus}, true, false},
      {"/P9Q/T9Q", {Box::chkP9q, Box::chkT9q}, true, false},
      // The second copy of a "+" switch is found by the plain switch.
      {"/M9Q+ /M9Q+", {Box::chkM9q, Box::chkM9qPlus}, true, false},
      {"/T9Q /ALL", kAll, true, false},
      {"/S", kAll, true, false},
      {"/SOMETHING", kAll, true, false},
      {"/n9q+ /r9q /w9q+", {Box::chkN9qPlus, Box::chkR9q, Box::chkW9qPlus}, true, false},
      {"XYZ", {}, true, false},
      {" ", {}, true, false},
      {"/LOG /M9Q", {Box::chkM9q}, true, false},
      {"/DISPLAY /M9Q", kAll, true, true},
      {"/d", kAll, true, true},
      // "/D" is looked for only after the family switches are cut out.
      {"/H9Q", {Box::chkH9q}, true, false},
  };
  for (const Case& c : cases) {
    Selection selection;
    selection.boxes.fill(1);  // every box must be written
    CommandLineFlags flags = ParseCommandLine(c.text, selection);
    EXPECT_EQ(flags.bAutoRun, c.autoRun) << c.text;
    EXPECT_EQ(flags.bDisplay, c.display) << c.text;
    for (int b = 0; b < kBoxCount; ++b) {
      bool expected = std::find(c.ticked.begin(), c.ticked.end(), Box(b)) != c.ticked.end();
      EXPECT_EQ(selection.boxes[b], expected ? 1 : 0) << c.text << " " << boxName(Box(b));
    }
  }
}

TEST(CommandLine, EmptyTextLeavesTheDesignedSelection) {
  Selection selection;
  selection[Box::chkP9q] = 1;
  CommandLineFlags flags = ParseCommandLine("", selection);
  EXPECT_FALSE(flags.bAutoRun);
  EXPECT_FALSE(flags.bDisplay);
  EXPECT_EQ(selection[Box::chkP9q], 1);
  EXPECT_EQ(selection.chkControl, 1);
}

TEST(PatternList, FollowsTheBuildOrder) {
  auto build = [](std::vector<Box> boxes) {
    Selection s;
    for (Box b : boxes) s[b] = 1;
    PatternList list;
    BuildPatternList(s, list);
    EXPECT_EQ(list.iPatternCount, static_cast<std::int16_t>(list.aPatterns.size()));
    return list.aPatterns;
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(build({Box::chkM9qPlus}), (V{"ASSETBINDER", "GVOXA", "DATEPAD", "CADENCEX"}));
  EXPECT_EQ(build({Box::chkT9qPlus, Box::chkH9qPlus, Box::chkR9qPlus, Box::chkN9qPlus}), V{});
  EXPECT_EQ(build({Box::chkR9q, Box::chkN9q}), (V{"n9q", "r9q"}));
  EXPECT_EQ(build(kAll), (V{"m9q", "ASSETBINDER", "GVOXA", "DATEPAD", "CADENCEX", "p9q", "QZ.",
                            "t9q", "w9q", "M9QRES", "GRIDCHART", "h9q", "n9q", "r9q"}));

  // A second build starts again from nothing.
  Selection s;
  s[Box::chkM9qPlus] = 1;
  PatternList list;
  BuildPatternList(s, list);
  s[Box::chkM9qPlus] = 0;
  s[Box::chkH9q] = 1;
  BuildPatternList(s, list);
  EXPECT_EQ(list.iPatternCount, 1);
  EXPECT_EQ(list.aPatterns, V{"h9q"});
}

}  // namespace
}  // namespace comsweep::app
