#include "removal/UndoFile.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/LocalTime.h"
#include "registry/store/Text.h"
#include "support/Fixture.h"
#include "support/TempDir.h"

namespace comsweep::removal {
namespace {

// A memory store whose key "m9q.Ok" also has a value named with a line
// break, whose keys named "m9q.K<n>" each hold a value of 20,000 bytes, and
// where reading the values of m9q.K39 notes how much of the backup is on disk
// in `dir` by then, and reading those of a key named "Bad" fails.
class TestStore : public registry::MemoryStore {
 public:
  explicit TestStore(std::filesystem::path dir = {}) : m_dir(std::move(dir)) {}
  bool values(registry::NodeId node, std::vector<registry::NamedValue>& out) const override {
    MemoryStore::values(node, out);
    if (name(node) == "Bad") return false;
    if (name(node) == "m9q.Ok") out.push_back({"two\nlines", {registry::REG_SZ, std::string("x\0\0\0", 4)}});
    if (name(node).starts_with("m9q.K")) out.push_back({"Blob", {registry::REG_BINARY, std::string(20000, 'q')}});
    if (name(node) == "m9q.K39")  // the backup is written under a temporary name
      for (const auto& file : test::filesStarting(m_dir, ".9QReg-")) onDisk = std::filesystem::file_size(file);
    return true;
  }
  mutable std::uintmax_t onDisk = 0;

 private:
  std::filesystem::path m_dir;
};

// A key whose values cannot be read ends the file: it is named, and no
// file is left.
TEST(UndoFile, HoldsEachKeyWithItsSubtreeParentsFirstAndNamesWhatItCannotHoldOrRead) {
  TestStore store;
  for (auto [path, value] : {std::pair{"CLSID\\{A}", "a"}, {"CLSID\\{A}\\InprocServer32", "a.dll"},
                             {"CLSID\\{A}\\InprocServer32\\Deep", ""}, {"CLSID\\{B}", "b"}, {".m9q", "file"},
                             {"m9q.I", "capital I"}, {"m9q.NL\nx", ""}, {"m9q.Sub\\a\rb", ""}, {"m9q.Ok", ""},
                             {"m9q.A\\Sub\\Bad", ""}}) {
    const registry::NodeId node = store.addPath(path);
    const std::string terminated(value, std::strlen(value) + 1);
    if (*value) store.setDefaultValue(node, registry::REG_SZ, registry::utf8ToUtf16le(terminated));
  }
  UndoFile undo(store, "HKLM\\C", "/nowhere");
  bool complete = false;
  EXPECT_EQ(undo.text({"CLSID\\{A}", "clsid\\{missing}", ".m9q"}, complete),
            "Windows Registry Editor Version 5.00\n\n[HKLM\\C\\CLSID\\{A}]\n@=\"a\"\n"
            "\n[HKLM\\C\\CLSID\\{A}\\InprocServer32]\n@=\"a.dll\"\n\n[HKLM\\C\\CLSID\\{A}\\InprocServer32\\Deep]\n"
            "\n[HKLM\\C\\.m9q]\n@=\"file\"\n\n");
  EXPECT_TRUE(complete);

  std::vector<std::pair<std::size_t, std::string>> refused;
  EXPECT_EQ(undo.text({"m9q.I", "m9q.NL\nx", "m9q.Sub", "m9q.Ok"}, complete, &refused),
            "Windows Registry Editor Version 5.00\n\n[HKLM\\C\\m9q.I]\n@=\"capital I\"\n\n");
  ASSERT_EQ(refused.size(), 3u);
  EXPECT_EQ(refused[0], std::pair(std::size_t{1}, std::string("the key name \"m9q.NL\\nx\" holds a line break or "
                                                                "NUL, which the backup cannot hold")));
  // The second name lies deeper in the subtree.
  EXPECT_EQ(refused[1].first * 10 + refused[2].first, 23u);
  EXPECT_NE(refused[2].second.find("the value name \"two\\nlines\""), std::string::npos);

  test::TempDir dir;
  BackupResult unread = UndoFile(store, "HKLM\\SOFTWARE\\Classes", dir.path()).write({"m9q.I", "M9Q.A"}, 0);
  EXPECT_TRUE(unread.failure.failed());
  EXPECT_EQ(unread.failure.why, "the values of the key HKLM\\SOFTWARE\\Classes\\m9q.A\\Sub\\Bad could not be read");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(UndoFile, IsNeverWrittenOverAnotherFileOrThroughALink) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX only: it plants a symbolic link, which Wine cannot make";
#endif
  test::TempDir dir;
  auto store = test::makeStore({{"X", "x"}});
  UndoFile undo(*store, "HKEY_CLASSES_ROOT", dir.path());
  const std::time_t now = 1700000000;
  std::tm local{};
  platform::localTime(now, local);
  char stem[32];
  std::strftime(stem, sizeof stem, "9QReg-%Y%m%d-%H%M%S", &local);
  test::writeFile(dir / "victim", "precious");
  std::filesystem::create_symlink(dir / "victim", dir / (std::string(stem) + ".reg"));

  BackupResult first = undo.write({"X"}, now);
  ASSERT_FALSE(first.failure.failed()) << first.failure.why;
  EXPECT_EQ(first.file.filename().string() + undo.write({"X"}, now).file.filename().string(),
            std::string(stem) + "-2.reg" + stem + "-3.reg");
  EXPECT_EQ(test::readFile(dir / "victim"), "precious");
}

TEST(UndoFile, IsWrittenAsItIsProducedInTheEncodingItAlwaysHad) {
  test::TempDir dir;
  TestStore store(dir.path());
  std::vector<std::string> paths;
  for (int i = 0; i < 40; ++i) {
    paths.push_back("m9q.K" + std::to_string(i));
    const registry::NodeId node = store.addPath(paths.back() + "\\Gr\u00f6\u00dfe \u6f22\u5b57 \U0001D11E");
    store.setDefaultValue(node, registry::REG_SZ, registry::utf8ToUtf16le("\u00e9t\u00e9 \U0001D11E") + std::string(2, '\0'));
  }
  UndoFile undo(store, "HKEY_CLASSES_ROOT", dir.path());
  BackupResult result = undo.write(paths, 1700000000);
  ASSERT_FALSE(result.failure.failed()) << result.failure.why;
  // About 120 kB of text per key: all but the last few keys were on disk
  // before the last key was read.
  EXPECT_GT(store.onDisk, 35u * 120000u);
  bool complete = false;
  // The file is the text in the CR LF, UTF-16LE form it has always had.
  std::string crlf;
  for (char c : undo.text(paths, complete)) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(test::readFile(result.file), "\xFF\xFE" + registry::utf8ToUtf16le(crlf));
}

// Each store's copy of a key is named as that store spells every level of
// it, and holds its own values, whatever spelling the key was found by.
TEST(UndoFile, NamesEachCopyOfAKeyAsItsStoreSpellsIt) {
  registry::MemoryStore low, up;
  low.setDefaultValue(low.addPath("m9q.both\\Sub"), registry::REG_SZ, std::string("l\0\0\0", 4));
  up.setDefaultValue(up.addPath("M9Q.BOTH\\SUB"), registry::REG_SZ, std::string("u\0\0\0", 4));
  up.addPath("M9Q.BOTH\\SUB\\Deeper");
  UndoFile undo({{&low, "HKLM"}, {&up, "HKCU"}}, "/nowhere");
  bool complete = false;
  EXPECT_EQ(undo.text({"m9Q.Both\\sUB"}, complete),
            "Windows Registry Editor Version 5.00\n\n[HKLM\\m9q.both\\Sub]\n@=\"l\"\n"
            "\n[HKCU\\M9Q.BOTH\\SUB]\n@=\"u\"\n\n[HKCU\\M9Q.BOTH\\SUB\\Deeper]\n\n");
}

}  // namespace
}  // namespace comsweep::removal
