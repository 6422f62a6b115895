#include "ui/ReviewState.h"

#include <gtest/gtest.h>

#include "ui/headless/HeadlessWindowSystem.h"

namespace comsweep::test {
namespace {

std::vector<std::string> keyColumn(const scan::FoundKeyList& list) {
  std::vector<std::string> keys;
  for (std::size_t i = 1; i <= list.count(); ++i) keys.push_back(list.item(i).name);
  return keys;
}

TEST(ReviewState, SelectionFollowsItsEntryThroughColumnSorts) {
  ui::HeadlessWindowSystem windows;
  families::Selection selection;
  ui::ReviewState form(windows, selection, [] {});
  form.foundKeys.add({"b", "z.dll", "CLSID\\b", "CLSID", false});
  form.foundKeys.add({"C", "x.dll", "CLSID\\C", "CLSID", false});
  form.foundKeys.add({"a", "y.dll", "CLSID\\a", "CLSID", false});
  // Twin entries differ only in the strike; each keeps its own.
  form.foundKeys.add({"d", "w.dll", "CLSID\\d", "CLSID", false});
  form.foundKeys.add({"d", "w.dll", "CLSID\\d", "CLSID", true});

  form.selected = 2;  // "C"
  form.columnClicked(1);  // descending by key, case ignored
  EXPECT_EQ(keyColumn(form.foundKeys), (std::vector<std::string>{"d", "d", "C", "b", "a"}));
  EXPECT_EQ(form.selected, 3u);
  form.keyPressed(46, 0);
  EXPECT_TRUE(form.foundKeys.item(3).kept);

  form.selected = 2;  // the struck twin
  form.columnClicked(2);  // ascending by found value
  EXPECT_EQ(keyColumn(form.foundKeys), (std::vector<std::string>{"d", "d", "C", "a", "b"}));
  EXPECT_TRUE(form.foundKeys.item(form.selected).kept);

  form.selected = 0;
  form.columnClicked(1);
  EXPECT_EQ(form.selected, 0u);
}

}  // namespace
}  // namespace comsweep::test
