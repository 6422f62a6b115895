// The review window on its own: the sort direction rule, the Del strike and
// the resize rules, over a list filled by hand.

#include <QBrush>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QTest>
#include <QTreeView>

#include "FixtureMachine.h"
#include "families/Selection.h"
#include "ui/ReviewState.h"
#include "ui/headless/HeadlessWindowSystem.h"
#include "ui/qt/ReviewWindow.h"

namespace comsweep::test {

class ReviewWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void everyColumnClickFlipsTheOneDirection();
  void delTogglesTheSelectedEntry();
  void resizeMovesControlsButNeverBelowTheFirstLayout();
};

namespace {

struct Review {
  ui::HeadlessWindowSystem windows;
  families::Selection selection;
  ui::ReviewState form{windows, selection, [] {}};
  registry::Machine machine;
  std::unique_ptr<ui::ReviewWindow> window;

  Review() {
    form.foundKeys.add({"beta", "1.dll", "CLSID\\beta", "CLSID", false});
    form.foundKeys.add({"Alpha", "2.dll", "Alpha", "PROGID", false});
    form.foundKeys.add({"gamma", "3.tlb", "TypeLib\\gamma", "TYPELIB", false});
    // As the run shows it: sorted by found value.
    form.foundKeys.setSortKey(1);
    form.foundKeys.setSorted(true);
    machine.kind = "test machine";
    window = std::make_unique<ui::ReviewWindow>(form, machine);
  }
  QTreeView& list() { return *window->findChild<QTreeView*>(QStringLiteral("lvwKeys")); }
  QStringList column(int c) {
    QStringList texts;
    for (int row = 0; row < list().model()->rowCount(); ++row)
      texts << list().model()->index(row, c).data().toString();
    return texts;
  }
  void clickHeader(int section) {
    QHeaderView* header = list().header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(section) + 10, header->height() / 2));
  }
};

}  // namespace

void ReviewWindowTest::everyColumnClickFlipsTheOneDirection() {
  Review r;
  r.window->show();
  QCOMPARE(r.column(1), (QStringList{"1.dll", "2.dll", "3.tlb"}));
  QCOMPARE(r.list().header()->sortIndicatorSection(), 1);

  r.clickHeader(0);
  QCOMPARE(r.column(0), (QStringList{"gamma", "beta", "Alpha"}));
  QCOMPARE(r.list().header()->sortIndicatorOrder(), Qt::DescendingOrder);
  r.clickHeader(0);
  QCOMPARE(r.column(0), (QStringList{"Alpha", "beta", "gamma"}));
  QCOMPARE(r.list().header()->sortIndicatorOrder(), Qt::AscendingOrder);
  // Another column still flips the direction.
  r.clickHeader(1);
  QCOMPARE(r.column(1), (QStringList{"3.tlb", "2.dll", "1.dll"}));
  QCOMPARE(r.list().header()->sortIndicatorSection(), 1);
  QCOMPARE(r.list().header()->sortIndicatorOrder(), Qt::DescendingOrder);
}

void ReviewWindowTest::delTogglesTheSelectedEntry() {
  Review r;
  r.window->show();
  QTreeView& list = r.list();
  // The first entry starts selected; the selection follows it through a sort.
  QCOMPARE(r.form.selected, std::size_t{1});  // beta
  r.clickHeader(0);                            // gamma, beta, Alpha
  QCOMPARE(list.selectionModel()->selectedRows().value(0).row(), 1);
  QTest::keyClick(&list, Qt::Key_Delete);
  QVERIFY(r.form.foundKeys.item(2).kept);
  const QModelIndex struck = list.model()->index(1, 0);
  QVERIFY(struck.data(Qt::ForegroundRole).value<QBrush>() ==
          QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text));
  QVERIFY(struck.data(Qt::FontRole).value<QFont>().strikeOut());

  QTest::keyClick(&list, Qt::Key_Insert);  // not Del: nothing
  QTest::keyClick(&list, Qt::Key_Delete, Qt::ShiftModifier);  // shift is ignored
  QVERIFY(!r.form.foundKeys.item(2).kept);
  QVERIFY(!list.model()->index(1, 0).data(Qt::ForegroundRole).isValid());

  QTest::keyClick(&list, Qt::Key_Down);
  QTest::keyClick(&list, Qt::Key_Delete);
  QVERIFY(r.form.foundKeys.item(3).kept);
  list.selectionModel()->clear();
  QCOMPARE(r.form.selected, std::size_t{0});
  QTest::keyClick(&list, Qt::Key_Delete);
  QVERIFY(!r.form.foundKeys.item(1).kept);
  QVERIFY(!r.form.foundKeys.item(2).kept);
  QVERIFY(r.form.foundKeys.item(3).kept);
}

void ReviewWindowTest::resizeMovesControlsButNeverBelowTheFirstLayout() {
  Review r;
  QWidget& w = *r.window;
  auto* buttons = w.findChild<QFrame*>(QStringLiteral("fraButtons"));
  auto* remote = w.findChild<QLabel*>(QStringLiteral("lblRemoteMachine"));
  w.resize(700, 500);  // before the first activation nothing follows
  QCOMPARE(r.list().size(), QSize(597, 349));
  w.resize(596, 421);
  w.show();
  QVERIFY(QTest::qWaitForWindowActive(&w));
  QCOMPARE(remote->text(), QStringLiteral("Remote Machine Name:"));

  w.resize(696, 471);
  QCOMPARE(r.list().size(), QSize(697, 399));
  QCOMPARE(buttons->y(), 430);
  QCOMPARE(remote->x(), 424);
  QCOMPARE(buttons->y() + buttons->height() + 4, w.height());  // still at the bottom

}

int runReviewWindowTest(int argc, char** argv) {
  ReviewWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace comsweep::test

#include "ReviewWindowTest.moc"
