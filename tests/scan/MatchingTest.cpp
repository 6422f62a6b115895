#include <gtest/gtest.h>

#include "app/Families.h"
#include "scan/FoundKeyList.h"
#include "scan/Matcher.h"
#include "scan/TypeLibTable.h"

namespace comsweep::scan {
namespace {

app::PatternList patterns(std::vector<std::string> fragments) {
  app::PatternList list;
  list.aPatterns = std::move(fragments);
  list.iPatternCount = static_cast<std::int16_t>(list.aPatterns.size());
  return list;
}

TEST(Matching, FragmentsMatchWithoutRegardToCase) {
  Matcher m9q(patterns({"m9q"}));
  for (const char* text : {"M9QCAL.OCX", "m9qcal.ocx", "Sonnet M9Q Grid"}) EXPECT_TRUE(m9q.MatchesPattern(text)) << text;
  EXPECT_FALSE(m9q.MatchesPattern("m9 q"));
  Matcher qz(patterns({"QZ."}));
  EXPECT_TRUE(qz.MatchesPattern("c:\\bin\\qz.dll"));
  EXPECT_FALSE(qz.MatchesPattern("qzdll"));
  Matcher none(patterns({}));
  EXPECT_FALSE(none.MatchesPattern(""));
  EXPECT_FALSE(none.MatchesPattern("m9q"));
  // Only the counted entries take part.
  app::PatternList stale = patterns({"m9q"});
  stale.iPatternCount = 0;
  EXPECT_FALSE(Matcher(stale).MatchesPattern("m9q"));
}

TEST(Matching, FileNameIsTheTextAfterTheLastSeparator) {
  EXPECT_EQ(FileNameOf("C:\\Program Files\\Sonnet/bin\\m9qGrid.ocx"), "m9qGrid.ocx");
  EXPECT_EQ(FileNameOf("C:\\a\\b/c.dll"), "c.dll");
  EXPECT_EQ(FileNameOf("C:\\dir\\"), "");
  EXPECT_EQ(FileNameOf("Sonnet Calendar"), "Sonnet Calendar");
}

TEST(Matching, TypeLibLookupIsExactAndTakesTheFirstRow) {
  TypeLibTable table;
  table.add("{AB}", "first.ocx");
  table.add("{AB}", "second.ocx");
  EXPECT_EQ(table.iTypeLibCount, 2);
  EXPECT_EQ(table.LookupTypeLibFile("{AB}"), "first.ocx");
  EXPECT_EQ(table.LookupTypeLibFile("{ab}"), "");
  EXPECT_EQ(table.LookupTypeLibFile(""), "");
}

TEST(FoundKeys, SortingFollowsTheColumnTextIgnoringCaseAndKeepsTies) {
  FoundKeyList list;
  list.add({"b", "Zeta", "p1", "CLSID", false});
  list.add({"A", "alpha", "p2", "CLSID", false});
  list.add({"c", "ALPHA", "p3", "PROGID", false});
  list.setSortKey(1);
  list.setSorted(true);
  EXPECT_EQ(list.item(1).Tag, "p2");  // "alpha" and "ALPHA" tie: found order kept
  EXPECT_EQ(list.item(2).Tag, "p3");
  EXPECT_EQ(list.item(3).Tag, "p1");
  list.setSortOrder(FoundKeyList::SortOrder::Descending);
  EXPECT_EQ(list.item(1).Tag, "p1");
  list.setSortKey(0);
  EXPECT_EQ(list.item(1).Text, "c");
  EXPECT_EQ(list.item(3).Text, "A");
  // Punctuation sorts before digits, digits before letters.
  EXPECT_LT(compareListText("{C1}", "m9q"), 0);
  EXPECT_LT(compareListText("9", "a"), 0);
  EXPECT_LT(compareListText("a", "a1"), 0);
  EXPECT_EQ(compareListText("AbC", "abc"), 0);
  // New entries take their place while the list is sorted.
  list.add({"B2", "", "p4", "CLSID", false});
  EXPECT_EQ(list.item(2).Text, "B2");
}

}  // namespace
}  // namespace comsweep::scan
