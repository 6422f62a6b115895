// The review window on its own: the sort direction rule, the Del strike and
// the resize rules, over a list filled by hand.

#include <QBrush>
#include <QFrame>
#include <QLabel>

#include "FixtureMachine.h"
#include "ListView.h"
#include "families/Selection.h"
#include "ui/ReviewState.h"
#include "ui/headless/HeadlessWindowSystem.h"
#include "ui/qt/ReviewWindow.h"

namespace comsweep::test {

class ReviewWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void columnClicksFlipTheOneDirectionAndDelStrikesTheSelectedEntry();
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
    window = std::make_unique<ui::ReviewWindow>(form, machine);
  }
  QTreeView& list() { return *window->findChild<QTreeView*>(QStringLiteral("lvwKeys")); }
};

}  // namespace

void ReviewWindowTest::columnClicksFlipTheOneDirectionAndDelStrikesTheSelectedEntry() {
  Review r;
  r.window->show();
  QTreeView& list = r.list();
  QCOMPARE(column(list, 1), (QStringList{"1.dll", "2.dll", "3.tlb"}));
  QCOMPARE(list.header()->sortIndicatorSection(), 1);
  // The first entry starts selected; the selection follows it through a sort.
  QCOMPARE(r.form.selected, std::size_t{1});  // beta
  clickHeader(list, 0);
  QCOMPARE(column(list, 0), (QStringList{"gamma", "beta", "Alpha"}));
  QCOMPARE(list.header()->sortIndicatorOrder(), Qt::DescendingOrder);
  QCOMPARE(list.selectionModel()->selectedRows().value(0).row(), 1);

  QTest::keyClick(&list, Qt::Key_Delete);
  QVERIFY(r.form.foundKeys.item(2).kept);
  const QModelIndex struck = list.model()->index(1, 0);
  QVERIFY(struck.data(Qt::ForegroundRole).value<QBrush>() ==
          QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text));
  QVERIFY(struck.data(Qt::FontRole).value<QFont>().strikeOut());
  QTest::keyClick(&list, Qt::Key_Insert);                     // not Del: nothing
  QTest::keyClick(&list, Qt::Key_Delete, Qt::ShiftModifier);  // shift is ignored
  QVERIFY(!r.form.foundKeys.item(2).kept);
  QVERIFY(!list.model()->index(1, 0).data(Qt::ForegroundRole).isValid());
  list.selectionModel()->clear();
  QCOMPARE(r.form.selected, std::size_t{0});
  QTest::keyClick(&list, Qt::Key_Delete);
  for (std::size_t i = 1; i <= 3; ++i) QVERIFY(!r.form.foundKeys.item(i).kept);

  // Another column still flips the direction.
  clickHeader(list, 0);
  QCOMPARE(column(list, 0), (QStringList{"Alpha", "beta", "gamma"}));
  clickHeader(list, 1);
  QCOMPARE(column(list, 1), (QStringList{"3.tlb", "2.dll", "1.dll"}));
  QCOMPARE(list.header()->sortIndicatorSection(), 1);
  QCOMPARE(list.header()->sortIndicatorOrder(), Qt::DescendingOrder);
}

void ReviewWindowTest::resizeMovesControlsButNeverBelowTheFirstLayout() {
  Review r;
  QWidget& w = *r.window;
  auto* buttons = w.findChild<QFrame*>(QStringLiteral("fraButtons"));
  w.resize(700, 500);  // before the first activation nothing follows
  QCOMPARE(r.list().size(), QSize(597, 349));
  w.resize(596, 421);
  w.show();
  QVERIFY(QTest::qWaitForWindowActive(&w));
  w.resize(696, 471);
  QCOMPARE(r.list().size(), QSize(697, 399));
  QCOMPARE(w.findChild<QLabel*>(QStringLiteral("lblRemoteMachine"))->x(), 424);
  QCOMPARE(buttons->y() + buttons->height() + 4, w.height());  // still at the bottom
}

int runReviewWindowTest(int argc, char** argv) {
  ReviewWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace comsweep::test

#include "ReviewWindowTest.moc"
