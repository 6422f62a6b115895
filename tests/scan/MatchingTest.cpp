#include <gtest/gtest.h>

#include "families/Families.h"
#include "scan/FoundKeyList.h"
#include "scan/Matcher.h"
#include "scan/TypeLibTable.h"

namespace comsweep::scan {
namespace {

TEST(Matching, FragmentsIgnoreCaseFileNamesFollowTheLastSeparatorTypeLibLookupIsExact) {
  families::PatternList list;
  const Matcher none(list);
  list.fragments = {"m9q", "QZ."};
  const Matcher m9q(list);
  for (const char* text : {"M9QCAL.OCX", "Sonnet m9q Grid", "c:\\bin\\qz.dll"}) EXPECT_TRUE(m9q.matches(text)) << text;
  for (const char* text : {"m9 q", "qzdll"}) EXPECT_FALSE(m9q.matches(text)) << text;
  for (const char* text : {"", "m9q"}) EXPECT_FALSE(none.matches(text)) << "an empty list matches nothing: " << text;
  for (auto [path, name] : {std::pair{"C:\\Program Files\\Sonnet/bin\\m9qGrid.ocx", "m9qGrid.ocx"},
                            {"C:\\a\\b/c.dll", "c.dll"}, {"C:\\dir\\", ""}, {"Sonnet Calendar", "Sonnet Calendar"}})
    EXPECT_EQ(fileNameOf(path), name);
  TypeLibTable table;
  table.add("{AB}", "first.ocx");
  table.add("{AB}", "second.ocx");
  EXPECT_EQ(table.rows().size(), 2u);
  EXPECT_EQ(table.lookupTypeLibFile("{AB}"), "first.ocx");
  EXPECT_EQ(table.lookupTypeLibFile("{ab}"), "") << "the lookup is exact";
  EXPECT_EQ(table.lookupTypeLibFile(""), "");
}

TEST(FoundKeys, SortingFollowsTheColumnTextIgnoringCaseAndKeepsTies) {
  FoundKeyList list;
  for (const FoundKey& k : {FoundKey{"b", "Zeta", "p1", "CLSID", false}, FoundKey{"A", "alpha", "p2", "CLSID", false},
                            FoundKey{"c", "ALPHA", "p3", "PROGID", false}})
    list.add(k);
  list.setSortKey(1);
  list.setSorted(true);
  EXPECT_EQ(list.item(1).path + list.item(2).path + list.item(3).path, "p2p3p1");  // ties keep found order
  list.setSortOrder(FoundKeyList::SortOrder::Descending);
  EXPECT_EQ(list.item(1).path, "p1");
  list.setSortKey(0);
  EXPECT_EQ(list.item(1).name + list.item(3).name, "cA");
  // Punctuation sorts before digits (by its code, on either side of them), digits before letters.
  for (auto [less, more] : {std::pair{"{C1}", "m9q"}, {"9", "a"}, {"a", "a1"}, {".", "{"}, {"{", "0"}})
    EXPECT_LT(compareListText(less, more), 0) << less << " " << more;
  EXPECT_EQ(compareListText("AbC", "abc"), 0);
  // New entries take their place while the list is sorted.
  list.add({"B2", "", "p4", "CLSID", false});
  EXPECT_EQ(list.item(2).name, "B2");
}

}  // namespace
}  // namespace comsweep::scan
