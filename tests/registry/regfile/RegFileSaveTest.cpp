#include <gmock/gmock.h>

#include "registry/handles/HandleTable.h"
#include "registry/regfile/RegFileStore.h"
#include "registry/regfile/RegFileTestText.h"
#include "registry/wine/WineTestSupport.h"
#include "support/Fixture.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

using registry::HKEY_CLASSES_ROOT;
using registry::RegFileStore;
using namespace std::string_literals;

// A file as blocks; `true` marks the blocks of the keys the test deletes.
const std::pair<const char*, bool> kPieces[] = {
    {"Windows Registry Editor Version 5.00\n\n; exported\n", false}, {"[HKEY_CLASSES_ROOT]\n@=\"root\"\n\n", false},
    // Blocks of a key the file deletes further down stay: an import of the
    // saved file deletes the key again.
    {"[HKEY_CLASSES_ROOT\\CLSID\\{A}]\n@=\"class A\"\n\"x\"=hex:01,\\\n  02\n\n", false},
    {"[HKEY_CLASSES_ROOT\\CLSID\\{A}\\Old]\n@=\"old\"\n\n", false},
    {"[HKEY_CLASSES_ROOT\\CLSID\\{B}]\n@=\"two\n[HKEY_CLASSES_ROOT\\CLSID\\{A}]\nlines\"\n\n", false},
    {"[HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{A}]\n@=\"elsewhere\"\n\n", false},
    {"[-HKEY_CLASSES_ROOT\\CLSID\\{A}]\n\"stray\"=\"x\"\n\n", false},
    {"[HKEY_CLASSES_ROOT\\CLSID\\{A}\\InprocServer32]\n@=\"a.dll\"\n\n", true},
    {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\clsid\\{a}]\n\"again\"=dword:1\n\"x\"=-\n@=-\n", true},
    {"[-HKEY_CLASSES_ROOT\\CLSID\\{A}\\Old]\n", false}, {"[HKEY_CLASSES_ROOT\\Last]  \n@=\"no line end\"", false},
};

// (A save that cannot be written is RegMachineFailures.AFailedBackupOrSaveLeavesTheMachineAsItWas.)
// Loading gives back the memory of what it has read: a header longer than a
// page is gone from memory before the first key, and values read afterwards
// still decode by it.
TEST(RegFileSave, LeavesOutExactlyTheBlocksOfRemovedKeys) {
  RegFileStore::setReleaseStep(1);
  std::shared_ptr<void> step(nullptr, [](void*) { RegFileStore::setReleaseStep(RegFileStore::kReleaseStep); });
  std::string all, kept;
  for (const auto& [text, removed] : kPieces) all += text, kept += removed ? "" : text;
  for (int i = 0; i < 1024; ++i) all.insert(all.find("; exported"), "; padding\n");
  kept = all.substr(0, all.find("[HKEY")) + kept.substr(kept.find("[HKEY"));
  TempDir dir;
  const std::filesystem::path file = dir / "hkcr.reg";
  // Loads `bytes` and removes CLSID\{A} as the removal does, leaves first.
  std::string error;
  auto loadAndRemove = [&](const std::string& bytes) {
    writeFile(file, bytes);
    std::unique_ptr<RegFileStore> store = RegFileStore::open(file, error);
    EXPECT_TRUE(store) << error;
    registry::HandleTable api(*store);
    std::vector<registry::NamedValue> values;
    EXPECT_TRUE(store->values(store->findChild(store->root(), "Last"), values));
    EXPECT_EQ(values.size() == 1 ? registry::utf16leToUtf8(values[0].value.data) : "", "no line end"s + '\0');
    EXPECT_EQ(deleteTree(api, "clsid\\{a}"), 0);
    return store;
  };
  for (bool utf16 : {true, false})
    for (bool crlf : {true, false}) {
      SCOPED_TRACE(std::string(utf16 ? "UTF-16" : "8-bit") + (crlf ? " CRLF" : " LF"));
      ASSERT_EQ(outcome(loadAndRemove(encodeRegText(all, utf16, crlf))->save()), "ok");
      EXPECT_EQ(readFile(file), encodeRegText(kept, utf16, crlf));
      // Read as an import reads it, the saved file has the tree the removal left.
      std::unique_ptr<RegFileStore> saved = RegFileStore::open(file, error);
      ASSERT_TRUE(saved) << error;
      EXPECT_EQ(allKeys(*saved), (std::vector<std::string>{"CLSID", "CLSID\\{B}", "Last"}));
    }
  EXPECT_EQ(filesStarting(dir.path(), "").size(), 1u);

  // Someone else's change since the file was read is not overwritten.
  std::unique_ptr<RegFileStore> store = loadAndRemove(all);
  writeFile(file, "REGEDIT4\n");
  EXPECT_THAT(outcome(store->save()), ::testing::HasSubstr("changed on disk"));
  EXPECT_EQ(readFile(file), "REGEDIT4\n");
  std::filesystem::remove(file);
  EXPECT_TRUE(store->save().failure.failed());
  EXPECT_FALSE(std::filesystem::exists(file));
}

}  // namespace
}  // namespace comsweep::test
