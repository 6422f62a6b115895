// Whole runs through the main window's logic, with a scripted operator in
// place of the windows. The review itself is driven through the real
// windows in frontends/qt/QtWindowsTest.

#include <gtest/gtest.h>

#include <sstream>
#include <thread>
#include <utility>

#include "app/MachineChooser.h"
#include "app/MainForm.h"
#include "app/Program.h"
#include "app/Session.h"
#include "machine/Machine.h"
#include "support/Fixture.h"
#include "support/ScriptedWindowSystem.h"
#include "support/TempDir.h"

namespace comsweep::app {
namespace {

using families::Box;

struct Form {
  test::TempDir dir;
  std::unique_ptr<registry::MemoryStore> store =
      test::makeStore({{"CLSID\\{00000000-0000-0000-0000-000000000000}", "first"}, {"CLSID\\{C1}", "b m9q class"},
                       {"CLSID\\{C2}", "a m9q class"}, {"m9q.Thing", std::nullopt}, {"Other", std::nullopt}});
  registry::HandleTable api{*store};
  test::ScriptedWindowSystem windows;
  Session run{api, dir / "9QReg.log", [] { return std::string("DATE"); }};
  MainForm form{run, windows};
};

// Where the machine answers the registry calls itself (the live registry),
// the run's calls go there; the backup still reads its store.
TEST(Run, ASessionUsesTheMachinesOwnCallsWhereItHasThem) {
  test::TempDir dir;
  registry::Machine machine;
  machine.store = test::makeStore({{"m9q.Thing", std::nullopt}});
  auto refusing = std::make_unique<test::RefusingApi>(*machine.store);
  refusing->refuseDelete = {"m9q.Thing"};
  machine.api = std::move(refusing);
  machine.driveC = dir.path();
  Session run(machine);
  families::Selection chosen;
  chosen[Box::m9q] = true;
  scan::ScanResult scanned = run.scan(registry::HKEY_CLASSES_ROOT, families::buildPatternList(chosen));
  run.removeKeys(registry::HKEY_CLASSES_ROOT, scanned.keys, scanned.found);
  EXPECT_EQ(run.exitStatus(), kExitNotAllRemoved);  // refused by the machine's own calls
  EXPECT_EQ(run.outcome().removal.undoFile.parent_path(), dir.path());
}

// A run's session is made for the machine chosen when the run starts: a
// machine the operator turned from after a run that went no further is
// neither changed nor logged.
TEST(Run, ARunWorksOnTheMachineChosenWhenItStarts) {
  test::TempDir dir;
  MachineChooser chooser({"a.reg", "b.reg"}, [&dir](const std::filesystem::path& path) {
    auto machine = std::make_unique<registry::Machine>();
    machine->store = test::makeStore({{"m9q.Thing", std::nullopt}});
    machine->path = path;
    machine->driveC = dir.path() / path.stem();
    std::filesystem::create_directories(machine->driveC);
    return registry::MachineOpenResult{std::move(machine), ""};
  });
  test::ScriptedWindowSystem windows;
  MainForm form{chooser, windows};
  form.windowOpened();
  while (!form.machineReadingEnded()) std::this_thread::yield();
  form.selection()[Box::m9q] = 1;
  form.selection().useRemoteMachine = 1;
  form.selection().remoteMachineName = "FOO";
  form.continueClicked();  // on a.reg, and no further than the connection
  EXPECT_FALSE(form.ended());
  form.machineChosen("b.reg");
  while (!form.machineReadingEnded()) std::this_thread::yield();
  form.selection().useRemoteMachine = 0;
  form.continueClicked();
  ASSERT_TRUE(form.ended());
  EXPECT_EQ(windows.messages.back(), "1 / 1 keys have been removed in your registry.");
  EXPECT_TRUE(std::filesystem::exists(dir / "b" / "9QReg.log"));
  EXPECT_FALSE(std::filesystem::exists(dir / "a" / "9QReg.log"));
}

TEST(Run, AFailedRemoteConnectionReturnsToTheWaitingWindowAndTheCloseBoxCancelsQuietly) {
  Form s;
  s.form.selection()[Box::m9q] = 1;
  s.form.selection().useRemoteMachine = 1;
  s.form.remoteMachineClicked();
  s.form.selection().remoteMachineName = " FOO ";
  s.form.continueClicked();
  EXPECT_EQ(s.windows.messages, std::vector<std::string>{"Unable to connect to the remote machine  FOO ."});
  EXPECT_EQ(s.windows.trace, std::vector<std::string>{"msgbox"});
  EXPECT_FALSE(s.form.ended());
  EXPECT_EQ(s.form.root(), 0u);

  // Corrected to the local machine's empty name, but another run holds the
  // machine: the gate's refusal is shown and the window waits again.
  s.form.selection().remoteMachineName = "";
  std::string refusal = "x.reg: another comsweep run is working on this machine";
  s.form.setRunGate([&refusal] { return std::exchange(refusal, ""); });
  s.form.continueClicked();
  EXPECT_EQ(s.windows.messages.back(), "X.reg: another comsweep run is working on this machine.");
  EXPECT_FALSE(s.form.ended());

  // Started again, the review window is closed by its close box, which
  // removes nothing and says nothing.
  s.windows.review = [](forms::ReviewState& form) {
    EXPECT_EQ(form.remoteMachineLabel, "Remote Machine: ");
    EXPECT_EQ(form.heading, "3 Keys about to be removed in the registry:");
  };
  s.form.continueClicked();
  EXPECT_TRUE(s.form.ended());
  EXPECT_EQ(s.windows.messages.size(), 2u);
  EXPECT_FALSE(std::filesystem::exists(s.dir / "9QReg.log"));
  EXPECT_EQ(test::allKeys(*s.store).size(), 6u);
  EXPECT_EQ(s.windows.trace[2], "main.pointer=11");
  EXPECT_EQ(std::vector<std::string>(s.windows.trace.end() - 5, s.windows.trace.end()),
            (std::vector<std::string>{"review.unload", "main.pointer=0", "progress.unload",
                                      "main.unload", "end"}));
}

// What goes to standard error follows the closing message in a box of its
// own, captioned with the application title; the log's failure once the log
// is written. An unattended run shows none of it. (What a failed backup or
// save says on standard error is RegMachineFailures'.)
TEST(Run, AnInteractiveRunShowsTheReasonsAfterTheClosingMessage) {
  struct Case {
    const char* name;
    bool refuse = false, logIsDirectory = false;
    std::vector<std::string> reasonsStart;  // one entry a box after the closing message
  };
  const std::vector<Case> cases = {
      {.name = "access denied", .refuse = true,
       .reasonsStart = {"1 of the listed keys could not be removed (Access is denied.(5)); see "}},
      {.name = "log not written", .logIsDirectory = true, .reasonsStart = {"The log could not be written: "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Form s;
    test::RefusingApi refusing{*s.store};
    if (c.refuse) refusing.refuseDelete = {"CLSID\\{C1}"};
    const std::filesystem::path log = s.dir / (c.logIsDirectory ? "a directory" : "9QReg.log");
    if (c.logIsDirectory) std::filesystem::create_directory(log);
    Session run{refusing, log, [] { return std::string("DATE"); }};
    MainForm form{run, s.windows};
    form.selection()[Box::m9q] = 1;
    form.continueClicked();  // reviewed, and Remove pressed
    ASSERT_EQ(s.windows.messages.size(), 1 + c.reasonsStart.size());
    EXPECT_EQ(s.windows.messages[0].find(" keys have been removed in your registry."), 5u) << s.windows.messages[0];
    for (std::size_t i = 0; i < c.reasonsStart.size(); ++i)
      EXPECT_EQ(s.windows.messages[1 + i].rfind(c.reasonsStart[i], 0), 0u) << s.windows.messages[1 + i];
    if (c.refuse) {  // what is missing, said where the rights lack
      EXPECT_NE(s.windows.messages[1].find("an administrator's rights are missing"), std::string::npos);
    }
  }
}

// A start without switches opens its window before the machine is read;
// one that cannot be opened is said in a box and the window waits for
// another choice; left so, the start ends as one that could not open its
// machine, with the reason on standard error too. An unattended start or a
// listing opens no window.
TEST(Run, AMachineThatCannotBeOpenedIsShownInTheWaitingWindow) {
  test::TempDir dir;
  for (auto [args, boxes] : {std::pair{std::vector<std::string>{}, 1u}, {{"/M9Q"}, 0u}, {{"--list"}, 0u}}) {
    SCOPED_TRACE(argumentText(args));
    test::ScriptedWindowSystem windows;
    bool interactiveReached = false;
    ProgramEnvironment environment;
    environment.env["COMSWEEP_MACHINE"] = (dir / "no such machine.reg").string();
    environment.interactive = [&](MachineChooser& chooser) {
      interactiveReached = true;
      MainForm form{chooser, windows};
      form.windowOpened();
      while (!form.machineReadingEnded()) std::this_thread::yield();
      form.selection()[Box::m9q] = 1;
      form.continueClicked();  // says why again, and waits
      EXPECT_FALSE(form.ended());
      form.cancelClicked();
      return exitStatusOf(form.outcome());
    };
    std::ostringstream out, err;
    EXPECT_EQ(runProgram(args, environment, out, err), kExitMachineFailed);
    EXPECT_EQ(interactiveReached, boxes > 0);
    if (!boxes) continue;
    ASSERT_EQ(windows.messages.size(), 2u) << err.str();
    EXPECT_EQ(windows.messages[0], windows.messages[1]);
    EXPECT_NE(windows.messages[0].find("no such machine.reg"), std::string::npos) << windows.messages[0];
    EXPECT_NE(err.str().find("no such machine.reg"), std::string::npos) << err.str();
  }
}

// The main window waits without the machine's run lock: an unattended run
// meanwhile neither waits nor fails. A run takes it again when the operator
// starts it, and from then on holds the others off.
TEST(Run, AnIdleMainWindowHoldsNoRunLockARunTakesIt) {
  test::TempDir dir;
  test::writeFile(dir / "machine.reg",
                  "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT\\CLSID\\{C1}]\r\n"
                  "@=\"a m9q class\"\r\n\r\n");
  ProgramEnvironment unattended;
  unattended.env = {{"COMSWEEP_MACHINE", (dir / "machine.reg").string()}, {"COMSWEEP_LOCK_WAIT", "0"}};
  // On a thread of its own, as another process would: a Windows mutex
  // lets its owning thread in again.
  auto otherRun = [&] {
    int status = -1;
    std::thread([&] {
      std::ostringstream out, err;
      status = runProgram({"/P9Q"}, unattended, out, err);
    }).join();
    return status;
  };
  ProgramEnvironment interactive = unattended;
  std::vector<int> statuses;
  std::string gateAnswer = "not asked";
  interactive.interactive = [&](MachineChooser& chooser) {
    chooser.choose(chooser.chosen());
    chooser.waitForReading();
    statuses.push_back(otherRun());
    gateAnswer = chooser.takeLock();
    statuses.push_back(otherRun());
    return 0;
  };
  std::ostringstream out, err;
  EXPECT_EQ(runProgram({}, interactive, out, err), 0) << err.str();
  EXPECT_EQ(statuses, (std::vector<int>{kExitOk, kExitMachineFailed}));
  EXPECT_EQ(gateAnswer, "");
}

}  // namespace
}  // namespace comsweep::app
