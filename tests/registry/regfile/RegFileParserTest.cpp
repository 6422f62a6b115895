#include "registry/regfile/RegFileParser.h"

#include <gtest/gtest.h>

#include "registry/Text.h"
#include "registry/regfile/RegFileTestText.h"

namespace comsweep::test {
namespace {

using registry::DWORD;

// Writes what the parser reports as text: string data as UTF-8, other data in hex.
class Recorder : public registry::RegFileSink {
 public:
  std::string events;

  void keyLine(std::string_view path, bool deletion, std::size_t) override {
    add((deletion ? "[-" : "[") + std::string(path) + "]");
  }
  void defaultValue(DWORD type, std::string_view data) override {
    std::string shown = "@=" + std::to_string(type) + ":";
    if (type == registry::REG_SZ || type == registry::REG_EXPAND_SZ || type == registry::REG_MULTI_SZ)
      return add(shown + replaceAll(registry::utf16leToUtf8(data), std::string(1, '\0'), "<0>"));
    for (unsigned char b : data) shown += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15]};
    add(shown);
  }
  void defaultValueDeleted() override { add("@=-"); }

 private:
  void add(const std::string& event) { events += (events.empty() ? "" : " | ") + event; }
};

struct Form {
  bool utf16;
  bool crlf;
};
constexpr Form kForms[] = {{false, false}, {false, true}, {true, false}, {true, true}};

struct GoodCase {
  const char* name;
  const char* header;
  const char* body;
  const char* events;  // "\n" stands for the file's line end
};

const char* const k5 = "Windows Registry Editor Version 5.00\n\n";
const char* const k4 = "REGEDIT4\n\n";

const GoodCase kGood[] = {
    {"escapes; other backslashes are plain", k5,
     "[HKEY_CLASSES_ROOT\\a]\n@=\"C:\\\\x \\\"q\\\" \\n\"\n",
     "[HKEY_CLASSES_ROOT\\a] | @=1:C:\\x \"q\" \\n<0>"},
    {"named values are dropped, \"\" is the default", k5,
     "[HKEY_CLASSES_ROOT\\a]\n\"name\"=\"x\"\n\"@\"=\"y\"\n\"\"=\"dflt\"\n\"n\\\"2\"=dword:1\n",
     "[HKEY_CLASSES_ROOT\\a] | @=1:dflt<0>"},
    {"string over lines, a '[' line inside, no blank line between blocks", k5,
     "[HKEY_CLASSES_ROOT\\a]\n@=\"one\n[HKEY_CLASSES_ROOT\\not]\n\\\"three\"\n[HKEY_CLASSES_ROOT\\b]\n",
     "[HKEY_CLASSES_ROOT\\a] | @=1:one\n[HKEY_CLASSES_ROOT\\not]\n\"three<0> | [HKEY_CLASSES_ROOT\\b]"},
    {"hex over continuation lines with a comment between", k5,
     "[HKEY_CLASSES_ROOT\\a]\n@=HEX:01,Ab,\\\n  ; inside\n  ff,\\\n\t0  \n",
     "[HKEY_CLASSES_ROOT\\a] | @=3:01abff00"},
    {"dword, hex(N) types, empty data, trailing comma", k5,
     "[HKEY_CLASSES_ROOT\\a]\n@=dword:0000002A\n@=DWORD:ff\n@=hex(b):01,00,00,00,00,00,00,00\n"
     "@=hex:\n@=hex(0):7f,\n",
     "[HKEY_CLASSES_ROOT\\a] | @=4:2a000000 | @=4:ff000000 | @=11:0100000000000000 | @=3: | @=0:7f"},
    {"string hex data is UTF-16LE in 5.00 files", k5,
     "[HKEY_CLASSES_ROOT\\a]\n@=hex(2):25,00,41,00,e4,00,00,00\n",
     "[HKEY_CLASSES_ROOT\\a] | @=2:%A\xC3\xA4<0>"},
    {"string hex data is 8-bit text in REGEDIT4 files", k4,
     "[HKEY_CLASSES_ROOT\\a]\n@=hex(2):25,41,e4,00\n@=hex(7):61,00,62,00,00\n",
     "[HKEY_CLASSES_ROOT\\a] | @=2:%A\xC3\xA4<0> | @=7:a<0>b<0><0>"},
    {"deletions", k5,
     "[-HKEY_CLASSES_ROOT\\gone]\n\n[HKEY_CLASSES_ROOT\\a]\n\"x\"=-\n@=-\n",
     "[-HKEY_CLASSES_ROOT\\gone] | [HKEY_CLASSES_ROOT\\a] | @=-"},
    {"key lines: ']' in a name, indentation, trailing blanks and backslash", k5,
     "  [HKEY_CLASSES_ROOT\\a]b]  \n[HKEY_CLASSES_ROOT\\c\\]\t\r\n@ = \"v\"   \n@=\"w\" ; note\n",
     "[HKEY_CLASSES_ROOT\\a]b] | [HKEY_CLASSES_ROOT\\c] | @=1:v<0> | @=1:w<0>"},
    {"comments and blanks before the first key", k4,
     "; exported\n\n   \n[HKEY_CLASSES_ROOT]\n@=\"root\"\n", "[HKEY_CLASSES_ROOT] | @=1:root<0>"},
    {"8-bit names: UTF-8, else Windows-1252", k4,
     "[HKEY_CLASSES_ROOT\\\xC3\xA4]\n[HKEY_CLASSES_ROOT\\\xE4\x80]\n@=\"\x93q\x94\"\n",
     "[HKEY_CLASSES_ROOT\\\xC3\xA4] | [HKEY_CLASSES_ROOT\\\xC3\xA4\xE2\x82\xAC] | "
     "@=1:\xE2\x80\x9Cq\xE2\x80\x9D<0>"},
};

TEST(RegFileParser, ReadsEveryValueFormInEveryEncoding) {
  for (const GoodCase& test : kGood) {
    for (const Form& form : kForms) {
      Recorder sink;
      registry::RegFileParser parser(sink);
      std::string text = std::string(test.header) + test.body;
      bool ok = parser.parse(encodeRegText(text, form.utf16, form.crlf));
      SCOPED_TRACE(std::string(test.name) + (form.utf16 ? ", UTF-16" : ", 8-bit") +
                   (form.crlf ? " CRLF" : " LF"));
      ASSERT_TRUE(ok) << parser.error().line << ": " << parser.error().reason;
      EXPECT_EQ(sink.events, replaceAll(test.events, "\n", form.crlf ? "\r\n" : "\n"));
    }
  }
}

struct BadCase {
  const char* text;  // the whole file
  std::size_t line;
  const char* reason;  // part of the reason
};

const BadCase kBad[] = {
    {"", 1, "missing header"},
    {"Windows Registry Editor Version 4.00\n", 1, "unknown header"},
    {"REGEDIT4\n\n@=\"x\"\n", 3, "value line before any key"},
    {"REGEDIT4\nHKEY_CLASSES_ROOT\\a\n", 2, "neither a key"},
    {"REGEDIT4\n[HKEY_CLASSES_ROOT\\a\n@=\"x\"\n", 2, "unterminated key line"},
    {"REGEDIT4\n[HKEY_CLASSES_ROOT\\a] x\n", 2, "text after the ']'"},
    {"REGEDIT4\n[]\n", 2, "empty key path"},
    {"REGEDIT4\n[HKEY_CLASSES_ROOT\\\\a]\n", 2, "empty key name"},
    {"REGEDIT4\n[HKEY_CLASSES_ROOT\\a]\n\"name=\"x\"\n", 3, "missing '='"},
    {"REGEDIT4\n[HKEY_CLASSES_ROOT\\a]\n\"name\n", 3, "unterminated value name"},
    {"REGEDIT4\n[HKEY_CLASSES_ROOT\\a]\n@=\n", 3, "missing value data"},
    {"REGEDIT4\n[HKEY_CLASSES_ROOT\\a]\n@=qword:1\n", 3, "unknown value type syntax \"qword:1\""},
    {"REGEDIT4\n[HKEY_CLASSES_ROOT\\a]\n@=hex(2x):00\n", 3, "bad value type \"hex(2x)\""},
    {"REGEDIT4\n[HKEY_CLASSES_ROOT\\a]\n@=dword:123456789\n", 3, "bad dword value"},
    {"REGEDIT4\n[HKEY_CLASSES_ROOT\\a]\n@=hex:01,0g\n", 3, "bad hex byte \"0g\""},
    {"REGEDIT4\n[HKEY_CLASSES_ROOT\\a]\n@=hex:01,,02\n", 3, "bad hex byte \"\""},
    {"REGEDIT4\n[HKEY_CLASSES_ROOT\\a]\n@=hex:01 02\n", 3, "missing ','"},
    {"REGEDIT4\n[HKEY_CLASSES_ROOT\\a]\n@=hex:01,\\\n  02,\\\n  [HKEY_CLASSES_ROOT\\b]\n", 5,
     "bad hex byte"},
    {"REGEDIT4\n[HKEY_CLASSES_ROOT\\a]\n@=hex:01,\\\n", 3, "past the end of the file"},
    {"REGEDIT4\n[HKEY_CLASSES_ROOT\\a]\n@=\"x\" y\n", 3, "text after the value data"},
    // An unclosed string runs on; a later quote closes it and what follows it is wrong.
    {"REGEDIT4\n[HKEY_CLASSES_ROOT\\a]\n@=\"x\n\"b\"=\"c\"\n", 4, "text after the value data"},
    {"REGEDIT4\n[HKEY_CLASSES_ROOT\\a]\n@=\"x\n\n[HKEY_CLASSES_ROOT\\b]\n", 3, "unterminated string"},
    // Values of blocks kept verbatim are checked too.
    {"REGEDIT4\n[HKEY_CURRENT_USER\\a]\n\"v\"=hex:zz\n", 3, "bad hex byte"},
    {"REGEDIT4\n[-HKEY_CLASSES_ROOT\\a]\n\"v\"=dword:\n", 3, "bad dword value"},
};

TEST(RegFileParser, RefusesMalformedFilesWithLineAndReason) {
  for (const BadCase& test : kBad) {
    for (const Form& form : kForms) {
      SCOPED_TRACE(replaceAll(test.text, "\n", "\\n") + (form.utf16 ? ", UTF-16" : ", 8-bit") +
                   (form.crlf ? " CRLF" : " LF"));
      Recorder sink;
      registry::RegFileParser parser(sink);
      EXPECT_FALSE(parser.parse(encodeRegText(test.text, form.utf16, form.crlf)));
      EXPECT_EQ(parser.error().line, test.line);
      EXPECT_NE(parser.error().reason.find(test.reason), std::string::npos) << parser.error().reason;
    }
  }
  // UTF-16 cut in half a character.
  std::string text = encodeRegText("REGEDIT4\n\n[HKEY_CLASSES_ROOT\\a]\n", true, true);
  for (const auto& [bytes, line] : {std::pair{text + "x", 4u}, {text.substr(0, text.size() - 1), 3u}}) {
    Recorder sink;
    registry::RegFileParser parser(sink);
    EXPECT_FALSE(parser.parse(bytes));
    EXPECT_EQ(parser.error().line, line);
  }
}

}  // namespace
}  // namespace comsweep::test
