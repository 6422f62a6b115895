#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <sstream>

#include "app/Program.h"
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
    if (selection[Box(b)]) names += (names.empty() ? "" : " ") + std::string(families::boxName(Box(b)) + 3);
  return std::count(selection.boxes.begin(), selection.boxes.end(), true) == families::kBoxCount ? "ALL" : names;
}

TEST(CommandLine, SwitchesTickTheirBoxes) {
  const std::tuple<const char*, const char*, bool> cases[] = {  // text, ticked, display
      {"/m9q", "M9q", false}, {"/M9Q+ /M9Q", "M9q M9qPlus", false}, {"/M9Q/M9Q+", "M9q M9qPlus", false},
      // The second copy of a "+" switch is found by the plain switch.
      {"/M9Q+ /M9Q+", "M9q M9qPlus", false}, {"/T9Q /ALL", "ALL", false}, {"/SOMETHING", "ALL", false},
      {"/n9q+ /r9q /w9q+", "W9qPlus N9qPlus R9q", false}, {"XYZ", "", false}, {"/LOG /P9Q/T9Q", "P9q T9q", false},
      // Journeys is read before Summit: cut out, it joins "/R" and "9Q".
      {"/R/N9Q9Q", "N9q R9q", false}, {"/DISPLAY /M9Q", "ALL", true}, {"/d", "ALL", true},
      // "/D" is looked for only after the family switches are cut out.
      {"/H9Q", "H9q", false},
  };
  for (auto [text, boxes, display] : cases) {
    SCOPED_TRACE(text);
    Selection selection;
    selection.boxes.fill(true);  // every box must be written: a box left alone shows
    CommandLineFlags flags = parseCommandLine(text, selection);
    EXPECT_TRUE(flags.unattended);
    EXPECT_EQ(flags.endAtOnce, display);
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

TEST(CommandLine, WordsThatAreNoSwitchesAreRefusedNotReadAsSwitches) {
  // arguments, refusal (a part of it; empty when accepted), options set ("h", "v", "l", "j")
  const std::tuple<std::vector<std::string>, const char*, const char*> cases[] = {
      {{"/srv/wine/prefix"}, "('wine' is none)", ""}, {{"/home/sam/.wine"}, "('home' is none)", ""},
      {{"/data/prefix"}, "('prefix' is none)", ""}, {{"--dry-run", "/M9Q"}, "unknown option '--dry-run'", ""},
      {{"-n", "/M9Q"}, "unknown option '-n'", ""}, {{"/M9Q", "--force"}, "unknown option '--force'", ""},
      {{"/M9QX"}, "('M9QX' is none)", ""}, {{"XYZ/M9Q"}, "('XYZ' is none)", ""}, {{"/M9Q /ALLX"}, "'/ALLX'", ""},
      {{"existing"}, "'existing' names an existing file or directory", ""},
      // Every form the switch reader knows stays accepted.
      {{"/m9q/P9Q+"}, "", ""}, {{"/SILENT"}, "", ""}, {{"/DISPLAY", "/M9Q"}, "", ""}, {{"XYZ"}, "", ""},
      {{"/M9Q+ /log", "/t9q/ALL/"}, "", ""}, {{"/Dx/sX"}, "", ""}, {{}, "", ""},
      {{"/?"}, "", "h"}, {{"-h"}, "", "h"}, {{"--Help", "/M9Q"}, "", "h"}, {{"-V"}, "", "v"}, {{"--VERSION"}, "", "v"},
      {{"--list", "/M9Q", "--json"}, "", "lj"},
  };
  for (const auto& [args, refusal, set] : cases) {
    SCOPED_TRACE(argumentText(args));
    ProgramOptions options = readOptions(args, [](const std::string& word) { return word == "existing"; });
    if (*refusal == '\0') {
      EXPECT_EQ(options.refusal, "");
    } else {
      EXPECT_NE(options.refusal.find(refusal), std::string::npos) << options.refusal;
    }
    std::string flags = std::string(options.help ? "h" : "") + (options.version ? "v" : "") + (options.list ? "l" : "") +
                        (options.json ? "j" : "");
    if (options.refusal.empty()) {
      EXPECT_EQ(flags, set);
    }
  }
}

// A stream whose every write fails, as standard output on a full disk does.
struct FullBuffer : std::streambuf {
  int overflow(int) override { return traits_type::eof(); }
};

TEST(CommandLine, HelpAndVersionTellTheirOutputFailed) {
  for (const char* option : {"--help", "-V", "/?"}) {
    FullBuffer full;
    std::ostream out(&full);
    std::ostringstream err;
    EXPECT_EQ(runProgram({option}, {}, out, err), 2) << option;
    EXPECT_EQ(err.str(), "comsweep: standard output could not be written\n");
  }
  // The help names what an administrator must know.
  std::ostringstream out, err;
  EXPECT_EQ(runProgram({"-h"}, {}, out, err), 0);
  for (const char* part : {"/S (/SILENT)", "with /D", "--list", "--json", "9QReg-", "wineserver -w", "COMSWEEP_SERVER_WAIT",
                           "Of --list: 0 nothing found, 1 keys found, 2"})
    EXPECT_NE(out.str().find(part), std::string::npos) << part;
}

TEST(PatternList, FollowsTheBuildOrder) {
  auto build = [](std::vector<Box> boxes) {
    Selection s;
    for (Box b : boxes) s[b] = true;
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
