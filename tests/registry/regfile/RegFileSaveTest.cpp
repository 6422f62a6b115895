#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include "registry/HandleTable.h"
#include "registry/regfile/RegFileStore.h"
#include "registry/regfile/RegFileTestText.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

using registry::HKEY_CLASSES_ROOT;
using registry::RegFileStore;

// A file as blocks of text; `removed` blocks are those of the keys the test
// deletes, so the expected result is the file without them.
struct Piece {
  const char* text;
  bool removed;
};

const Piece kPieces[] = {
    {"Windows Registry Editor Version 5.00\n\n; exported\n", false},
    {"[HKEY_CLASSES_ROOT]\n@=\"root\"\n\n", false},
    {"[HKEY_CLASSES_ROOT\\CLSID\\{A}]\n@=\"class A\"\n\"x\"=hex:01,\\\n  02\n\n", true},
    {"[HKEY_CLASSES_ROOT\\CLSID\\{A}\\InprocServer32]\n@=\"a.dll\"\n\n", true},
    {"[HKEY_CLASSES_ROOT\\CLSID\\{B}]\n@=\"two\n[HKEY_CLASSES_ROOT\\CLSID\\{A}]\nlines\"\n\n", false},
    {"[HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{A}]\n@=\"elsewhere\"\n\n", false},
    {"[-HKEY_CLASSES_ROOT\\CLSID\\{A}]\n", false},
    {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\clsid\\{a}]\n\"again\"=dword:1\n", true},
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

  // Removes CLSID\{A} the way the removal does: leaves first.
  static void removeClassA(registry::Store& store) {
    registry::HandleTable api(store);
    EXPECT_EQ(api.RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{A}"), registry::ERROR_ACCESS_DENIED);
    EXPECT_EQ(api.RegDeleteKeyA(HKEY_CLASSES_ROOT, "clsid\\{a}\\InprocServer32"), 0);
    EXPECT_EQ(api.RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{A}"), 0);
  }

  TempDir m_dir;
  std::filesystem::path m_file = m_dir / "hkcr.reg";
};

TEST_F(RegFileSave, LeavesOutExactlyTheBlocksOfRemovedKeys) {
  for (bool utf16 : {true, false}) {
    for (bool crlf : {true, false}) {
      SCOPED_TRACE(std::string(utf16 ? "UTF-16" : "8-bit") + (crlf ? " CRLF" : " LF"));
      std::unique_ptr<RegFileStore> store = load(encodeRegText(join(false), utf16, crlf));
      ASSERT_TRUE(store);
      removeClassA(*store);
      registry::CommitResult result = store->save();
      ASSERT_TRUE(result.ok) << result.message;
      EXPECT_EQ(readFile(m_file), encodeRegText(join(true), utf16, crlf));
      // Saving again without further removals changes nothing.
      EXPECT_TRUE(store->save().ok);
      EXPECT_EQ(readFile(m_file), encodeRegText(join(true), utf16, crlf));
    }
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.path()), {}), 1);
}

TEST_F(RegFileSave, DoesNotTouchTheFileWhenNothingWasRemoved) {
  std::string original = encodeRegText(join(false), true, true);
  std::unique_ptr<RegFileStore> store = load(original);
  ASSERT_TRUE(store);
  struct stat before {};
  ASSERT_EQ(::stat(m_file.c_str(), &before), 0);
  registry::HandleTable api(*store);
  EXPECT_EQ(api.RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{A}"), registry::ERROR_ACCESS_DENIED);
  EXPECT_EQ(api.RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{C}"), registry::ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(store->save().ok);
  struct stat after {};
  ASSERT_EQ(::stat(m_file.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(readFile(m_file), original);
}

// Files may not grow past a few bytes while the save runs, so writing the
// new content fails half-way.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &m_old);
    rlimit limit = m_old;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &m_old);
    std::signal(SIGXFSZ, m_oldHandler);
  }

 private:
  rlimit m_old{};
  void (*m_oldHandler)(int);
};

TEST_F(RegFileSave, AFailedSaveLeavesTheOriginal) {
  std::string original = encodeRegText(join(false), false, true);
  std::unique_ptr<RegFileStore> store = load(original);
  ASSERT_TRUE(store);
  removeClassA(*store);
  registry::CommitResult result;
  {
    FileSizeLimit limit(16);
    result = store->save();
  }
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.message.find("cannot write"), std::string::npos) << result.message;
  EXPECT_EQ(readFile(m_file), original);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.path()), {}), 1);

  // Once the cause is gone, the same store saves.
  result = store->save();
  ASSERT_TRUE(result.ok) << result.message;
  EXPECT_EQ(readFile(m_file), encodeRegText(join(true), false, true));
}

TEST_F(RegFileSave, RefusesToOverwriteAFileChangedOrGoneSinceItWasRead) {
  std::unique_ptr<RegFileStore> store = load(join(false));
  ASSERT_TRUE(store);
  removeClassA(*store);
  writeFile(m_file, "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Edited]\n");
  registry::CommitResult result = store->save();
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.message.find("changed on disk"), std::string::npos) << result.message;
  EXPECT_EQ(readFile(m_file), "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Edited]\n");

  std::filesystem::remove(m_file);
  result = store->save();
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.message.find(m_file.string()), std::string::npos) << result.message;
  EXPECT_FALSE(std::filesystem::exists(m_file));
}

}  // namespace
}  // namespace comsweep::test
