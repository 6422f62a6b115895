// The real program removes every family's keys (/ALL), then --undo puts
// them back: the machine's files must be as they were, block for block.

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "e2e/FamilyMachine.h"
#include "registry/regfile/RegFileTestText.h"
#include "support/MachineDump.h"
#include "support/RunBinary.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

namespace fs = std::filesystem;

// Wine's file with the save times of its key lines masked: a key put back
// is saved now.
std::string maskTimes(const std::string& text) {
  return std::regex_replace(text, std::regex("\\] [0-9]+\n#time=[0-9a-f]+\n"), "] T\n#time=T\n");
}

// Every kind of value, in Wine's spelling: empty default, odd types, text
// beyond ASCII and beyond the BMP (escaped as Wine escapes it), long hex.
const char* const kWineValues =
    "@=\"\"\n"
    "\"Bin\"=hex:00,ff\n"
    "\"Dword\"=dword:0000002a\n"
    "\"EmptyBin\"=hex:\n"
    "\"EmptySz\"=hex(1):\n"
    "\"Exp\"=str(2):\"%SystemRoot%\\\\x.dll\"\n"
    "\"Long\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\n"
    "  16,17,18,19,1a,1b,1c,1d,1e,1f\n"
    "\"Multi\"=str(7):\"a\\0b\\0\"\n"
    "\"None\"=hex(0):\n"
    "\"Odd\"=hex(2a):01,02\n"
    "\"Qword\"=hex(b):01,00,00,00,00,00,00,00\n"
    "\"\\xdcmlaut \\x263a\"=\"\\x20ac \\xd83d\\xde00 \\\"q\\\"\"\n";

std::string wineBlock(const std::string& path, const std::string& values) {
  return "\n[Software\\\\Classes\\\\" + path + "] 1700000000\n#time=1d9a1b2c3d4e5f6\n" + values;
}
// A key outside the classes, in both files.
const std::string kWineKeep = "\n[Software\\\\Wine] 1700000000\n#time=1d9a1b2c3d4e5f6\n\"Keep\"=\"x\"\n";

// A prefix with the machine's classes, the 32-bit view and the user's
// classes; the user's file holds no other classes, so after the run it
// holds none at all.
fs::path makePrefix(const fs::path& dir) {
  const fs::path prefix = dir / "prefix";
  fs::create_directories(prefix / "drive_c");
  writeFile(prefix / "system.reg",
            "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n" +
                wineBlock("m9q.Types", kWineValues) + wineBlock("m9q.Types\\\\CLSID", "@=\"{0}\"\n") +
                // Wine sorts lower-cased: "_" before the letters.
                wineBlock("m9q_U", "@=\"u\"\n") + wineBlock("m9qA", "@=\"a\"\n") + wineBlock("Other", "@=\"stays\"\n") +
                wineBlock("Wow6432Node\\\\m9q.Wow", "@=\"wow\"\n\"x\"=dword:00000001\n") +
                wineBlock("Wow6432Node\\\\m9q.Wow\\\\CLSID", "@=\"{0}\"\n") + kWineKeep);
  writeFile(prefix / "user.reg",
            "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n" +
                wineBlock("m9q.User", "@=\"user's\"\n") + wineBlock("m9q.User\\\\CLSID", "@=\"{0}\"\n") +
                wineBlock("m9q.User\\\\CLSID\\\\Empty", "") + kWineKeep);
  return prefix;
}

// The header and the blocks of a .reg file as text without the line ends
// around them, sorted: an undo appends the keys it puts back.
std::vector<std::string> sortedBlocks(const std::string& bytes) {
  const std::string text = plainText(bytes);
  const std::regex gap("\n+(?=\\[|$)");
  std::vector<std::string> blocks(std::sregex_token_iterator(text.begin(), text.end(), gap, -1), {});
  std::sort(blocks.begin(), blocks.end());
  return blocks;
}

const char* const kRegText =
    "Windows Registry Editor Version 5.00\n"
    "\n[HKEY_CLASSES_ROOT\\m9q.Types]\n"
    "@=\"\"\n"
    "\"Bin\"=hex:00,ff\n"
    "\"Dword\"=dword:0000002a\n"
    "\"EmptySz\"=hex(1):\n"
    "\"Exp\"=hex(2):25,00,00,00\n"
    "\"Long\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\n"
    "  16,17,18,19,1a,1b,1c,1d,1e,1f\n"
    "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"
    "\"None\"=hex(0):\n"
    "\"Odd\"=hex(2a):01,02\n"
    "\"\xC3\x9Cmlaut \xE2\x98\xBA\"=\"\xE2\x82\xAC \xF0\x9F\x98\x80 \\\"q\\\"\"\n"
    "\n[HKEY_CLASSES_ROOT\\m9q.Types\\CLSID]\n@=\"{0}\"\n"
    "\n[HKEY_CLASSES_ROOT\\m9q.Types\\CLSID\\Bare]\n"
    "\n[HKEY_CLASSES_ROOT\\Other]\n@=\"stays\"\n"
    "\n[HKEY_CURRENT_USER\\Software\\Classes\\m9q.User]\n@=\"user's\"\n"
    "\n[HKEY_CURRENT_USER\\Software\\Classes\\m9q.User\\CLSID]\n@=\"{0}\"\n";

// A prefix cleaned of every family (/ALL). Undos that must not or cannot put
// anything back write nothing, not even a log: a listing; one with a backup
// of another machine, or without one; one whose save cannot be written (no
// file may grow past what the removal left). (A read-only machine is refused
// as it opens, for a run and an undo alike:
// SharedMachine.BusyOrOddMachinesAreRefusedByNameAndLeftAsTheyWere.) Then
// --undo puts back every key exactly into the file and the view it came from.
TEST(Undo, PutsBackAWinePrefixExactlyWhereTheKeysCameFromAndRefusesWhatItCannotDo) {
  TempDir dir;
  const fs::path prefix = makePrefix(dir.path()), other = dir / "other" / "other.reg", file = dir / "hkcr.reg";
  const std::string system = readFile(prefix / "system.reg"), user = readFile(prefix / "user.reg");
  fs::create_directories(dir / "other");
  for (const fs::path& reg : {other, file}) writeFile(reg, encodeRegText(kRegText, true, true));
  for (const fs::path& machine : {prefix, other}) ASSERT_EQ(runComsweep({"/ALL"}, {.machine = machine}).status, 0);
  const fs::path backup = filesStarting(prefix / "drive_c", "9QReg-").at(0);
  const fs::path regBackup = filesStarting(dir / "other", "9QReg-").at(0);
  const auto removed = filesBelow(dir.path());
  // shown: part of standard output for a listing, else of standard error.
  const struct { fs::path machine; std::vector<std::string> args; int status; std::string shown;
                 long sizeLimit = 0; } cases[] = {
      {prefix, {"--undo", "--list"}, 0, "would put back: HKEY_CURRENT_USER\\Software\\Classes\\m9q.User\\CLSID\\Empty\n"},
      // A .reg file's roots are not the Wine prefix's.
      {prefix, {"--undo", regBackup.string()}, 2, "lies outside this machine's classes"},
      // The file reads the prefix's machine classes as its own, but the
      // parent of a removed key is missing.
      {file, {"--undo", backup.string()}, 2, "whose parent key does not exist"},
      {file, {"--undo"}, 2, "no backup (9QReg-*.reg)"},
      {file, {"--undo", "a", "b"}, 2, "one backup file"},
      {other, {"--undo"}, 2, "nothing put back: ", long(removed.at(other.string()).size())},
      {prefix, {"--undo"}, 2, "nothing put back: ", long(removed.at((prefix / "system.reg").string()).size())},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.machine.filename().string() + " " + c.shown);
    BinaryResult r = runComsweep(c.args, {.fileSizeLimit = c.sizeLimit, .machine = c.machine});
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE((c.status ? r.err : r.out).find(c.shown), std::string::npos) << r.out << r.err;
  }
  EXPECT_EQ(filesBelow(dir.path()), removed);

  BinaryResult undo = runComsweep({"--undo"}, {.machine = prefix});
  EXPECT_EQ(undo.status, 0) << undo.err;
  // The run kept the 32-bit view's key, left without subkeys, by a bare
  // block of its own, which stays.
  const std::string bare = "\n[Software\\\\Classes\\\\Wow6432Node] 1700000000\n";
  std::string now = readFile(prefix / "system.reg");
  ASSERT_NE(now.find(bare), std::string::npos);
  EXPECT_EQ(maskTimes(now.erase(now.find(bare), bare.size())), maskTimes(system));
  EXPECT_EQ(maskTimes(readFile(prefix / "user.reg")), maskTimes(user));
  const std::string log = readFile(prefix / "drive_c" / "9QUndo.log");
  EXPECT_NE(log.find("put back: HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Wow6432Node\\m9q.Wow\\CLSID\r\n"),
            std::string::npos) << log;
  EXPECT_NE(log.find("\r\n9 keys put back, 0 already there, 0 left\r\n"), std::string::npos) << log;
  // (A second undo that finds everything there and writes nothing: PutsBackHives...)
}

// A .reg machine cleaned of every family, then put back: the file keeps its
// encoding, and its blocks come back as they were (an undo appends them).
TEST(Undo, PutsBackEveryBlockOfARegFileAsItWas) {
  const struct { const char* name; std::string original; bool sameBlocks = true; } cases[] = {
      {"UTF-16", encodeRegText(kRegText, true, true)},
      {"8-bit", encodeRegText(kRegText, false, true)},
      // String data in hex is 8-bit text here, and so it is in the blocks put back.
      {"REGEDIT4", encodeRegText("REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Other]\n@=\"stays\"\n\n[HKEY_CLASSES_ROOT\\m9q.Four]\n"
                                 "@=\"x\"\n\"Exp\"=hex(2):25,41,25,00\n\"Multi\"=hex(7):61,00,62,00,00\n\"Bin\"=hex:01\n",
                                 false, true)},
      // Once every key is removed the file no longer names its classes' root.
      {"classes below the machine", encodeRegText("Windows Registry Editor Version 5.00\n\n"
                                                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\m9q.Only]\n@=\"x\"\n", true, true), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const fs::path file = dir / "m.reg";
    writeFile(file, c.original);
    ASSERT_EQ(runComsweep({"/ALL"}, {.machine = file}).status, 0);
    ASSERT_EQ(plainText(readFile(file)).find("m9q"), std::string::npos);
    BinaryResult undo = runComsweep({"--undo"}, {.machine = file});
    EXPECT_EQ(undo.status, 0) << undo.err;
    EXPECT_EQ(readFile(file).substr(0, 4), c.original.substr(0, 4)) << "the file's own encoding";
    if (c.sameBlocks) {
      EXPECT_EQ(sortedBlocks(readFile(file)), sortedBlocks(c.original));
    }
    writeFile(dir / "before.reg", c.original);
    EXPECT_EQ(dump(file), dump(dir / "before.reg")) << "as the reader gives them";
  }
}

// A key installed again since the run, with other values, is left with what
// lies below it; the user's key, back exactly as it was, is already there.
// With --json, standard output holds one document that fits its schema
// (python3's jsonschema judges it), for a listing, the undo and an undo
// that could not start.
TEST(Undo, LeavesAKeyThatExistsAgainWithOtherValuesAndWhatLiesBelowIt) {
  TempDir dir;
  const fs::path file = dir / "hkcr.reg";
  writeFile(file, encodeRegText(kRegText, false, true));
  ASSERT_EQ(runComsweep({"/ALL"}, {.machine = file}).status, 0);
  writeFile(file, readFile(file) +
                      "\r\n[HKEY_CLASSES_ROOT\\M9Q.TYPES]\r\n@=\"new\"\r\n"
                      "\r\n[HKEY_CURRENT_USER\\Software\\Classes\\m9q.User]\r\n@=\"user's\"\r\n");
  BinaryResult listedRun = runComsweep({"--undo", "--list", "--json"}, {.machine = file});
  BinaryResult undo = runComsweep({"--undo", "--json"}, {.machine = file});
  EXPECT_EQ(undo.status, 1) << undo.err;
  EXPECT_NE(undo.err.find("left as it is (exists again with other values): HKEY_CLASSES_ROOT\\m9q.Types\n"),
            std::string::npos) << undo.err;
  EXPECT_NE(undo.err.find("1 keys put back, 1 already there, 3 left"), std::string::npos) << undo.err;
  const std::string text = plainText(readFile(file));
  EXPECT_NE(text.find("[HKEY_CLASSES_ROOT\\M9Q.TYPES]\n@=\"new\"\n"), std::string::npos);
  EXPECT_EQ(text.find("m9q.Types\\CLSID"), std::string::npos);
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Classes\\m9q.User\\CLSID]\n@=\"{0}\"\n"), std::string::npos);

  if (!commandOutput("python3 -c 'import jsonschema'")) GTEST_SKIP() << "python3 jsonschema not installed";
  const char* const script = R"py(
c = doc["counts"]
assert c["keys"] == len(doc["keys"]) == c["putBack"] + c["alreadyThere"] + c["left"]
print(doc["mode"], doc["machine"]["kind"], doc["exitStatus"], c["putBack"], c["alreadyThere"], c["left"], doc["error"])
for k in doc["keys"]:
    print(k["result"] + ": " + k["path"] + (" (" + k["reason"] + ")" if "reason" in k else ""))
)py";
  auto check = [&](const BinaryResult& r) { return checkedJson("json-schema-undo.json", r.out, script); };
  const std::string keys = "left: HKEY_CLASSES_ROOT\\m9q.Types (it exists again with other values)\n"
                           "left: HKEY_CLASSES_ROOT\\m9q.Types\\CLSID (it lies below a key that is left)\n"
                           "left: HKEY_CLASSES_ROOT\\m9q.Types\\CLSID\\Bare (it lies below a key that is left)\n"
                           "already there: HKEY_CURRENT_USER\\Software\\Classes\\m9q.User\n";
  const std::string putBack = "put back: HKEY_CURRENT_USER\\Software\\Classes\\m9q.User\\CLSID\n";
  EXPECT_EQ(check(listedRun), "undo-list .reg file 1 1 1 3 None\n" + keys + "would " + putBack);
  EXPECT_EQ(check(undo), "undo .reg file 1 1 1 3 None\n" + keys + putBack);
  const std::string refused = check(runComsweep({"--undo", "--json"}, {.machine = dir / "missing"}));
  EXPECT_EQ(refused.substr(0, 15), "undo None 2 0 0") << refused;
}

// An offline drive (classes below Classes, a 32-bit view) and a user's
// UsrClass.dat (the root is the classes' root): after /ALL and --undo,
// hivexregedit exports each hive as it was; a second --undo finds
// everything there and writes nothing.
TEST(Undo, PutsBackHivesSoThatTheHiveToolsExportThemAsTheyWere) {
  if (!commandOutput("command -v hivexregedit")) GTEST_SKIP() << "hivexregedit not installed";
  for (auto [file, above] : {std::pair{"Windows/System32/config/SOFTWARE", "Classes\\"}, {"UsrClass.dat", ""}}) {
    SCOPED_TRACE(file);
    TempDir dir;
    const fs::path hive = dir / file;
    fs::create_directories(hive.parent_path());
    const std::string c = above;
    writeHive(hive, {{c + "CLSID\\{0}", std::nullopt}, {c + "CLSID\\{C1}", sz("m9q Grid")},
                     {c + "CLSID\\{C1}\\InprocServer32", std::nullopt}, {c + ".m9q", sz("m9qfile")},
                     {c + "m9q.Grid\\CLSID", sz("{C1}")}, {c + "Other", sz("stays")},
                     {c + "Wow6432Node\\m9q.Wow\\CLSID", sz("{W}")}, {"Microsoft\\m9q", sz("outside")}});
    addHiveValues(hive, c + "CLSID\\{C1}\\InprocServer32",
                  {{"", sz("C:\\m9q\\\xE2\x82\xAC \xF0\x9F\x98\x80.ocx")}, {"ThreadingModel", sz("Both")},
                   {"Flags", {registry::REG_DWORD, std::string("\x2a\0\0\0", 4)}},
                   {"Blob", {registry::REG_BINARY, std::string(17000, '\x33')}},
                   {"Narrow", {registry::REG_SZ, std::string("ansi\0", 5)}}, {"Empty", {registry::REG_BINARY, ""}},
                   {"Odd", {0x2A, std::string("\1\2", 2)}},
                   {"\xC3\x9Cml", sz(std::string("a\0b\0", 4), registry::REG_MULTI_SZ)}});
    const std::string before = exportedHive(hive);
    const fs::path machine = *above ? dir.path() : hive;

    ASSERT_EQ(runComsweep({"/ALL"}, {.machine = machine}).status, 0);
    ASSERT_EQ(exportedHive(hive).find("m9q.Grid"), std::string::npos);
    BinaryResult undo = runComsweep({"--undo"}, {.machine = machine});
    EXPECT_EQ(undo.status, 0) << undo.err;
    EXPECT_EQ(exportedHive(hive), before);
    const std::string restored = readFile(hive);
    BinaryResult again = runComsweep({"--undo"}, {.machine = machine});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.err.find(" 0 keys put back, "), std::string::npos) << again.err;
    EXPECT_EQ(readFile(hive), restored);
  }
}

}  // namespace
}  // namespace comsweep::test
