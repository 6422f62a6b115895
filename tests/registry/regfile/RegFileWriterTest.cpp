#include "registry/regfile/RegFileWriter.h"

#include <gtest/gtest.h>

#include "registry/store/Text.h"
#include "registry/regfile/RegFileStore.h"
#include "registry/regfile/RegFileTestText.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

using namespace std::string_literals;
using namespace registry;

// Every value the writer writes comes back from the reader with the same
// name, type and bytes, in the most readable form that keeps them exactly.
TEST(RegFileWriter, ValuesOfEveryTypeReadBackEqual) {
  const std::pair<NamedValue, std::string> cases[] = {  // how the line continues after "name="
      {{"", sz("C:\\m9q \"x\".dll")}, "\"C:\\\\m9q \\\"x\\\".dll\""}, {{"Threading\"Model\\", sz("Both")}, "\"Both\""},
      {{"e", sz("")}, "\"\""}, {{"\xC3\xA4\xE2\x82\xAC", sz("\xF0\x9F\x98\x80 [x]")}, "\""},
      // Text forms that would change the data fall back to hex.
      {{"nul", sz("a\0b"s)}, "hex(1):61,00,00,00,62,00"}, {{"open", {REG_SZ, utf8ToUtf16le("ab")}}, "hex(1):"},
      {{"odd", {REG_SZ, "ab\0"s}}, "hex(1):61,62,00"}, {{"nl", sz("a\r\nb")}, "hex(1):"},
      {{"lone", {REG_SZ, "\x00\xD8\0\0"s}}, "\""},
      {{"d", {REG_DWORD, "\x01\x02\x00\x80"s}}, "dword:80000201"}, {{"short", {REG_DWORD, "\x01"s}}, "hex(4):01"},
      {{"x", sz("%x%", REG_EXPAND_SZ)}, "hex(2):25,00,78,00"}, {{"m", sz("one\0two\0"s, REG_MULTI_SZ)}, "hex(7):"},
      {{"q", {REG_QWORD, std::string(8, '\0')}}, "hex(b):00,00"}, {{"b", {REG_BINARY, ""}}, "hex:"},
      {{"big", {REG_BINARY, std::string(300, '\x7f')}}, "hex:7f,7f"}, {{"none", {REG_NONE, "\xff"s}}, "hex(0):ff"},
      {{"odd type", {0xffff0007u, "\x01"s}}, "hex(ffff0007):01"},
  };
  auto shown = [](const auto& v) { return v.name + "=" + std::to_string(v.value.type) + ":" + v.value.data + "\n"; };
  std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\m9q]\n", expected;
  for (const auto& [value, form] : cases) {
    const std::string line = regFileValueLine(value);
    SCOPED_TRACE(line);
    std::size_t equals = line.find('=', value.name.empty() ? 0 : line.find("\"=") + 1);
    EXPECT_EQ(line.substr(equals + 1, form.size()), form);
    text += line + "\n";
    expected += shown(value);
  }

  for (bool utf16 : {true, false}) {
    SCOPED_TRACE(utf16 ? "UTF-16" : "UTF-8");
    TempDir dir;
    writeFile(dir / "back.reg", encodeRegText(text, utf16, true));
    std::string error, got;
    std::unique_ptr<RegFileStore> store = RegFileStore::open(dir / "back.reg", error);
    std::vector<NamedValue> read;
    ASSERT_TRUE(store) << error;
    ASSERT_TRUE(store->values(store->findChild(store->root(), "m9q"), read));
    for (const NamedValue& v : read) got += shown(v);
    EXPECT_EQ(got, expected);
  }
}

}  // namespace
}  // namespace comsweep::test
