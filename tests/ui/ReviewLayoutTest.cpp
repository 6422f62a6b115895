#include "ui/ReviewLayout.h"

#include <gtest/gtest.h>

namespace comsweep::test {
namespace {

using ui::ReviewGeometry;
using ui::ReviewLayout;

// The review window as designed: 596 x 421 with its list, buttons and label.
const ReviewGeometry kDesign{596, 421, 597, 349, 380, 324};

TEST(ReviewLayout, NothingMovesBeforeActivationOrWhileMinimized) {
  ReviewLayout layout;
  EXPECT_FALSE(layout.resized(900, 700, false));
  layout.activated({0, 0, 597, 349, 380, 324});  // a window without a size is no floor
  EXPECT_FALSE(layout.recorded());
  layout.activated(kDesign);
  EXPECT_FALSE(layout.resized(900, 700, true));
  EXPECT_TRUE(layout.resized(900, 700, false));
}

TEST(ReviewLayout, ControlsFollowGrowthAndNeverShrinkBelowTheFirstActivation) {
  struct Case {
    int width, height;
    ReviewGeometry expected;  // form size, list, buttons top, label left
  };
  const Case cases[] = {
      {596, 421, {596, 421, 597, 349, 380, 324}},    // as recorded
      {696, 421, {696, 421, 697, 349, 380, 424}},    // wider: list and label follow
      {596, 471, {596, 471, 597, 399, 430, 324}},    // taller: list and buttons follow
      {796, 621, {796, 621, 797, 549, 580, 524}},    // both
      {400, 300, {400, 300, 597, 349, 380, 324}},    // smaller: the recorded layout
      {696, 300, {696, 300, 697, 349, 380, 424}},    // wider but lower
      {597, 420, {597, 420, 598, 349, 380, 325}},    // one unit each way
  };
  ReviewLayout layout;
  layout.activated(kDesign);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    std::optional<ReviewGeometry> g = layout.resized(c.width, c.height, false);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->formWidth, c.expected.formWidth);
    EXPECT_EQ(g->formHeight, c.expected.formHeight);
    EXPECT_EQ(g->listWidth, c.expected.listWidth);
    EXPECT_EQ(g->listHeight, c.expected.listHeight);
    EXPECT_EQ(g->buttonsTop, c.expected.buttonsTop);
    EXPECT_EQ(g->remoteLabelLeft, c.expected.remoteLabelLeft);
  }
}

TEST(ReviewLayout, RestoringAfterAMaximizedActivationBringsTheButtonsBack) {
  ReviewLayout layout;
  layout.activated(kDesign);
  // Maximized, then activated again (a message box closed over it).
  layout.activated({1600, 1000, 1601, 928, 959, 1328});
  std::optional<ReviewGeometry> restored = layout.resized(596, 421, false);
  ASSERT_TRUE(restored);
  EXPECT_EQ(restored->buttonsTop, 380);
  EXPECT_EQ(restored->listHeight, 349);
  EXPECT_EQ(restored->listWidth, 597);
}

}  // namespace
}  // namespace comsweep::test
