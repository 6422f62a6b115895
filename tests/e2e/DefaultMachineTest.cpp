// Which machine a run cleans when none is named: COMSWEEP_MACHINE, else
// $WINEPREFIX, else ~/.wine, as Wine itself chooses.

#include <gtest/gtest.h>

#include "support/RunBinary.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

TEST(DefaultMachine, ComsweepMachineThenWineprefixThenHomeWine) {
  TempDir dir;
  for (const char* name : {"home/.wine", "prefix", "named"}) {
    std::filesystem::create_directories(dir / name / "drive_c");
    std::filesystem::copy_file(std::filesystem::path(COMSWEEP_TEST_DATA) / "wine" / "system.reg",
                               dir / name / "system.reg");
  }
  std::map<std::string, std::string> env = {{"HOME", (dir / "home").string()}};
  for (auto [variable, cleaned] : {std::pair{"", "home/.wine"}, {"WINEPREFIX", "prefix"},
                                   {"COMSWEEP_MACHINE", "named"}}) {
    if (*variable) env[variable] = (dir / cleaned).string();
    BinaryResult r = runComsweep({"/M9Q"}, {env});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(readFile(dir / cleaned / "drive_c" / "9QReg.log").find("Number of deleted keys: "),
              std::string::npos) << cleaned;
  }
}

}  // namespace
}  // namespace comsweep::test
