// Keys and values added to hives (createKey, setValue, save) as the hive
// tools read them: libhivex and hivexsh, none of them ours. (Keys removed
// and put back, exported by hivexregedit as before, are
// Undo.PutsBackHivesSoThatTheHiveToolsExportThemAsTheyWere.)

#include <gmock/gmock.h>
#include <hivex.h>

#include <fcntl.h>

#include <algorithm>

#include "platform/FileDescriptor.h"
#include "registry/hive/HiveFixture.h"
#include "registry/hive/HiveStore.h"
#include "registry/store/Text.h"
#include "registry/regf/RegfGrower.h"
#include "support/Fixture.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

using namespace registry;

// Thousands of keys added to a small hive in one save that also removes a
// key, then more in a second: the hive grows by many hbins and libhivex
// lists the keys in the registry's order. (Values of every kind added back,
// big data included, are judged by hivexregedit in
// Undo.PutsBackHivesSoThatTheHiveToolsExportThemAsTheyWere.)
TEST(HiveGrow, GrowsByManyHbinsAndTheHiveToolsReadEveryKeyAndValue) {
  TempDir dir;
  const auto file = dir / "hive";
  writeHive(file, {{"CLSID\\{X}", sz("x")}, {"Keep", std::nullopt}});
  auto store = openHive(file);
  ASSERT_TRUE(store);
  const NodeId clsid = store->findChild(store->root(), "CLSID");
  // K0000 to k2999 (K for even i, k for odd) in no order.
  std::vector<std::string> names;
  for (int i = 0; i < 3000; ++i)
    names.push_back((i % 2 ? "k" : "K") + std::to_string(10000 + i * 7919 % 3000).substr(1));
  // Latin-1, beyond it, and beyond the BMP; "_" sorts after the letters.
  for (const char* odd : {"\xC3\xA4rger", "\xCE\xA9mega", "\xF0\x9F\x98\x80", "_under", "zz"}) names.push_back(odd);
  const std::vector<NamedValue> values = {
      {"", sz("default \xE2\x82\xAC")}, {"Big", {REG_BINARY, std::string(40000, '\x5A')}},
      {"Inline", {REG_BINARY, std::string("\x01\x02\x03", 3)}}, {"Empty", {REG_SZ, ""}},
      {"\xC3\x9C", {REG_DWORD, std::string("\x2A\0\0\0", 4)}}, {"Odd", {0x2A, "xyz12"}},
  };
  NodeId node = kNoNode, sub = kNoNode;
  bool created = false;
  for (std::size_t i = 0; i < names.size(); ++i) {
    ASSERT_EQ(store->createKey(clsid, names[i], node, created), 0) << names[i];
    if (i == 0)
      for (const NamedValue& v : values) ASSERT_EQ(store->setValue(node, v), 0);
    else
      ASSERT_EQ(store->setValue(node, {"", sz(names[i])}), 0);
  }
  // Removed in the same save as the keys are added.
  ASSERT_EQ(store->removeLeaf(store->root(), store->findChild(store->root(), "Keep")), 0);
  ASSERT_FALSE(store->save().failure.failed());

  // A second save on the same store adds below a key added by the first.
  const NodeId first = store->findChild(clsid, names[0]);
  ASSERT_EQ(store->createKey(first, "Sub", sub, created), 0);
  ASSERT_EQ(store->setValue(sub, {"v", {REG_DWORD, std::string("\1\0\0\0", 4)}}), 0);
  ASSERT_FALSE(store->save().failure.failed());
  // The removal patch knows only the lists the hive was opened with.
  EXPECT_EQ(store->removeLeaf(first, sub), ERROR_ACCESS_DENIED);
  // hivexsh walks to the key added by the second save.
  const auto walk = "printf 'cd \\\\CLSID\\\\" + names[0] + "\\\\Sub\\nlsval\\n' | hivexsh '" + file.string() + "'";
  EXPECT_THAT(commandOutput(walk).value_or("hivexsh failed"), ::testing::HasSubstr("\"v\"=dword:00000001"));

  hive_h* h = hivex_open(file.c_str(), 0);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(hiveNode(h, "Keep", false), 0u);
  hive_node_h* children = hivex_node_children(h, hiveNode(h, "CLSID", false));
  std::vector<std::string> listed;
  for (hive_node_h* k = children; *k; ++k) {
    char* name = hivex_node_name(h, *k);
    listed.emplace_back(name);
    std::free(name);
  }
  std::free(children);
  hivex_close(h);
  names.push_back("{X}");
  std::ranges::sort(names, [](const std::string& a, const std::string& b) { return compareNoCase(a, b) < 0; });
  EXPECT_EQ(listed, names);
}

// Grown over its file, an image records every byte it changed: the file
// with the recorded ranges written over it (what a save writes) is, byte
// for byte, the same growth of a plain copy of the file. A range changed
// before growing, handed over as such, is kept.
TEST(HiveGrow, AnImageGrownOverItsFileRecordsEveryByteItChanged) {
  TempDir dir;
  const auto file = dir / "hive";
  writeHive(file, {{"CLSID\\{X}", sz("x")},
                   {"Keep", RegValue{REG_BINARY, std::string(3000, 'k')}},
                   {"Other", RegValue{REG_BINARY, std::string(3000, 'o')}}});
  // Bytes after the hbins stay after them as the hive grows.
  writeFile(file, readFile(file) + std::string(5000, 'T'));
  std::string patched = readFile(file);
  const std::size_t before = patched.find(std::string(3000, 'o')) + 1500;
  patched[before] = 'p';
  const std::span bytes(reinterpret_cast<const unsigned char*>(patched.data()), patched.size());
  const platform::FileDescriptor fd(::open(file.c_str(), O_RDONLY));
  regf::RegfImage plain(bytes), mapped(bytes, fd.get(), {{before, 1}});
  const auto cellOf = [&](const char* key) { return std::uint32_t(keyCell(file, key) - regf::kBaseBlockSize); };
  std::vector<std::string> names;  // more than one hbin and one leaf list hold
  for (int i = 0; i < 1500; ++i) names.push_back("{" + std::to_string(100000 + i * 7919 % 1500) + "}");
  for (regf::RegfImage* image : {&plain, &mapped}) {
    regf::RegfGrower grower(*image);
    std::string why;
    std::vector<std::uint32_t> cells;
    ASSERT_TRUE(grower.start(why) && grower.addSubkeys(cellOf("CLSID"), names, cells, why)) << why;
    // Replaced (its old cells freed, then taken again), and a big data
    // record of more than the image has room for beyond the file.
    const std::string huge(std::size_t{9} << 20, 'h');
    const std::vector<regf::NewValue> keep = {{"", REG_SZ, "short"}, {"Huge", REG_BINARY, huge}};
    ASSERT_TRUE(grower.setValues(cellOf("Keep"), keep, why) &&
                grower.setValues(cells[7], {{"v", REG_DWORD, std::string_view("\1\0\0\0", 4)}}, why))
        << why;
    grower.finish();
  }
  const auto text = [](const regf::RegfImage& image, std::size_t from, std::size_t length) {
    return std::string(reinterpret_cast<const char*>(image.bytes().data()) + from, length);
  };
  ASSERT_GT(plain.size(), patched.size());
  EXPECT_EQ(text(plain, plain.size() - 5000, 5000), std::string(5000, 'T'));
  // Ranges as recorded, byte by byte, and widened as a save writes them.
  for (std::size_t unit : {1, 0x1000}) {
    const std::string original = readFile(file);
    std::string saved;
    std::size_t at = 0;
    for (const auto& [offset, length] : mapped.changedRanges(unit)) {
      saved += original.substr(at, offset - at) + text(mapped, offset, length);
      at = offset + length;
    }
    saved += original.substr(std::min(at, original.size()));
    EXPECT_TRUE(saved == text(plain, 0, plain.size())) << unit;
  }
}

}  // namespace
}  // namespace comsweep::test
