// Keys and values added to hives (createKey, setValue, save) as the hive
// tools read them: libhivex and hivexsh, none of them ours. (Keys removed
// and put back, exported by hivexregedit as before, are
// Undo.PutsBackHivesSoThatTheHiveToolsExportThemAsTheyWere.)

#include <gmock/gmock.h>
#include <hivex.h>

#include <algorithm>

#include "registry/hive/HiveFixture.h"
#include "registry/hive/HiveStore.h"
#include "registry/store/Text.h"
#include "registry/regf/RegfGrower.h"
#include "support/Fixture.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

namespace fs = std::filesystem;
using namespace registry;

std::unique_ptr<HiveStore> openStore(const fs::path& file) {
  std::string error;
  auto store = HiveStore::open(file, HiveStore::Top::ClassesIfPresent, error);
  EXPECT_TRUE(store) << error;
  return store;
}

std::string utf16(std::string_view utf8) { return utf8ToUtf16le(utf8) + std::string(2, '\0'); }

// Thousands of keys added to a small hive in one save, then more in a
// second: the hive grows by many hbins and libhivex lists the keys in the
// registry's order. (Values of every kind added back, big data included,
// are judged by hivexregedit in Undo.PutsBackHivesSoThatTheHiveToolsExportThemAsTheyWere.)
TEST(HiveGrow, GrowsByManyHbinsAndTheHiveToolsReadEveryKeyAndValue) {
  TempDir dir;
  const fs::path file = dir / "hive";
  writeHive(file, {{"CLSID\\{X}", sz("x")}, {"Keep", std::nullopt}});
  auto store = openStore(file);
  ASSERT_TRUE(store);
  const NodeId clsid = store->findChild(store->root(), "CLSID");
  std::vector<std::string> names;
  for (int i = 0; i < 3000; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%04d", i % 2 ? "k" : "K", (i * 7919) % 3000);
    names.push_back(name);
  }
  // Latin-1, beyond it, and beyond the BMP; "_" sorts after the letters.
  for (const char* odd : {"\xC3\xA4rger", "\xCE\xA9mega", "\xF0\x9F\x98\x80", "_under", "zz"}) names.push_back(odd);
  const std::string big(40000, '\x5A');
  const std::vector<NamedValue> values = {
      {"", {REG_SZ, utf16("default \xE2\x82\xAC")}},
      {"Big", {REG_BINARY, big}},
      {"Inline", {REG_BINARY, std::string("\x01\x02\x03", 3)}},
      {"Empty", {REG_SZ, ""}},
      {"\xC3\x9C", {REG_DWORD, std::string("\x2A\0\0\0", 4)}},
      {"Odd", {0x2A, "xyz12"}},
  };
  for (std::size_t i = 0; i < names.size(); ++i) {
    NodeId node = kNoNode;
    bool created = false;
    ASSERT_EQ(store->createKey(clsid, names[i], node, created), 0) << names[i];
    if (i == 0)
      for (const NamedValue& v : values) ASSERT_EQ(store->setValue(node, v), 0);
    else
      ASSERT_EQ(store->setValue(node, {"", {REG_SZ, utf16(names[i])}}), 0);
  }
  ASSERT_FALSE(store->save().failure.failed());

  // A second save on the same store adds below a key added by the first.
  NodeId first = store->findChild(clsid, names[0]), sub = kNoNode;
  bool created = false;
  ASSERT_EQ(store->createKey(first, "Sub", sub, created), 0);
  ASSERT_EQ(store->setValue(sub, {"v", {REG_DWORD, std::string("\1\0\0\0", 4)}}), 0);
  ASSERT_FALSE(store->save().failure.failed());
  // The removal patch knows only the lists the hive was opened with.
  EXPECT_EQ(store->removeLeaf(first, sub), ERROR_ACCESS_DENIED);

  hive_h* h = hivex_open(file.c_str(), 0);
  ASSERT_NE(h, nullptr);
  hive_node_h c = hivex_node_get_child(h, hivex_root(h), "CLSID");
  hive_node_h* children = hivex_node_children(h, c);
  std::vector<std::string> listed;
  for (hive_node_h* k = children; *k; ++k) {
    char* name = hivex_node_name(h, *k);
    listed.emplace_back(name);
    std::free(name);
  }
  std::free(children);
  std::vector<std::string> expected = names;
  expected.push_back("{X}");
  std::sort(expected.begin(), expected.end(), [](const std::string& a, const std::string& b) { return compareNoCase(a, b) < 0; });
  EXPECT_EQ(listed, expected);
  hivex_close(h);
  // hivexsh walks to the key added by the second save.
  std::optional<std::string> shell = commandOutput("printf 'cd \\\\CLSID\\\\" + names[0] + "\\\\Sub\\nlsval\\n' | hivexsh '" +
                                                   file.string() + "'");
  ASSERT_TRUE(shell);
  EXPECT_NE(shell->find("\"v\"=dword:00000001"), std::string::npos) << *shell;
}

// The hash of lh lists as libhivex writes it for the same names.
TEST(HiveGrow, HashesNamesAsTheHiveToolsDo) {
  TempDir dir;
  for (const char* name : {"MixedCase", "{00000000-0000-0000-C000-000000000046}", "m9q.x"}) {
    const fs::path file = dir / "hive";
    writeHive(file, {{name, std::nullopt}});
    const std::string bytes = readFile(file);
    const std::size_t list = listOf(bytes, 0x1000 + le32At(bytes, 0x24));
    ASSERT_EQ(bytes.substr(list + 4, 2), "lh");
    EXPECT_EQ(le32At(bytes, list + 12), regf::nameHash(name)) << name;
  }
}

}  // namespace
}  // namespace comsweep::test
