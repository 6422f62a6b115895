#include "forms/ReviewState.h"

#include <gtest/gtest.h>

#include "forms/HeadlessWindowSystem.h"

namespace comsweep::test {
namespace {

// That the selection follows its entry through a sort, and Del strikes it,
// the Qt windows' test shows through the list; here the entries it cannot
// tell apart by their text.
TEST(ReviewState, TwinsDifferingOnlyInTheStrikeEachKeepTheirSelection) {
  forms::HeadlessWindowSystem windows;
  families::Selection selection;
  forms::ReviewState form(windows, selection);
  form.foundKeys.add({"d", "w.dll", "CLSID\\d", "CLSID", false});
  form.foundKeys.add({"a", "y.dll", "CLSID\\a", "CLSID", false});
  form.foundKeys.add({"d", "w.dll", "CLSID\\d", "CLSID", true});

  form.selectedPosition = 3;  // the struck twin, behind the other one
  form.columnClicked(1);
  EXPECT_EQ(form.foundKeys.item(1).name, "d");
  EXPECT_TRUE(form.foundKeys.item(form.selectedPosition).kept);
  form.keyPressed(forms::ReviewState::kDeleteKey, 0);
  EXPECT_FALSE(form.foundKeys.item(1).kept);
  EXPECT_FALSE(form.foundKeys.item(2).kept);

  form.selectedPosition = 0;
  form.columnClicked(2);
  EXPECT_EQ(form.selectedPosition, 0u);
}

}  // namespace
}  // namespace comsweep::test
