#include "removal/KeyRemoval.h"

#include <gtest/gtest.h>

#include "app/RunOutcome.h"
#include "support/Fixture.h"
#include "support/TempDir.h"

namespace comsweep::removal {
namespace {

// 120 CJK characters: a legal key name longer in UTF-8 than the 300
// blanks the enumeration wrapper answers a failure with.
std::string cjkName() {
  std::string name;
  for (int i = 0; i < 120; ++i) name += "\xE4\xB8\xAD";
  return name;
}

const std::string kPad(22, ' ');
const std::string kNotSaved = "From component: *** ERROR: The registry could not be saved (disk full) - ";

class Removal : public ::testing::Test {
 protected:
  void add(const char* tag, bool ghosted = false) {
    m_list.add({tag, "from " + std::string(tag), tag, "CLSID", ghosted});
    ++m_found;
  }
  void run(Backup backup = {}) {
    LogWriter log(m_dir / "9QReg.log", [] { return std::string("T"); });
    log.noteStart();
    m_report = removeKeys(m_api, registry::HKEY_CLASSES_ROOT, m_list, m_found, backup);
    writeRemovalLog(log, families::Selection{}, m_list, m_report);
    EXPECT_EQ(m_api.openHandles(), 0u);
  }
  std::string log() { return test::readFile(m_dir / "9QReg.log"); }
  // The entries between the log's two rules.
  std::string logBody() {
    std::string text = log(), rule = std::string(66, '-') + "\r\n";
    std::size_t start = text.find(rule) + rule.size() + 2;
    return text.substr(start, text.rfind(rule) - start);
  }

  test::TempDir m_dir;
  std::unique_ptr<registry::MemoryStore> m_store = test::makeStore({
      {"CLSID\\{A}\\InprocServer32", "a.dll"},
      {"CLSID\\{A}\\Deep\\Deeper\\Deepest", std::nullopt},
      {"CLSID\\{A}\\Deep\\Side", std::nullopt},
      {"CLSID\\{A}\\" + cjkName(), std::nullopt},
      {"CLSID\\{B}", "b"},
      {"CLSID\\{C}\\Child", std::nullopt},
      {"Keep", std::nullopt},
  });
  test::RefusingApi m_api{*m_store};
  scan::FoundKeyList m_list;
  std::int32_t m_found = 0;
  RemovalReport m_report;
};

TEST_F(Removal, RemovesWholeSubtreesAndSkipsStruckEntries) {
  add("CLSID\\{A}");
  add("CLSID\\{B}", true);
  add("CLSID\\{C}");
  run();
  EXPECT_EQ(test::allKeys(*m_store), (std::vector<std::string>{"CLSID", "CLSID\\{B}", "Keep"}));
  EXPECT_EQ(app::closingMessage(m_report), "2 / 3 keys have been removed in your registry.");
  EXPECT_EQ(m_api.commits, 1);
  m_list = {};
  m_found = 0;
  run();
  EXPECT_EQ(app::closingMessage(m_report), "0 / 0 keys have been removed in your registry.");
  EXPECT_EQ(logBody(), "");
}

TEST_F(Removal, AStubbornSubkeyEndsTheWalkAndIsReportedWithItsStatus) {
  add("CLSID\\{A}");
  add("CLSID\\{Vanished}");
  add("CLSID\\{B}");
  m_api.refuseDelete = {"Deeper"};
  run();
  // {A} stays with the part of its subtree that was not yet reached.
  auto keys = test::allKeys(*m_store);
  EXPECT_NE(std::find(keys.begin(), keys.end(), "CLSID\\{A}\\Deep\\Deeper"), keys.end());
  EXPECT_EQ(std::find(keys.begin(), keys.end(), "CLSID\\{B}"), keys.end());
  EXPECT_EQ(m_report.notRemoved, 2);
  EXPECT_EQ(app::closingMessage(m_report),
            "1 / 3 keys have been removed in your registry.\r\n\r\n"
            "Some errors occured while deleting keys (2 keys not removed)\r\n"
            "You may see the not deleted keys by starting again the Registry Cleaner.");
  EXPECT_EQ(logBody(),
            " --- [CLSID]      --- HKEY_CLASSES_ROOT\\CLSID\\{A}\r\n" + kPad + "From component: from CLSID\\{A}\r\n" +
                kPad + "From component: *** ERROR: Access is denied.(5) - Key not removed.\r\n"
                " --- [CLSID]      --- HKEY_CLASSES_ROOT\\CLSID\\{Vanished}\r\n" + kPad +
                "From component: from CLSID\\{Vanished}\r\n" + kPad +
                "From component: *** ERROR: The system cannot find the file specified.(2) - Key not removed.\r\n"
                " --- [CLSID]      --- HKEY_CLASSES_ROOT\\CLSID\\{B}\r\n" + kPad + "From component: from CLSID\\{B}\r\n" +
                kPad + "Result: OK\r\n");
  EXPECT_NE(log().find("Number of deleted keys: 1\r\nEnd of processing date: T\r\n"), std::string::npos);
}

TEST_F(Removal, AFailedSaveClaimsNothing) {
  add("CLSID\\{B}");
  add("CLSID\\{C}");
  m_api.failCommit = true;
  run();
  EXPECT_TRUE(m_report.saveFailed);
  EXPECT_EQ(m_report.removed, 0);
  EXPECT_EQ(app::closingMessage(m_report).substr(0, 50), "0 / 2 keys have been removed in your registry.\r\n\r\n");
  // Every entry says what became of its key, not what the removal hoped.
  EXPECT_EQ(logBody(), " --- [CLSID]      --- HKEY_CLASSES_ROOT\\CLSID\\{B}\r\n" + kPad + "From component: from CLSID\\{B}\r\n" +
                           kPad + kNotSaved + "Key not removed.\r\n --- [CLSID]      --- HKEY_CLASSES_ROOT\\CLSID\\{C}\r\n" +
                           kPad + "From component: from CLSID\\{C}\r\n" + kPad + kNotSaved + "Key not removed.\r\n" +
                           kPad + kNotSaved + "No key removed.\r\n");
  EXPECT_NE(log().find("Number of deleted keys: 0\r\n"), std::string::npos);
}

TEST_F(Removal, AKeyTheBackupCannotHoldIsKeptAndSaysWhy) {
  add("CLSID\\{B}");
  add("CLSID\\{C}");
  std::vector<std::string> asked;
  run([&](const std::vector<std::string>& paths) {
    asked = paths;
    BackupResult result;
    result.file = m_dir / "undo.reg";
    result.refused.emplace_back(1, "the reason");
    return result;
  });
  EXPECT_EQ(asked, (std::vector<std::string>{"CLSID\\{B}", "CLSID\\{C}"}));
  auto keys = test::allKeys(*m_store);
  EXPECT_NE(std::find(keys.begin(), keys.end(), "CLSID\\{C}\\Child"), keys.end());
  EXPECT_EQ(m_report.removed, 1);
  EXPECT_NE(logBody().find("From component: *** ERROR: The key was kept: the reason - Key not removed.\r\n"),
            std::string::npos)
      << logBody();
}

}  // namespace
}  // namespace comsweep::removal
