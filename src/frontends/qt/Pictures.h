#pragma once
// The program's pictures, drawn in code so that they are sharp at any size
// and display scale: the small icons of the four found-key categories (the
// review list and its legend) and the five frames of the progress
// animation.

#include <QIcon>
#include <QString>

namespace comsweep::qt {

class Pictures {
 public:
  // "TYPELIB", "INTERFACE", "CLSID" or "PROGID"; a null icon for any other
  // key. A ghosted entry's icon is drawn dimmed.
  static QIcon category(const QString& key, bool ghosted = false);
  // "REG0" ... "REG4"; a null icon for any other key.
  static QIcon animationFrame(const QString& key);
};

}  // namespace comsweep::qt
