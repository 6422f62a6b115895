// --list and --json through the real executable, on every kind of machine:
// a listing names exactly the keys a run with the same switches removes, and
// both documents pass the published schema, read by python3's own parser.

#include <gtest/gtest.h>

#include <algorithm>

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
    {"CLSID\\{C1}", "C:\\x\\m9qGrid.ocx"}, {"CLSID\\{C2}", "C:\\x\\other.dll"}, {"m9q.Part", "x"}, {"Other", "stays"},
    {"Wow6432Node\\CLSID\\{00000000-0000-0000-0000-0000000000B1}", "C:\\x\\m9q32.dll"}};
const KeyValues kUserKeys = {{"m9q.Part", "user copy"}, {"m9q.User", "x"}, {"Wow6432Node\\m9q.User32", "x"}};

// The document's keys, one a line: category, path, view, found value,
// result, where ("machine", "user" for each copy); then its status.
std::string checkedKeys(const std::string& document) {
  return checkedJson("json-schema.json", document, R"(
assert doc["counts"]["found"] == len(doc["keys"])
for k in doc["keys"]:
    where = ",".join("user" if h["user"] else "machine" for h in k["heldIn"])
    print("|".join([k["category"], k["path"], k["view"], k["foundValue"], k["result"], where]))
print("status", doc["exitStatus"], doc["mode"], doc["machine"]["kind"], " ".join(doc["families"]))
)");
}

TEST(Listing, NamesExactlyWhatARunRemovesOnEveryKindOfMachine) {
  const struct { Format format; bool drive; const char* kindName; bool hasUser; } kinds[] = {
      {Format::Wine, false, "Wine prefix", true}, {Format::Reg, false, ".reg file", true},
      {Format::Hive, false, "hive", false}, {Format::Hive, true, "Windows drive", false}};
  for (const auto& [format, drive, kindName, hasUser] : kinds) {
    SCOPED_TRACE(kindName);
    TempDir dir;
    // A Windows drive's SOFTWARE hive when `drive`.
    if (drive) writeMachine(dir / "drive/Windows/System32/config", Format::Hive, kKeys);
    const BinaryOptions env{.machine = drive ? dir / "drive" : writeMachine(dir.path(), format, kKeys, kUserKeys)};
    const auto before = filesBelow(dir.path());

    BinaryResult listed = runComsweep({"--list", "/m9q"}, env);
    std::string expected =
        "CLSID\tHKEY_CLASSES_ROOT\\CLSID\\{C1}\tm9qGrid.ocx\tmachine\n"
        "PROGID\tHKEY_CLASSES_ROOT\\m9q.Part\tm9q.Part\t" + std::string(hasUser ? "machine,user" : "machine") + "\n" +
        (hasUser ? "PROGID\tHKEY_CLASSES_ROOT\\m9q.User\tm9q.User\tuser\n" : "") +
        "CLSID\tHKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\{00000000-0000-0000-0000-0000000000B1}\tm9q32.dll\tmachine\n" +
        (hasUser ? "PROGID\tHKEY_CLASSES_ROOT\\Wow6432Node\\m9q.User32\tm9q.User32\tuser\n" : "");
    EXPECT_EQ(listed.out, expected);
    EXPECT_EQ(std::to_string(listed.status) + listed.err, "1");

    BinaryResult listedJson = runComsweep({"--json", "--list", "/m9q"}, env);
    EXPECT_EQ(listedJson.status, 1) << listedJson.err;
    const std::string listing = checkedKeys(listedJson.out);
    EXPECT_NE(listing.find("status 1 list " + std::string(kindName) + " /M9Q\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("|32-bit|m9q32.dll|listed|machine\n"), std::string::npos) << listing;
    EXPECT_EQ(filesBelow(dir.path()), before) << "a listing writes no log and no backup";

    BinaryResult run = runComsweep({"/M9Q", "--JSON"}, env);
    EXPECT_EQ(run.status, 0) << run.err;
    std::string expectedRun = replaceAll(listing, "|listed|", "|removed|");
    expectedRun.replace(expectedRun.find("status 1 list"), 13, "status 0 run");
    EXPECT_EQ(checkedKeys(run.out), expectedRun);
    const auto written = filesBelow(dir.path());
    EXPECT_EQ(std::ranges::count_if(written, [](const auto& f) { return f.first.find("/9QReg") != std::string::npos; }),
              2) << "the log and the backup";
    EXPECT_NE(run.out.find("\"backup\":\""), std::string::npos) << run.out;
  }
}

TEST(Listing, AMachineThatCannotBeReadIsStatusTwoAndStillOneDocument) {
  TempDir dir;
  const BinaryOptions env{.machine = dir / "none.reg"};
  BinaryResult plain = runComsweep({"--list", "/M9Q"}, env);
  EXPECT_EQ(std::to_string(plain.status) + plain.out, "2");
  for (auto args : {std::vector<std::string>{"--list", "--json", "/M9Q"}, {"--json", "/M9Q"}}) {
    BinaryResult r = runComsweep(args, env);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(checkedKeys(r.out).substr(0, 8), "status 2") << r.out;
  }
  // A prefix's own file is no machine by itself: the prefix is named instead.
  writeFile(dir / "system.reg", "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n");
  BinaryResult named = runComsweep({"--list", "/M9Q"}, {.machine = dir / "system.reg"});
  EXPECT_EQ(named.status, 2);
  EXPECT_NE(named.err.find("name the prefix itself (" + dir.path().string() + ")"), std::string::npos) << named.err;
}

}  // namespace
}  // namespace comsweep::test
