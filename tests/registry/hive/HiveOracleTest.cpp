// The hive store against libhivex, the reference reader: both read every
// key and value of generated hives, of hives with each kind of subkey list
// and with big data, and of damaged copies, and must agree wherever both
// read a hive; after a save, hivexregedit exports the original's tree less
// the removed keys, and no cell is lost or leaked.

#include <gmock/gmock.h>

#include <algorithm>
#include <map>
#include <random>
#include <sstream>
#include <set>

#include "fuzz/HiveKeptCheck.h"
#include "gen/MachineGenerator.h"
#include "registry/handles/HandleTable.h"
#include "registry/hive/HiveFixture.h"
#include "registry/hive/HiveStore.h"
#include "registry/regf/RegfHive.h"
#include "registry/wine/WineTestSupport.h"
#include "support/Fixture.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

namespace fs = std::filesystem;
using namespace registry;

// Where the store and libhivex, the reference reader, read `file`
// differently (every key and value below the store's top); empty when alike.
std::string readersDiffer(const fs::path& file) {
  const auto oracle = fuzz::hivexKeys(file);
  return oracle ? fuzz::readersDisagree(file, *oracle) : "libhivex cannot read it";
}

// Rewrites an lh list in place as an lf or an li list of the same keys.
std::string withListKind(std::string bytes, std::size_t list, char kind) {
  bytes[list + 5] = kind;
  for (std::size_t i = 0; kind == 'i' && i < static_cast<unsigned char>(bytes[list + 6]); ++i)
    bytes.replace(list + 8 + 4 * i, 4, bytes.substr(list + 8 + 8 * i, 4));  // an li entry is the key's cell alone
  return bytes;
}

// Stores the default value of the root's subkey `name` (libhivex writes one
// cell of 40,100 bytes) as a big data record of its first 40,000 bytes in
// three segments, laid out in the place of that cell.
std::string withBigDataRecord(std::string bytes, const fs::path& file, const char* name) {
  std::string error, why;
  auto hive = regf::RegfHive::open(file, error);
  regf::KeyCell key;
  regf::ValueCell value;
  if (!hive || !hive->view().key(static_cast<std::uint32_t>(keyCell(file, name) - 0x1000), key, why) ||
      !hive->view().defaultValue(key, value, why) || value.dataSize != 40100)
    return {};
  const std::uint32_t d = value.dataCell;
  const std::size_t at = 0x1000 + d, cellSize = 0x100000000ull - le32At(bytes, at);
  auto put = [&](std::size_t o, std::uint32_t v) { regf::putLe32(reinterpret_cast<unsigned char*>(&bytes[o]), v); };
  auto startCell = [&](std::size_t offset, std::size_t size) { put(offset, static_cast<std::uint32_t>(0 - size)); };
  const std::size_t segment = 16352, first = 32;
  startCell(at, 16);
  bytes.replace(at + 4, 4, std::string{'d', 'b', '\x03', '\0'});
  put(at + 8, d + 16);
  startCell(at + 16, 16);
  for (std::size_t i = 0; i < 3; ++i) {
    put(at + 20 + 4 * i, static_cast<std::uint32_t>(d + first + i * segment));
    startCell(at + first + i * segment, i < 2 ? segment : cellSize - first - 2 * segment);
  }
  put(0x1000 + value.cell + 4 + 4, 40000);  // the value's data size
  return bytes;
}

// Small data whose first bytes read as a big data record's header: one
// segment, its list at 0x20 (the root key of a hive libhivex writes).
const RegValue kLooksBig{REG_BINARY, std::string("db\x01\0\x20\0\0\0\x30\0\0\0", 12)};

TEST(HiveOracle, BothReadersReadEveryKeyAndValueAlike) {
  TempDir dir;
  // Generated: a CLSID key past the size of one list, so an ri of lh leaves.
  const fs::path generated = dir / "generated";
  ASSERT_TRUE(bench::generateMachine({1500, bench::MachineFormat::Hive, generated.string()}).ok);
  // Written by libhivex: names stored as Latin-1 and as UTF-16, big data,
  // data held in the value cell, and the root's list made lf and li.
  const fs::path small = dir / "small";
  writeHive(small, {{"CLSID\\{A1}\\InprocServer32", sz("C:\\m9q.dll")},
                    {"\xC3\x84rger", RegValue{REG_BINARY, std::string(40100, '\x5A')}},
                    {"m9q.\xC4\xB1", RegValue{REG_DWORD, std::string("\x2A\0\0\0", 4)}},
                    {"Empty", RegValue{REG_SZ, ""}}, {"Db", kLooksBig},
                    {"Zeta", RegValue{REG_MULTI_SZ, std::string("a\0b\0\0\0", 6)}}});
  const std::string bytes = readFile(small);
  const std::size_t rootList = listOf(bytes, 0x1000 + le32At(bytes, 0x24));
  ASSERT_EQ(bytes.substr(rootList + 4, 2), "lh");
  writeFile(dir / "lf", withListKind(bytes, rootList, 'f'));
  writeFile(dir / "li", withListKind(bytes, rootList, 'i'));
  writeFile(dir / "db", withBigDataRecord(bytes, small, "\xC3\x84rger"));
  for (const fs::path& file : {generated, small, dir / "lf", dir / "li", dir / "db"})
    EXPECT_EQ(readersDiffer(file), "") << file.filename();
  EXPECT_EQ(fuzz::hivexKeys(dir / "db").value_or(std::map<std::string, std::string>{})["\\\xC3\x84rger"],
            fuzz::valueLine("", REG_BINARY, std::string(40000, '\x5A')));

  // Damaged copies: a few bytes of the hbins changed at random. Wherever
  // both read the whole hive they must read the same; the store opens the
  // copy or refuses it, and never reads outside it.
  std::mt19937 random(16);
  int compared = 0;
  for (int round = 0; round < 400; ++round) {
    std::string damaged = round % 2 ? bytes : readFile(dir / "li");
    std::uniform_int_distribution<std::size_t> at(0x1000, damaged.size() - 1);
    for (int n = 1 + round % 3; n > 0; --n) damaged[at(random)] = static_cast<char>(random());
    writeFile(dir / "damaged", damaged);
    const auto oracle = fuzz::hivexKeys(dir / "damaged");
    std::string error;
    if (!HiveStore::open(dir / "damaged", HiveStore::Top::ClassesIfPresent, error) || !oracle ||
        std::ranges::any_of(*oracle, [](const auto& key) { return key.second.find("unreadable") != std::string::npos; }))
      continue;
    EXPECT_EQ(fuzz::readersDisagree(dir / "damaged", *oracle), "") << "round " << round;
    ++compared;
  }
  EXPECT_GT(compared, 100);
}

// The sections of a hivexregedit export, less those of the keys below
// `removed` (paths as the export writes them).
std::string withoutKeys(const std::string& exported, const std::set<std::string>& removed) {
  std::string out;
  bool keep = true;
  std::istringstream in(exported);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("[")) {
      const std::string path = line.substr(1, line.find(']') - 1);
      auto below = removed.upper_bound(path);
      keep = below == removed.begin() || !(path == *--below || path.starts_with(*below + "\\"));
    }
    if (keep) out += line + "\n";
  }
  return out;
}

// What a save must leave as it was: the number of allocated cells that no
// key reaches (a removal must free all of its cells and no other), and for
// each security descriptor its count of references less the keys that use it.
struct CellUse {
  std::size_t unreachable = 0;
  std::map<std::uint32_t, std::int64_t> securitySlack;
  bool operator==(const CellUse&) const = default;
};

CellUse cellUse(const fs::path& file) {
  std::string error, why;
  auto hive = regf::RegfHive::open(file, error);
  EXPECT_TRUE(hive) << error;
  if (!hive) return {};
  const regf::RegfView& view = hive->view();
  CellUse use;
  std::set<std::uint32_t> reached;
  std::vector<std::uint32_t> pending{hive->rootCell()};
  while (!pending.empty()) {
    regf::KeyCell key;
    std::vector<std::uint32_t> children, values;
    std::vector<regf::ListCell> lists;
    if (!view.key(pending.back(), key, why)) break;
    pending.pop_back();
    EXPECT_TRUE(view.subkeys(key, children, why, &lists)) << why;
    EXPECT_TRUE(view.valueCells(key, values, why)) << why;
    for (const regf::ListCell& list : lists) reached.insert(list.cell);
    if (key.valueCount) reached.insert(key.valueList);
    for (std::uint32_t v : values) {
      regf::ValueCell value;
      std::vector<std::uint32_t> data{v};
      if (view.value(v, value, why)) view.dataCells(value, data), reached.insert(data.begin(), data.end());
    }
    reached.insert({key.cell, key.security, key.className});
    --use.securitySlack[key.security];
    pending.insert(pending.end(), children.begin(), children.end());
  }
  for (std::uint32_t cell = 0; cell < hive->cellSlots() * 4; cell += 4)
    use.unreachable += view.isCell(cell) && !reached.count(cell);
  for (auto& [sk, slack] : use.securitySlack) slack += regf::le32(view.cell(sk).data() + 0x0C);
  return use;
}

TEST(HiveOracle, ASavedHiveExportsAsTheOriginalWithoutTheRemovedKeys) {
  if (!commandOutput("command -v hivexregedit")) GTEST_SKIP() << "hivexregedit not installed";
  TempDir dir;
  const fs::path file = dir / "UsrClass.dat";
  ASSERT_TRUE(bench::generateMachine({1500, bench::MachineFormat::Hive, file.string()}).ok);
  const std::string original = exportedHive(file);
  ASSERT_NE(original, "(failed)");

  const CellUse use = cellUse(file);
  auto store = openHive(file);
  ASSERT_TRUE(store);
  HandleTable api(*store);
  const NodeId clsid = store->findChild(store->root(), "CLSID");
  ASSERT_GT(store->childCount(clsid), 1000u);
  // Two saves: most of CLSID (whole leaves of its index among them) and a
  // root key, then some of what is left.
  std::vector<std::string> saves[2];
  for (std::uint32_t i = 0; i < store->childCount(clsid); ++i) {
    const std::string path = "CLSID\\" + std::string(store->name(store->childAt(clsid, i)));
    if (i % 7 == 0 || i / 500 == 1) saves[0].push_back(path);
    else if (i % 7 == 3) saves[1].push_back(path);
  }
  saves[0].emplace_back(store->name(store->childAt(store->root(), 0)));
  std::set<std::string> removed;
  for (int save = 0; save < 2; ++save) {
    for (const std::string& path : saves[save]) {
      ASSERT_EQ(deleteTree(api, path), 0) << path;
      removed.insert("\\Classes\\" + path);
    }
    ASSERT_EQ(outcome(store->save()), "ok");
    EXPECT_EQ(exportedHive(file), withoutKeys(original, removed)) << "save " << save;
    EXPECT_EQ(readersDiffer(file), "") << "save " << save;
    EXPECT_TRUE(cellUse(file) == use) << "save " << save;
  }

  // A key whose value is a big data record, and one whose small value
  // begins as one does.
  const fs::path small = dir / "small";
  writeHive(small, {{"Big", RegValue{REG_BINARY, std::string(40100, '\x5A')}}, {"Db", kLooksBig}, {"Kept", sz("k")}});
  std::string bytes = withBigDataRecord(readFile(small), small, "Big");
  ASSERT_FALSE(bytes.empty());
  ASSERT_EQ(le32At(bytes, 0x24), 0x20u);  // the root, which kLooksBig names as its list
  writeFile(small, bytes);
  const CellUse smallUse = cellUse(small);
  const std::string smallOriginal = exportedHive(small);
  ASSERT_NE(smallOriginal, "(failed)");
  auto smallStore = openHive(small);
  ASSERT_TRUE(smallStore);
  for (const char* name : {"Big", "Db"})
    ASSERT_EQ(smallStore->removeLeaf(smallStore->root(), smallStore->findChild(smallStore->root(), name)), 0);
  ASSERT_EQ(outcome(smallStore->save()), "ok");
  EXPECT_EQ(exportedHive(small), withoutKeys(smallOriginal, {"\\Big", "\\Db"}));
  EXPECT_TRUE(cellUse(small) == smallUse);
}

}  // namespace
}  // namespace comsweep::test
