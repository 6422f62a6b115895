// Whole runs through the main window's logic, with a scripted operator in
// place of the windows. The review itself is driven through the real
// windows in ui/qt/QtWindowsTest.

#include <gtest/gtest.h>

#include "app/MainForm.h"
#include "support/Fixture.h"
#include "support/ScriptedWindowSystem.h"
#include "support/TempDir.h"

namespace comsweep::app {
namespace {

using families::Box;

struct Session {
  test::TempDir dir;
  std::unique_ptr<registry::MemoryStore> store =
      test::makeStore({{"CLSID\\{00000000-0000-0000-0000-000000000000}", "first"}, {"CLSID\\{C1}", "b m9q class"},
                       {"CLSID\\{C2}", "a m9q class"}, {"m9q.Thing", std::nullopt}, {"Other", std::nullopt}});
  registry::HandleTable api{*store};
  test::ScriptedWindowSystem windows;
  MainForm form{api, windows, dir / "9QReg.log", [] { return std::string("DATE"); }};
};

TEST(Run, AnyCommandLineTextRunsUnattendedWithoutAWindow) {
  for (auto [text, removed] : {std::pair{"/m9q /LOG", 3}, {"XYZ", 0}}) {
    SCOPED_TRACE(text);
    Session s;
    s.form.load(text);
    EXPECT_TRUE(s.form.ended() && s.form.outcome().removalReached && s.windows.messages.empty());
    EXPECT_EQ(s.form.selection().reviewFirst, 0);
    for (const auto& step : s.windows.trace) EXPECT_FALSE(step.starts_with("review")) << step;
    EXPECT_EQ(s.form.outcome().removal.removed, removed);
    EXPECT_EQ(test::allKeys(*s.store).size(), 6u - removed);
    EXPECT_NE(test::readFile(s.dir / "9QReg.log").find("Number of deleted keys: " + std::to_string(removed)),
              std::string::npos);
  }
}

TEST(Run, AFailedRemoteConnectionReturnsToTheWaitingWindowAndTheCloseBoxCancelsQuietly) {
  Session s;
  s.form.load("");
  EXPECT_EQ(s.form.selection().reviewFirst, 1);
  s.form.selection()[Box::m9q] = 1;
  s.form.selection().useRemoteMachine = 1;
  s.form.remoteMachineClicked();
  EXPECT_TRUE(s.form.remoteNameVisible());
  s.form.selection().remoteMachineName = " FOO ";
  s.form.continueClicked();
  EXPECT_EQ(s.windows.messages, std::vector<std::string>{"Unable to connect to the remote machine  FOO ."});
  EXPECT_EQ(s.windows.trace, std::vector<std::string>{"msgbox"});
  EXPECT_FALSE(s.form.ended() || s.form.root() != 0u);

  // Corrected to the local machine's empty name; the review window is then
  // closed by its close box, which removes nothing and says nothing.
  s.form.selection().remoteMachineName = "";
  s.windows.review = [](ui::ReviewState& form) {
    EXPECT_EQ(form.remoteMachineLabel, "Remote Machine: ");
    EXPECT_EQ(form.heading, "3 Keys about to be removed in the registry:");
  };
  s.form.continueClicked();
  EXPECT_TRUE(s.form.ended() && s.windows.messages.size() == 1u && !std::filesystem::exists(s.dir / "9QReg.log"));
  EXPECT_EQ(test::allKeys(*s.store).size(), 6u);
  EXPECT_EQ(s.windows.trace[1], "main.pointer=11");
  EXPECT_EQ(std::vector<std::string>(s.windows.trace.end() - 5, s.windows.trace.end()),
            (std::vector<std::string>{"review.unload", "main.pointer=0", "progress.unload",
                                      "main.unload", "end"}));
}

}  // namespace
}  // namespace comsweep::app
