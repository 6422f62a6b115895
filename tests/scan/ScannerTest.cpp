#include "scan/Scanner.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/Fixture.h"

namespace comsweep::scan {
namespace {

using test::FixtureKey;
using Strings = std::vector<std::string>;

const std::vector<FixtureKey> kMachine = {
    // Type libraries: only the first version's Win32 file name counts.
    {"TypeLib\\{A1}\\1.0\\0\\win32", "C:\\Windows\\System32\\m9qGrid.ocx"},
    {"TypeLib\\{A2}\\1.0\\0\\win32", "C:\\Program Files\\m9q\\grid.ocx"},
    {"TypeLib\\{A3}\\1.0\\0\\win32", "C:\\plain.ocx"}, {"TypeLib\\{A3}\\2.0\\0\\win32", "C:\\m9qNew.ocx"},
    {"TypeLib\\{A4}\\1.0\\0", std::nullopt}, {"TypeLib\\{F9}\\3.1\\0\\WIN32", "m9qLast.ocx"},
    // Interfaces: index 0 is never examined; the library identifier must match exactly.
    {"Interface\\{0}\\TypeLib", "{A1}"}, {"Interface\\{B1}\\TypeLib", "{A1}"},
    {"Interface\\{B2}\\typelib", "{a1}"}, {"Interface\\{B3}\\ProxyStubClsid32", "m9q"},
    {"Interface\\{B4}\\TypeLib", "{F9}"},
    {"CLSID\\{0}", "m9q first class"}, {"CLSID\\{C1}", "m9q Calendar Control"}, {"CLSID\\{C2}", "Grid"},
    {"CLSID\\{C2}\\InprocServer32", "C:\\Program Files\\Sonnet\\m9qGrid.ocx"},
    {"CLSID\\{C3}\\InprocServer32", "C:\\m9q.dll"}, {"CLSID\\{C4}", "Other"},
    {"CLSID\\{C4}\\tYpElIb", "m9q library"}, {"CLSID\\{C5}", "Other"}, {"CLSID\\{C5}\\Implemented", "{m9q}"},
    {"CLSID\\{C6}", "Other"}, {"CLSID\\{C6}\\LocalServer32", "/usr/m9q-server"},
    {".m9q", "m9qfile"}, {"m9qGrid.Grid.1", std::nullopt}, {"Unrelated", "m9q in a value only"},
};

struct Scan : ProgressSink {
  ScanResult result;
  Strings rows, steps;
  std::vector<std::int32_t> counts;

  explicit Scan(const std::vector<FixtureKey>& keys, Strings fragments = {"m9q"}) {
    auto store = test::makeStore(keys);
    registry::HandleTable api(*store);
    families::PatternList patterns;
    patterns.fragments = std::move(fragments);
    result = scanRegistry(api, registry::HKEY_CLASSES_ROOT, patterns, this);
    EXPECT_EQ(api.openHandles(), 0u);
    EXPECT_EQ(static_cast<std::size_t>(result.found), result.keys.count());
    for (std::size_t i = 1; i <= result.keys.count(); ++i) {
      const FoundKey& k = result.keys.item(i);
      rows.push_back(k.category + "|" + k.name + "|" + k.foundValue + "|" + k.path);
    }
  }
  void progressStep(std::string_view label, const std::string& name, std::int32_t found) override {
    steps.push_back(std::string(label) + name);
    counts.push_back(found);
  }
};

TEST(Scanner, ListsEachCategoryByItsRulesAndShowsEveryVisitedKey) {
  Scan s(kMachine);
  EXPECT_EQ(s.rows, (Strings{"TYPELIB|{A1}|m9qGrid.ocx|TypeLib\\{A1}", "TYPELIB|{F9}|m9qLast.ocx|TypeLib\\{F9}",
                             "INTERFACE|{B1}|m9qGrid.ocx|Interface\\{B1}", "INTERFACE|{B4}|m9qLast.ocx|Interface\\{B4}",
                             "CLSID|{C1}|m9q Calendar Control|CLSID\\{C1}", "CLSID|{C2}|m9qGrid.ocx|CLSID\\{C2}",
                             "CLSID|{C6}|m9q-server|CLSID\\{C6}", "PROGID|.m9q|.m9q|.m9q",
                             "PROGID|m9qGrid.Grid.1|m9qGrid.Grid.1|m9qGrid.Grid.1"}));
  // Interfaces without a TypeLib subkey take no step; the CLSID scan's last
  // step shows the blank name of the failed enumeration.
  ASSERT_EQ(s.steps.size(), 5u + 3u + 7u + 6u);
  EXPECT_EQ(s.steps[5 + 3 + 6] + s.steps[5 + 3 + 7].substr(0, 6), "CLSID -> " + std::string(300, ' ') + "ProgID");
  EXPECT_EQ(s.steps.front() + s.steps.back(), "TypeLib -> {A1}ProgID -> Unrelated");
  EXPECT_EQ(std::pair(s.counts.front(), s.counts.back()), std::pair(0, 9));
}

TEST(Scanner, LimitsAndMissingTopKeysEndOnlyTheirScan) {
  // Without TypeLib no interface can be listed; the root keys still are.
  std::vector<FixtureKey> noClasses = kMachine;
  std::erase_if(noClasses, [](const auto& k) { return k.path.starts_with("CLSID") || k.path.starts_with("TypeLib"); });
  EXPECT_EQ(Scan(noClasses).rows, (Strings{"PROGID|.m9q|.m9q|.m9q", "PROGID|m9qGrid.Grid.1|m9qGrid.Grid.1|m9qGrid.Grid.1"}));

  std::string umlauts = "b";
  for (int i = 0; i < 160; ++i) umlauts += "\xC3\xA4";  // 161 characters, 321 bytes: legal, examined
  Scan longName({{umlauts + "m9q", std::nullopt}, {"m9q.After", std::nullopt}});
  EXPECT_EQ(longName.rows, (Strings{"PROGID|" + umlauts + "m9q|" + umlauts + "m9q|" + umlauts + "m9q",
                                    "PROGID|m9q.After|m9q.After|m9q.After"}));
  EXPECT_EQ(longName.steps, (Strings{"ProgID -> " + umlauts + "m9q", "ProgID -> m9q.After"}));

  // A full type library table ends the TypeLib scan only.
  std::vector<FixtureKey> keys;
  for (int i = 0; i <= 32767; ++i) keys.push_back({"TypeLib\\{" + std::to_string(i) + "}\\1.0\\0\\win32", "m9q.ocx"});
  keys.insert(keys.end(), {{"CLSID\\{0}", "x"}, {"CLSID\\{C1}", "m9q Calendar Control"}});
  Scan full(keys);
  EXPECT_EQ(full.result.typeLibs.rows().size(), 32767u);
  EXPECT_EQ(full.result.found, 32768);
  EXPECT_EQ(full.rows.back(), "CLSID|{C1}|m9q Calendar Control|CLSID\\{C1}");
}

// The 32-bit view is scanned after the native one under the same rules but
// one: it examines the first key (index 0) of Interface and CLSID, which the
// native view passes over. Its interfaces find their library in its own
// TypeLib, else in the shared one unless the view holds a key for that library.
TEST(Scanner, The32BitViewFollowsTheNativeViewWithFullPaths) {
  const std::string w = "Wow6432Node\\";
  Scan s({{"TypeLib\\{A1}\\1.0\\0\\win32", "C:\\m9qShared.ocx"}, {"TypeLib\\{A3}\\1.0\\0\\win32", "C:\\m9qNative.ocx"},
          {"Interface\\{0}\\TypeLib", "{A1}"}, {"CLSID\\{0}", "m9q native first"},
          {w + "TypeLib\\{A2}\\1.0\\0\\win32", "C:\\m9q32.ocx"}, {w + "TypeLib\\{A3}\\1.0\\0\\win32", "C:\\plain.ocx"},
          {w + "Interface\\{0}\\TypeLib", "{A2}"}, {w + "Interface\\{B1}\\TypeLib", "{A1}"},
          {w + "Interface\\{B2}\\TypeLib", "{A2}"}, {w + "Interface\\{B3}\\TypeLib", "{A3}"},
          {w + "CLSID\\{0}", "m9q first class"}, {w + "CLSID\\{C1}", "m9q Calendar Control"},
          {w + "m9q.Control32", std::nullopt}});
  EXPECT_EQ(s.rows, (Strings{"TYPELIB|{A1}|m9qShared.ocx|TypeLib\\{A1}", "TYPELIB|{A3}|m9qNative.ocx|TypeLib\\{A3}",
                             "TYPELIB|" + w + "TypeLib\\{A2}|m9q32.ocx|" + w + "TypeLib\\{A2}",
                             "INTERFACE|" + w + "Interface\\{0}|m9q32.ocx|" + w + "Interface\\{0}",
                             "INTERFACE|" + w + "Interface\\{B1}|m9qShared.ocx|" + w + "Interface\\{B1}",
                             "INTERFACE|" + w + "Interface\\{B2}|m9q32.ocx|" + w + "Interface\\{B2}",
                             "CLSID|" + w + "CLSID\\{0}|m9q first class|" + w + "CLSID\\{0}",
                             "CLSID|" + w + "CLSID\\{C1}|m9q Calendar Control|" + w + "CLSID\\{C1}",
                             "PROGID|" + w + "m9q.Control32|m9q.Control32|" + w + "m9q.Control32"}));
  for (const std::string& step : {std::string("ProgID -> Wow6432Node"), "CLSID -> " + w + "CLSID\\{C1}"})
    EXPECT_NE(std::find(s.steps.begin(), s.steps.end(), step), s.steps.end()) << step;
  EXPECT_EQ(s.steps.back(), "ProgID -> " + w + "TypeLib");
}

}  // namespace
}  // namespace comsweep::scan
