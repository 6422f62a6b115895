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

BinaryResult runOn(const fs::path& machine, const std::vector<std::string>& args) {
  return runComsweep(args, {{{"COMSWEEP_MACHINE", machine.string()}}});
}

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
                wineBlock("m9q_U", "@=\"u\"\n") + wineBlock("m9qA", "@=\"a\"\n") +
                wineBlock("Other", "@=\"stays\"\n") +
                wineBlock("Wow6432Node\\\\m9q.Wow", "@=\"wow\"\n\"x\"=dword:00000001\n") +
                wineBlock("Wow6432Node\\\\m9q.Wow\\\\CLSID", "@=\"{0}\"\n") +
                "\n[Software\\\\Wine] 1700000000\n#time=1d9a1b2c3d4e5f6\n\"Keep\"=\"x\"\n");
  writeFile(prefix / "user.reg",
            "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n" +
                wineBlock("m9q.User", "@=\"user's\"\n") + wineBlock("m9q.User\\\\CLSID", "@=\"{0}\"\n") +
                wineBlock("m9q.User\\\\CLSID\\\\Empty", "") +
                "\n[Software\\\\Wine] 1700000000\n#time=1d9a1b2c3d4e5f6\n\"Keep\"=\"x\"\n");
  return prefix;
}

TEST(Undo, PutsBackAWinePrefixExactlyIntoTheFilesAndViewsTheKeysCameFrom) {
  TempDir dir;
  const fs::path prefix = makePrefix(dir.path());
  const std::string system = readFile(prefix / "system.reg"), user = readFile(prefix / "user.reg");
  BinaryResult run = runOn(prefix, {"/ALL"});
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(readFile(prefix / "system.reg").find("m9q"), std::string::npos);
  ASSERT_EQ(readFile(prefix / "user.reg").find("m9q"), std::string::npos);

  // --list writes nothing.
  BinaryResult listed = runOn(prefix, {"--undo", "--list"});
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_NE(listed.out.find("would put back: HKEY_CURRENT_USER\\Software\\Classes\\m9q.User\\CLSID\\Empty\n"),
            std::string::npos) << listed.out;
  EXPECT_EQ(readFile(prefix / "system.reg").find("m9q"), std::string::npos);
  EXPECT_FALSE(fs::exists(prefix / "drive_c" / "9QUndo.log"));

  BinaryResult undo = runOn(prefix, {"--undo"});
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

// Blocks of a .reg file as text without the blank lines around them,
// sorted: an undo appends the keys it puts back.
std::vector<std::string> sortedBlocks(const std::string& bytes) {
  std::string text = plainText(bytes);
  std::vector<std::string> blocks;
  for (std::size_t at = text.find("\n["); at != std::string::npos;) {
    std::size_t next = text.find("\n[", at + 1);
    blocks.push_back(text.substr(at + 1, next == std::string::npos ? next : next - at - 1));
    while (blocks.back().ends_with("\n\n")) blocks.back().pop_back();
    at = next;
  }
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
    "\n[HKEY_CLASSES_ROOT\\m9q.Types\\CLSID]\n"
    "@=\"{0}\"\n"
    "\n[HKEY_CLASSES_ROOT\\m9q.Types\\CLSID\\Bare]\n"
    "\n[HKEY_CLASSES_ROOT\\Other]\n"
    "@=\"stays\"\n"
    "\n[HKEY_CURRENT_USER\\Software\\Classes\\m9q.User]\n"
    "@=\"user's\"\n"
    "\n[HKEY_CURRENT_USER\\Software\\Classes\\m9q.User\\CLSID]\n"
    "@=\"{0}\"\n";

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
      {"classes below the machine",
       encodeRegText("Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\m9q.Only]\n@=\"x\"\n",
                     true, true),
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const fs::path file = dir / "m.reg";
    writeFile(file, c.original);
    ASSERT_EQ(runOn(file, {"/ALL"}).status, 0);
    ASSERT_EQ(plainText(readFile(file)).find("m9q"), std::string::npos);
    BinaryResult undo = runOn(file, {"--undo"});
    EXPECT_EQ(undo.status, 0) << undo.err;
    EXPECT_EQ(readFile(file).substr(0, 4), c.original.substr(0, 4)) << "the file's own encoding";
    if (c.sameBlocks) {
      EXPECT_EQ(sortedBlocks(readFile(file)), sortedBlocks(c.original));
    }
    writeFile(dir / "before.reg", c.original);
    EXPECT_EQ(dump(file), dump(dir / "before.reg")) << "as the reader gives them";
  }
}

// An undo whose save cannot be written (no file may grow past what the
// removal left) puts nothing back, says so, and leaves every file as it was.
TEST(Undo, ThatCannotBeWrittenLeavesEveryFileAsTheRemovalLeftIt) {
  TempDir dir;
  const fs::path file = dir / "m.reg", prefix = makePrefix(dir.path());
  writeFile(file, encodeRegText(kRegText, true, true));
  for (const auto& [machine, files] : {std::pair{file, std::vector{file}},
                                       std::pair{prefix, std::vector{prefix / "system.reg", prefix / "user.reg"}}}) {
    SCOPED_TRACE(machine.string());
    ASSERT_EQ(runOn(machine, {"/ALL"}).status, 0);
    std::vector<std::string> removed;
    for (const fs::path& f : files) removed.push_back(readFile(f));
    BinaryResult undo = runComsweep({"--undo"}, {{{"COMSWEEP_MACHINE", machine.string()}}, long(removed[0].size())});
    EXPECT_EQ(undo.status, 2);
    EXPECT_NE(undo.err.find("nothing put back: "), std::string::npos) << undo.err;
    for (std::size_t i = 0; i < files.size(); ++i) EXPECT_EQ(readFile(files[i]), removed[i]) << files[i];
    EXPECT_EQ(filesStarting(machine == file ? dir.path() : prefix / "drive_c", "9QUndo").size(), 0u);
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
  ASSERT_EQ(runOn(file, {"/ALL"}).status, 0);
  writeFile(file, readFile(file) +
                      "\r\n[HKEY_CLASSES_ROOT\\M9Q.TYPES]\r\n@=\"new\"\r\n"
                      "\r\n[HKEY_CURRENT_USER\\Software\\Classes\\m9q.User]\r\n@=\"user's\"\r\n");
  BinaryResult listedRun = runOn(file, {"--undo", "--list", "--json"});
  BinaryResult undo = runOn(file, {"--undo", "--json"});
  EXPECT_EQ(undo.status, 1) << undo.err;
  EXPECT_NE(undo.err.find("left as it is (exists again with other values): HKEY_CLASSES_ROOT\\m9q.Types\n"),
            std::string::npos) << undo.err;
  EXPECT_NE(undo.err.find("1 keys put back, 1 already there, 3 left"), std::string::npos) << undo.err;
  const std::string text = plainText(readFile(file));
  EXPECT_NE(text.find("[HKEY_CLASSES_ROOT\\M9Q.TYPES]\n@=\"new\"\n"), std::string::npos);
  EXPECT_EQ(text.find("m9q.Types\\CLSID"), std::string::npos);
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Classes\\m9q.User\\CLSID]\n@=\"{0}\"\n"), std::string::npos);

  if (!commandOutput("python3 -c 'import jsonschema'")) GTEST_SKIP() << "python3 jsonschema not installed";
  writeFile(dir / "check.py", R"py(
import json, sys
import jsonschema
schema = json.load(open(sys.argv[1]))
text = open(sys.argv[2], encoding="utf-8").read()
assert text.count("\n") == 1 and text.endswith("\n"), "not one line"
doc = json.loads(text)
jsonschema.Draft202012Validator(schema).validate(doc)
c = doc["counts"]
assert c["keys"] == len(doc["keys"]) == c["putBack"] + c["alreadyThere"] + c["left"]
print(doc["mode"], doc["machine"]["kind"], doc["exitStatus"], c["putBack"], c["alreadyThere"], c["left"], doc["error"])
for k in doc["keys"]:
    print(k["result"] + ": " + k["path"] + (" (" + k["reason"] + ")" if "reason" in k else ""))
)py");
  auto check = [&](const BinaryResult& r) {
    writeFile(dir / "doc.json", r.out);
    return commandOutput("python3 '" + (dir / "check.py").string() + "' '" COMSWEEP_TEST_DATA
                         "/../../docs/json-schema-undo.json' '" + (dir / "doc.json").string() + "'")
        .value_or("invalid: " + r.out);
  };
  const std::string listed = check(listedRun);
  EXPECT_EQ(listed.substr(0, listed.find('\n')), "undo-list .reg file 1 1 1 3 None") << listed;
  EXPECT_NE(listed.find("would put back: HKEY_CURRENT_USER\\Software\\Classes\\m9q.User\\CLSID\n"), std::string::npos)
      << listed;
  const std::string done = check(undo);
  EXPECT_EQ(done.substr(0, done.find('\n')), "undo .reg file 1 1 1 3 None") << done;
  EXPECT_NE(done.find("left: HKEY_CLASSES_ROOT\\m9q.Types (it exists again with other values)\n"), std::string::npos) << done;
  EXPECT_NE(done.find("left: HKEY_CLASSES_ROOT\\m9q.Types\\CLSID (it lies below a key that is left)\n"), std::string::npos);
  const std::string refused = check(runOn(dir / "missing", {"--undo", "--json"}));
  EXPECT_EQ(refused.substr(0, 15), "undo None 2 0 0") << refused;
}

std::string utf16z(std::string_view utf8) { return registry::utf8ToUtf16le(utf8) + std::string(2, '\0'); }

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
    using registry::RegValue;
    addHiveValues(hive, c + "CLSID\\{C1}\\InprocServer32",
                  {{"", RegValue{registry::REG_SZ, utf16z("C:\\m9q\\\xE2\x82\xAC \xF0\x9F\x98\x80.ocx")}},
                   {"ThreadingModel", RegValue{registry::REG_SZ, utf16z("Both")}},
                   {"Flags", RegValue{registry::REG_DWORD, std::string("\x2a\0\0\0", 4)}},
                   {"Blob", RegValue{registry::REG_BINARY, std::string(17000, '\x33')}},
                   {"Narrow", RegValue{registry::REG_SZ, std::string("ansi\0", 5)}},
                   {"Empty", RegValue{registry::REG_BINARY, ""}},
                   {"Odd", RegValue{0x2A, std::string("\1\2", 2)}},
                   {"\xC3\x9Cml", RegValue{registry::REG_MULTI_SZ, utf16z(std::string("a\0b\0", 4))}}});
    auto exported = [&] { return commandOutput("hivexregedit --export '" + hive.string() + "' '\\'").value_or("?"); };
    const std::string before = exported();
    const fs::path machine = *above ? dir.path() : hive;

    ASSERT_EQ(runOn(machine, {"/ALL"}).status, 0);
    ASSERT_EQ(exported().find("m9q.Grid"), std::string::npos);
    BinaryResult undo = runOn(machine, {"--undo"});
    EXPECT_EQ(undo.status, 0) << undo.err;
    EXPECT_EQ(exported(), before);
    const std::string restored = readFile(hive);
    BinaryResult again = runOn(machine, {"--undo"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.err.find(" 0 keys put back, "), std::string::npos) << again.err;
    EXPECT_EQ(readFile(hive), restored);
  }
}

// (A read-only machine is refused as it opens, for a run and an undo alike:
// SharedMachine.OddFilesAreRefusedByNameWithoutWaiting.)
TEST(Undo, RefusesABackupOfAnotherMachineAndMachinesItCannotWrite) {
  TempDir dir;
  const fs::path prefix = makePrefix(dir.path());
  ASSERT_EQ(runOn(prefix, {"/ALL"}).status, 0);
  const fs::path backup = filesStarting(prefix / "drive_c", "9QReg-").at(0);
  const fs::path file = dir / "hkcr.reg";
  fs::create_directories(dir / "other");
  writeFile(dir / "other" / "other.reg", encodeRegText(kRegText, true, true));
  ASSERT_EQ(runOn(dir / "other" / "other.reg", {"/ALL"}).status, 0);
  const fs::path regBackup = filesStarting(dir / "other", "9QReg-").at(0);
  writeFile(file, encodeRegText(kRegText, true, true));
  const std::string before = readFile(file);
  const struct {
    fs::path machine;
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      // A .reg file's roots are not the Wine prefix's.
      {prefix, {"--undo", regBackup.string()}, "lies outside this machine's classes"},
      // The file reads the prefix's machine classes as its own, but the
      // parent of a removed key is missing.
      {file, {"--undo", backup.string()}, "whose parent key does not exist"},
      {file, {"--undo"}, "no backup (9QReg-*.reg)"},
      {file, {"--undo", "a", "b"}, "one backup file"},
  };
  for (const auto& c : cases) {
    BinaryResult r = runOn(c.machine, c.args);
    EXPECT_EQ(r.status, 2) << c.says;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
  EXPECT_EQ(readFile(file), before);
  EXPECT_FALSE(fs::exists(dir / "9QUndo.log"));
}

}  // namespace
}  // namespace comsweep::test
