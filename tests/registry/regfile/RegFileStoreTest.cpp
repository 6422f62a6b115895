#include "registry/regfile/RegFileStore.h"

#include <gtest/gtest.h>

#include "registry/store/StoreContract.h"
#include "registry/regfile/RegFileTestText.h"
#include "support/MachineDump.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

using namespace std::string_literals;

// What a 5.00 export holds, UTF-16LE and CR LF, naming the keys below
// HKEY_LOCAL_MACHINE (8-bit files and LF line ends are RegFileParser's cases).
struct RegFileUtf16Traits {
  static StoreUnderTest make(const std::vector<ContractKey>& keys) {
    const std::string text = contractRegText(keys, "hkey_local_machine\\Software\\CLASSES");
    return machineFile("hkcr.reg", [&](const auto& file) { writeFile(file, encodeRegText(text, true, true)); });
  }
};

INSTANTIATE_TYPED_TEST_SUITE_P(RegFileUtf16, StoreContract, RegFileUtf16Traits);

// The classes tree as an import builds it; deletion lines take effect where
// they stand.
TEST(RegFileStore, BuildsTheClassesTreeAsAnImportWould) {
  // A REG_SZ value as the tree shows it.
  auto szLine = [](const char* name, const char* text) { return name + "=1:"s + sz(text).data + "\n"; };
  const std::pair<std::string, std::string> cases[] = {  // after the header ("~": the root); the tree
      // Either root; spelled as first seen; a later block without '@' keeps
      // the default; keys outside the classes are not part of the tree.
      {"[~]\n@=\"root\"\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{1}\\InprocServer32]\n@=\"one.dll\"\n"
       "[hkey_classes_root\\clsid\\{1}]\n@=\"first\"\n[~\\CLSID\\{1}]\n\"other\"=\"x\"\n"
       "[HKEY_CURRENT_USER\\Software\\Classes\\Outside]\n@=\"o\"\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n[~X\\Near]\n",
       "[]\n" + szLine("", "root") + "[CLSID]\n[CLSID\\{1}]\n" + szLine("", "first") + szLine("other", "x") +
           "[CLSID\\{1}\\InprocServer32]\n" + szLine("", "one.dll")},
      // The key and its subtree go; a deletion of something absent is harmless.
      {"[~\\A\\B]\n@=\"b\"\n[~\\C]\n[-hkey_classes_root\\a]\n[-~\\Absent\\Deeper]\n", "[]\n[C]\n"},
      // Created again afterwards, with only what follows the deletion;
      // what the deletion block itself lists belongs to no key.
      {"[~\\A]\n@=\"old\"\n\"n\"=\"old\"\n[~\\A\\Sub]\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\A]\n"
       "@=\"in deletion\"\n[~\\A]\n\"k\"=\"new\"\n", "[]\n[A]\n" + szLine("k", "new")},
      // A parent's deletion between two blocks of a key drops the first.
      {"[~\\P\\K]\n\"a\"=\"1\"\n[-~\\P]\n[~\\P\\K]\n\"b\"=\"2\"\n", "[]\n[P]\n[P\\K]\n" + szLine("b", "2")},
      // Deleted values, named (any case) and default, in a later block.
      {"[~\\V]\n@=\"d\"\n\"x\"=\"1\"\n\"y\"=\"2\"\n[~\\V]\n\"X\"=-\n@=-\n", "[]\n[V]\n" + szLine("y", "2")},
      // A root cannot be deleted; HKEY_LOCAL_MACHINE\SOFTWARE takes the classes along.
      {"[~]\n@=\"r\"\n[~\\A]\n[-~]\n[-HKEY_LOCAL_MACHINE]\n", "[]\n" + szLine("", "r") + "[A]\n"},
      {"[~]\n@=\"r\"\n[~\\A]\n[-HKEY_LOCAL_MACHINE\\SOFTWARE]\n[-HKEY_LOCAL_MACHINE\\SOFTWAREX]\n[~\\B]\n",
       "[]\n[B]\n"},
      // A default value given again, in another form, is read as the later one.
      {"[~\\D]\n@=\"text\"\n[~\\D]\n@=dword:00000101\n", "[]\n[D]\n=4:\x01\x01\0\0\n"s},
  };
  for (const auto& [body, tree] : cases) {
    SCOPED_TRACE(body);
    // With a UTF-8 byte-order mark, as some editors save it.
    TempDir dir;
    writeFile(dir / "hkcr.reg", "\xEF\xBB\xBFREGEDIT4\n\n" + replaceAll(body, "~", "HKEY_CLASSES_ROOT"));
    std::string error;
    std::unique_ptr<registry::RegFileStore> store = registry::RegFileStore::open(dir / "hkcr.reg", error);
    ASSERT_TRUE(store) << error;
    EXPECT_EQ(dump(*store, true), tree);
  }
}

}  // namespace
}  // namespace comsweep::test
