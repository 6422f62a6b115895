#include <gtest/gtest.h>


#include "registry/HandleTable.h"
#include "registry/regfile/RegFileStore.h"
#include "registry/regfile/RegFileTestText.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

using registry::HKEY_CLASSES_ROOT;
using registry::RegFileStore;

// A file as blocks; `removed` marks the blocks of the keys the tests delete.
struct Piece {
  const char* text;
  bool removed;
};

const Piece kPieces[] = {
    {"Windows Registry Editor Version 5.00\n\n; exported\n", false},
    {"[HKEY_CLASSES_ROOT]\n@=\"root\"\n\n", false},
    // Blocks of a key the file deletes further down stay: an import of the
    // saved file deletes the key again.
    {"[HKEY_CLASSES_ROOT\\CLSID\\{A}]\n@=\"class A\"\n\"x\"=hex:01,\\\n  02\n\n", false},
    {"[HKEY_CLASSES_ROOT\\CLSID\\{A}\\Old]\n@=\"old\"\n\n", false},
    {"[HKEY_CLASSES_ROOT\\CLSID\\{B}]\n@=\"two\n[HKEY_CLASSES_ROOT\\CLSID\\{A}]\nlines\"\n\n", false},
    {"[HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{A}]\n@=\"elsewhere\"\n\n", false},
    {"[-HKEY_CLASSES_ROOT\\CLSID\\{A}]\n\"stray\"=\"x\"\n\n", false},
    {"[HKEY_CLASSES_ROOT\\CLSID\\{A}\\InprocServer32]\n@=\"a.dll\"\n\n", true},
    {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\clsid\\{a}]\n\"again\"=dword:1\n\"x\"=-\n@=-\n", true},
    {"[-HKEY_CLASSES_ROOT\\CLSID\\{A}\\Old]\n", false},
    {"[HKEY_CLASSES_ROOT\\Last]  \n@=\"no line end\"", false},
};

std::string join(bool keptOnly) {
  std::string text;
  for (const Piece& piece : kPieces)
    if (!keptOnly || !piece.removed) text += piece.text;
  return text;
}

class RegFileSave : public ::testing::Test {
 protected:
  std::unique_ptr<RegFileStore> load(const std::string& bytes) {
    writeFile(m_file, bytes);
    std::string error;
    std::unique_ptr<RegFileStore> store = RegFileStore::open(m_file, error);
    EXPECT_TRUE(store) << error;
    return store;
  }

  // Removes CLSID\{A} as the removal does, leaves first; a refused step
  // removes nothing.
  static void removeClassA(registry::Store& store) {
    registry::HandleTable api(store);
    EXPECT_EQ(api.RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{A}"), registry::ERROR_ACCESS_DENIED);
    EXPECT_EQ(api.RegDeleteKeyA(HKEY_CLASSES_ROOT, "clsid\\{a}\\InprocServer32"), 0);
    EXPECT_EQ(api.RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{A}"), 0);
  }

  TempDir m_dir;
  std::filesystem::path m_file = m_dir / "hkcr.reg";
};

// (A save that cannot be written is RegMachineFailures.AFailedBackupOrSaveLeavesTheMachineAsItWas.)
TEST_F(RegFileSave, LeavesOutExactlyTheBlocksOfRemovedKeys) {
  std::unique_ptr<RegFileStore> store;
  for (bool utf16 : {true, false}) {
    for (bool crlf : {true, false}) {
      SCOPED_TRACE(std::string(utf16 ? "UTF-16" : "8-bit") + (crlf ? " CRLF" : " LF"));
      store = load(encodeRegText(join(false), utf16, crlf));
      ASSERT_TRUE(store);
      removeClassA(*store);
      registry::CommitResult result = store->save();
      ASSERT_TRUE(result.ok) << result.message;
      EXPECT_EQ(readFile(m_file), encodeRegText(join(true), utf16, crlf));
      // Read as an import reads it, the saved file has the tree the removal left.
      std::unique_ptr<RegFileStore> saved = load(readFile(m_file));
      ASSERT_TRUE(saved);
      registry::NodeId clsid = saved->findChild(saved->root(), "CLSID");
      ASSERT_EQ(saved->childCount(clsid), 1u);
      EXPECT_EQ(saved->name(saved->childAt(clsid, 0)), "{B}");
    }
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.path()), {}), 1);

  // Someone else's change since the file was read is not overwritten.
  store = load(join(false));
  removeClassA(*store);
  writeFile(m_file, "REGEDIT4\n");
  registry::CommitResult result = store->save();
  EXPECT_NE(result.message.find("changed on disk"), std::string::npos) << result.message;
  EXPECT_EQ(readFile(m_file), "REGEDIT4\n");
  std::filesystem::remove(m_file);
  EXPECT_FALSE(store->save().ok);
  EXPECT_FALSE(std::filesystem::exists(m_file));
}

}  // namespace
}  // namespace comsweep::test
