#include "registry/Text.h"

#include <gtest/gtest.h>

namespace comsweep::registry {
namespace {

TEST(Text, Utf16RoundTripKeepsUnpairedSurrogates) {
  // "A", U+00E4, U+1F600 (a pair), a lone high surrogate, "z".
  std::string utf16("A\0\xE4\0\x3D\xD8\x00\xDE\x01\xD8z\0", 12);
  std::string utf8 = utf16leToUtf8(utf16);
  EXPECT_EQ(utf8.substr(0, 3), "A\xC3\xA4");
  EXPECT_EQ(utf8ToUtf16le(utf8), utf16);
  EXPECT_EQ(utf8ToUtf16le("\xE4"), std::string("\xE4\0", 2));  // not UTF-8: Windows-1252
  EXPECT_EQ(cp1252ToUtf8("\x80"), "\xE2\x82\xAC");
}

TEST(Text, ComparesLikeTheRegistry) {
  EXPECT_EQ(compareNoCase("clsid", "CLSID"), 0);
  EXPECT_LT(compareNoCase("Z", "_"), 0);  // upper-cased: 'Z' (0x5A) < '_' (0x5F)
  EXPECT_LT(compareNoCase("a", "a1"), 0);
  EXPECT_EQ(compareNoCase("\xC3\xA4", "\xC3\x84"), 0);  // a-umlaut folds to A-umlaut
  EXPECT_GT(compareNoCase("\xC3\xA4", "z"), 0);
  EXPECT_EQ(upperCase("m9qcal.ocx \xC3\xA4"), "M9QCAL.OCX \xC3\x84");
}

}  // namespace
}  // namespace comsweep::registry
