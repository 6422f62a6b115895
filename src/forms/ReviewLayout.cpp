#include "forms/ReviewLayout.h"

#include <algorithm>

namespace comsweep::forms {

void ReviewLayout::activated(const ReviewGeometry& current) {
  if (recorded() || current.formWidth <= 0 || current.formHeight <= 0) return;
  m_recorded = current;
}

std::optional<ReviewGeometry> ReviewLayout::resized(int width, int height, bool minimized) const {
  if (minimized || !recorded()) return std::nullopt;
  const ReviewGeometry& r = m_recorded;
  const int wider = std::max(0, width - r.formWidth);
  const int taller = std::max(0, height - r.formHeight);
  ReviewGeometry g;
  g.formWidth = width;
  g.formHeight = height;
  g.listWidth = r.listWidth + wider;
  g.listHeight = r.listHeight + taller;
  g.buttonsTop = r.buttonsTop + taller;
  // The label keeps its distance from the right edge, but moves only once
  // the window is also taller than recorded, as the window always did.
  g.remoteLabelLeft = r.remoteLabelLeft + (taller > 0 ? wider : 0);
  return g;
}

}  // namespace comsweep::forms
