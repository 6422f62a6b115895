#include "registry/regfile/RegFileStore.h"

#include <gtest/gtest.h>

#include "machine/Machine.h"
#include "registry/store/StoreContract.h"
#include "registry/regfile/RegFileTestText.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

using registry::NodeId;

// The store of a machine that is the file `bytes`.
StoreUnderTest loadFromFile(const std::string& bytes) {
  auto dir = std::make_shared<TempDir>();
  writeFile(*dir / "hkcr.reg", bytes);
  registry::MachineOpenResult opened = registry::openMachine(*dir / "hkcr.reg");
  EXPECT_TRUE(opened.machine) << opened.failure.why;
  return {opened.machine ? std::move(opened.machine->store) : nullptr, dir};
}

// What a 5.00 export holds, UTF-16LE and CR LF, naming the keys below
// HKEY_LOCAL_MACHINE (8-bit files and LF line ends are RegFileParser's cases).
struct RegFileUtf16Traits {
  static StoreUnderTest make(const std::vector<ContractKey>& keys) {
    return loadFromFile(encodeRegText(contractRegText(keys, "hkey_local_machine\\Software\\CLASSES"), true, true));
  }
};

INSTANTIATE_TYPED_TEST_SUITE_P(RegFileUtf16, StoreContract, RegFileUtf16Traits);

// The tree with every key's values as values() gives them: "path{name=text ...}",
// the default value named "@", data of other types as "type:byte,...", keys in walk order.
std::string dump(const registry::Store& store, NodeId node = 0, const std::string& path = "") {
  std::string out = path + "{";
  std::vector<registry::NamedValue> values;
  EXPECT_TRUE(store.values(node, values)) << path;
  for (const registry::NamedValue& v : values) {
    std::string text = std::to_string(v.value.type) + ":";
    for (unsigned char b : v.value.data) text += std::to_string(b) + ",";
    if (v.value.type == registry::REG_SZ) text = registry::utf16leToUtf8(v.value.data).c_str();
    out += (out.back() == '{' ? "" : " ") + (v.name.empty() ? "@" : v.name) + "=" + text;
  }
  out += "}";
  for (std::uint32_t i = 0; i < store.childCount(node); ++i) {
    NodeId child = store.childAt(node, i);
    out += " " + dump(store, child, (path.empty() ? "" : path + "\\") + std::string(store.name(child)));
  }
  return out;
}

// The classes tree as an import builds it; deletion lines take effect where
// they stand.
TEST(RegFileStore, BuildsTheClassesTreeAsAnImportWould) {
  const std::pair<std::string, const char*> cases[] = {  // after the header ("~": the root); the tree
      // Either root; spelled as first seen; a later block without '@' keeps
      // the default; keys outside the classes are not part of the tree.
      {"[~]\n@=\"root\"\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{1}\\InprocServer32]\n@=\"one.dll\"\n"
       "[hkey_classes_root\\clsid\\{1}]\n@=\"first\"\n[~\\CLSID\\{1}]\n\"other\"=\"x\"\n"
       "[HKEY_CURRENT_USER\\Software\\Classes\\Outside]\n@=\"o\"\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n[~X\\Near]\n",
       "{@=root} CLSID{} CLSID\\{1}{@=first other=x} CLSID\\{1}\\InprocServer32{@=one.dll}"},
      // The key and its subtree go; a deletion of something absent is harmless.
      {"[~\\A\\B]\n@=\"b\"\n[~\\C]\n[-hkey_classes_root\\a]\n[-~\\Absent\\Deeper]\n", "{} C{}"},
      // Created again afterwards, with only what follows the deletion;
      // what the deletion block itself lists belongs to no key.
      {"[~\\A]\n@=\"old\"\n\"n\"=\"old\"\n[~\\A\\Sub]\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\A]\n"
       "@=\"in deletion\"\n[~\\A]\n\"k\"=\"new\"\n", "{} A{k=new}"},
      // A parent's deletion between two blocks of a key drops the first.
      {"[~\\P\\K]\n\"a\"=\"1\"\n[-~\\P]\n[~\\P\\K]\n\"b\"=\"2\"\n", "{} P{} P\\K{b=2}"},
      // Deleted values, named (any case) and default, in a later block.
      {"[~\\V]\n@=\"d\"\n\"x\"=\"1\"\n\"y\"=\"2\"\n[~\\V]\n\"X\"=-\n@=-\n", "{} V{y=2}"},
      // A root cannot be deleted; HKEY_LOCAL_MACHINE\SOFTWARE takes the classes along.
      {"[~]\n@=\"r\"\n[~\\A]\n[-~]\n[-HKEY_LOCAL_MACHINE]\n", "{@=r} A{}"},
      {"[~]\n@=\"r\"\n[~\\A]\n[-HKEY_LOCAL_MACHINE\\SOFTWARE]\n[-HKEY_LOCAL_MACHINE\\SOFTWAREX]\n[~\\B]\n", "{} B{}"},
      // A default value given again, in another form, is read as the later one.
      {"[~\\D]\n@=\"text\"\n[~\\D]\n@=dword:00000101\n", "{} D{@=4:1,1,0,0,}"},
  };
  for (const auto& [body, tree] : cases) {
    SCOPED_TRACE(body);
    // With a UTF-8 byte-order mark, as some editors save it.
    StoreUnderTest sut = loadFromFile("\xEF\xBB\xBFREGEDIT4\n\n" + replaceAll(body, "~", "HKEY_CLASSES_ROOT"));
    ASSERT_TRUE(sut.store);
    EXPECT_EQ(dump(*sut.store), tree);
  }
}

}  // namespace
}  // namespace comsweep::test
