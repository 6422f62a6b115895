#include "removal/UndoFile.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/LocalTime.h"
#include "registry/Text.h"
#include "support/Fixture.h"
#include "support/TempDir.h"

namespace comsweep::removal {
namespace {

// A memory store whose key "m9q.Ok" also has a value named with a line break.
class StoreWithNamedValue : public registry::MemoryStore {
 public:
  bool values(registry::NodeId node, std::vector<registry::NamedValue>& out) const override {
    MemoryStore::values(node, out);
    if (name(node) == "m9q.Ok") out.push_back({"two\nlines", {registry::REG_SZ, std::string("x\0\0\0", 4)}});
    return true;
  }
};

TEST(UndoFile, HoldsEachKeyWithItsSubtreeParentsFirstAndNamesWhatItCannotHold) {
  StoreWithNamedValue store;
  for (auto [path, value] : {std::pair{"CLSID\\{A}", "a"}, {"CLSID\\{A}\\InprocServer32", "a.dll"},
                             {"CLSID\\{A}\\InprocServer32\\Deep", ""}, {"CLSID\\{B}", "b"}, {".m9q", "file"},
                             {"m9q.I", "capital I"}, {"m9q.NL\nx", ""}, {"m9q.Sub\\a\rb", ""}, {"m9q.Ok", ""}}) {
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
  ASSERT_TRUE(first.ok) << first.message;
  EXPECT_EQ(first.file.filename().string() + undo.write({"X"}, now).file.filename().string(),
            std::string(stem) + "-2.reg" + stem + "-3.reg");
  EXPECT_EQ(test::readFile(dir / "victim"), "precious");
  EXPECT_EQ(test::readFile(first.file), "\xFF\xFE" + registry::utf8ToUtf16le("Windows Registry Editor Version 5.00\r\n"
                                                                            "\r\n[HKEY_CLASSES_ROOT\\X]\r\n@=\"x\"\r\n\r\n"));
}

}  // namespace
}  // namespace comsweep::removal
