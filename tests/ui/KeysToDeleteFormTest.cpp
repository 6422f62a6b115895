#include "ui/KeysToDeleteForm.h"

#include <gtest/gtest.h>

#include "ui/headless/HeadlessWindowSystem.h"

namespace comsweep::test {
namespace {

std::vector<std::string> keyColumn(const scan::FoundKeyList& list) {
  std::vector<std::string> keys;
  for (std::size_t i = 1; i <= list.count(); ++i) keys.push_back(list.item(i).Text);
  return keys;
}

TEST(KeysToDeleteForm, SelectionFollowsItsEntryThroughColumnSorts) {
  ui::HeadlessWindowSystem windows;
  app::Selection selection;
  ui::KeysToDeleteForm form(windows, selection, [] {});
  form.lvwKeys.add({"b", "z.dll", "CLSID\\b", "CLSID", false});
  form.lvwKeys.add({"C", "x.dll", "CLSID\\C", "CLSID", false});
  form.lvwKeys.add({"a", "y.dll", "CLSID\\a", "CLSID", false});
  // Twin entries differ only in the strike; each keeps its own.
  form.lvwKeys.add({"d", "w.dll", "CLSID\\d", "CLSID", false});
  form.lvwKeys.add({"d", "w.dll", "CLSID\\d", "CLSID", true});

  form.selected = 2;  // "C"
  form.lvwKeys_ColumnClick(1);  // descending by key, case ignored
  EXPECT_EQ(keyColumn(form.lvwKeys), (std::vector<std::string>{"d", "d", "C", "b", "a"}));
  EXPECT_EQ(form.selected, 3u);
  form.lvwKeys_KeyDown(46, 0);
  EXPECT_TRUE(form.lvwKeys.item(3).Ghosted);

  form.selected = 2;  // the struck twin
  form.lvwKeys_ColumnClick(2);  // ascending by found value
  EXPECT_EQ(keyColumn(form.lvwKeys), (std::vector<std::string>{"d", "d", "C", "a", "b"}));
  EXPECT_TRUE(form.lvwKeys.item(form.selected).Ghosted);

  form.selected = 0;
  form.lvwKeys_ColumnClick(1);
  EXPECT_EQ(form.selected, 0u);
}

}  // namespace
}  // namespace comsweep::test
