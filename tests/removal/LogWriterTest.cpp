#include "removal/LogWriter.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace comsweep::removal {
namespace {

TEST(LogWriter, FailuresNeverReachTheCaller) {
  test::TempDir dir;
  // No directory to create the file in: every writer is silently skipped.
  LogWriter missing(dir / "no-such-dir" / "9QReg.log");
  missing.writeHeader({}, 0);
  EXPECT_FALSE(missing.isOpen());
  missing.writeEntry("a", "b", "[CLSID]", "OK");
  missing.writeFooter(0);

}

TEST(LogWriter, DateFollowsTheLocaleShortDateAndLongTime) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX locale only: the Windows format follows the user's settings, which "
                  "tests/windows/wine-conformance changes and checks";
#endif
  std::string text = currentDateTimeText();
  // In the C locale: "MM/DD/YY HH:MM:SS".
  EXPECT_EQ(text.size(), 17u) << text;
  EXPECT_EQ(text[8], ' ');
}

}  // namespace
}  // namespace comsweep::removal
