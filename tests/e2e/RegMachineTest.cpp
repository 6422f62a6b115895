// The real executable on temporary copies of .reg machines: the resulting
// file and the log are checked the way a user would see them.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "registry/Machine.h"
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
    {"[HKEY_CLASSES_ROOT\\CLSID\\{00000000-0000-0000-0000-000000000000}]\n@=\"m9q never examined\"\n\n", false},
    {"[HKEY_CLASSES_ROOT\\CLSID\\{11111111-0000-0000-0000-000000000001}]\n@=\"Sonnet Grid\"\n\n", true},
    {"[HKEY_CLASSES_ROOT\\CLSID\\{11111111-0000-0000-0000-000000000001}\\InprocServer32]\n"
     "@=\"C:\\\\Program Files\\\\Sonnet\\\\m9qGrid.ocx\"\n\"ThreadingModel\"=\"Apartment\"\n\n", true},
    {"[HKEY_CLASSES_ROOT\\CLSID\\{11111111-0000-0000-0000-000000000001}\\TypeLib]\n"
     "@=\"{22222222-0000-0000-0000-000000000001}\"\n\n", true},
    {"[HKEY_CLASSES_ROOT\\CLSID\\{11111111-0000-0000-0000-000000000002}]\n@=\"Unrelated\"\n\n", false},
    {"[HKEY_CLASSES_ROOT\\CLSID\\{11111111-0000-0000-0000-000000000002}\\InprocServer32]\n"
     "@=\"C:\\\\Windows\\\\other.dll\"\n\n", false},
    {"[HKEY_CLASSES_ROOT\\CLSID\\{11111111-0000-0000-0000-000000000003}]\n@=\"Chart\"\n"
     "\"AppID\"=hex:01,02,03,\\\n  04,05\n\n", true},
    {"[HKEY_CLASSES_ROOT\\CLSID\\{11111111-0000-0000-0000-000000000003}\\InprocServer32]\n"
     "@=\"C:\\\\x\\\\GridChart.dll\"\n\n", true},
    {"[HKEY_CLASSES_ROOT\\Interface\\{00000000-0000-0000-0000-000000000000}\\TypeLib]\n"
     "@=\"{22222222-0000-0000-0000-000000000001}\"\n\n", false},
    {"[HKEY_CLASSES_ROOT\\Interface\\{33333333-0000-0000-0000-000000000001}]\n@=\"IGrid\"\n\n", true},
    {"[HKEY_CLASSES_ROOT\\Interface\\{33333333-0000-0000-0000-000000000001}\\TypeLib]\n"
     "@=\"{22222222-0000-0000-0000-000000000001}\"\n\"Version\"=\"1.0\"\n\n", true},
    {"[HKEY_CLASSES_ROOT\\m9qGrid.Grid.1]\n@=\"Sonnet Grid\"\n\n", true},
    {"[HKEY_CLASSES_ROOT\\m9qGrid.Grid.1\\CLSID]\n@=\"{11111111-0000-0000-0000-000000000001}\"\n\n", true},
    {"[HKEY_CLASSES_ROOT\\TypeLib\\{22222222-0000-0000-0000-000000000001}\\1.0\\0\\win32]\n"
     "@=\"C:\\\\Windows\\\\System32\\\\m9qGrid.ocx\"\n\n", true},
    {"[HKEY_CLASSES_ROOT\\TypeLib\\{22222222-0000-0000-0000-000000000002}\\1.0\\0\\win32]\n"
     "@=\"C:\\\\Windows\\\\System32\\\\stdole2.tlb\"\n\n", false},
    {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\"m9q\"=\"outside, never scanned\"\n\n", false},
};

enum class Encoding { Utf16Crlf, Utf8Lf };

std::string encode(const std::string& lf, Encoding encoding) {
  if (encoding == Encoding::Utf8Lf) return lf;
  std::string crlf;
  for (char c : lf) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  return "\xFF\xFE" + registry::utf8ToUtf16le(crlf);
}

std::string machineText(bool afterRemoval) {
  std::string text = "Windows Registry Editor Version 5.00\n\n";
  for (const Block& b : kBlocks)
    if (!(afterRemoval && b.removedByM9qW9qPlus)) text += b.text;
  return text;
}

const char* kExpectedLog =
    "Log file created by the Regitry Cleaner\r\n"
    "\r\n"
    "Creation Date: <date>\r\n"
    "Actions (removed components): \r\n"
    "  OmniSonnet:\r\n"
    "     m9q     - yes\r\n"
    "     m9qPlus - no\r\n"
    "  OmniDial/Peregrine:\r\n"
    "     p9q     - no\r\n"
    "     p9qPlus - no\r\n"
    "  Omni +Macro:\r\n"
    "     t9q     - no\r\n"
    "     t9qPlus - no\r\n"
    "  Omni Cadence Scripts:\r\n"
    "     w9q     - no\r\n"
    "     w9qPlus - yes\r\n"
    "  Harbor:\r\n"
    "     h9q     - no\r\n"
    "     h9qPlus - no\r\n"
    "  Summit:\r\n"
    "     r9q     - no\r\n"
    "     r9qPlus - yes\r\n"
    "  Journeys:\r\n"
    "     n9q     - no\r\n"
    "     n9qPlus - no\r\n"
    "\r\n"
    "Number of keys to remove: 6\r\n"
    "\r\n"
    "------------------------------------------------------------------\r\n"
    "\r\n"
    " --- [TYPELIB]    --- HKEY_CLASSES_ROOT\\TypeLib\\{22222222-0000-0000-0000-000000000001}\r\n"
    "                      From component: m9qGrid.ocx\r\n"
    "                      Result: OK\r\n"
    " --- [INTERFACE]  --- HKEY_CLASSES_ROOT\\Interface\\{33333333-0000-0000-0000-000000000001}\r\n"
    "                      From component: m9qGrid.ocx\r\n"
    "                      Result: OK\r\n"
    " --- [CLSID]      --- HKEY_CLASSES_ROOT\\CLSID\\{11111111-0000-0000-0000-000000000001}\r\n"
    "                      From component: m9qGrid.ocx\r\n"
    "                      Result: OK\r\n"
    " --- [CLSID]      --- HKEY_CLASSES_ROOT\\CLSID\\{11111111-0000-0000-0000-000000000003}\r\n"
    "                      From component: GridChart.dll\r\n"
    "                      Result: OK\r\n"
    " --- [PROGID]     --- HKEY_CLASSES_ROOT\\.m9q\r\n"
    "                      From component: .m9q\r\n"
    "                      Result: OK\r\n"
    " --- [PROGID]     --- HKEY_CLASSES_ROOT\\m9qGrid.Grid.1\r\n"
    "                      From component: m9qGrid.Grid.1\r\n"
    "                      Result: OK\r\n"
    "------------------------------------------------------------------\r\n"
    "\r\n"
    "Number of deleted keys: 6\r\n"
    "End of processing date: <date>\r\n";

class RegMachine : public ::testing::TestWithParam<Encoding> {
 protected:
  std::filesystem::path machine() const { return m_dir / "hkcr.reg"; }
  BinaryResult run(std::vector<std::string> args, long fileSizeLimit = 0) {
    return runComsweep(args, {{{"COMSWEEP_MACHINE", machine().string()}}, fileSizeLimit});
  }
  TempDir m_dir;
};

TEST_P(RegMachine, RemovesTheChosenFamiliesAndLogsThem) {
  writeFile(machine(), encode(machineText(false), GetParam()));
  // An older, longer log is replaced, not written over in place.
  writeFile(m_dir / "9QReg.log", std::string(4000, 'x'));
  // Summit's boxes follow Journeys' in the selection; r9q+ has no fragments.
  BinaryResult r = run({"/M9Q", "/W9Q+", "/R9Q+"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(readFile(machine()), encode(machineText(true), GetParam()));
  EXPECT_EQ(maskDates(readFile(m_dir / "9QReg.log")), kExpectedLog);

  // The backup holds everything that went: the rest of the file and the
  // backup together are the machine as it was.
  std::vector<std::filesystem::path> backups;
  for (const auto& entry : std::filesystem::directory_iterator(m_dir.path()))
    if (entry.path().filename().string().rfind("9QReg-", 0) == 0) backups.push_back(entry.path());
  ASSERT_EQ(backups.size(), 1u);
  std::string undo = plainText(readFile(backups[0]));
  ASSERT_EQ(undo.rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
  writeFile(m_dir / "original.reg", encode(machineText(false), GetParam()));
  writeFile(m_dir / "restored.reg", plainText(readFile(machine())) + undo.substr(undo.find('\n') + 1));
  EXPECT_EQ(dump(m_dir / "restored.reg"), dump(m_dir / "original.reg"));
  EXPECT_NE(undo.find("\"ThreadingModel\"=\"Apartment\""), std::string::npos);
}

TEST_P(RegMachine, NothingFoundLeavesTheFileUntouched) {
  std::string original = encode(machineText(false), GetParam());
  writeFile(machine(), original);
  struct stat before {};
  ::stat(machine().c_str(), &before);
  BinaryResult r = run({"/H9Q", "/T9Q+"});
  EXPECT_EQ(r.status, 0) << r.err;
  struct stat after {};
  ::stat(machine().c_str(), &after);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(readFile(machine()), original);
  std::string log = readFile(m_dir / "9QReg.log");
  EXPECT_NE(log.find("Number of keys to remove: 0\r\n"), std::string::npos);
  EXPECT_NE(log.find("     h9q     - yes\r\n     h9qPlus - no"), std::string::npos);
  for (const auto& entry : std::filesystem::directory_iterator(m_dir.path()))
    EXPECT_NE(entry.path().filename().string().rfind("9QReg-", 0), 0u) << "no backup without a removal";
}

INSTANTIATE_TEST_SUITE_P(Encodings, RegMachine,
                         ::testing::Values(Encoding::Utf16Crlf, Encoding::Utf8Lf));

class RegMachineFailures : public ::testing::Test {
 protected:
  TempDir m_dir;
};

TEST_F(RegMachineFailures, AMissingOrBrokenMachineIsRefusedBeforeAnything) {
  BinaryResult missing = runComsweep({"/ALL"}, {{{"COMSWEEP_MACHINE", (m_dir / "none.reg").string()}}});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find((m_dir / "none.reg").string()), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_empty(m_dir.path()));

  std::string broken = "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\.m9q]\n"
                       "@=\"m9qfile\"\n\n[HKEY_CLASSES_ROOT\\x]\n@=hex:zz\n";
  writeFile(m_dir / "broken.reg", broken);
  BinaryResult bad = runComsweep({"/ALL"}, {{{"COMSWEEP_MACHINE", (m_dir / "broken.reg").string()}}});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("broken.reg:7"), std::string::npos) << bad.err;
  EXPECT_EQ(readFile(m_dir / "broken.reg"), broken);
  EXPECT_FALSE(std::filesystem::exists(m_dir / "9QReg.log"));
}

TEST_F(RegMachineFailures, UsageVersionAndDisplayTouchNothing) {
  BinaryResult help = runComsweep({"--help"}, {});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("/M9Q+"), std::string::npos);
  BinaryResult version = runComsweep({"--version"}, {});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("comsweep ", 0), 0u);
  std::string text = machineText(false);
  writeFile(m_dir / "m.reg", text);
  BinaryResult display = runComsweep({"/DISPLAY", "/M9Q"}, {{{"COMSWEEP_MACHINE", (m_dir / "m.reg").string()}}});
  EXPECT_EQ(display.status, 0);
  EXPECT_EQ(readFile(m_dir / "m.reg"), text);
  EXPECT_FALSE(std::filesystem::exists(m_dir / "9QReg.log"));
}

TEST_F(RegMachineFailures, ALogThatCannotBeCreatedDoesNotStopTheRemovalButIsReported) {
  // A directory, then a link, at the log's place: neither is replaced.
  for (bool link : {false, true}) {
    const std::filesystem::path dir = m_dir / (link ? "link" : "directory");
    std::filesystem::create_directories(dir);
    writeFile(dir / "m.reg", machineText(false));
    if (link) {
      writeFile(dir / "victim", "precious");
      std::filesystem::create_symlink(dir / "victim", dir / "9QReg.log");
    } else {
      std::filesystem::create_directory(dir / "9QReg.log");
    }
    BinaryResult r = runComsweep({"/M9Q", "/W9Q+"}, {{{"COMSWEEP_MACHINE", (dir / "m.reg").string()}}});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("comsweep: the log could not be written: " + (dir / "9QReg.log").string() +
                         (link ? ": is a symbolic link" : ": is a directory")),
              std::string::npos)
        << r.err;
    EXPECT_EQ(readFile(dir / "m.reg"), machineText(true));
    if (link) EXPECT_EQ(readFile(dir / "victim"), "precious");
    // No temporary file is left beside it.
    for (const auto& entry : std::filesystem::directory_iterator(dir))
      EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
  }
}

TEST_F(RegMachineFailures, AFailedBackupOrSaveLeavesTheMachineAsItWas) {
  // Under a file size limit: first the UTF-16 backup does not fit, then (with
  // filler) the new machine file does not, while the log's header fits.
  struct Case {
    int filler;
    long sizeLimit;
    const char* err;
    std::vector<const char*> logLines;
  };
  const Case cases[] = {
      {0, 1500, "backup", {"*** ERROR: The backup of the keys could not be written ("}},
      {200, 4096, "no key removed",
       {"*** ERROR: The registry could not be saved (", "Number of deleted keys: 0\r\n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    TempDir dir;
    std::string text = machineText(false);
    for (int i = 0; i < c.filler; ++i)
      text += "[HKEY_CLASSES_ROOT\\Filler" + std::to_string(i) + "]\n@=\"padding padding padding\"\n\n";
    writeFile(dir / "m.reg", text);
    BinaryResult r = runComsweep({"/M9Q"}, {{{"COMSWEEP_MACHINE", (dir / "m.reg").string()}}, c.sizeLimit});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    EXPECT_EQ(readFile(dir / "m.reg"), text);
    std::string log = readFile(dir / "9QReg.log");
    for (const char* line : c.logLines) EXPECT_NE(log.find(line), std::string::npos) << log;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      EXPECT_EQ(entry.path().filename().string().find(".comsweep-"), std::string::npos);
      EXPECT_NE(entry.path().filename().string().rfind("9QReg-", 0), 0u);
    }
  }
}

}  // namespace
}  // namespace comsweep::test
