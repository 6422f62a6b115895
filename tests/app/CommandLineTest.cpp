#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <sstream>

#include "app/Program.h"
#include "families/Families.h"

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
  const struct { const char *text, *ticked; bool display; } cases[] = {
      {"/m9q", "M9q", false}, {"/M9Q+ /M9Q", "M9q M9qPlus", false}, {"/M9Q/M9Q+", "M9q M9qPlus", false},
      // The second copy of a "+" switch is found by the plain switch.
      {"/M9Q+ /M9Q+", "M9q M9qPlus", false}, {"/T9Q /ALL", "ALL", false}, {"/SOMETHING", "ALL", false},
      {"/n9q+ /r9q /w9q+", "W9qPlus N9qPlus R9q", false}, {"XYZ", "", false}, {"/LOG /P9Q/T9Q", "P9q T9q", false},
      // Journeys is read before Summit: cut out, it joins "/R" and "9Q".
      {"/R/N9Q9Q", "N9q R9q", false}, {"/DISPLAY /M9Q", "ALL", true}, {"/d", "ALL", true},
      // "/D" is looked for only after the family switches are cut out.
      {"/H9Q", "H9q", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Selection selection;
    selection.boxes.fill(true);  // every box must be written: a box left alone shows
    CommandLineFlags flags = parseCommandLine(c.text, selection);
    EXPECT_TRUE(flags.unattended);
    EXPECT_EQ(flags.endAtOnce, c.display);
    EXPECT_EQ(ticked(selection), c.ticked);
  }
  // No text at all leaves the selection to the operator (that the window
  // then opens is Run.AMachineThatCannotBeOpenedIsShownInTheWaitingWindow's).
  Selection selection;
  selection[Box::p9q] = 1;
  parseCommandLine("", selection);
  EXPECT_EQ(ticked(selection), "P9q");
}

TEST(CommandLine, WordsThatAreNoSwitchesAreRefusedNotReadAsSwitches) {
  // refused: a part of the refusal, empty when accepted; set: the options
  // the text sets, none when it is refused ("h" help, "v" version, "l"
  // list, "j" json).
  const struct { std::vector<std::string> args; const char *refused, *set = ""; } cases[] = {
      {{"/srv/wine/prefix"}, "('wine' is none)"}, {{"-n", "/M9Q"}, "unknown option '-n'"},
      {{"/M9Q", "--force"}, "unknown option '--force'"}, {{"/M9QX"}, "('M9QX' is none)"},
      {{"XYZ/M9Q"}, "('XYZ' is none)"}, {{"/M9Q /ALLX"}, "'/ALLX'"},
      {{"existing"}, "'existing' names an existing file or directory"},
      // Every form the switch reader knows stays accepted.
      {{"/m9q/P9Q+"}, ""}, {{"/SILENT"}, ""}, {{"/DISPLAY", "/M9Q"}, ""}, {{"XYZ"}, ""},
      {{"/M9Q+ /log", "/t9q/ALL/"}, ""}, {{"/Dx/sX"}, ""}, {{}, ""},
      {{"/?"}, "", "h"}, {{"-h"}, "", "h"}, {{"--Help", "/M9Q"}, "", "h"}, {{"-V"}, "", "v"}, {{"--VERSION"}, "", "v"},
      {{"--list", "/M9Q", "--json"}, "", "lj"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(argumentText(c.args));
    ProgramOptions options = readOptions(c.args, [](const std::string& word) { return word == "existing"; });
    EXPECT_EQ(options.refusal.empty(), *c.refused == '\0') << options.refusal;
    EXPECT_NE(options.refusal.find(c.refused), std::string::npos) << options.refusal;
    const std::string flags = std::string(options.help ? "h" : "") + (options.version ? "v" : "") +
                              (options.list ? "l" : "") + (options.json ? "j" : "");
    EXPECT_EQ(flags, c.set);
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

}  // namespace
}  // namespace comsweep::app
