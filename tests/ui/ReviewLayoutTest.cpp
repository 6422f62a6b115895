#include "ui/ReviewLayout.h"

#include <gtest/gtest.h>

namespace comsweep::test {
namespace {

using ui::ReviewGeometry;

TEST(ReviewLayout, ControlsFollowGrowthButNeverShrinkBelowTheFirstActivation) {
  ui::ReviewLayout layout;
  // Nothing moves before an activation with a size, nor while minimized.
  EXPECT_FALSE(layout.resized(900, 700, false));
  layout.activated({0, 0, 597, 349, 380, 324});  // a window without a size is no floor
  EXPECT_FALSE(layout.resized(900, 700, false));
  layout.activated({596, 421, 597, 349, 380, 324});  // as designed
  EXPECT_FALSE(layout.resized(900, 700, true));
  // Maximized and activated again (a message box closed over it): the floor
  // stays, so a restored window gets its buttons back.
  layout.activated({1600, 1000, 1601, 928, 959, 1328});
  const ReviewGeometry cases[] = {
      // form size, then where the list, buttons and label go
      {696, 421, 697, 349, 380, 324},  // wider only: the list follows, the label waits
      {596, 471, 597, 399, 430, 324},  // taller: list and buttons follow
      {796, 621, 797, 549, 580, 524},  // both
      {400, 300, 597, 349, 380, 324},  // smaller: the recorded layout
  };
  for (const ReviewGeometry& c : cases) {
    SCOPED_TRACE(testing::Message() << c.formWidth << "x" << c.formHeight);
    std::optional<ReviewGeometry> g = layout.resized(c.formWidth, c.formHeight, false);
    ASSERT_TRUE(g);
    EXPECT_EQ(std::tuple(g->listWidth, g->listHeight, g->buttonsTop, g->remoteLabelLeft),
              std::tuple(c.listWidth, c.listHeight, c.buttonsTop, c.remoteLabelLeft));
  }
}

}  // namespace
}  // namespace comsweep::test
