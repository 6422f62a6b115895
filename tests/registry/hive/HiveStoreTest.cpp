#include "registry/hive/HiveStore.h"

#include <gmock/gmock.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include "registry/hive/HiveFixture.h"
#include "registry/wine/WineTestSupport.h"
#include "support/Fixture.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

using namespace registry;
using namespace ::testing;

struct HiveTraits {
  static StoreUnderTest make(const std::vector<ContractKey>& keys) {
    return machineFile("UsrClass.dat", [&](const auto& file) { writeHive(file, keys); });
  }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Hive, StoreContract, HiveTraits);

const std::string kA1 = "{00000000-0000-0000-0000-0000000000A1}";
const std::string kC3 = "{00000000-0000-0000-0000-0000000000C3}";
const std::vector<ContractKey> kSoftware = {
    {"Classes\\CLSID\\" + kA1 + "\\InprocServer32", sz("C:\\m9q.dll")},
    {"Classes\\CLSID\\{00000000-0000-0000-0000-0000000000B2}", sz("Kept Class")},
    {"Classes\\TypeLib\\" + kC3 + "\\1.0\\0\\win32", sz("C:\\m9q.tlb")}, {"Classes\\M9Q.Thing", sz("Thing")},
    // Names the registry keeps apart although Unicode folds them together.
    {"Classes\\m9q.I", sz("capital I")}, {"Classes\\m9q.\xC4\xB1", sz("dotless i")},
    {"Microsoft\\Windows", sz("outside the classes")},
};

// A hive written by a tool that does not keep subkey lists in the
// registry's order is still enumerated in that order.
TEST(HiveStore, EnumeratesInRegistryOrderWhateverOrderTheListIsStoredIn) {
  TempDir dir;
  writeHive(dir / "UsrClass.dat", {{"A", std::nullopt}, {"b", std::nullopt}, {"C", std::nullopt}});
  std::string hive = readFile(dir / "UsrClass.dat");
  const std::size_t list = listOf(hive, 0x1000 + le32At(hive, 0x24));
  ASSERT_EQ(hive[list + 4], 'l');  // an lf or lh list: 8-byte entries
  // Stored in reverse: every neighbour out of order.
  std::swap_ranges(hive.begin() + list + 8, hive.begin() + list + 16, hive.begin() + list + 24);
  writeFile(dir / "UsrClass.dat", hive);
  auto store = openHive(dir / "UsrClass.dat");
  ASSERT_TRUE(store);
  EXPECT_EQ(allKeys(*store), (std::vector<std::string>{"A", "b", "C"}));
}

// On a Windows drive whose names are oddly cased, as on a case-sensitive
// file system.
TEST(HiveStore, RemovesExactlyTheRemovedKeysAndWritesOnlyThen) {
  TempDir drive;
  const auto config = drive / "windows/system32/Config", file = config / "software";
  std::filesystem::create_directories(config);
  writeHive(file, {{"Microsoft", std::nullopt}});
  EXPECT_EQ(kindOf(drive.path()), file.string() + ": the hive has no Classes key (it is not a SOFTWARE hive)");
  writeHive(file, kSoftware);
  const std::string original = readFile(file);
  EXPECT_EQ(kindOf(file), "hive");  // its run lock ends with it
  MachineOpenResult opened = openMachine(drive.path());
  ASSERT_TRUE(opened.machine) << opened.failure.why;  // its drive C is where HiveMachine finds the log
  HandleTable api(*opened.machine->store);
  // A refused removal is no change: the file stays as it was.
  EXPECT_EQ(api.RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID"), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(api.commit().failure.failed());
  EXPECT_EQ(readFile(file), original);
  EXPECT_EQ(deleteTree(api, "clsid\\" + kA1) + deleteTree(api, "TypeLib\\" + kC3), 0);
  ASSERT_EQ(outcome(api.commit()), "ok");
  EXPECT_EQ(filesStarting(config, "").size(), 1u);
  // Read again from the file; that libhivex reads it so is HiveOracle's and UsersDrive's case.
  auto reread = openHive(file, HiveStore::Top::ClassesRequired);
  ASSERT_TRUE(reread);
  EXPECT_EQ(allKeys(*reread), (std::vector<std::string>{"CLSID", "CLSID\\{00000000-0000-0000-0000-0000000000B2}",
                                                       "m9q.I", "M9Q.Thing", "m9q.\xC4\xB1", "TypeLib"}));
  // Another program writes the hive after it was read: it is not overwritten.
  EXPECT_EQ(deleteTree(api, "M9Q.Thing"), 0);
  std::string touched = readFile(file);
  touched[0x1000 + 0x20] ^= 1;  // somewhere in the first hbin: the content differs
  writeFile(file, touched);
  EXPECT_THAT(outcome(api.commit()), HasSubstr("another program changed it since it was read"));
  EXPECT_EQ(readFile(file), touched);
}

TEST(HiveStore, ReadsStringsIn8BitAndUtf16) {
  // The stored bytes; the text read through the API. (Plain UTF-16, and UTF-16
  // cut at an embedded NUL, are the store contract's cases.)
  const struct { const char* key; std::string raw, expected; } cases[] = {
      {"OddLength", std::string("C:\\m9q.dll\0", 11), "C:\\m9q.dll"},
      {"OneFinalNul", std::string("m9q\0", 4), "m9q"},
      {"NoNul", "ab", "ab"},
      {"InlineNamingACell", std::string(" \0\0\0", 4), " "},  // as an offset: the root key's cell
      {"Windows1252", std::string("\x80rger\0", 6), "\xE2\x82\xACrger"},
      {"Utf8Bytes", std::string("\xC3\xA4\0", 3), "\xC3\xA4"},
      {"Utf16Cjk", std::string("\x2D\x4E\x87\x65\0\0", 6), "\xE4\xB8\xAD\xE6\x96\x87"},
  };
  std::vector<ContractKey> keys;
  for (const auto& c : cases) keys.push_back({c.key, RegValue{REG_SZ, c.raw}});
  StoreUnderTest sut = HiveTraits::make(keys);
  ASSERT_TRUE(sut.store);
  HandleTable api(*sut.store);
  for (const auto& c : cases) EXPECT_EQ(defaultText(api, c.key), c.expected) << c.key;
}

// Every hive that cannot be read whole and as it is meant is refused, with
// the reason; the file is left as it was.
TEST(HiveStore, RefusesDirtyDamagedAndTruncatedHives) {
  TempDir dir;
  writeHive(dir / "good", {{"Classes\\CLSID\\{x}", sz("x")}});
  const std::string good = readFile(dir / "good");
  const std::size_t classes = keyCell(dir / "good", "Classes"), classesList = listOf(good, classes);
  auto with = [&good](std::size_t at, std::string_view b) { return std::string(good).replace(at, b.size(), b); };
  std::string dirty = good, log = good;
  setHeaderField(dirty, 0x08, 9);
  setHeaderField(log, 0x1C, 2);
  // Names the registry cannot tell apart: written apart, then made alike.
  writeHive(dir / "twins", {{"CLSID", std::nullopt}, {"CLSIX", std::nullopt}});
  const std::string twins = readFile(dir / "twins").replace(keyCell(dir / "twins", "CLSIX") + 4 + 0x4C, 5, "clsid");
  const std::pair<std::string, const char*> cases[] = {
      {good.substr(0, 0x800), "too short to be a registry hive"},
      {with(0x30, std::string(1, good[0x30] ^ 1)), "checksum mismatch"},
      {dirty, "transaction logs (.LOG1/.LOG2) were never applied"},
      {log, "a transaction log"},
      {good.substr(0, good.size() - 0x800), "the file is truncated"},
      {with(classes + 4 + 0x14, "\x71\x11\x01"),  // 70,001 subkeys announced, one listed
       "the key Classes is damaged (it announces 70001 subkeys, its lists hold 1)"},
      {with(classes + 4, "X"), "the root key is damaged (the cell at "},
      {with(0x1000, "X"), "the hive is damaged (no hbin at 0x0)"},
      {with(classesList + 5, "x"), "the key Classes is damaged (its subkey list at "},
      {with(classesList + 8, "\xF0\xFF\xFF\x7F"), "the key Classes is damaged (no key cell at 0x7ffffff0)"},
      {twins, "two subkeys named \"CLSID\" and \"clsid\""},
  };
  for (const auto& [bytes, says] : cases) {
    SCOPED_TRACE(says);
    writeFile(dir / "bad", bytes);
    EXPECT_THAT(kindOf(dir / "bad"), AllOf(StartsWith((dir / "bad").string() + ": "), HasSubstr(says)));
    EXPECT_EQ(readFile(dir / "bad"), bytes);
  }
}

// A write that a file size limit stops leaves the hive as it was, and the
// removal stays pending until writing works. (Removed keys whose cells kept
// ones share, descriptor rings among them, are HiveSharedCells'.)
TEST(HiveStore, AFailedSaveLeavesTheOriginalIntactAndTheRemovalPending) {
  TempDir dir;
  const auto file = dir / "SOFTWARE";
  writeHive(file, kSoftware);
  const std::string before = readFile(file);
  auto store = openHive(file, HiveStore::Top::ClassesRequired);
  ASSERT_TRUE(store);
  HandleTable api(*store);
  ASSERT_EQ(deleteTree(api, "CLSID"), 0);
  rlimit normal {};
  ::getrlimit(RLIMIT_FSIZE, &normal);
  const rlimit small {before.size() / 2, normal.rlim_max};
  auto handler = std::signal(SIGXFSZ, SIG_IGN);
  ::setrlimit(RLIMIT_FSIZE, &small);
  const std::string failed = outcome(store->save());
  ::setrlimit(RLIMIT_FSIZE, &normal);
  std::signal(SIGXFSZ, handler);
  EXPECT_THAT(failed, AllOf(StartsWith(file.string() + ": "), HasSubstr("File too large")));
  EXPECT_EQ(readFile(file), before);
  EXPECT_EQ(filesStarting(dir.path(), "").size(), 1u);
  ASSERT_FALSE(store->save().failure.failed());
  auto reopened = openHive(file, HiveStore::Top::ClassesRequired);
  EXPECT_EQ(reopened ? reopened->findChild(reopened->root(), "CLSID") : 0, kNoNode);

  // A removed key whose class name points into another cell frees only its
  // own cells.
  const auto classes = dir / "UsrClass.dat";
  writeHive(classes, {{"Gone", sz("x")}, {"Kept", sz("k")}});
  std::string bytes = readFile(classes);
  bytes.replace(keyCell(classes, "Gone") + 4 + 0x30, 4, std::string("\x10\0\0\0", 4));  // within the root key's cell
  writeFile(classes, bytes);
  auto gone = openHive(classes);
  ASSERT_TRUE(gone);
  ASSERT_EQ(gone->removeLeaf(gone->root(), gone->findChild(gone->root(), "Gone")), 0);
  ASSERT_EQ(outcome(gone->save()), "ok");
  EXPECT_EQ(readFile(classes).substr(0x1000, 0x20), bytes.substr(0x1000, 0x20));
  auto reread = openHive(classes);
  EXPECT_EQ(reread ? allKeys(*reread) : std::vector<std::string>{}, std::vector<std::string>{"Kept"});
}

}  // namespace
}  // namespace comsweep::test
