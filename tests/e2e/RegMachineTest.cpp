// The real executable on temporary copies of .reg machines: the resulting
// file and the log are checked the way a user would see them.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <set>
#include <regex>

#include "registry/regfile/RegFileTestText.h"
#include "support/RunBinary.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

// The machine's key blocks, and whether "/M9Q /W9Q+ /R9Q+" removes them.
const struct { const char *key, *values; bool removed; } kBlocks[] = {
    {".m9q", "@=\"m9qfile\"\n", true}, {"CLSID", "", false}, {"CLSID\\{0}", "@=\"m9q never examined\"\n", false},
    {"CLSID\\{C1}", "@=\"Sonnet Grid\"\n", true},
    {"CLSID\\{C1}\\InprocServer32", "@=\"C:\\\\Sonnet\\\\m9qGrid.ocx\"\n\"ThreadingModel\"=\"Apartment\"\n", true},
    {"CLSID\\{C1}\\TypeLib", "@=\"{T1}\"\n", true},
    {"CLSID\\{C3}", "@=\"Chart\"\n\"AppID\"=hex:01,02,03,\\\n  04,05\n", true},
    {"CLSID\\{C3}\\InprocServer32", "@=\"C:\\\\x\\\\GridChart.dll\"\n", true},
    {"Interface\\{0}\\TypeLib", "@=\"{T1}\"\n", false}, {"Interface\\{I1}", "@=\"IGrid\"\n", true},
    {"Interface\\{I1}\\TypeLib", "@=\"{T1}\"\n\"Version\"=\"1.0\"\n", true},
    {"m9qGrid.Grid.1", "@=\"Sonnet Grid\"\n", true}, {"m9qGrid.Grid.1\\CLSID", "@=\"{C1}\"\n", true},
    {"TypeLib\\{T1}\\1.0\\0\\win32", "@=\"C:\\\\Windows\\\\m9qGrid.ocx\"\n", true},
    {"TypeLib\\{T2}\\1.0\\0\\win32", "@=\"C:\\\\Windows\\\\stdole2.tlb\"\n", false},
    {"..\\HKEY_LOCAL_MACHINE\\SOFTWARE\\Other", "\"m9q\"=\"outside, never scanned\"\n", false},
};

std::string machineText(bool afterRemoval = false, bool utf16 = false) {
  std::string text = "Windows Registry Editor Version 5.00\n\n";
  for (const auto& [key, values, removed] : kBlocks) {
    const std::string_view k(key);
    if (!(afterRemoval && removed))
      text += (k.starts_with("..\\") ? "[" + std::string(k.substr(3)) : "[HKEY_CLASSES_ROOT\\" + std::string(k)) +
              "]\n" + values + "\n";
  }
  return utf16 ? encodeRegText(text, true, true) : text;
}

// The log of a run with the given boxes ticked that removed the listed keys
// (category, path, component).
std::string expectedLog(const std::set<std::string>& ticked, const std::vector<std::array<std::string, 3>>& removed) {
  std::string log = "Log file created by the Regitry Cleaner\r\n\r\nCreation Date: <date>\r\nActions (removed components): \r\n";
  for (auto [family, box] : {std::pair{"OmniSonnet", "m9q"}, {"OmniDial/Peregrine", "p9q"}, {"Omni +Macro", "t9q"},
                             {"Omni Cadence Scripts", "w9q"}, {"Harbor", "h9q"}, {"Summit", "r9q"}, {"Journeys", "n9q"}}) {
    log += "  " + std::string(family) + ":\r\n";
    for (const std::string& b : {std::string(box), box + std::string("Plus")})
      log += "     " + b + std::string(8 - b.size(), ' ') + "- " + (ticked.contains(b) ? "yes" : "no") + "\r\n";
  }
  const std::string n = std::to_string(removed.size()), rule = std::string(66, '-') + "\r\n", pad(22, ' ');
  log += "\r\nNumber of keys to remove: " + n + "\r\n\r\n" + rule + "\r\n";
  for (const auto& [category, path, component] : removed)
    log += " --- " + category + std::string(13 - category.size(), ' ') + "--- HKEY_CLASSES_ROOT\\" + path + "\r\n" + pad +
           "From component: " + component + "\r\n" + pad + "Result: OK\r\n";
  return log + rule + "\r\nNumber of deleted keys: " + n + "\r\nEnd of processing date: <date>\r\n";
}

class RegMachine : public ::testing::TestWithParam<bool> {
 protected:
  TempDir m_dir;
  std::filesystem::path m_machine = m_dir / "hkcr.reg";
};

TEST_P(RegMachine, RemovesTheChosenFamiliesAndLogsThemButLeavesAFileWithNothingFound) {
  writeFile(m_machine, machineText(false, GetParam()));
  struct stat before {}, after {};
  ::stat(m_machine.c_str(), &before);
  // COMSWEEP_TIMINGS=1 names the phases the benchmark reads, in order, then the count of registry calls.
  BinaryResult timed = runComsweep({"/H9Q", "/T9Q+"}, {.env = {{"COMSWEEP_TIMINGS", "1"}}, .machine = m_machine});
  EXPECT_EQ(std::to_string(timed.status) + std::regex_replace(timed.err, std::regex("timing (.*) \\S+\n|registry calls \\d+\n"), "$1|"),
            "0load|scan TypeLib|scan Interface|scan CLSID|scan ProgID|backup|removal|save|log|total||");
  ::stat(m_machine.c_str(), &after);
  EXPECT_EQ(before.st_ino, after.st_ino) << "not even rewritten";
  EXPECT_EQ(readFile(m_machine), machineText(false, GetParam()));
  EXPECT_EQ(maskDates(readFile(m_dir / "9QReg.log")), expectedLog({"h9q", "t9qPlus"}, {}));
  EXPECT_TRUE(filesStarting(m_dir.path(), "9QReg-").empty()) << "no backup without a removal";

  // An older, longer log is replaced, not written over in place.
  writeFile(m_dir / "9QReg.log", std::string(4000, 'x'));
  // Summit's boxes follow Journeys' in the selection; r9q+ has no fragments.
  BinaryResult r = runComsweep({"/M9Q", "/W9Q+", "/R9Q+"}, {.machine = m_machine});
  EXPECT_EQ(std::to_string(r.status) + r.out + r.err, "0");
  EXPECT_EQ(readFile(m_machine), machineText(true, GetParam()));
  EXPECT_EQ(maskDates(readFile(m_dir / "9QReg.log")), expectedLog({"m9q", "w9qPlus", "r9qPlus"},
                                 {{"[TYPELIB]", "TypeLib\\{T1}", "m9qGrid.ocx"}, {"[INTERFACE]", "Interface\\{I1}", "m9qGrid.ocx"},
                                  {"[CLSID]", "CLSID\\{C1}", "m9qGrid.ocx"}, {"[CLSID]", "CLSID\\{C3}", "GridChart.dll"},
                                  {"[PROGID]", ".m9q", ".m9q"}, {"[PROGID]", "m9qGrid.Grid.1", "m9qGrid.Grid.1"}}));
  // That the backup holds everything that went is Undo's: it puts it back.
  EXPECT_EQ(filesStarting(m_dir.path(), "9QReg-").size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Encodings, RegMachine, ::testing::Values(true, false),
                         [](const auto& p) { return p.param ? "Utf16Crlf" : "Utf8Lf"; });

TEST(RegMachineFailures, RefusedOrInformationalRunsTouchNothing) {
  TempDir dir;
  const std::string broken = machineText() + "[HKEY_CLASSES_ROOT\\x]\n@=hex:zz\n";
  writeFile(dir / "broken.reg", broken);
  writeFile(dir / "m.reg", machineText());
  const auto before = filesBelow(dir.path());
  // shown: a part of either output. Which words are refused is
  // CommandLine's to pin down; here, that a refusal touches nothing.
  const struct { const char* machine; std::vector<std::string> args; int status; std::string shown; } cases[] = {
      {"none.reg", {"/ALL"}, 2, (dir / "none.reg").string()},
      {"broken.reg", {"/ALL"}, 2, "broken.reg:" + std::to_string(std::count(broken.begin(), broken.end(), '\n'))},
      {"m.reg", {"/DISPLAY", "/M9Q"}, 0, ""}, {"m.reg", {"--help"}, 0, "/M9Q+"}, {"m.reg", {"--version"}, 0, "comsweep "},
      {"m.reg", {"/M9Q", "--force"}, 2, "comsweep --help"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0]);
    BinaryResult r = runComsweep(c.args, {.machine = dir / c.machine});
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE((r.out + r.err).find(c.shown), std::string::npos) << r.out << r.err;
  }
  EXPECT_EQ(filesBelow(dir.path()), before) << "both machines as they were, and nothing created";
}

// Under a file size limit, first the UTF-16 backup does not fit, then (with
// filler) the new machine file does not, while the log's header fits: the
// machine stays as it was. A log that cannot be created (a directory, then a
// link, at its place: neither is replaced) does not stop the removal.
TEST(RegMachineFailures, AFailedBackupOrSaveLeavesTheMachineAsItWas) {
  // filler: kept keys added; atLog: what stands at the log's place.
  const struct { int filler; long sizeLimit; std::string atLog; int status; std::string err;
                 std::vector<const char*> logLines; } cases[] = {
      {0, 1200, "", 2, "backup", {"*** ERROR: The backup of the keys could not be written ("}},
      {200, 4096, "", 2, "no key removed", {"*** ERROR: The registry could not be saved (", "Number of deleted keys: 0\r\n"}},
      {0, 0, "directory", 1, ": is a directory", {}}, {0, 0, "link", 1, ": is a symbolic link", {}},
  };
  for (const auto& [filler, sizeLimit, atLog, status, err, logLines] : cases) {
    SCOPED_TRACE(err);
    TempDir dir;
    std::string text = machineText();
    for (int i = 0; i < filler; ++i) text += "[HKEY_CLASSES_ROOT\\Filler" + std::to_string(i) + "]\n@=\"padding\"\n\n";
    writeFile(dir / "m.reg", text);
    writeFile(dir / "victim", "precious");
    if (atLog == "link") std::filesystem::create_symlink(dir / "victim", dir / "9QReg.log");
    if (atLog == "directory") std::filesystem::create_directory(dir / "9QReg.log");
    BinaryResult r = runComsweep({"/M9Q", "/W9Q+"}, {.fileSizeLimit = sizeLimit, .machine = dir / "m.reg"});
    EXPECT_EQ(r.status, status);
    const std::string logFailure = "comsweep: the log could not be written: " + (dir / "9QReg.log").string();
    EXPECT_NE(r.err.find((atLog.empty() ? "" : logFailure) + err), std::string::npos) << r.err;
    EXPECT_EQ(readFile(dir / "m.reg"), atLog.empty() ? text : machineText(true));
    for (const char* line : logLines) EXPECT_NE(readFile(dir / "9QReg.log").find(line), std::string::npos) << line;
    EXPECT_EQ(readFile(dir / "victim"), "precious");
    EXPECT_TRUE(filesStarting(dir.path(), ".").empty()) << "no temporary file is left";
    EXPECT_EQ(filesStarting(dir.path(), "9QReg-").size(), atLog.empty() ? 0u : 1u);
  }
}

}  // namespace
}  // namespace comsweep::test
