// Black-box checks against Wine itself: a prefix made by wineboot, family
// components imported with Wine's regedit, keys removed through the store,
// and then Wine's reg tool asked which keys exist. Skipped when Wine is not
// installed. One prefix is made per run and copied for each test.

#include <gmock/gmock.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "registry/store/Text.h"
#include "registry/regfile/RegFileTestText.h"
#include "registry/wine/WineServerCheck.h"
#include "registry/wine/WineTestSupport.h"
#include "support/RunBinary.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

namespace fs = std::filesystem;
using namespace registry;
using ::testing::AllOf;
using ::testing::HasSubstr;

const std::string kG = "-0000-4000-8000-00000000009A}";  // how the family's GUIDs end
// The keys the tests remove, then keys they keep.
const std::vector<std::string> kAsked = {
    "CLSID\\{F00D0001" + kG, "CLSID\\{F00D0002" + kG, "TypeLib\\{F00D0003" + kG, "Interface\\{F00D0004" + kG,
    "m9qGrid.Grid.1", "CLSID", "TypeLib", "Interface", "CLSID\\{F00D0005" + kG + "\\InprocServer32",
    "TypeLib\\{00020430-0000-0000-C000-000000000046}"};

// The components, as a program's installer would have registered them; the
// prefix's own classes are the keys a run must keep besides the calendar.
const char* const kImport = R"(Windows Registry Editor Version 5.00

[HKEY_CLASSES_ROOT\CLSID\{F00D0001-0000-4000-8000-00000000009A}]
@="m9q Grid Control"
[HKEY_CLASSES_ROOT\CLSID\{F00D0001-0000-4000-8000-00000000009A}\InprocServer32]
@="C:\\Program Files\\Sonnet\\m9qGrid.ocx"
"ThreadingModel"="Apartment"
[HKEY_CLASSES_ROOT\CLSID\{F00D0002-0000-4000-8000-00000000009A}\InprocServer32]
@="C:\\Program Files\\Peregrine\\QZ.dll"
[HKEY_CLASSES_ROOT\TypeLib\{F00D0003-0000-4000-8000-00000000009A}\1.0\0\win32]
@="C:\\windows\\system32\\m9qGrid.ocx"
[HKEY_CLASSES_ROOT\Interface\{F00D0004-0000-4000-8000-00000000009A}\TypeLib]
@="{F00D0003-0000-4000-8000-00000000009A}"
[HKEY_CLASSES_ROOT\m9qGrid.Grid.1\CLSID]
@="{F00D0001-0000-4000-8000-00000000009A}"
[HKEY_CLASSES_ROOT\CLSID\{F00D0005-0000-4000-8000-00000000009A}\InprocServer32]
@="C:\\windows\\system32\\calendar.ocx"
)";

// Runs a Wine program for `prefix` in `dir`; output goes to a file because
// a server started on the way inherits it and outlives the command.
// C.UTF-8: arguments with letters beyond ASCII reach Wine intact; the
// overrides: no Mono or Gecko prompts.
BinaryResult runWine(const fs::path& dir, const fs::path& prefix, const std::vector<std::string>& args) {
  auto quoted = [](const std::string& text) { return "'" + replaceAll(text, "'", "'\\''") + "'"; };
  std::string command = "cd " + quoted(dir.string()) + " && env -u DISPLAY -u WAYLAND_DISPLAY HOME=" +
                        quoted((dir / "home").string()) + " WINEPREFIX=" + quoted(prefix.string()) +
                        " WINEDEBUG=-all LC_ALL=C.UTF-8 WINEDLLOVERRIDES=mscoree,mshtml=";
  for (const std::string& arg : args) command += " " + quoted(arg);
  const int status = std::system((command + " >wine-output.txt 2>&1").c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(dir / "wine-output.txt"), ""};
}

class WineConformance : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (std::system("{ command -v wine && command -v wineboot && command -v wineserver; } >/dev/null 2>&1")) {
      s_skip = "Wine is not installed (wine, wineboot, wineserver)";
      return;
    }
    s_root = new TempDir;
    fs::create_directories(base().parent_path() / "home");
    BinaryResult boot = runWine(root(), base(), {"wineboot", "-i"});
    runWine(root(), base(), {"wineserver", "-w"});
    if (!fs::exists(base() / "system.reg")) {
      s_failure = "wineboot -i made no prefix (status " + std::to_string(boot.status) + "): " + boot.out;
      return;
    }
    writeFile(root() / "import.reg", encodeRegText(kImport, true, true));  // regedit's own format
    BinaryResult imported = runWine(root(), base(), {"wine", "regedit", "/S", "import.reg"});
    stopServer(base());
    if (readFile(base() / "system.reg").find("m9qGrid.Grid.1") == std::string::npos)
      s_failure = "wine regedit did not import the components: " + imported.out;
  }

  static void TearDownTestSuite() {
    // Debian's build keeps its server directories in a directory named in
    // the prefix; the copies share the base prefix's one.
    std::string name = s_root ? readFile(base() / "wineserver") : "";
    if (!name.empty() && name.find('/') == std::string::npos)
      for (const fs::path& tmp : WineServerCheck::defaultTempRoots()) fs::remove_all(tmp / name);
    delete s_root;
    s_root = nullptr;
  }

  void SetUp() override {
    if (!s_skip.empty()) GTEST_SKIP() << s_skip;
    ASSERT_TRUE(s_failure.empty()) << s_failure;
  }

  static fs::path root() { return s_root->path(); }
  static fs::path base() { return root() / "base"; }

  // A copy of the base prefix: registry files copied, the rest hard-linked.
  static fs::path copyPrefix(const std::string& name) {
    fs::path prefix = root() / name;
    using enum fs::copy_options;
    fs::copy(base(), prefix, recursive | copy_symlinks | create_hard_links);
    for (const char* file : {"system.reg", "user.reg", "userdef.reg"}) {
      fs::remove(prefix / file);
      fs::copy_file(base() / file, prefix / file);
    }
    return prefix;
  }

  // Per query, in order: '1' when Wine's reg tool answers it, '0' when it
  // finds no key, '?' when it said nothing. A query is the quoted arguments
  // of "reg query", or else a key below HKEY_CLASSES_ROOT.
  static std::string wineFinds(const fs::path& prefix, const std::vector<std::string>& keys) {
    std::string script = "@echo off\r\n", found;
    for (std::size_t i = 0; i < keys.size(); ++i)
      script += "reg query " + (keys[i][0] == '"' ? keys[i] : "\"HKCR\\" + keys[i] + "\"") + " >nul 2>&1\r\necho key " +
                std::to_string(i) + " %errorlevel%\r\n";
    writeFile(root() / "query.bat", script);
    BinaryResult out = runWine(root(), prefix, {"wine", "cmd", "/c", "query.bat"});
    stopServer(prefix);
    for (std::size_t i = 0; i < keys.size(); ++i) {
      std::string line = "key " + std::to_string(i) + " ";
      std::size_t at = out.out.find(line);
      found += at == std::string::npos ? '?' : out.out.compare(at + line.size(), 1, "0") ? '0' : '1';
    }
    return found;
  }

  // Imports the run's backup in the prefix's drive C with Wine's regedit and
  // stops the server; returns the backup's name, empty when there is none.
  static std::string restoreBackup(const fs::path& prefix) {
    const auto found = filesStarting(prefix / "drive_c", "9QReg-");
    const std::string backup = found.empty() ? "" : found.back().filename().string();
    if (!backup.empty()) {
      BinaryResult imported = runWine(root(), prefix, {"wine", "regedit", "/S", "C:\\" + backup});
      EXPECT_EQ(imported.status, 0) << "wine regedit did not import " << backup << ": " << imported.out;
    }
    stopServer(prefix);
    return backup;
  }

  // What `query` finds once the run's backup is imported, expecting
  // `expected`. Wine's tools once answered a restored prefix with nothing, on a loaded
  // machine, and no run here has shown it again: an answer that is not the
  // one expected is printed, and the import and the query are tried once
  // more. A backup Wine cannot read fails both times.
  template <typename Query, typename T>
  static T afterImport(const fs::path& prefix, Query query, const T& expected) {
    EXPECT_NE(restoreBackup(prefix), "") << "the run left no backup";
    T found = query();
    if (found == expected) return found;
    std::cerr << "after the first import Wine found " << ::testing::PrintToString(found) << "; importing again\n";
    restoreBackup(prefix);
    return query();
  }

  // Runs the program on the prefix and checks its exit status; the log it wrote.
  static std::string sweep(const fs::path& prefix, const std::vector<std::string>& args, int status) {
    BinaryResult run = runComsweep(args, {{{"COMSWEEP_MACHINE", prefix.string()}}});
    EXPECT_EQ(run.status, status) << run.err;
    return readFile(prefix / "drive_c" / "9QReg.log");
  }

  // Returns once the prefix's server has written the registry and ended.
  static void stopServer(const fs::path& prefix) { runWine(root(), prefix, {"wineserver", "-k"}); }

  static bool waitForServer(const fs::path& prefix, bool running) {
    for (int i = 0; i < 50; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(100)))
      if ((WineServerCheck(prefix).check().status == WineServerCheck::Status::Running) == running) return true;
    return false;
  }

  static inline TempDir* s_root = nullptr;
  static inline std::string s_skip;
  static inline std::string s_failure;
};

// Pairs of names that Unicode case folding merges but the registry keeps
// apart: each is its own key for Wine, so each must be listed, removed,
// backed up and restored on its own. (Which letters the registry folds is
// Text.UpcaseTableMatchesWinesNlsFile's, against Wine's own table.)
TEST_F(WineConformance, NamesTheRegistryKeepsApartAreRemovedAndRestoredEachOnItsOwn) {
  const std::vector<std::string> names = {
      "m9q.I", "m9q.\xC4\xB1",            // dotless i
      "m9q.\xCE\xA3", "m9q.\xCF\x82",     // final sigma
      "m9q.\xF0\x90\x90\x80", "m9q.\xF0\x90\x90\xA8",  // Deseret: never folded
  };
  fs::path prefix = copyPrefix("names");
  std::string text = "Windows Registry Editor Version 5.00\n";
  for (std::size_t i = 0; i < names.size(); ++i)
    text += "\n[HKEY_CLASSES_ROOT\\" + names[i] + "]\n@=\"value " + std::to_string(i) + "\"\n";
  writeFile(root() / "names.reg", encodeRegText(text, true, true));
  runWine(root(), prefix, {"wine", "regedit", "/S", "names.reg"});
  // Wine's reg tool names each key with its own value, or fails. Not found
  // is status 1 and Wine's sentence; any other failure is shown whole.
  auto values = [&] {
    std::vector<std::string> out;
    for (const std::string& name : names) {
      BinaryResult q = runWine(root(), prefix, {"wine", "reg", "query", "HKCR\\" + name, "/ve"});
      const std::size_t at = q.out.find("value ");
      if (q.status == 1 && q.out.find("Unable to find") != std::string::npos) out.push_back("missing");
      else if (q.status || at == std::string::npos) out.push_back("status " + std::to_string(q.status) + ": " + q.out);
      else out.push_back(q.out.substr(at, q.out.find_first_of("\r\n", at) - at));
    }
    stopServer(prefix);
    return out;
  };
  std::vector<std::string> expected;
  for (std::size_t i = 0; i < names.size(); ++i) expected.push_back("value " + std::to_string(i));
  ASSERT_EQ(values(), expected) << "Wine itself does not keep these names apart";

  const std::string log = sweep(prefix, {"/M9Q"}, 0);
  // The components imported for every prefix are listed too.
  EXPECT_THAT(log, HasSubstr("Number of deleted keys: " + std::to_string(names.size() + 4) + "\r\n"));
  EXPECT_EQ(values(), std::vector<std::string>(names.size(), "missing"));
  for (const std::string& name : names)
    EXPECT_NE(log.find(" --- HKEY_CLASSES_ROOT\\" + name + "\r\n"), std::string::npos) << name;
  // Each name comes back with its own value only if the backup holds each
  // key on its own, spelled as it was.
  EXPECT_EQ(afterImport(prefix, values, expected), expected);
}

TEST_F(WineConformance, ARunningServerIsRefusedAndTheFileLeftAlone) {
  fs::path prefix = copyPrefix("server");
  const std::string before = readFile(prefix / "system.reg");
  // Stops the prefix's server whatever happens to the test.
  std::shared_ptr<void> stopper(nullptr, [&](void*) { stopServer(prefix); });

  // Opened while no server runs, then a server starts before the save.
  MachineOpenResult early = openMachine(prefix);
  ASSERT_TRUE(early.machine) << early.failure.why;
  runWine(root(), prefix, {"wineserver", "-p"});
  ASSERT_TRUE(waitForServer(prefix, true));
  HandleTable api(*early.machine->store);
  ASSERT_EQ(deleteTree(api, "m9qGrid.Grid.1"), 0);
  EXPECT_THAT(outcome(api.commit()), HasSubstr("wineserver -w"));
  early.machine.reset();  // ends this run and its lock
  EXPECT_THAT(kindOf(prefix), AllOf(HasSubstr("wineserver is running"), HasSubstr("wineserver -w")));
  EXPECT_EQ(readFile(prefix / "system.reg"), before);

  // Killed outright, the server leaves its socket and lock file behind.
  runWine(root(), prefix, {"wineserver", "-k9"});
  ASSERT_TRUE(waitForServer(prefix, false));
  EXPECT_EQ(kindOf(prefix), "Wine prefix");
}

// A win64 prefix: 32-bit registrations go below Wow6432Node (but for
// TypeLib, which Wine 8 shares between the views), 64-bit ones to the
// classes root, per-user ones to user.reg. The
// run removes the family's keys of every view and file and only those, and
// Wine's regedit puts each back into its own view and file from the backup.
TEST_F(WineConformance, EveryViewAndFileIsCleanedAndRestoredInItsOwnPlace) {
  fs::path prefix = copyPrefix("views");
  const std::string user = "HKCU\\Software\\Classes\\", clsid = "HKCR\\CLSID\\{", iface = "HKCR\\Interface\\{";
  const std::string tlb = "\\TypeLib", r32 = "/reg:32", r64 = "/reg:64";
  // This prefix's 32-bit view holds no classes of its own, so these come
  // first there: the 32-bit pass examines its first subkey, unlike the native
  // view's scans.
  const struct { std::string key, view, value; bool removed; } made[] = {
      {clsid + "00000000" + kG, r32, "m9q first", true},
      {iface + "00000000" + kG + tlb, r32, "{F00D0013" + kG, true},
      {clsid + "F00D0011" + kG, r32, "m9q Test Control", true},
      {clsid + "F00D0011" + kG + "\\InprocServer32", r32, "C:\\windows\\m9qTest.ocx", true},
      {"HKCR\\m9qTest.Control", r32, "x", true},
      {"HKCR\\TypeLib\\{F00D0013" + kG + "\\1.0\\0\\win32", r32, "C:\\windows\\m9qTest.ocx", true},
      {iface + "F00D0014" + kG + tlb, r32, "{F00D0013" + kG, true},
      {"HKCR\\m9qTest64.Control", r64, "x", true}, {user + "m9qUser.Control", r64, "x", true},
      {user + "m9qBoth.Control", r64, "user's", true}, {"HKCR\\m9qBoth.Control", r64, "machine's", true},
      {clsid + "F00D0015" + kG, r32, "Calendar", false},
      {clsid + "F00D0015" + kG + "\\InprocServer32", r32, "C:\\windows\\calendar.ocx", false},
      {iface + "F00D0016" + kG + tlb, r32, "{00020430-0000-0000-C000-000000000046}", false},
      {"HKCR\\p9qTest.Control", r32, "x", false}, {user + "p9qUser.Control", r64, "x", false},
  };
  std::string script = "@echo off\r\n";
  for (const auto& r : made) script += "reg add \"" + r.key + "\" /ve /d \"" + r.value + "\" " + r.view + " /f\r\n";
  writeFile(root() / "add.bat", script);
  runWine(root(), prefix, {"wine", "cmd", "/c", "add.bat"});
  std::vector<std::string> queries;
  for (const auto& r : made) queries.push_back("\"" + r.key + "\" " + r.view);
  // The 32-bit keys are in the 32-bit view only.
  queries.push_back("\"HKCR\\m9qTest.Control\" /reg:64");
  const std::string all = std::string(std::size(made), '1') + "0";
  ASSERT_EQ(wineFinds(prefix, queries), all);

  // Listed: the four imported components' keys and nine of the keys made
  // here, the key in both files once. Which keys went is Wine's to say,
  // below; a key listed under a wrong name would not have gone.
  EXPECT_THAT(sweep(prefix, {"/M9Q"}, 0), HasSubstr("Number of deleted keys: 13\r\n"));
  std::string left;
  for (const auto& r : made) left += r.removed ? '0' : '1';
  EXPECT_EQ(wineFinds(prefix, queries), left + "0");
  // Of the imported components, the QZ class (the second) has no default
  // value of its own, so the scan passes it by.
  EXPECT_EQ(wineFinds(prefix, kAsked), "01000" + std::string(kAsked.size() - 5, '1'));

  EXPECT_EQ(afterImport(prefix, [&] { return wineFinds(prefix, queries); }, all), all);
  // Each copy of the key in both files is back in its own file, with its own value.
  EXPECT_THAT(readFile(prefix / "user.reg"), HasSubstr("@=\"user's\""));
  EXPECT_THAT(readFile(prefix / "system.reg"),
              AllOf(HasSubstr("@=\"machine's\""), HasSubstr("\"ThreadingModel\"=\"Apartment\"")));
}

}  // namespace
}  // namespace comsweep::test
