#include <gtest/gtest.h>

#include "families/Families.h"
#include "scan/FoundKeyList.h"
#include "scan/Matcher.h"
#include "scan/TypeLibTable.h"

namespace comsweep::scan {
namespace {

TEST(Matching, FragmentsMatchWithoutRegardToCaseAndFileNamesFollowTheLastSeparator) {
  families::PatternList list;
  const Matcher none(list);
  list.fragments = {"m9q", "QZ."};
  const Matcher m9q(list);
  for (const char* text : {"M9QCAL.OCX", "Sonnet m9q Grid", "c:\\bin\\qz.dll"}) EXPECT_TRUE(m9q.matches(text)) << text;
  EXPECT_FALSE(m9q.matches("m9 q") || m9q.matches("qzdll") || none.matches("") || none.matches("m9q"));
  EXPECT_EQ(fileNameOf("C:\\Program Files\\Sonnet/bin\\m9qGrid.ocx"), "m9qGrid.ocx");
  EXPECT_EQ(fileNameOf("C:\\a\\b/c.dll"), "c.dll");
  EXPECT_EQ(fileNameOf("C:\\dir\\"), "");
  EXPECT_EQ(fileNameOf("Sonnet Calendar"), "Sonnet Calendar");
}

TEST(Matching, TypeLibLookupIsExactAndTakesTheFirstRow) {
  TypeLibTable table;
  table.add("{AB}", "first.ocx");
  table.add("{AB}", "second.ocx");
  EXPECT_EQ(table.rows().size(), 2u);
  EXPECT_EQ(table.lookupTypeLibFile("{AB}"), "first.ocx");
  EXPECT_EQ(table.lookupTypeLibFile("{ab}"), "");
  EXPECT_EQ(table.lookupTypeLibFile(""), "");
}

TEST(FoundKeys, SortingFollowsTheColumnTextIgnoringCaseAndKeepsTies) {
  FoundKeyList list;
  list.add({"b", "Zeta", "p1", "CLSID", false});
  list.add({"A", "alpha", "p2", "CLSID", false});
  list.add({"c", "ALPHA", "p3", "PROGID", false});
  list.setSortKey(1);
  list.setSorted(true);
  EXPECT_EQ(list.item(1).path + list.item(2).path + list.item(3).path, "p2p3p1");  // ties keep found order
  list.setSortOrder(FoundKeyList::SortOrder::Descending);
  EXPECT_EQ(list.item(1).path, "p1");
  list.setSortKey(0);
  EXPECT_EQ(list.item(1).name + list.item(3).name, "cA");
  // Punctuation sorts before digits, digits before letters.
  EXPECT_LT(compareListText("{C1}", "m9q"), 0);
  EXPECT_LT(compareListText("9", "a"), 0);
  EXPECT_LT(compareListText("a", "a1"), 0);
  EXPECT_EQ(compareListText("AbC", "abc"), 0);
  // New entries take their place while the list is sorted.
  list.add({"B2", "", "p4", "CLSID", false});
  EXPECT_EQ(list.item(2).name, "B2");
}

}  // namespace
}  // namespace comsweep::scan
