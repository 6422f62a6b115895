// Which machine a run cleans when none is named: COMSWEEP_MACHINE, else
// $WINEPREFIX, else ~/.wine, as Wine itself chooses.

#include <gtest/gtest.h>

#include "support/RunBinary.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

void makePrefix(const std::filesystem::path& prefix) {
  std::filesystem::create_directories(prefix / "drive_c");
  std::filesystem::copy_file(std::filesystem::path(COMSWEEP_TEST_DATA) / "wine" / "system.reg",
                             prefix / "system.reg");
}

bool cleaned(const std::filesystem::path& prefix) {
  return std::filesystem::exists(prefix / "drive_c" / "9QReg.log");
}

TEST(DefaultMachine, ComsweepMachineThenWineprefixThenHomeWine) {
  TempDir dir;
  for (const char* name : {"home/.wine", "prefix", "named"}) makePrefix(dir / name);
  std::string home = (dir / "home").string();

  BinaryResult r = runComsweep({"/M9Q"}, {{{"HOME", home}}});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(cleaned(dir / "home/.wine"));

  r = runComsweep({"/M9Q"}, {{{"HOME", home}, {"WINEPREFIX", (dir / "prefix").string()}}});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(cleaned(dir / "prefix"));

  r = runComsweep({"/M9Q"}, {{{"HOME", home},
                              {"WINEPREFIX", (dir / "prefix").string()},
                              {"COMSWEEP_MACHINE", (dir / "named").string()}}});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(cleaned(dir / "named"));
  EXPECT_NE(readFile(dir / "named" / "drive_c" / "9QReg.log").find("Number of deleted keys: "),
            std::string::npos);
}

}  // namespace
}  // namespace comsweep::test
