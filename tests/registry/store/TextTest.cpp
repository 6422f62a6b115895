#include "registry/store/Text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <tuple>
#include <vector>

#include "registry/store/KeyLimits.h"
#include "registry/store/UpcaseTable.h"
#include "support/TempDir.h"

namespace comsweep::registry {
namespace {

TEST(Text, Utf16RoundTripKeepsUnpairedSurrogates) {
  // "A", U+00E4, U+1F600 (a pair), a lone high surrogate, "z", a lone low one.
  std::string utf16("A\0\xE4\0\x3D\xD8\x00\xDE\x01\xD8z\0\x00\xDC", 14);
  std::string utf8 = utf16leToUtf8(utf16);
  EXPECT_EQ(utf8.substr(0, 3), "A\xC3\xA4");
  EXPECT_EQ(utf8ToUtf16le(utf8), utf16);
  EXPECT_EQ(utf8ToUtf16le("\xE4"), std::string("\xE4\0", 2));  // not UTF-8: Windows-1252
}

TEST(Text, ComparesLikeTheRegistry) {
  const std::tuple<const char*, const char*, int> cases[] = {  // a; b; sign of compareNoCase(a, b)
      {"Z", "_", -1},  // upper-cased: 'Z' (0x5A) < '_' (0x5F)
      {"m9q.\xC3\xA4", "M9Q.\xC3\x84", 0},  // a-umlaut folds to A-umlaut
      {"\xC3\xA4", "z", 1},
      // Unicode folds these; the registry keeps them apart (the rest of the
      // folding is the table, checked against Wine's below).
      {"m9q.\xC4\xB1", "m9q.I", 1},       // dotless i, U+0131
      // Outside the Basic Multilingual Plane: by the surrogates, never folded.
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x81", -1},  // U+1F600, U+1F601: same high surrogate
      {"\xF0\x9F\x98\x80", "\xEE\x80\x80", -1},      // D83D DE00 < U+E000
      {"\xF0\x90\x90\xA8", "\xF0\x90\x90\x80", 1},   // Deseret small letter stays small
      {"\xED\xA0\xBD", "\xF0\x9F\x98\x80", -1},      // a lone D83D is a prefix of the pair
  };
  auto sign = [](int v) { return (v > 0) - (v < 0); };
  for (const auto& [a, b, order] : cases)
    EXPECT_EQ(std::pair(sign(compareNoCase(a, b)), sign(compareNoCase(b, a))),
              std::pair(order, -order)) << a << " vs " << b;
  EXPECT_EQ(upperCase("m9qcal.ocx \xC3\xA4\xC4\xB1\xCF\x82\xE4"), "M9QCAL.OCX \xC3\x84\xC4\xB1\xCF\x82\xE4");
}

// The table against the one Wine installs (the same data Windows ships).
TEST(Text, UpcaseTableMatchesWinesNlsFile) {
  std::filesystem::path file;
  for (const char* p : {"/usr/share/wine/nls/l_intl.nls", "/usr/lib/x86_64-linux-gnu/wine/nls/l_intl.nls"})
    if (std::filesystem::exists(p)) file = p;
  if (file.empty()) GTEST_SKIP() << "Wine's l_intl.nls is not installed";
  const std::string bytes = test::readFile(file);
  std::vector<std::uint16_t> words;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    words.push_back(static_cast<std::uint16_t>(std::uint8_t(bytes[i]) | std::uint8_t(bytes[i + 1]) << 8));
  ASSERT_GT(words.size(), 2u + 256u);
  // Word 2 on: a three-level trie of offsets ending in a delta to add.
  const std::uint16_t* t = words.data() + 2;
  const std::size_t n = words.size() - 2;
  std::string differences;  // the first few, as "U+code:ours/Wine's"
  for (unsigned c = 0; c < 0x10000; ++c) {
    std::size_t i1 = t[c >> 8] + ((c >> 4) & 0xF), i2 = i1 < n ? t[i1] + (c & 0xF) : n;
    ASSERT_LT(i2, n) << std::hex << "U+" << c;
    const unsigned ours = upcaseUnit(static_cast<char16_t>(c)), wines = static_cast<char16_t>(c + t[i2]);
    if (ours != wines && differences.size() < 200)
      differences += std::to_string(c) + ":" + std::to_string(ours) + "/" + std::to_string(wines) + " ";
  }
  EXPECT_EQ(differences, "");
}

// A path too long for a message keeps its first three levels and its last,
// each cut to 40 bytes before a whole character.
TEST(Text, PathsInMessagesAreShortenedLevelByLevel) {
  const std::string a(60, 'a'), b(60, 'b'), c(60, 'c'), e(60, 'e');
  const std::string d = std::string(39, 'd') + "\xC3\xA4" + std::string(20, 'd');
  auto cut = [](const std::string& level) { return level.substr(0, 40) + "..."; };
  const std::string first = cut(a) + "\\" + cut(b) + "\\" + cut(c) + "\\";
  EXPECT_EQ(shortenedPath(a + "\\" + b + "\\" + c), a + "\\" + b + "\\" + c);  // 182 bytes: whole
  EXPECT_EQ(shortenedPath(a + "\\" + b + "\\" + c + "\\" + d), first + d.substr(0, 39) + "...");
  EXPECT_EQ(shortenedPath(a + "\\" + b + "\\" + c + "\\" + d + "\\" + e), first + "...\\" + cut(e));
}

}  // namespace
}  // namespace comsweep::registry
