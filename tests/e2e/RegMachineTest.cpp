// The real executable on temporary copies of .reg machines: the resulting
// file and the log are checked the way a user would see them.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "registry/Text.h"
#include "support/MachineDump.h"
#include "support/RunBinary.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

struct Block {
  const char* text;  // a key block with its trailing blank line, LF line ends
  bool removedByM9qW9qPlus;
};

const Block kBlocks[] = {
    {"[HKEY_CLASSES_ROOT\\.m9q]\n@=\"m9qfile\"\n\n", true},
    {"[HKEY_CLASSES_ROOT\\CLSID]\n\n", false},
    {"[HKEY_CLASSES_ROOT\\CLSID\\{0}]\n@=\"m9q never examined\"\n\n", false},
    {"[HKEY_CLASSES_ROOT\\CLSID\\{C1}]\n@=\"Sonnet Grid\"\n\n", true},
    {"[HKEY_CLASSES_ROOT\\CLSID\\{C1}\\InprocServer32]\n@=\"C:\\\\Sonnet\\\\m9qGrid.ocx\"\n"
     "\"ThreadingModel\"=\"Apartment\"\n\n", true},
    {"[HKEY_CLASSES_ROOT\\CLSID\\{C1}\\TypeLib]\n@=\"{T1}\"\n\n", true},
    {"[HKEY_CLASSES_ROOT\\CLSID\\{C2}]\n@=\"Unrelated\"\n\n", false},
    {"[HKEY_CLASSES_ROOT\\CLSID\\{C2}\\InprocServer32]\n@=\"C:\\\\Windows\\\\other.dll\"\n\n", false},
    {"[HKEY_CLASSES_ROOT\\CLSID\\{C3}]\n@=\"Chart\"\n\"AppID\"=hex:01,02,03,\\\n  04,05\n\n", true},
    {"[HKEY_CLASSES_ROOT\\CLSID\\{C3}\\InprocServer32]\n@=\"C:\\\\x\\\\GridChart.dll\"\n\n", true},
    {"[HKEY_CLASSES_ROOT\\Interface\\{0}\\TypeLib]\n@=\"{T1}\"\n\n", false},
    {"[HKEY_CLASSES_ROOT\\Interface\\{I1}]\n@=\"IGrid\"\n\n", true},
    {"[HKEY_CLASSES_ROOT\\Interface\\{I1}\\TypeLib]\n@=\"{T1}\"\n\"Version\"=\"1.0\"\n\n", true},
    {"[HKEY_CLASSES_ROOT\\m9qGrid.Grid.1]\n@=\"Sonnet Grid\"\n\n", true},
    {"[HKEY_CLASSES_ROOT\\m9qGrid.Grid.1\\CLSID]\n@=\"{C1}\"\n\n", true},
    {"[HKEY_CLASSES_ROOT\\TypeLib\\{T1}\\1.0\\0\\win32]\n@=\"C:\\\\Windows\\\\m9qGrid.ocx\"\n\n", true},
    {"[HKEY_CLASSES_ROOT\\TypeLib\\{T2}\\1.0\\0\\win32]\n@=\"C:\\\\Windows\\\\stdole2.tlb\"\n\n", false},
    {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\"m9q\"=\"outside, never scanned\"\n\n", false},
};

std::string machineText(bool afterRemoval = false, bool utf16 = false) {
  std::string text = "Windows Registry Editor Version 5.00\n\n";
  for (const Block& b : kBlocks)
    if (!(afterRemoval && b.removedByM9qW9qPlus)) text += b.text;
  if (!utf16) return text;
  std::string crlf;
  for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return "\xFF\xFE" + registry::utf8ToUtf16le(crlf);
}

const std::string kRule = std::string(66, '-') + "\r\n";
const std::string kExpectedLog =
    "Log file created by the Regitry Cleaner\r\n\r\nCreation Date: <date>\r\nActions (removed components): \r\n"
    "  OmniSonnet:\r\n     m9q     - yes\r\n     m9qPlus - no\r\n"
    "  OmniDial/Peregrine:\r\n     p9q     - no\r\n     p9qPlus - no\r\n"
    "  Omni +Macro:\r\n     t9q     - no\r\n     t9qPlus - no\r\n"
    "  Omni Cadence Scripts:\r\n     w9q     - no\r\n     w9qPlus - yes\r\n"
    "  Harbor:\r\n     h9q     - no\r\n     h9qPlus - no\r\n"
    "  Summit:\r\n     r9q     - no\r\n     r9qPlus - yes\r\n"
    "  Journeys:\r\n     n9q     - no\r\n     n9qPlus - no\r\n"
    "\r\nNumber of keys to remove: 6\r\n\r\n" + kRule + "\r\n"
    " --- [TYPELIB]    --- HKEY_CLASSES_ROOT\\TypeLib\\{T1}\r\n"
    "                      From component: m9qGrid.ocx\r\n                      Result: OK\r\n"
    " --- [INTERFACE]  --- HKEY_CLASSES_ROOT\\Interface\\{I1}\r\n"
    "                      From component: m9qGrid.ocx\r\n                      Result: OK\r\n"
    " --- [CLSID]      --- HKEY_CLASSES_ROOT\\CLSID\\{C1}\r\n"
    "                      From component: m9qGrid.ocx\r\n                      Result: OK\r\n"
    " --- [CLSID]      --- HKEY_CLASSES_ROOT\\CLSID\\{C3}\r\n"
    "                      From component: GridChart.dll\r\n                      Result: OK\r\n"
    " --- [PROGID]     --- HKEY_CLASSES_ROOT\\.m9q\r\n"
    "                      From component: .m9q\r\n                      Result: OK\r\n"
    " --- [PROGID]     --- HKEY_CLASSES_ROOT\\m9qGrid.Grid.1\r\n"
    "                      From component: m9qGrid.Grid.1\r\n                      Result: OK\r\n" +
    kRule + "\r\nNumber of deleted keys: 6\r\nEnd of processing date: <date>\r\n";

// The files in `dir` whose names start with `prefix`.
std::vector<std::filesystem::path> filesStarting(const std::filesystem::path& dir, const std::string& prefix) {
  std::vector<std::filesystem::path> found;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().filename().string().rfind(prefix, 0) == 0) found.push_back(entry.path());
  return found;
}

BinaryResult runOn(const std::filesystem::path& machine, std::vector<std::string> args, long sizeLimit = 0) {
  return runComsweep(args, {{{"COMSWEEP_MACHINE", machine.string()}}, sizeLimit});
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
  EXPECT_EQ(runOn(m_machine, {"/H9Q", "/T9Q+"}).status, 0);
  ::stat(m_machine.c_str(), &after);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(readFile(m_machine), machineText(false, GetParam()));
  EXPECT_NE(readFile(m_dir / "9QReg.log").find("     h9q     - yes\r\n     h9qPlus - no\r\n  Summit:\r\n     r9q     - no"
                                               "\r\n     r9qPlus - no\r\n  Journeys:\r\n     n9q     - no\r\n     "
                                               "n9qPlus - no\r\n\r\nNumber of keys to remove: 0\r\n"),
            std::string::npos);
  EXPECT_TRUE(filesStarting(m_dir.path(), "9QReg-").empty()) << "no backup without a removal";

  // An older, longer log is replaced, not written over in place.
  writeFile(m_dir / "9QReg.log", std::string(4000, 'x'));
  // Summit's boxes follow Journeys' in the selection; r9q+ has no fragments.
  BinaryResult r = runOn(m_machine, {"/M9Q", "/W9Q+", "/R9Q+"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out + r.err, "");
  EXPECT_EQ(readFile(m_machine), machineText(true, GetParam()));
  EXPECT_EQ(maskDates(readFile(m_dir / "9QReg.log")), kExpectedLog);
  // The backup holds everything that went: the rest of the file and the
  // backup together are the machine as it was.
  auto backups = filesStarting(m_dir.path(), "9QReg-");
  ASSERT_EQ(backups.size(), 1u);
  std::string undo = plainText(readFile(backups[0]));
  ASSERT_EQ(undo.rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
  writeFile(m_dir / "original.reg", machineText(false, GetParam()));
  writeFile(m_dir / "restored.reg", plainText(readFile(m_machine)) + undo.substr(undo.find('\n') + 1));
  EXPECT_EQ(dump(m_dir / "restored.reg"), dump(m_dir / "original.reg"));
  EXPECT_NE(undo.find("\"ThreadingModel\"=\"Apartment\""), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Encodings, RegMachine, ::testing::Values(true, false),
                         [](const auto& p) { return p.param ? "Utf16Crlf" : "Utf8Lf"; });

TEST(RegMachineFailures, RefusedOrInformationalRunsTouchNothing) {
  TempDir dir;
  const std::string broken = machineText() + "[HKEY_CLASSES_ROOT\\x]\n@=hex:zz\n";
  writeFile(dir / "broken.reg", broken);
  writeFile(dir / "m.reg", machineText());
  const struct {
    const char* machine;
    std::vector<std::string> args;
    int status;
    std::string shown;  // on either output
  } cases[] = {
      {"none.reg", {"/ALL"}, 2, (dir / "none.reg").string()},
      {"broken.reg", {"/ALL"}, 2, "broken.reg:" + std::to_string(std::count(broken.begin(), broken.end(), '\n'))},
      {"m.reg", {"/DISPLAY", "/M9Q"}, 0, ""},
      {"m.reg", {"--help"}, 0, "/M9Q+"},
      {"m.reg", {"--version"}, 0, "comsweep "},
  };
  for (const auto& c : cases) {
    BinaryResult r = runOn(dir / c.machine, c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0];
    EXPECT_NE((r.out + r.err).find(c.shown), std::string::npos) << r.out << r.err;
  }
  EXPECT_EQ(readFile(dir / "broken.reg"), broken);
  EXPECT_EQ(readFile(dir / "m.reg"), machineText());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2) << "nothing is created";
}

TEST(RegMachineFailures, ALogThatCannotBeCreatedDoesNotStopTheRemovalButIsReported) {
  // A directory, then a link, at the log's place: neither is replaced.
  for (bool link : {false, true}) {
    TempDir dir;
    writeFile(dir / "m.reg", machineText());
    writeFile(dir / "victim", "precious");
    if (link) std::filesystem::create_symlink(dir / "victim", dir / "9QReg.log");
    if (!link) std::filesystem::create_directory(dir / "9QReg.log");
    BinaryResult r = runOn(dir / "m.reg", {"/M9Q", "/W9Q+"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("comsweep: the log could not be written: " + (dir / "9QReg.log").string() +
                         (link ? ": is a symbolic link" : ": is a directory")), std::string::npos) << r.err;
    EXPECT_EQ(readFile(dir / "m.reg"), machineText(true));
    EXPECT_EQ(readFile(dir / "victim"), "precious");
    EXPECT_TRUE(filesStarting(dir.path(), ".").empty()) << "no temporary file is left beside it";
  }
}

TEST(RegMachineFailures, AFailedBackupOrSaveLeavesTheMachineAsItWas) {
  // Under a file size limit: first the UTF-16 backup does not fit, then (with
  // filler) the new machine file does not, while the log's header fits.
  const std::tuple<int, long, const char*, std::vector<const char*>> cases[] = {
      {0, 1200, "backup", {"*** ERROR: The backup of the keys could not be written ("}},
      {200, 4096, "no key removed", {"*** ERROR: The registry could not be saved (", "Number of deleted keys: 0\r\n"}},
  };
  for (const auto& [filler, sizeLimit, err, logLines] : cases) {
    SCOPED_TRACE(err);
    TempDir dir;
    std::string text = machineText();
    for (int i = 0; i < filler; ++i) text += "[HKEY_CLASSES_ROOT\\Filler" + std::to_string(i) + "]\n@=\"padding\"\n\n";
    writeFile(dir / "m.reg", text);
    BinaryResult r = runOn(dir / "m.reg", {"/M9Q"}, sizeLimit);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(err), std::string::npos) << r.err;
    EXPECT_EQ(readFile(dir / "m.reg"), text);
    for (const char* line : logLines) EXPECT_NE(readFile(dir / "9QReg.log").find(line), std::string::npos) << line;
    EXPECT_TRUE(filesStarting(dir.path(), ".").empty() && filesStarting(dir.path(), "9QReg-").empty());
  }
}

}  // namespace
}  // namespace comsweep::test
