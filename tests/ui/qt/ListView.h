#pragma once
// Reading and clicking the review window's list as the operator does.

#include <QHeaderView>
#include <QStringList>
#include <QTest>
#include <QTreeView>

namespace comsweep::test {

inline QStringList column(const QTreeView& list, int c) {
  QStringList texts;
  for (int row = 0; row < list.model()->rowCount(); ++row) texts << list.model()->index(row, c).data().toString();
  return texts;
}

inline void clickHeader(QTreeView& list, int section) {
  QHeaderView* header = list.header();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                    QPoint(header->sectionViewportPosition(section) + 10, header->height() / 2));
}

}  // namespace comsweep::test
