#include "removal/KeyRemoval.h"

#include <gtest/gtest.h>

#include "app/RunOutcome.h"
#include "removal/LogWriter.h"
#include "support/Fixture.h"
#include "support/TempDir.h"

namespace comsweep::removal {
namespace {

using Strings = std::vector<std::string>;

// A log entry for the found key `tag` and what became of it.
std::string entry(const std::string& tag, const std::string& fate) {
  const std::string pad(22, ' ');
  return " --- [CLSID]      --- HKEY_CLASSES_ROOT\\" + tag + "\r\n" + pad + "From component: from " + tag + "\r\n" + pad +
         fate + "\r\n";
}

// (What the entries of a failed save say is TwoFileSave's to check, on a
// machine whose file cannot be written.)
TEST(Removal, EachEntrySaysWhatBecameOfItsKey) {
  auto closing = [](int removed, int listed, int notRemoved) {
    return std::to_string(removed) + " / " + std::to_string(listed) + " keys have been removed in your registry." +
           (notRemoved == 0 ? "" : "\r\n\r\nSome errors occured while deleting keys (" + std::to_string(notRemoved) +
                                       " keys not removed)\r\nYou may see the not deleted keys by starting again "
                                       "the Registry Cleaner.");
  };
  const struct {
    const char* what;
    std::vector<std::pair<const char*, bool>> entries;  // path, struck
    std::set<std::string> refuseDelete = {};
    bool backupRefusesSecond = false;
    Strings kept = {}, gone = {};  // besides the listed keys' fates
    std::string closing, body;
  } cases[] = {
      {.what = "whole subtrees go, struck entries stay",
       .entries = {{"CLSID\\{A}", false}, {"CLSID\\{B}", true}, {"CLSID\\{C}", false}},
       .kept = {"CLSID", "CLSID\\{B}", "Keep"}, .gone = {"CLSID\\{A}", "CLSID\\{C}"},
       .closing = closing(2, 3, 0), .body = entry("CLSID\\{A}", "Result: OK") + entry("CLSID\\{C}", "Result: OK")},
      {.what = "nothing listed", .entries = {}, .closing = closing(0, 0, 0), .body = ""},
      // {A} stays with the part of its subtree that was not yet reached.
      {.what = "a stubborn subkey ends the walk",
       .entries = {{"CLSID\\{A}", false}, {"CLSID\\{Vanished}", false}, {"CLSID\\{B}", false}},
       .refuseDelete = {"Deeper"}, .kept = {"CLSID\\{A}\\Deep\\Deeper"}, .gone = {"CLSID\\{B}"},
       .closing = closing(1, 3, 2),
       .body = entry("CLSID\\{A}", "From component: *** ERROR: Access is denied.(5) - Key not removed.") +
               entry("CLSID\\{Vanished}",
                     "From component: *** ERROR: The system cannot find the file specified.(2) - Key not removed.") +
               entry("CLSID\\{B}", "Result: OK")},
      {.what = "a key the backup cannot hold is kept", .entries = {{"CLSID\\{B}", false}, {"CLSID\\{C}", false}},
       .backupRefusesSecond = true, .kept = {"CLSID\\{C}\\Child"}, .gone = {"CLSID\\{B}"}, .closing = closing(1, 2, 1),
       .body = entry("CLSID\\{B}", "Result: OK") +
               entry("CLSID\\{C}", "From component: *** ERROR: The key was kept: the reason - Key not removed.")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir dir;
    // 120 CJK characters: a legal key name longer in UTF-8 than the 300
    // blanks the enumeration wrapper answers a failure with.
    std::string cjk;
    for (int i = 0; i < 120; ++i) cjk += "\xE4\xB8\xAD";
    auto store = test::makeStore({{"CLSID\\{A}\\InprocServer32", "a.dll"}, {"CLSID\\{A}\\Deep\\Deeper\\Deepest", {}},
                                  {"CLSID\\{A}\\Deep\\Side", {}}, {"CLSID\\{A}\\" + cjk, {}}, {"CLSID\\{B}", "b"},
                                  {"CLSID\\{C}\\Child", {}}, {"Keep", {}}});
    test::RefusingApi api{*store};
    api.refuseDelete = c.refuseDelete;
    scan::FoundKeyList list;
    for (auto [path, struck] : c.entries) list.add({path, "from " + std::string(path), path, "CLSID", struck});
    Strings asked;
    Backup backup = [&](const Strings& paths) {
      asked = paths;
      return BackupResult{.failure = {}, .file = dir / "undo.reg", .refused = {{1, "the reason"}}};
    };
    LogWriter log(dir / "9QReg.log", [] { return std::string("T"); });
    log.noteStart();
    RemovalReport report = removeKeys(api, registry::HKEY_CLASSES_ROOT, list, std::int32_t(c.entries.size()),
                                      c.backupRefusesSecond ? backup : Backup{});
    writeRemovalLog(log, families::Selection{}, list, report);
    EXPECT_EQ(std::pair(api.openHandles(), api.commits), std::pair(std::size_t{0}, 1));

    const Strings keys = test::allKeys(*store);
    for (const auto& k : c.kept) EXPECT_NE(std::find(keys.begin(), keys.end(), k), keys.end()) << k;
    for (const auto& k : c.gone) EXPECT_EQ(std::find(keys.begin(), keys.end(), k), keys.end()) << k;
    EXPECT_EQ(app::closingMessage(report), c.closing);
    EXPECT_EQ(asked, (c.backupRefusesSecond ? Strings{"CLSID\\{B}", "CLSID\\{C}"} : Strings{}));
    // The entries stand between the log's two rules, the count of removed keys after them.
    const std::string text = test::readFile(dir / "9QReg.log"), rule = std::string(66, '-') + "\r\n";
    EXPECT_EQ(text.substr(text.find(rule) + rule.size() + 2), c.body + rule + "\r\nNumber of deleted keys: " +
                                                                 std::to_string(report.removed) + "\r\nEnd of processing date: T\r\n");
  }
}

// A run whose log could not be written does not pass its failure on to the
// next run of the same window.
TEST(RemovalLog, AFailureIsTheRunsOwn) {
  test::TempDir dir;
  std::filesystem::create_directory(dir / "9QReg.log");
  LogWriter log(dir / "9QReg.log", [] { return std::string("T"); });
  log.writeHeader(families::Selection{}, 0);
  EXPECT_TRUE(log.failure().failed());
  std::filesystem::remove(dir / "9QReg.log");
  log.writeHeader(families::Selection{}, 0);
  log.writeFooter(0);
  EXPECT_FALSE(log.failure().failed());
  EXPECT_TRUE(std::filesystem::is_regular_file(dir / "9QReg.log"));
}

}  // namespace
}  // namespace comsweep::removal
