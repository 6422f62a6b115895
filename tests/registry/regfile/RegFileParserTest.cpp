#include "registry/regfile/RegFileParser.h"

#include <gmock/gmock.h>

#include "registry/store/Text.h"
#include "registry/regfile/RegFileTestText.h"

namespace comsweep::test {
namespace {

using registry::DWORD;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using namespace std::string_literals;

// Writes what the parser reports as text: string data as UTF-8, other data in hex.
struct Recorder : registry::RegFileSink {
  std::string events;
  bool offsets = true;  // key lines with their offsets
  void keyLine(std::string_view path, bool deletion, std::size_t offset) override {
    add((offsets ? std::to_string(offset) : "") + (deletion ? "[-" : "[") + std::string(path) + "]");
  }
  void defaultValue(DWORD type, std::string_view data) override {
    std::string shown = "@=" + std::to_string(type) + ":";
    if (type == registry::REG_SZ || type == registry::REG_EXPAND_SZ || type == registry::REG_MULTI_SZ)
      return add(shown + replaceAll(registry::utf16leToUtf8(data), std::string(1, '\0'), "<0>"));
    for (unsigned char b : data) shown += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15]};
    add(shown);
  }
  void defaultValueDeleted() override { add("@=-"); }
  void add(const std::string& event) { events += (events.empty() ? "" : " | ") + event; }
};

// "line N: reason", N counted from the start of the file: `before` lines
// come before the part that was parsed.
std::string failure(const registry::RegFileError& error, std::size_t before = 0) {
  return "line " + std::to_string(error.line + before) + ": " + error.reason;
}

// The parser's events for a file's bytes (key lines with their offsets when
// `offsets`), or "line N: reason" when it refuses it.
std::string report(const std::string& bytes, bool offsets = false) {
  Recorder sink;
  sink.offsets = offsets;
  registry::RegFileParser parser(sink);
  return parser.parse(bytes) ? sink.events : failure(parser.error());
}

// Gives `check` the bytes of `text` (where "~" stands for HKEY_CLASSES_ROOT)
// in 8-bit and UTF-16, with LF and CRLF line ends, and the line end used.
template <typename Check>
void inEveryForm(const std::string& text, Check check) {
  for (bool utf16 : {false, true})
    for (bool crlf : {false, true}) {
      SCOPED_TRACE(replaceAll(text, "\n", "\\n") + (utf16 ? ", UTF-16" : ", 8-bit") + (crlf ? " CRLF" : " LF"));
      check(encodeRegText(replaceAll(text, "~", "HKEY_CLASSES_ROOT"), utf16, crlf), crlf ? "\r\n" : "\n");
    }
}

TEST(RegFileParser, ReadsEveryValueFormInEveryEncoding) {
  const std::string k5 = "Windows Registry Editor Version 5.00\n\n", k4 = "REGEDIT4\n\n";
  const std::pair<std::string, std::string> cases[] = {  // the file; the events ("\n": its line end)
      // Escapes; other backslashes are plain.
      {k5 + "[~\\a]\n@=\"C:\\\\x \\\"q\\\" \\n\"\n", "[~\\a] | @=1:C:\\x \"q\" \\n<0>"},
      // Named values are dropped, "" is the default.
      {k5 + "[~\\a]\n\"name\"=\"x\"\n\"@\"=\"y\"\n\"\"=\"dflt\"\n\"n\\\"2\"=dword:1\n", "[~\\a] | @=1:dflt<0>"},
      // A string over lines, a '[' line inside, no blank line between blocks.
      {k5 + "[~\\a]\n@=\"one\n[~\\not]\n\\\"three\"\n[~\\b]\n", "[~\\a] | @=1:one\n[~\\not]\n\"three<0> | [~\\b]"},
      // Hex over continuation lines with a comment between.
      {k5 + "[~\\a]\n@=HEX:01,Ab,\\\n  ; inside\n  ff,\\\n\t0  \n", "[~\\a] | @=3:01abff00"},
      // Dword, hex(N) types, empty data, trailing comma.
      {k5 + "[~\\a]\n@=dword:0000002A\n@=DWORD:ff\n@=hex(b):01,00,00,00,00,00,00,00\n@=hex:\n@=hex(0):7f,\n",
       "[~\\a] | @=4:2a000000 | @=4:ff000000 | @=11:0100000000000000 | @=3: | @=0:7f"},
      // String hex data is UTF-16LE in 5.00 files and 8-bit text in REGEDIT4 files.
      {k5 + "[~\\a]\n@=hex(2):25,00,41,00,e4,00,00,00\n", "[~\\a] | @=2:%A\xC3\xA4<0>"},
      {k4 + "[~\\a]\n@=hex(2):25,41,e4,00\n@=hex(7):61,00,62,00,00\n", "[~\\a] | @=2:%A\xC3\xA4<0> | @=7:a<0>b<0><0>"},
      {k5 + "[-~\\gone]\n\n[~\\a]\n\"x\"=-\n@=-\n", "[-~\\gone] | [~\\a] | @=-"},
      // Key lines: ']' in a name, indentation, trailing blanks and backslash.
      {k5 + "  [~\\a]b]  \n[~\\c\\]\t\r\n@ = \"v\"   \n@=\"w\" ; note\n", "[~\\a]b] | [~\\c] | @=1:v<0> | @=1:w<0>"},
      {k4 + "; exported\n\n   \n[~]\n@=\"root\"\n", "[~] | @=1:root<0>"},
      // 8-bit names: UTF-8, else Windows-1252.
      {k4 + "[~\\\xC3\xA4]\n[~\\\xE4\x80]\n@=\"\x93q\x94\"\n",
       "[~\\\xC3\xA4] | [~\\\xC3\xA4\xE2\x82\xAC] | @=1:\xE2\x80\x9Cq\xE2\x80\x9D<0>"},
  };
  for (const auto& [text, events] : cases)
    inEveryForm(text, [&](const std::string& bytes, const char* end) {
      EXPECT_EQ(report(bytes), replaceAll(replaceAll(events, "~", "HKEY_CLASSES_ROOT"), "\n", end));
    });
}

// Read in two parts, cut wherever cutPoint() finds a cut, a file reports
// the same events at the same offsets and the same errors on the same lines
// as read whole: strings and hex data going on over the cut, errors on
// either side, in every encoding.
TEST(RegFileParser, FilesCutInTwoReadAsWhole) {
  const std::string texts[] = {
      "REGEDIT4\n\n[~\\a]\n@=\"a\"\n\n[~\\b]\n@=dword:1\n\n[~\\c]\n@=-\n\n[-~\\a]\n",
      "Windows Registry Editor Version 5.00\n\n[~\\a]\n@=\"two\n\n[~\\lines]\"\n\n[~\\b]\n@=hex(2):41,00,\\\n\n[~\\c]\n",
      "REGEDIT4\n\n[~\\a]\n@=hex:01,\\\n; comment\n\n[~\\b]\n\n[~\\c]\nbogus\n\n[~\\d]\n",
      "REGEDIT4\n\n[~\\a]\n\n[~\\b]\n@=\"unterminated\n\n[~\\c]\n",
  };
  for (const std::string& text : texts)
    inEveryForm(text, [](const std::string& bytes, const char*) {
      const std::string expected = report(bytes, true);
      std::size_t cuts = 0;
      for (std::size_t from = 0, cut; (cut = registry::RegFileParser::cutPoint(bytes, from)) < bytes.size();
           from = cut + 1, ++cuts) {
        Recorder first, second;
        registry::RegFileParser one(first), two(second);
        const std::string got =
            !one.parseUntil(bytes, cut)  ? failure(one.error())
            : !one.splitsAt()            ? (one.parseOn(bytes) ? first.events : failure(one.error()))
            : !two.parsePart(bytes, cut) ? failure(two.error(), one.linesRead())
                                         : first.events + (first.events.empty() ? "" : " | ") + second.events;
        EXPECT_EQ(got, expected) << "cut at " << cut;
      }
      EXPECT_GT(cuts, 0u);
    });
}

TEST(RegFileParser, RefusesMalformedFilesWithLineAndReason) {
  // Each text but the headers' follows "REGEDIT4\n" ("$" stands for "[~\\a]\n"); a part of the reason is enough.
  const struct { std::string text; std::size_t line; const char* reason; } cases[] = {
      {"", 1, "missing header"}, {"Windows Registry Editor Version 4.00\n", 1, "unknown header"},
      {"\n@=\"x\"\n", 3, "value line before any key"}, {"~\\a\n", 2, "neither a key"},
      {"[~\\a\n@=\"x\"\n", 2, "unterminated key line"}, {"[~\\a] x\n", 2, "text after the ']'"},
      {"[]\n", 2, "empty key path"}, {"[~\\\\a]\n", 2, "empty key name"},
      {"[~\\a\0bcdefghijk]\n"s, 2, "a NUL character"}, {"$@=\n", 3, "missing value data"},
      {"$\"name=\"x\"\n", 3, "missing '='"}, {"$\"name\n", 3, "unterminated value name"},
      {"$@=qword:1\n", 3, "unknown value type syntax \"qword:1\""}, {"$@=hex(2x):00\n", 3, "bad value type \"hex(2x)\""},
      {"$@=dword:123456789\n", 3, "bad dword value"}, {"$@=\"x\" y\n", 3, "text after the value data"},
      {"$@=hex:01,0g\n", 3, "bad hex byte \"0g\""}, {"$@=hex:01 02\n", 3, "missing ','"},
      {"$@=hex:01,\\\n  02,\\\n  [~\\b]\n", 5, "bad hex byte"}, {"$@=hex:01,\\\n", 3, "past the end of the file"},
      // An unclosed string runs on; a later quote closes it and what follows it is wrong.
      {"$@=\"x\n\"b\"=\"c\"\n", 4, "text after the value data"}, {"$@=\"x\n\n[~\\b]\n", 3, "unterminated string"},
      // Values of blocks kept verbatim are checked too.
      {"[HKEY_CURRENT_USER\\a]\n\"v\"=hex:zz\n", 3, "bad hex byte"},
  };
  for (const auto& c : cases)
    inEveryForm((c.line == 1 ? "" : "REGEDIT4\n") + replaceAll(c.text, "$", "[~\\a]\n"), [&](const auto& bytes, auto) {
      EXPECT_THAT(report(bytes), AllOf(StartsWith("line " + std::to_string(c.line) + ": "), HasSubstr(c.reason)));
    });
  // UTF-16 cut in half a character.
  std::string text = encodeRegText("REGEDIT4\n\n[HKEY_CLASSES_ROOT\\a]\n", true, true);
  EXPECT_THAT(report(text + "x"), StartsWith("line 4: "));
  EXPECT_THAT(report(text.substr(0, text.size() - 1)), StartsWith("line 3: "));
}

}  // namespace
}  // namespace comsweep::test
