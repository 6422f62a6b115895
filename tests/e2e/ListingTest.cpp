// --list and --json through the real executable, on every kind of machine:
// a listing names exactly the keys a run with the same switches removes, and
// both documents pass the published schema, read by python3's own parser.

#include <gtest/gtest.h>

#include <sstream>

#include "e2e/FamilyMachine.h"
#include "support/RunBinary.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

// The first key of each CLSID, a 32-bit class at index 0 of its view, a
// ProgID in both stores and ones only in the user's classes, in either view
// (hives hold no user's classes).
const KeyValues kKeys = {
    {"CLSID\\{00000000-0000-0000-0000-000000000001}", "C:\\x\\m9qFirst.dll"},
    {"CLSID\\{C1}", "C:\\x\\m9qGrid.ocx"},
    {"CLSID\\{C2}", "C:\\x\\other.dll"},
    {"m9q.Part", "x"},
    {"Other", "stays"},
    {"Wow6432Node\\CLSID\\{00000000-0000-0000-0000-0000000000B1}", "C:\\x\\m9q32.dll"},
};
const KeyValues kUserKeys = {{"m9q.Part", "user copy"}, {"m9q.User", "x"}, {"Wow6432Node\\m9q.User32", "x"}};

// The machine in `dir`, a Windows drive when `drive`; what to run on.
std::filesystem::path listingMachine(const std::filesystem::path& dir, Format format, bool drive) {
  if (!drive) return writeMachine(dir, format, kKeys, kUserKeys);
  writeMachine(dir / "drive" / "Windows" / "System32" / "config", Format::Hive, kKeys);
  return dir / "drive";
}

// Validates the document against docs/json-schema.json with python3 and
// prints its keys, one a line: category, path, view, found value, result,
// where ("machine", "user" for each copy).
std::string checkedKeys(const std::filesystem::path& dir, const std::string& document) {
  writeFile(dir / "doc.json", document);
  const std::string script = R"(
import json, sys
import jsonschema
schema = json.load(open(sys.argv[1]))
doc = json.load(open(sys.argv[2], encoding="utf-8"))
jsonschema.Draft202012Validator(schema).validate(doc)
assert doc["counts"]["found"] == len(doc["keys"])
for k in doc["keys"]:
    where = ",".join("user" if h["user"] else "machine" for h in k["heldIn"])
    print("|".join([k["category"], k["path"], k["view"], k["foundValue"], k["result"], where]))
print("status", doc["exitStatus"], doc["mode"], doc["machine"]["kind"], " ".join(doc["families"]))
)";
  writeFile(dir / "check.py", script);
  return commandOutput("python3 '" + (dir / "check.py").string() + "' '" COMSWEEP_TEST_DATA "/../../docs/json-schema.json' '" +
                       (dir / "doc.json").string() + "'")
      .value_or("python3 failed on: " + document);
}

std::string withResult(std::string lines, const std::string& from, const std::string& to) {
  for (std::size_t at; (at = lines.find("|" + from + "|")) != std::string::npos;) lines.replace(at, from.size() + 2, "|" + to + "|");
  return lines;
}

int logsAndBackups(const std::filesystem::path& dir) {
  int count = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
    count += entry.path().filename().string().starts_with("9QReg");
  return count;
}

TEST(Listing, NamesExactlyWhatARunRemovesOnEveryKindOfMachine) {
  const struct { Format format; bool drive; const char* kindName; bool hasUser; } kinds[] = {
      {Format::Wine, false, "Wine prefix", true}, {Format::Reg, false, ".reg file", true},
      {Format::Hive, false, "hive", false}, {Format::Hive, true, "Windows drive", false}};
  for (const auto& [format, drive, kindName, hasUser] : kinds) {
    SCOPED_TRACE(kindName);
    TempDir dir;
    const std::filesystem::path machine = listingMachine(dir.path(), format, drive);
    const BinaryOptions env{{{"COMSWEEP_MACHINE", machine.string()}}, 0};

    BinaryResult listed = runComsweep({"--list", "/m9q"}, env);
    std::string expected =
        "CLSID\tHKEY_CLASSES_ROOT\\CLSID\\{C1}\tm9qGrid.ocx\tmachine\n"
        "PROGID\tHKEY_CLASSES_ROOT\\m9q.Part\tm9q.Part\t" + std::string(hasUser ? "machine,user" : "machine") + "\n" +
        (hasUser ? "PROGID\tHKEY_CLASSES_ROOT\\m9q.User\tm9q.User\tuser\n" : "") +
        "CLSID\tHKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\{00000000-0000-0000-0000-0000000000B1}\tm9q32.dll\tmachine\n" +
        (hasUser ? "PROGID\tHKEY_CLASSES_ROOT\\Wow6432Node\\m9q.User32\tm9q.User32\tuser\n" : "");
    EXPECT_EQ(listed.out, expected);
    EXPECT_EQ(listed.status, 1) << listed.err;
    EXPECT_EQ(listed.err, "");

    BinaryResult listedJson = runComsweep({"--json", "--list", "/m9q"}, env);
    EXPECT_EQ(listedJson.status, 1) << listedJson.err;
    const std::string listing = checkedKeys(dir.path(), listedJson.out);
    EXPECT_NE(listing.find("status 1 list " + std::string(kindName) + " /M9Q\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("|32-bit|m9q32.dll|listed|machine\n"), std::string::npos) << listing;
    EXPECT_EQ(logsAndBackups(dir.path()), 0) << "a listing writes no log and no backup";

    BinaryResult run = runComsweep({"/M9Q", "--JSON"}, env);
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string ran = checkedKeys(dir.path(), run.out);
    std::string expectedRun = withResult(listing, "listed", "removed");
    expectedRun.replace(expectedRun.find("status 1 list"), 13, "status 0 run");
    EXPECT_EQ(ran, expectedRun);
    EXPECT_EQ(logsAndBackups(dir.path()), 2);
    EXPECT_NE(run.out.find("\"backup\":\""), std::string::npos) << run.out;
  }
}

TEST(Listing, AMachineThatCannotBeReadIsStatusTwoAndStillOneDocument) {
  TempDir dir;
  const BinaryOptions env{{{"COMSWEEP_MACHINE", (dir / "none.reg").string()}}, 0};
  BinaryResult plain = runComsweep({"--list", "/M9Q"}, env);
  EXPECT_EQ(plain.status, 2);
  EXPECT_EQ(plain.out, "");
  for (auto args : {std::vector<std::string>{"--list", "--json", "/M9Q"}, {"--json", "/M9Q"}}) {
    BinaryResult r = runComsweep(args, env);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(checkedKeys(dir.path(), r.out).substr(0, 8), "status 2") << r.out;
  }
  // A prefix's own file is no machine by itself: the prefix is named instead.
  writeFile(dir / "system.reg", "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n");
  BinaryResult named = runComsweep({"--list", "/M9Q"}, {{{"COMSWEEP_MACHINE", (dir / "system.reg").string()}}, 0});
  EXPECT_EQ(named.status, 2);
  EXPECT_NE(named.err.find("name the prefix itself (" + dir.path().string() + ")"), std::string::npos) << named.err;
}

}  // namespace
}  // namespace comsweep::test
