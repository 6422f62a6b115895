// JSON strings for names that are only bytes: what is UTF-8 stands as it is,
// every byte of what is not becomes U+FFFD, and controls are escaped.

#include "app/KeyReport.h"

#include <gtest/gtest.h>

namespace comsweep::app {
namespace {

TEST(KeyReport, JsonStringsKeepWellFormedUtf8AndReplaceEachByteOfTheRest) {
  const std::string bad1 = "\\ufffd", bad2 = bad1 + bad1, bad3 = bad2 + bad1, bad4 = bad2 + bad2;
  const struct {
    const char* bytes;
    std::string json;  // without the quotes
  } cases[] = {
      // Each first character of a length, and the same length overlong.
      {"\xC2\x80", "\xC2\x80"}, {"\xC1\xBF", bad2}, {"\xE0\xA0\x80", "\xE0\xA0\x80"}, {"\xE0\x9F\xBF", bad3},
      {"\xF0\x90\x80\x80", "\xF0\x90\x80\x80"}, {"\xF0\x8F\xBF\xBF", bad4},
      // The last before the surrogates, a surrogate, the last of three bytes.
      {"\xED\x9F\xBF", "\xED\x9F\xBF"}, {"\xED\xA0\x80", bad3}, {"\xEF\xBF\xBF", "\xEF\xBF\xBF"},
      // U+10FFFF, past it, and a lead byte past it.
      {"\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"}, {"\xF4\x90\x80\x80", bad4}, {"\xF5\x80\x80\x80", bad4},
      // Cut short at the end; not a continuation.
      {"a\xE2\x82", "a" + bad2}, {"\xE2\x28\xA1", bad1 + "(" + bad1},
      {"\"\\\x01\x1F\x7F~", "\\\"\\\\\\u0001\\u001f\\u007f~"},
  };
  for (const auto& c : cases) EXPECT_EQ(jsonString(c.bytes), "\"" + c.json + "\"") << c.json;
}

}  // namespace
}  // namespace comsweep::app
