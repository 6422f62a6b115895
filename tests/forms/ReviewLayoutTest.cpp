#include "forms/ReviewLayout.h"

#include <gtest/gtest.h>

namespace comsweep::test {
namespace {

using forms::ReviewGeometry;

TEST(ReviewLayout, ControlsFollowGrowthButNeverShrinkBelowTheFirstActivation) {
  forms::ReviewLayout layout;
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
      // Wider only: the list follows, the label waits.
      {.formWidth = 696, .formHeight = 421, .listWidth = 697, .listHeight = 349, .buttonsTop = 380, .remoteLabelLeft = 324},
      // Taller: list and buttons follow.
      {.formWidth = 596, .formHeight = 471, .listWidth = 597, .listHeight = 399, .buttonsTop = 430, .remoteLabelLeft = 324},
      {.formWidth = 796, .formHeight = 621, .listWidth = 797, .listHeight = 549, .buttonsTop = 580, .remoteLabelLeft = 524},
      // Smaller: the recorded layout.
      {.formWidth = 400, .formHeight = 300, .listWidth = 597, .listHeight = 349, .buttonsTop = 380, .remoteLabelLeft = 324},
  };
  for (const ReviewGeometry& c : cases) {
    SCOPED_TRACE(testing::Message() << c.formWidth << "x" << c.formHeight);
    std::optional<ReviewGeometry> g = layout.resized(c.formWidth, c.formHeight, false);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->listWidth, c.listWidth);
    EXPECT_EQ(g->listHeight, c.listHeight);
    EXPECT_EQ(g->buttonsTop, c.buttonsTop);
    EXPECT_EQ(g->remoteLabelLeft, c.remoteLabelLeft);
  }
}

}  // namespace
}  // namespace comsweep::test
