// Whole runs through the main window's logic, with a scripted operator in
// place of the windows.

#include <gtest/gtest.h>

#include "app/MainForm.h"
#include "support/Fixture.h"
#include "support/ScriptedWindowSystem.h"
#include "support/TempDir.h"

namespace comsweep::app {
namespace {

using families::Box;

class Run : public ::testing::Test {
 protected:
  void SetUp() override {
    m_store = test::makeStore({
        {"CLSID\\{00000000-0000-0000-0000-000000000000}", "first"},
        {"CLSID\\{C1}", "b m9q class"},
        {"CLSID\\{C2}", "a m9q class"},
        {"CLSID\\{C3}\\InprocServer32", "z:\\n9q.dll"},
        {"CLSID\\{C3}", "Journey"},
        {"m9q.Thing", std::nullopt},
        {"Other", std::nullopt},
    });
    m_api = std::make_unique<registry::HandleTable>(*m_store);
    m_form = std::make_unique<MainForm>(*m_api, m_windows, m_dir / "9QReg.log",
                                        [] { return std::string("DATE"); });
  }

  std::vector<std::string> logKeys() {
    std::vector<std::string> keys;
    std::string log = test::readFile(m_dir / "9QReg.log");
    for (std::size_t at = 0; (at = log.find("HKEY_CLASSES_ROOT\\", at)) != std::string::npos;) {
      std::size_t end = log.find("\r\n", at);
      keys.push_back(log.substr(at + 18, end - at - 18));
      at = end;
    }
    return keys;
  }

  test::TempDir m_dir;
  std::unique_ptr<registry::MemoryStore> m_store;
  std::unique_ptr<registry::HandleTable> m_api;
  test::ScriptedWindowSystem m_windows;
  std::unique_ptr<MainForm> m_form;
};

TEST_F(Run, InteractiveReviewWithStrikesAndASort) {
  m_form->load("");
  EXPECT_FALSE(m_form->ended());
  EXPECT_EQ(m_form->selection().reviewFirst, 1);
  m_form->selection()[Box::m9q] = 1;
  m_form->selection()[Box::n9q] = 1;

  m_windows.review = [&](ui::ReviewState& form) {
    EXPECT_EQ(form.remoteMachineLabel, "Remote Machine Name:");
    form.columnClicked(1);  // by key, descending: letters before braces
    form.selected = 1;            // m9q.Thing
    form.keyPressed(46, 0);
    form.selected = 2;            // {C3}: struck and unstruck
    form.keyPressed(46, 0);
    form.keyPressed(46, 0);
    form.keyPressed(65, 0);  // any other key does nothing
    form.removeClicked();
  };
  m_form->continueClicked();

  EXPECT_EQ(logKeys(),
            (std::vector<std::string>{"CLSID\\{C3}", "CLSID\\{C2}", "CLSID\\{C1}"}));
  EXPECT_EQ(test::allKeys(*m_store),
            (std::vector<std::string>{"CLSID", "CLSID\\{00000000-0000-0000-0000-000000000000}",
                                      "m9q.Thing", "Other"}));
  ASSERT_EQ(m_windows.messages.size(), 1u);
  EXPECT_EQ(m_windows.messages[0].text, "3 / 4 keys have been removed in your registry.");
  EXPECT_TRUE(m_form->ended());
  EXPECT_EQ(m_windows.trace.front(), "main.pointer=11");
  EXPECT_EQ(std::vector<std::string>(m_windows.trace.end() - 5, m_windows.trace.end()),
            (std::vector<std::string>{"review.unload", "main.pointer=0", "progress.unload",
                                      "main.unload", "end"}));
  // The progress window followed every visited key.
  EXPECT_EQ(m_windows.progressNodes.front(), "CLSID -> {C1}");
  EXPECT_EQ(m_windows.progressNodes.back(), "ProgID -> Other");
}

TEST_F(Run, ClosingTheReviewWindowActsLikeCancelWithoutAMessage) {
  m_form->load("");
  m_windows.review = [](ui::ReviewState& form) {
    EXPECT_EQ(form.heading, "0 Keys about to be removed in the registry:");
  };
  m_form->continueClicked();
  EXPECT_TRUE(m_windows.messages.empty());
  EXPECT_FALSE(std::filesystem::exists(m_dir / "9QReg.log"));
  EXPECT_TRUE(m_form->ended());
}

TEST_F(Run, AFailedRemoteConnectionReturnsToTheWaitingWindow) {
  m_form->load("");
  m_form->selection()[Box::m9q] = 1;
  m_form->selection().useRemoteMachine = 1;
  m_form->remoteMachineClicked();
  EXPECT_TRUE(m_form->remoteNameVisible());
  m_form->selection().remoteMachineName = " FOO ";
  m_form->continueClicked();
  ASSERT_EQ(m_windows.messages.size(), 1u);
  EXPECT_EQ(m_windows.messages[0].text, "Unable to connect to the remote machine  FOO .");
  EXPECT_EQ(m_windows.messages[0].style, 16);
  EXPECT_EQ(m_windows.messages[0].title, "Registry Cleaner");
  EXPECT_FALSE(m_form->ended());
  EXPECT_EQ(m_form->root(), 0u);
  EXPECT_EQ(m_windows.trace, std::vector<std::string>{"msgbox"});

  // Corrected to the local machine's empty name: the run goes through.
  m_form->selection().remoteMachineName = "";
  m_windows.review = [](ui::ReviewState& form) {
    form.activated();
    EXPECT_EQ(form.remoteMachineLabel, "Remote Machine: ");
    form.removeClicked();
  };
  m_form->continueClicked();
  EXPECT_TRUE(m_form->ended());
  EXPECT_EQ(m_form->keysRemoved(), 3);
  EXPECT_EQ(m_form->patterns().fragments.size(), 1u);
}

TEST_F(Run, UnattendedRunsRemoveAtOnceWithoutAnyWindow) {
  m_form->load("/m9q /LOG");
  EXPECT_TRUE(m_form->ended());
  EXPECT_EQ(m_form->selection().reviewFirst, 0);
  EXPECT_TRUE(m_windows.messages.empty());
  EXPECT_TRUE(m_windows.progressNodes.empty());
  for (const auto& step : m_windows.trace) EXPECT_EQ(step.rfind("review", 0), std::string::npos);
  // Found order, not sorted.
  EXPECT_EQ(logKeys(), (std::vector<std::string>{"CLSID\\{C1}", "CLSID\\{C2}", "m9q.Thing"}));
  EXPECT_EQ(m_form->outcome().removal.removed, 3);
}

TEST_F(Run, SwitchlessTextStillRunsUnattended) {
  m_form->load("XYZ");
  EXPECT_TRUE(m_form->ended());
  EXPECT_TRUE(m_form->outcome().removalReached);
  EXPECT_NE(test::readFile(m_dir / "9QReg.log").find("Number of keys to remove: 0"), std::string::npos);
  EXPECT_EQ(test::allKeys(*m_store).size(), 8u);
}

}  // namespace
}  // namespace comsweep::app
