// Whole runs through the main window's logic, with a scripted operator in
// place of the windows. The review itself is driven through the real
// windows in frontends/qt/QtWindowsTest.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>
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
using namespace ::testing;
using Strings = std::vector<std::string>;

// The main window's logic on a small machine in memory that answers the
// registry calls itself, as the live registry does: the run's calls go
// there (`api` may refuse some), the backup still reads the store.
struct Form {
  test::TempDir dir;
  registry::Machine machine;
  test::RefusingApi& api = [this]() -> test::RefusingApi& {
    machine.store = test::makeStore({{"CLSID\\{00000000-0000-0000-0000-000000000000}", "first"},
                                     {"CLSID\\{C1}", "b m9q class"}, {"CLSID\\{C2}", "a m9q class"},
                                     {"m9q.Thing", std::nullopt}, {"Other", std::nullopt}});
    machine.api = std::make_unique<test::RefusingApi>(*machine.store);
    machine.driveC = dir.path();
    return static_cast<test::RefusingApi&>(*machine.api);
  }();
  test::ScriptedWindowSystem windows;
  Session run{machine};
  MainForm form{run, windows};
};

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
  EXPECT_EQ(s.windows.messages, Strings{"Unable to connect to the remote machine  FOO ."});
  EXPECT_EQ(s.form.root(), 0u);

  // Corrected to the local machine's empty name, but another run holds the
  // machine: the gate's refusal is shown and the window waits again.
  s.form.selection().remoteMachineName = "";
  std::string refusal = "x.reg: another comsweep run is working on this machine";
  s.form.setRunGate([&refusal] { return std::exchange(refusal, ""); });
  s.form.continueClicked();
  EXPECT_EQ(s.windows.messages.back(), "X.reg: another comsweep run is working on this machine.");

  // Started again, the review window is closed by its close box, which
  // removes nothing and says nothing: no box after the two above. The form
  // ends only then: "end" is traced exactly when it ends.
  s.windows.review = [](forms::ReviewState& form) {
    EXPECT_EQ(form.remoteMachineLabel, "Remote Machine: ");
    EXPECT_EQ(form.heading, "3 Keys about to be removed in the registry:");
  };
  s.form.continueClicked();
  EXPECT_FALSE(std::filesystem::exists(s.dir / "9QReg.log"));
  EXPECT_EQ(test::allKeys(*s.machine.store).size(), 6u);
  EXPECT_EQ(s.windows.trace, (Strings{"msgbox", "msgbox", "main.pointer=11", "main.hide", "progress.show",
                                      "review.show", "review.unload", "main.pointer=0", "progress.unload",
                                      "main.unload", "end"}));
}

// What goes to standard error follows the closing message in a box of its
// own, captioned with the application title; the log's failure once the log
// is written. An unattended run shows none of it. (What a failed backup or
// save says on standard error is RegMachineFailures'.) The refusal comes from
// the machine's own calls, and the backup lies on its drive C:.
TEST(Run, AnInteractiveRunShowsTheReasonsAfterTheClosingMessage) {
  // The closing message starts with `closing` (its wording is Removal's);
  // the box after it starts with `reasonsStart` and says `reasonsSay`: what
  // is missing, where the rights lack.
  const struct {
    const char* name;
    bool refuse = false, logIsDirectory = false;
    const char *closing, *reasonsStart, *reasonsSay = "";
  } cases[] = {
      {.name = "access denied", .refuse = true, .closing = "2 / 3 keys have been removed in your registry.",
       .reasonsStart = "1 of the listed keys could not be removed (Access is denied.(5)); see ",
       .reasonsSay = "an administrator's rights are missing"},
      {.name = "log not written", .logIsDirectory = true, .closing = "3 / 3 keys have been removed in your registry.",
       .reasonsStart = "The log could not be written: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Form s;
    if (c.refuse) s.api.refuseDelete = {"CLSID\\{C1}"};
    if (c.logIsDirectory) std::filesystem::create_directory(s.dir / "9QReg.log");
    s.form.selection()[Box::m9q] = 1;
    s.form.continueClicked();  // reviewed, and Remove pressed
    EXPECT_EQ(s.run.exitStatus(), kExitNotAllRemoved);
    EXPECT_EQ(s.run.outcome().removal.undoFile.parent_path(), s.dir.path());
    EXPECT_THAT(s.windows.messages,
                ElementsAre(StartsWith(c.closing), AllOf(StartsWith(c.reasonsStart), HasSubstr(c.reasonsSay))));
  }
}

// A start without switches opens its window before the machine is read;
// one that cannot be opened is said in a box and the window waits for
// another choice; left so, the start ends as one that could not open its
// machine, with the reason on standard error too. An unattended start or a
// listing opens no window: it shows no box.
TEST(Run, AMachineThatCannotBeOpenedIsShownInTheWaitingWindow) {
  test::TempDir dir;
  const std::string missing = (dir / "no such machine.reg").string();
  for (auto [args, boxes] : {std::pair{Strings{}, 2u}, {{"/M9Q"}, 0u}, {{"--list"}, 0u}}) {
    SCOPED_TRACE(argumentText(args));
    test::ScriptedWindowSystem windows;
    ProgramEnvironment environment;
    environment.env["COMSWEEP_MACHINE"] = missing;
    environment.interactive = [&](MachineChooser& chooser) {
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
    EXPECT_EQ(windows.messages, Strings(boxes, missing + ": no such file or directory (the machine to clean)."));
    EXPECT_NE(err.str().find(missing), std::string::npos) << err.str();
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
    return std::async(std::launch::async, [&] {
      std::ostringstream out, err;
      return runProgram({"/P9Q"}, unattended, out, err);
    }).get();
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
