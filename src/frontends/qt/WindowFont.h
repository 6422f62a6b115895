#pragma once
// The font of every window. The design places controls tightly around
// captions set in a narrow 8-point dialog font; a narrow sans serif at 7.5
// points keeps every caption inside its control.

#include <QFont>

namespace comsweep::qt {

inline QFont windowFont() {
  QFont font(QStringLiteral("DejaVu Sans Condensed"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(7.5);
  return font;
}

}  // namespace comsweep::qt
