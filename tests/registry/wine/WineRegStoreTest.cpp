#include "registry/wine/WineRegStore.h"

#include <gmock/gmock.h>
#include <sys/stat.h>

#include <regex>

#include "registry/store/StoreContract.h"
#include "registry/wine/WineEscapes.h"
#include "registry/wine/WineTestSupport.h"
#include "support/Fixture.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

using registry::NodeId;
using registry::RegValue;
using registry::WineRegStore;
namespace fs = std::filesystem;
using namespace std::string_literals;

const std::string kHead =
    "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n";
// The header line of a key below Software\Classes; `path` is spelled as in the file.
std::string block(const std::string& path) { return "\n[Software\\\\Classes\\\\" + path + "] 1\n"; }
std::string typed(const RegValue& value) { return std::to_string(value.type) + ":" + value.data; }

std::unique_ptr<WineRegStore> load(const fs::path& file) {
  std::string error;
  auto store = WineRegStore::load(file, error);
  EXPECT_TRUE(store) << error;
  return store;
}

NodeId find(const registry::Store& store, std::string_view path) {
  NodeId node = store.root();
  for (std::size_t cut = 0; node != registry::kNoNode && cut != std::string_view::npos;
       path.remove_prefix(cut + 1))
    node = store.findChild(node, path.substr(0, cut = path.find('\\')));
  return node;
}

// The values of the key at `path` as "name=type:data" lines, or "refused".
std::string valuesAt(const registry::Store& store, std::string_view path) {
  std::vector<registry::NamedValue> values;
  if (!store.values(find(store, path), values)) return "refused";
  std::string out;
  for (const registry::NamedValue& value : values) out += value.name + "=" + typed(value.value) + "\n";
  return out;
}

// Keys as Wine writes them: the path escaped whole (a backslash becomes
// the doubled separator), the default value as hex data, a form Wine reads
// for every type; the quoted forms Wine writes are read in ReadsWhatWineWrote.
struct WineTraits {
  static StoreUnderTest make(const std::vector<ContractKey>& keys) {
    auto dir = std::make_shared<TempDir>();
    std::string text = kHead;
    for (const ContractKey& key : keys) {
      text += block(registry::WineEscapes::escape(registry::utf8ToUtf16(key.path), "[]"));
      if (!key.defaultValue) continue;
      std::string hex, digits = "0123456789abcdef";
      for (unsigned char b : key.defaultValue->data) hex += {',', digits[b >> 4], digits[b & 15]};
      text += "@=hex(" + std::to_string(key.defaultValue->type) + "):" + hex.erase(0, 1) + "\n";
    }
    writeFile(*dir / "system.reg", text);
    return {load(*dir / "system.reg"), dir};
  }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Wine, StoreContract, WineTraits);

const fs::path kFixture = fs::path(COMSWEEP_TEST_DATA) / "wine" / "system.reg";
// The key whose name Wine spells "\xdcn\x00efc\x00f6d\xe9\x20acKey", in UTF-8.
const std::string kUnicodeName = "\xC3\x9Cn\xC3\xAF" "c\xC3\xB6" "d\xC3\xA9\xE2\x82\xAC" "Key";

TEST(WineRegStore, ReadsWhatWineWrote) {
  auto store = load(kFixture);
  ASSERT_TRUE(store);
  const std::pair<std::string, RegValue> cases[] = {
      {"CLSID\\{F00D0001-0000-4000-8000-00000000009A}\\InprocServer32", sz("C:\\Program Files\\Sonnet\\m9qGrid.ocx")},
      {"Escapes[1]\\Controls", sz("tab\there \"quoted\" back\\slash \x1b\x01"s + '\0' + "7 bell\a nl\n cr\r")},
      {"escapes[1]\\" + registry::upperCase(kUnicodeName),
       sz("\xC3\xA4\xE2\x82\xAC before hex: \xC3\xA4" "B \xE2\x82\xAC" "f \xF0\x9F\x98\x80 end")},
      {"Escapes[1]\\Expand", sz("%SystemRoot%\\system32\\m9q.dll", registry::REG_EXPAND_SZ)},
      {"Escapes[1]\\Multi", sz("one"s + '\0' + "two" + '\0', registry::REG_MULTI_SZ)},
      {"Escapes[1]\\Numbers", {registry::REG_DWORD, "\x2a\0\0\0"s}},
      // Implied parents, empty keys and links are keys without a value.
      {"Escapes[1]", {}}, {"Escapes[1]\\Empty", {}}, {"Wow6432Node\\TypeLib", {}}, {"m9qGrid.Grid.1", {}},
  };
  for (const auto& [path, expected] : cases) {
    RegValue value;
    const NodeId node = find(*store, path);
    const bool has = node != registry::kNoNode && store->defaultValue(node, value);
    EXPECT_EQ((node == registry::kNoNode ? "missing" : std::to_string(has)) + typed(value),
              std::to_string(expected.type != registry::REG_NONE) + typed(expected)) << path;
  }
  // Keys outside Software\Classes are not part of the tree.
  std::string roots;
  for (const std::string& key : allKeys(*store)) roots += key.find('\\') == std::string::npos ? key + "|" : "";
  EXPECT_EQ(roots, "CLSID|Escapes[1]|Interface|m9qGrid.Grid.1|Typelib|Wow6432Node|");
  // All values come back from the key's block; the blob runs over three continued lines.
  std::string blob;
  for (int i = 0; i < 60; ++i) blob += static_cast<char>(i);
  EXPECT_EQ(valuesAt(*store, "Escapes[1]\\Numbers"), "=4:*\0\0\0\nBlob=3:"s + blob + "\nOdd=4294901767:\x01\x02\n");
  EXPECT_EQ(valuesAt(*store, "Absent"), "refused");
  // A key given twice: the later block's values win, names compared without case.
  TempDir dir;
  writeFile(dir / "system.reg",
            kHead + block("k") + "\"A\"=\"1\"\n\"B\"=\"2\"\n" + block("K") + "\"a\"=\"3\"\n@=\"d\"\n");
  auto twice = load(dir / "system.reg");
  EXPECT_EQ(twice ? valuesAt(*twice, "k") : "",
            "A=1:" + sz("3").data + "\nB=1:" + sz("2").data + "\n=1:" + sz("d").data + "\n");
}

// Loading gives the memory of what it has read back; values and the save
// then read the file again, and refuse when it has changed meanwhile. A save
// cuts exactly the removed keys' blocks; with nothing removed it leaves the
// file as it is, not rewritten.
TEST(WineRegStore, SavingCutsExactlyTheRemovedBlocksFromTheUnchangedFile) {
  WineRegStore::setReleaseStep(1);
  std::shared_ptr<void> step(nullptr, [](void*) { WineRegStore::setReleaseStep(WineRegStore::kReleaseStep); });
  TempDir dir;
  const fs::path file = dir / "system.reg";
  // Pages enough to give back before the last key (comments belong to the block before them).
  std::string original = readFile(kFixture);
  for (int i = 0; i < 4096; ++i) original += ";; padding padding\n";
  writeFile(file, original += block("zzLast"));
  ::chmod(file.c_str(), 0640);
  struct stat st {}, before {};
  ASSERT_EQ(::stat(file.c_str(), &before), 0);
  auto store = load(file);
  ASSERT_TRUE(store);
  const std::string multi = "Escapes[1]\\Multi";
  EXPECT_EQ(valuesAt(*store, multi), "=7:" + sz("one\0two\0"s).data + "\nName \"q\"=1:" + sz("v").data + "\n");
  registry::HandleTable api(*store);
  EXPECT_EQ(api.RegDeleteKeyA(registry::HKEY_CLASSES_ROOT, "Escapes[1]"), registry::ERROR_ACCESS_DENIED);
  ASSERT_FALSE(store->save().failure.failed());
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_ino, before.st_ino) << "nothing removed: the file is not replaced";
  EXPECT_EQ(st.st_mtim.tv_nsec, before.st_mtim.tv_nsec) << "nor written";
  const std::pair<std::string, std::string> removed[] = {
      {"CLSID\\{F00D0001-0000-4000-8000-00000000009A}", "CLSID\\\\{F00D0001"},
      {"m9qGrid.Grid.1", "m9qGrid.Grid.1\\\\"}, {"Wow6432Node\\TypeLib", "Wow6432Node\\\\TypeLib]"},
      {"Escapes[1]\\" + kUnicodeName, "Escapes\\[1\\]\\\\\\xdcn"}};
  std::string expected = original;
  for (const auto& [path, header] : removed) {
    ASSERT_EQ(deleteTree(api, path), 0) << path;
    // Worked out here, independently of the store's cutting: each block of
    // the key goes with the blank line before it, up to the next blank line.
    for (std::size_t at; (at = expected.find("\n[Software\\\\Classes\\\\" + header)) != std::string::npos;)
      expected.erase(at, expected.find("\n\n", at + 1) + 1 - at);
  }
  ASSERT_FALSE(store->save().failure.failed());
  EXPECT_EQ(readFile(file), expected);
  EXPECT_EQ(::stat(file.c_str(), &st) == 0 ? st.st_mode & 0777 : 0, 0640u);
  // The saved file is another file: the bytes given back are not read from it at the old offsets.
  EXPECT_EQ(valuesAt(*store, multi), "refused");

  auto second = load(file);
  ASSERT_TRUE(second);
  writeFile(file, readFile(file) + "\n");
  EXPECT_EQ(valuesAt(*second, multi), "refused");
  ASSERT_EQ(second->removeLeaf(find(*second, "Escapes[1]"), find(*second, multi)), 0);
  EXPECT_TRUE(second->save().failure.failed());
}

// Keys added with a removal in the same save: new blocks where Wine's
// order puts them (also in place of a removed block, and after a block
// outside the classes that sorts first), a value given to an existing key
// in a block after its own; every other byte as it was. (How such a file
// reads back, parents implied and blocks of one key merged, is ReadsWhatWineWrote's.)
TEST(WineRegStore, AddsBlocksInWinesOrderAndKeepsEveryOtherByte) {
  TempDir dir;
  const std::string head = kHead + "\n[Software\\\\Alpha] 1\n\"k\"=\"v\"\n";
  const std::string a = block("A") + "@=\"a\"\n", b = block("B") + "@=\"b\"\n", c = block("C") + "\"c\"=dword:00000003\n";
  const std::string tail = "\n[Software\\\\Wine] 1\n\"w\"=\"x\"\n";
  writeFile(dir / "system.reg", head + a + b + c + tail);
  auto store = load(dir / "system.reg");
  NodeId made = registry::kNoNode, deeper = registry::kNoNode;
  bool created = false;
  ASSERT_EQ(store->removeLeaf(store->root(), find(*store, "B")), 0);
  ASSERT_EQ(store->createKey(store->root(), "b_2", made, created), 0);  // "_" before letters in Wine's order
  ASSERT_EQ(store->createKey(made, "Sub", deeper, created), 0);
  ASSERT_EQ(store->createKey(store->root(), "0", made, created), 0);
  ASSERT_EQ(store->setValue(deeper, {"", {registry::REG_SZ, std::string("\xAC\x20\0\0", 4)}}), 0);
  ASSERT_EQ(store->setValue(find(*store, "C"), {"N", {0x2A, "\x01"}}), 0);
  ASSERT_FALSE(store->save().failure.failed());
  const std::string text = std::regex_replace(readFile(dir / "system.reg"),
                                              std::regex("\\] [0-9]+\n#time=[0-9a-f]+\n"), "] T\n");
  EXPECT_EQ(text, head + "\n[Software\\\\Classes\\\\0] T\n" + a + "\n[Software\\\\Classes\\\\b_2\\\\Sub] T\n@=\"\\x20ac\"\n" +
                      c + "\n[Software\\\\Classes\\\\C] T\n\"N\"=hex(2a):01\n" + tail);
}

// The guard is asked before writing and again once the new file is
// written, right before it takes the old one's place: a server started, or a
// block appended, while the new file was being written must not be undone by
// the rename. (A file changed before the save is refused in
// SavingCutsExactlyTheRemovedBlocksFromTheUnchangedFile.)
TEST(WineRegStore, SaveRefusesWhenTheGuardObjects) {
  TempDir dir;
  const fs::path file = dir / "system.reg";
  const std::string text = kHead + block("a"), appended = text + block("late");
  for (int refuseAt : {1, 2, 0}) {  // 0: a block is appended at the second ask
    SCOPED_TRACE(refuseAt);
    writeFile(file, text);
    auto store = load(file);
    ASSERT_EQ(store->removeLeaf(store->root(), find(*store, "a")), 0);
    int asked = 0;
    store->setSaveGuard([&] {
      ++asked;  // the first ask comes before writing, the second with the new file beside the old one
      EXPECT_EQ(filesStarting(dir.path(), "").size(), asked == 2 ? 2u : 1u) << "ask " << asked;
      if (asked == refuseAt) return std::string("a wineserver is running");
      if (asked == 2) writeFile(file, appended);
      return std::string();
    });
    registry::CommitResult result = store->save();
    EXPECT_EQ(asked, refuseAt == 1 ? 1 : 2);
    EXPECT_THAT(outcome(result), ::testing::HasSubstr(refuseAt ? "a wineserver is running" : "changed"));
    EXPECT_EQ(readFile(file), refuseAt ? text : appended);
  }
}

}  // namespace
}  // namespace comsweep::test
