// The machines the main window offers, found in a generated home folder,
// and the chooser that reads the chosen one behind the window.

#include <gtest/gtest.h>

#include <thread>

#include "app/MachineChooser.h"
#include "app/MachineChoices.h"
#include "support/Fixture.h"
#include "support/TempDir.h"

namespace comsweep::app {
namespace {

namespace fs = std::filesystem;

#ifndef _WIN32
// Prefixes are folders with a system.reg file, wherever Wine and its front
// ends keep them; each is offered once however it is reached, the start's
// own machine first even when it does not exist.
TEST(MachineChoices, PrefixesInTheUsualPlacesEachOnceAfterTheStartsOwn) {
  test::TempDir home;
  for (const char* prefix : {".wine", ".local/share/wineprefixes/b", ".local/share/wineprefixes/a",
                             ".PlayOnLinux/wineprefix/office", ".local/share/bottles/bottles/game",
                             "Games/lutris-game"}) {
    fs::create_directories(home / prefix);
    test::writeFile(home / prefix / "system.reg", "WINE REGISTRY Version 2\n");
  }
  fs::create_directories(home / ".local/share/wineprefixes/no system.reg");
  fs::create_directories(home / ".local/share/wineprefixes/a directory/system.reg");
  fs::create_directory_symlink(home / ".wine", home / ".local/share/wineprefixes/the same");
  test::writeFile(home / "Games/a file", "");
  const fs::path first = home / "chosen.reg";  // need not exist

  std::map<std::string, std::string> env{{"HOME", home.path().string()},
                                         {"WINEPREFIX", (home / ".local/share/wineprefixes/b/").string()}};
  const std::vector<fs::path> expected{first, home / ".local/share/wineprefixes/b/", home / ".wine",
                                       home / ".local/share/wineprefixes/a", home / ".PlayOnLinux/wineprefix/office",
                                       home / ".local/share/bottles/bottles/game", home / "Games/lutris-game"};
  EXPECT_EQ(findMachines(env, first), expected);
  // The start's own machine is not offered twice.
  EXPECT_EQ(findMachines(env, home / ".wine/").size(), expected.size() - 1);
  // Without a home folder only the start's own and $WINEPREFIX.
  EXPECT_EQ(findMachines({}, first), std::vector<fs::path>{first});
  EXPECT_EQ(findMachines({{"HOME", (home / "absent").string()}}, first), std::vector<fs::path>{first});
}
#else
// On Windows this computer's registry is always offered, once.
TEST(MachineChoices, ThisComputerAfterTheStartsOwn) {
  EXPECT_EQ(findMachines({}, "C:\\x.reg"), (std::vector<fs::path>{"C:\\x.reg", fs::path()}));
  EXPECT_EQ(findMachines({}, fs::path()), std::vector<fs::path>{fs::path()});
}
#endif

TEST(MachineChoices, APickedFileNamesItsMachine) {
  test::TempDir dir;
  fs::create_directories(dir / "prefix");
  test::writeFile(dir / "prefix/system.reg", "");
  fs::create_directories(dir / "lone");
  test::writeFile(dir / "lone/user.reg", "");
  const struct {
    fs::path picked, machine;
  } cases[] = {
      {dir / "prefix/system.reg", dir / "prefix"},
      {dir / "prefix/USER.REG", dir / "prefix"},  // letter case as the file system has it
      {dir / "lone/user.reg", dir / "lone/user.reg"},  // no prefix beside it
      {dir / "drive/WINDOWS/system32/Config/software", dir / "drive"},
      {dir / "config/SOFTWARE", dir / "config/SOFTWARE"},
      {fs::path("Windows/System32/config/SOFTWARE"), fs::path("Windows/System32/config/SOFTWARE")},
      {dir / "export.reg", dir / "export.reg"},
  };
  for (const auto& c : cases) EXPECT_EQ(machineOfPickedFile(c.picked), c.machine) << c.picked;
}

TEST(MachineChoices, Labels) {
  EXPECT_EQ(machineLabel({}, "/home/ann"), "This computer's registry");
#ifndef _WIN32
  EXPECT_EQ(machineLabel("/home/ann/.wine", "/home/ann/"), "~/.wine");
  EXPECT_EQ(machineLabel("/home/ann", "/home/ann"), "~");
  EXPECT_EQ(machineLabel("/home/anne/.wine", "/home/ann"), "/home/anne/.wine");
  EXPECT_EQ(machineLabel("/srv/x.reg", "/"), "/srv/x.reg");
  EXPECT_EQ(machineLabel("/srv/x.reg", ""), "/srv/x.reg");
#endif
}

registry::MachineOpenResult memoryMachine(const fs::path& path) {
  auto machine = std::make_unique<registry::Machine>();
  machine->store = test::makeStore({{"CLSID\\{C1}", "a m9q class"}});
  machine->path = path;
  machine->kind = "test machine";
  return {std::move(machine), {}};
}

// What a run reaches is always the machine chosen last: nothing while it is
// read or when it could not be opened.
TEST(MachineChooser, RunsReachOnlyTheMachineChosenLast) {
  std::vector<fs::path> opened;
  MachineChooser chooser({"a.reg", "b.reg"}, [&](const fs::path& path) {
    opened.push_back(path);
    if (path == "b.reg") return registry::MachineOpenResult{nullptr, "b.reg: broken"};
    return memoryMachine(path);
  });
  EXPECT_EQ(chooser.machine(), nullptr);
  EXPECT_EQ(chooser.whyNotReady(), "");  // nothing chosen yet: the start reads its own

  chooser.choose("a.reg");
  EXPECT_NE(chooser.whyNotReady().find("still being read"), std::string::npos);
  while (!chooser.collect()) std::this_thread::yield();
  EXPECT_FALSE(chooser.collect());  // once
  ASSERT_NE(chooser.machine(), nullptr);
  EXPECT_EQ(chooser.whyNotReady(), "");

  chooser.choose("b.reg");
  EXPECT_EQ(chooser.machine(), nullptr);  // let go at once
  EXPECT_TRUE(chooser.waitForReading());
  EXPECT_EQ(chooser.whyNotReady(), "b.reg: broken");
  EXPECT_EQ(chooser.takeLock(), "b.reg: broken");
  EXPECT_EQ(chooser.machine(), nullptr);

  chooser.choose("c.reg");  // picked in the file dialog: offered from now on
  chooser.choose("c.reg");  // again: the first reading is waited for and dropped
  chooser.waitForReading();
  EXPECT_EQ(chooser.choices(), (std::vector<fs::path>{"a.reg", "b.reg", "c.reg"}));
  EXPECT_EQ(chooser.chosenIndex(), 2u);
  EXPECT_EQ(chooser.machine()->path, "c.reg");
  EXPECT_EQ(opened, (std::vector<fs::path>{"a.reg", "b.reg", "c.reg", "c.reg"}));

  chooser.adopt(memoryMachine("a.reg").machine);  // opened elsewhere: no reading
  EXPECT_EQ(chooser.chosenIndex(), 0u);
  EXPECT_EQ(opened.size(), 4u);
}

}  // namespace
}  // namespace comsweep::app
