#pragma once
// The review window's resize rules as plain arithmetic, in whatever unit the
// window measures in: the list grows with the window, the button frame keeps
// its distance from the bottom edge and the remote-machine label its
// distance from the right edge (once the window is also taller). The layout the window had when it first
// became active is the floor: a smaller window leaves every control where
// and as large as it was then.
//
// Only the first activation is recorded. Recording again at a later one
// would make a maximized size the floor, and restoring the window would
// then leave the buttons below its bottom edge, out of reach.

#include <optional>

namespace comsweep::forms {

struct ReviewGeometry {
  int formWidth = 0;
  int formHeight = 0;
  int listWidth = 0;
  int listHeight = 0;
  int buttonsTop = 0;       // top of the button frame
  int remoteLabelLeft = 0;  // left of the remote-machine label
};

class ReviewLayout {
 public:
  // Called at every activation; keeps the first layout that has a size.
  void activated(const ReviewGeometry& current);
  bool recorded() const { return m_recorded.formWidth > 0 && m_recorded.formHeight > 0; }

  // The controls' places for a window of the given size; nothing before the
  // first activation or while the window is minimized.
  std::optional<ReviewGeometry> resized(int width, int height, bool minimized) const;

 private:
  ReviewGeometry m_recorded;
};

}  // namespace comsweep::forms
