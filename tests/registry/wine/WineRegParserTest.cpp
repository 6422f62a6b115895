#include "registry/wine/WineRegParser.h"

#include <gmock/gmock.h>

#include "registry/store/Text.h"
#include "registry/wine/WineEscapes.h"

namespace comsweep::test {
namespace {

using registry::WineEscapes;
using registry::WineRegParser;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using namespace std::string_literals;

const std::string kSig = "WINE REGISTRY Version 2\n";

// What a parse reports: "[key path]" and "@=type:UTF-8" lines in order, or
// "line N: reason" when the file is refused.
struct Recorder : WineRegParser::Handler {
  explicit Recorder(bool offsets = true) : withOffsets(offsets) {}
  bool withOffsets;
  std::string out;
  void keyBlock(std::size_t offset, const std::vector<std::string_view>& levels) override {
    std::string path;
    for (std::string_view level : levels) path += (path.empty() ? "" : "\\") + std::string(level);
    out += (withOffsets ? std::to_string(offset) : "") + "[" + path + "]\n";
  }
  void defaultValue(registry::RegValue value) override {
    out += "@=" + std::to_string(value.type) + ":" + registry::utf16leToUtf8(value.data) + "\n";
  }
};

// `before`: the lines read before the part that failed.
std::string failure(const WineRegParser::Error& error, std::size_t before = 0) {
  return "line " + std::to_string(error.line + before) + ": " + error.reason;
}

std::string parsed(const std::string& text, bool offsets = false) {
  Recorder recorder(offsets);
  WineRegParser parser(recorder);
  WineRegParser::Error error;
  return parser.parse(text, error) ? recorder.out : failure(error);
}

// As parse() reports with block offsets, the text read in two parts cut at
// `cut`, the second by a parser of its own.
std::string parsedInParts(const std::string& text, std::size_t cut) {
  Recorder first, second;
  WineRegParser parser(first), partParser(second);
  WineRegParser::Error error;
  if (!parser.parseUntil(text, cut, error)) return failure(error);
  if (!parser.splitsAt()) return parser.parseOn(text, error) ? first.out : failure(error);
  return partParser.parsePart(text, cut, error) ? first.out + second.out : failure(error, parser.linesRead());
}

TEST(WineRegParser, MalformedFilesNameTheLineAndTheReason) {
  // The text follows the signature line for all but the first two.
  const struct { std::string text; std::size_t line; const char* reason; } cases[] = {
      {"", 1, "empty file"}, {"WINE REGISTRY Version 1\n[A]\n", 1, "not a Wine registry file"},
      {";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n", 2, "relative to REGISTRY\\\\User"},
      {"#arch=win16\n", 2, "architecture"}, {"\n@=\"x\"\n", 3, "before the first key"},
      {"\n[A\\\\B] 1\nbogus\n", 4, "not a key, value"}, {"[A] 12 x\n", 2, "after the key name"},
      {"[A\\\\B\n", 2, "closing \"]\""}, {"[A\\\\B\\]\n", 2, "closing \"]\""},  // an escaped bracket ends no name
      {"[A\\\\B\0CDEFGHIJK] 1\n"s, 2, "NUL"}, {"[A\\\\B\\x0000C] 1\n", 2, "NUL"},  // raw, and spelled as an escape
      {"[A]\n@=\"abc\n", 3, "no closing quote"}, {"[A]\n\"v=\"abc\"\n", 3, "without \"=\""},
      {"[A]\n\"v\"=\"abc\" x\n", 3, "after the value"}, {"[A]\n\"v\"=dword:123456789\n", 3, "dword"},
      {"[A]\n\"v\"=hex:01,2g\n", 3, "hex data"}, {"[A]\n\"v\"=hex:100\n", 3, "above ff"},
      {"[A]\n\"v\"=hex(2:01\n", 3, "hex(type)"}, {"[A]\n\"v\"=str(1):\"x\"\n", 3, "unknown type"},
      {"[A]\n\"v\"=hex:01,\\\n  02,\\\n", 4, "past the end"}, {"[A]\n\"v\"=hex:01,\\ 02\n", 3, "continuation"},
      {"[A]\n@=\"\xff\"\n", 3, "not UTF-8"}, {"[A\xc3]\n", 2, "not UTF-8"},
      {"[A]\n#class=\"abc\n", 3, "#class"}, {"[A]\n#time=xyz\n", 3, "#time"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_THAT(parsed((i < 2 ? "" : kSig) + cases[i].text),
                AllOf(StartsWith("line " + std::to_string(cases[i].line) + ": "), HasSubstr(cases[i].reason)));
}

TEST(WineRegParser, AcceptsWhatWinesLoaderAccepts) {
  const std::string text = kSig + ";; All keys relative to \\\\Machine\r\n#arch=win32\r\n#future=1\r\n"
                           "[]\r\n"  // the machine key itself
                           "  [Software\\\\\\\\Classes\\\\x\\[1\\]]\r\n#class=\"c\\\"q\"\r\n#link\r\n#unknown\r\n"
                           "; a comment\r\n\"\"=\"by empty name\"\r\n[Software\\\\Classes\\\\y]\r\n@=str:\"plain\"\r\n"
                           "\"n\"=hex(2):41,00,\\\r\n\r\n"  // a blank line ends hex data
                           "@=hex(1):41,00 42 , 00,\\\r\n  00,00\r\n@ = dword:a\r\n";
  EXPECT_EQ(parsed(text), "[]\n[Software\\Classes\\x[1]]\n@=1:by empty name\0\n"
                          "[Software\\Classes\\y]\n@=1:plain\0\n@=1:AB\0\n@=4:\n\0\n"s);
}

// Read in two parts, cut wherever cutPoint() finds a cut, a text reports
// the same blocks at the same offsets and the same errors on the same lines
// as read whole: hex data going on over the cut, blank lines before it and
// errors on either side.
TEST(WineRegParser, TextsCutInTwoReadAsWhole) {
  const std::string texts[] = {
      kSig + "[A] 1\n@=\"a\"\n\n[A\\\\B] 1\n#time=1\n@=\"b\"\n\n\n[C] 1\r\n@=dword:1\r\n\r\n[D]\n",
      kSig + "[A]\n\"v\"=hex:01,\\\n[B] 1\n\n[C]\n",  // a key line inside hex data
      kSig + "[A]\n@=hex(1):41,00,\\\n\n[B] 1\n@=\"b\"\n\n[C]\n",
      kSig + "[A]\n; a comment\\\n[B]\n@=\"b\"\n\n[C]\nbogus\n\n[D]\n",
      kSig + "[A]\n@=\"a\"\n\n[B]\n@=\"unterminated\n\n[C]\n",
      kSig + "\n[A]\n\n[B]\n\"v\"=hex:01,\\\n", kSig + "bogus\n\n[A]\n",
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    const std::string expected = parsed(text, true);
    std::size_t cuts = 0;
    for (std::size_t from = 0, cut; (cut = WineRegParser::cutPoint(text, from)) < text.size();
         from = text.find('[', cut) + 1, ++cuts)
      EXPECT_EQ(parsedInParts(text, cut), expected) << "cut at " << cut;
    EXPECT_GT(cuts, 0u);
  }
}

TEST(WineEscapes, WineSpellingReadsBackAsTheSameUnits) {
  const std::pair<std::u16string, std::string> cases[] = {  // the units; Wine's spelling
      {u"a\\b\"c[d]", "a\\\\b\\\"c[d]"}, {u"\a\b\t\n\v\f\r\x1b", "\\a\\b\\t\\n\\v\\f\\r\\e"},
      {std::u16string{0x01, u'x', 0, u'7'}, "\\1x\\0007"},
      {u"\u00e4B\u00e4 \u20acz", "\\x00e4B\\xe4 \\x20acz"}, {u"\U0001F600", "\\xd83d\\xde00"},
  };
  for (const auto& [units, spelled] : cases) {
    SCOPED_TRACE(spelled);
    std::u16string back;
    auto r = WineEscapes::unescape(spelled + "\"tail", '"', &back);
    const bool ok = r.status == WineEscapes::Status::Ok;
    EXPECT_EQ(WineEscapes::escape(units, "\"") + (ok ? " ok " : " ? ") + std::to_string(r.consumed),
              spelled + " ok " + std::to_string(spelled.size() + 1));
    EXPECT_EQ(back, units);
  }
  // What Wine reads but never writes: a bare \x, unknown escapes, raw and
  // escaped UTF-8.
  std::u16string back;
  WineEscapes::unescape("\\x\\q\\12345\xc3\xa4\\\xc3\xb6]", ']', &back);
  EXPECT_EQ(back, u"xqS45\u00e4\u00f6");  // \123 is octal
}

}  // namespace
}  // namespace comsweep::test
