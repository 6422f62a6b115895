#include "removal/LogWriter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/TempDir.h"

namespace comsweep::removal {
namespace {

std::string header(const char* boxes14, int found) {
  // boxes14: 14 characters 'y'/'n' in the order of the families::Box enum.
  const char* labels[] = {"  OmniSonnet:", "  OmniDial/Peregrine:", "  Omni +Macro:",
                          "  Omni Cadence Scripts:", "  Harbor:", "  Summit:", "  Journeys:"};
  const char* codes[] = {"m9q", "p9q", "t9q", "w9q", "h9q", "r9q", "n9q"};
  // Summit's boxes come after Journeys' in the enum.
  const int boxOf[] = {0, 2, 4, 6, 8, 12, 10};
  std::string text =
      "Log file created by the Regitry Cleaner\r\n\r\nCreation Date: DATE\r\n"
      "Actions (removed components): \r\n";
  for (int f = 0; f < 7; ++f) {
    std::string own = codes[f], plus = own + "Plus";
    own.resize(7, ' ');
    plus.resize(7, ' ');
    text += std::string(labels[f]) + "\r\n";
    text += "     " + own + " - " + (boxes14[boxOf[f]] == 'y' ? "yes" : "no") + "\r\n";
    text += "     " + plus + " - " + (boxes14[boxOf[f] + 1] == 'y' ? "yes" : "no") + "\r\n";
  }
  text += "\r\nNumber of keys to remove: " + std::to_string(found) + "\r\n\r\n" +
          std::string(66, '-') + "\r\n\r\n";
  return text;
}

TEST(LogWriter, WritesTheExactLayout) {
  test::TempDir dir;
  test::writeFile(dir / "9QReg.log", "an older log that is much longer than the new one\r\n");
  LogWriter log(dir / "9QReg.log", [] { return std::string("DATE"); });
  families::Selection selection;
  selection[families::Box::m9q] = 1;
  selection[families::Box::r9qPlus] = 1;
  log.writeHeader(selection, 3);
  log.writeEntry("m9qGrid.ocx", "HKEY_CLASSES_ROOT\\CLSID\\{X}", "[CLSID]", "");
  log.writeEntry("", "", "", "OK");
  log.writeEntry("", "HKEY_CLASSES_ROOT\\Interface\\{Y}", "[INTERFACE]", "");
  log.writeEntry("*** ERROR: Access is denied.(5) - Key not removed.", "", "", "");
  log.writeFooter(1);
  std::string expected =
      header("ynnnnnnnnnnnny", 3) +
      " --- [CLSID]      --- HKEY_CLASSES_ROOT\\CLSID\\{X}\r\n"
      "                      From component: m9qGrid.ocx\r\n"
      "                      Result: OK\r\n"
      " --- [INTERFACE]  --- HKEY_CLASSES_ROOT\\Interface\\{Y}\r\n"
      "                      From component: *** ERROR: Access is denied.(5) - Key not removed.\r\n" +
      std::string(66, '-') + "\r\n\r\nNumber of deleted keys: 1\r\nEnd of processing date: DATE\r\n";
  EXPECT_EQ(test::readFile(dir / "9QReg.log"), expected);
}

TEST(LogWriter, FailuresNeverReachTheCaller) {
  test::TempDir dir;
  // No directory to create the file in: every writer is silently skipped.
  LogWriter missing(dir / "no-such-dir" / "9QReg.log");
  missing.writeHeader({}, 0);
  EXPECT_FALSE(missing.isOpen());
  missing.writeEntry("a", "b", "[CLSID]", "OK");
  missing.writeFooter(0);

  // A planted symbolic link is not followed, and its target stays as it was.
  test::writeFile(dir / "victim", "precious");
  std::filesystem::create_symlink(dir / "victim", dir / "9QReg.log");
  LogWriter planted(dir / "9QReg.log");
  planted.writeHeader({}, 0);
  EXPECT_FALSE(planted.isOpen());
  planted.writeFooter(0);
  EXPECT_EQ(test::readFile(dir / "victim"), "precious");
}

TEST(LogWriter, DateFollowsTheLocaleShortDateAndLongTime) {
  std::string text = currentDateTimeText();
  // In the C locale: "MM/DD/YY HH:MM:SS".
  EXPECT_EQ(text.size(), 17u) << text;
  EXPECT_EQ(text[8], ' ');
}

}  // namespace
}  // namespace comsweep::removal
