#include "registry/blockfile/BlockFileStore.h"

#include <gtest/gtest.h>

#include <random>

#include "registry/handles/HandleTable.h"
#include "registry/regfile/RegFileStore.h"
#include "registry/regfile/RegFileTestText.h"
#include "registry/wine/WineRegStore.h"
#include "registry/wine/WineTestSupport.h"
#include "support/MachineDump.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

using registry::BlockFileStore;

using Stored = std::unique_ptr<BlockFileStore>;
using Opener = Stored (*)(const std::filesystem::path&, std::string&);
const Opener kRegFile = [](const auto& f, auto& e) -> Stored { return registry::RegFileStore::open(f, e); };
const Opener kWine = [](const auto& f, auto& e) -> Stored { return registry::WineRegStore::load(f, e); };

// A Wine file of `body`, where "{" opens the key line of a key below the
// classes (named as the file spells it).
std::string wineFile(const std::string& body) {
  return replaceAll("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n" + body, "{",
                    "\n[Software\\\\Classes\\\\");
}

// A key may exist only through the blocks of its subkeys. Removing the
// last of them must not take the key along: the saved file gets a bare
// block for it in the format's own spelling, and reads back as the tree the
// removal left.
TEST(BlockFileStore, AKeyOnlyRemovedSubkeysImpliedKeepsABareBlock) {
  const std::string regText = "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Kept\\A]\n@=\"a\"\n\n"
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Deep\\B\\C]\n"
                              "[HKEY_CLASSES_ROOT\\Kept\\Other\\D]\n";
  const std::string regSaved =
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Deep]\n[HKEY_CLASSES_ROOT\\Kept\\Other\\D]\n";
  // Keys removed with their subtrees.
  const struct { const char* format; Opener open; std::string text; std::vector<std::string> remove;
                 std::string saved; } cases[] = {
      // Spelled under the root the removed block used, in the file's
      // encoding and line ends (each varied once).
      {"reg 8-bit CRLF", kRegFile, encodeRegText(regText, false, true), {"Kept\\A", "Deep\\B"},
       encodeRegText(regSaved, false, true)},
      {"reg UTF-16 LF", kRegFile, encodeRegText(regText, true, false), {"Kept\\A", "Deep\\B"},
       encodeRegText(regSaved, true, false)},
      // Named from the tree, escaped as Wine escapes it, with the time stamp
      // and line end of the block it stands in for; the options go.
      {"wine", kWine, wineFile("{Br\\[1\\]\\\\q] 1700000000\r\n#time=1d\n@=\"x\"\n{z] 1700000001\n"), {"br[1]\\Q"},
       wineFile("{Br\\[1\\]] 1700000000\r\n{z] 1700000001\n")},
      // The last block's key line has no line end: the saved file ends the same way.
      {"wine, no line end", kWine, wineFile("{a] 1\r\n{p\\\\q] 17"), {"p\\q"}, wineFile("{a] 1\r\n{p] 17")},
      // The first block, and a neighbour whose name extends the removed one stays.
      {"wine, first", kWine, wineFile("{a] 1\n\n{ab] 1\n"), {"a"}, wineFile("\n{ab] 1\n")},
      // A key given in two blocks loses both; blocks outside the classes stay.
      {"wine, twice", kWine, wineFile("{x] 1\n\n[Software\\\\Other] 1\n\n[software\\\\classes\\\\X] 1\n{y] 1\n"),
       {"x"}, wineFile("\n[Software\\\\Other] 1\n{y] 1\n")},
      // A key with its own block and blocks below it, parents implied.
      {"wine, subtree", kWine, wineFile("{p\\\\q] 1\n{p\\\\q\\\\r\\\\s] 1\n{p\\\\t] 1\n"), {"p\\q"},
       wineFile("{p\\\\t] 1\n")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    TempDir dir;
    writeFile(dir / "store", c.text);
    std::string error;
    Stored store = c.open(dir / "store", error), saved;
    ASSERT_TRUE(store) << error;
    registry::HandleTable api(*store);
    for (const std::string& path : c.remove) ASSERT_EQ(deleteTree(api, path), 0) << path;
    ASSERT_EQ(outcome(store->save()), "ok");
    EXPECT_EQ(readFile(dir / "store"), c.saved);
    ASSERT_TRUE(saved = c.open(dir / "store", error)) << error;
    EXPECT_EQ(dump(*saved), dump(*store));
  }
}

// Kept bytes given back after loading are copied by the system, bytes still
// held are written from memory: both give the file read less exactly the
// removed blocks, for blocks removed at the start, in the middle, at the end
// (the file then ends with the line before the block), side by side and all
// of them, in both formats and in a .reg file's 8-bit and UTF-16 spellings.
// A store still holding the bytes saves again once its own save has replaced
// the file.
TEST(BlockFileStore, CopiedAndWrittenKeptRunsSaveTheSameFile) {
  std::shared_ptr<void> step(nullptr, [](void*) { BlockFileStore::setReleaseStep(BlockFileStore::kReleaseStep); });
  const struct { const char* format; Opener open; bool utf16, crlf; } formats[] = {
      {"wine", kWine, false, false}, {"reg 8-bit CRLF", kRegFile, false, true},
      {"reg 8-bit LF", kRegFile, false, false}, {"reg UTF-16 CRLF", kRegFile, true, true}};
  constexpr int kKeys = 40;
  std::vector<int> every(kKeys);
  for (int k = 0; k < kKeys; ++k) every[k] = k;
  const std::vector<int> removals[] = {{0}, {19}, {kKeys - 1}, {7, 8, 9}, {0, 20, kKeys - 1}, every};
  std::mt19937 random(7);
  for (const auto& f : formats) {
    SCOPED_TRACE(f.format);
    const bool wine = f.open == kWine;
    const std::string head = wine ? wineFile("") : "Windows Registry Editor Version 5.00\n\n";
    // Blocks of up to a page or so, so that runs start and end anywhere in a page.
    std::vector<std::string> blocks;
    for (int k = 0; k < kKeys; ++k) {
      const std::string name = "k" + std::to_string(100 + k);
      blocks.push_back((wine ? "\n[Software\\\\Classes\\\\" + name + "] 1\n" : "[HKEY_CLASSES_ROOT\\" + name + "]\n") +
                       "@=\"" + std::string(random() % 3000, 'v') + "\"\n" + (wine ? "" : "\n"));
    }
    auto encode = [&](const std::string& text) { return wine ? text : encodeRegText(text, f.utf16, f.crlf); };
    for (const std::vector<int>& removed : removals) {
      SCOPED_TRACE(::testing::PrintToString(removed));
      std::string all = head, kept = head, keptAgain = head;
      int again = -1;  // the first kept key, removed by a second save
      for (int k = 0; k < kKeys; ++k) {
        all += blocks[k];
        if (std::find(removed.begin(), removed.end(), k) != removed.end()) continue;
        kept += blocks[k];
        if (again < 0) again = k;
        else keptAgain += blocks[k];
      }
      for (int copied : {0, 1}) {
        BlockFileStore::setReleaseStep(copied ? 1 : std::size_t{32} << 20);
        TempDir dir;
        writeFile(dir / "store", encode(all));
        std::string error;
        Stored store = f.open(dir / "store", error);
        ASSERT_TRUE(store) << error;
        registry::HandleTable api(*store);
        for (int k : removed) ASSERT_EQ(deleteTree(api, "k" + std::to_string(100 + k)), 0);
        ASSERT_EQ(outcome(store->save()), "ok");
        EXPECT_EQ(readFile(dir / "store"), encode(kept)) << (copied ? "copied" : "written");
        if (copied || again < 0) continue;
        ASSERT_EQ(deleteTree(api, "k" + std::to_string(100 + again)), 0);
        ASSERT_EQ(outcome(store->save()), "ok");
        EXPECT_EQ(readFile(dir / "store"), encode(keptAgain));
      }
    }
  }
}

}  // namespace
}  // namespace comsweep::test
