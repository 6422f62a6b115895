// Whole interactive runs through the real windows on a machine in memory:
// the operator's part is played through the widgets, the modal dialogs
// through the scripted runner.

#include <QBrush>
#include <QCheckBox>
#include <QFrame>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include "FixtureMachine.h"
#include "ListView.h"
#include "ScriptedModalRunner.h"
#include "ui/qt/InteractiveSession.h"
#include "ui/qt/MainWindow.h"

namespace comsweep::test {

class InteractiveRunTest : public QObject {
  Q_OBJECT

 private slots:
  void removeAfterReview();
  void cancelInReview();
  void helpThenARemoteNameThatCannotBeReached();
};

namespace {

struct Fixture {
  QTemporaryDir dir;
  std::unique_ptr<registry::Machine> machine = makeFixtureMachine(dir.path().toStdString());
  ScriptedModalRunner modal;
  ui::InteractiveSession session{*machine, modal};

  Fixture() { session.show(); }
  QWidget& main() { return session.mainWindow(); }
  template <class T>
  T* in(QWidget& window, const char* name) {
    return window.findChild<T*>(QLatin1String(name));
  }
  std::filesystem::path log() const { return machine->driveC / "9QReg.log"; }
};

void strikeRow(QTreeView& list, int row) {
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualRect(list.model()->index(row, 1)).center());
  QTest::keyClick(&list, Qt::Key_Delete);
}

}  // namespace

void InteractiveRunTest::removeAfterReview() {
  Fixture f;
  QVERIFY(f.main().isVisible());
  f.in<QCheckBox>(f.main(), "chkM9q")->click();
  f.in<QCheckBox>(f.main(), "chkW9q")->click();

  QStringList shownOrder, orderAfterClick;
  QString label1;
  f.modal.then([&](QDialog& review) {
    review.resize(596, 421);
    review.show();
    QVERIFY(QTest::qWaitForWindowActive(&review));
    // Growing moves the controls with the window.
    review.resize(696, 471);
    auto* list = f.in<QTreeView>(review, "lvwKeys");
    auto* buttons = f.in<QFrame>(review, "fraButtons");
    QCOMPARE(list->size(), QSize(697, 399));
    QCOMPARE(buttons->y() + buttons->height() + 4, review.height());
    label1 = f.in<QLabel>(review, "Label1")->text();
    QCOMPARE(QApplication::focusWidget(), list);
    auto selectedRow = [&] { return list->selectionModel()->selectedRows().value(0).row(); };
    auto struck = [&](int row) {
      const QModelIndex at = list->model()->index(row, 0);
      return at.data(Qt::FontRole).value<QFont>().strikeOut() &&
             at.data(Qt::ForegroundRole).value<QBrush>() ==
                 QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
    };
    shownOrder = column(*list, 0);
    QCOMPARE(list->header()->sortIndicatorSection(), 1);
    QCOMPARE(selectedRow(), 0);
    clickHeader(*list, 0);
    orderAfterClick = column(*list, 0);
    QCOMPARE(list->header()->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(selectedRow(), orderAfterClick.indexOf(shownOrder[0]));  // the selection follows its entry
    strikeRow(*list, 0);
    QVERIFY(struck(0));
    QTest::keyClick(list, Qt::Key_Insert);                     // not Del: nothing
    QTest::keyClick(list, Qt::Key_Delete, Qt::ShiftModifier);  // shift is ignored
    QVERIFY(!struck(0) && !list->model()->index(0, 0).data(Qt::ForegroundRole).isValid());
    QTest::keyClick(list, Qt::Key_Delete);
    list->selectionModel()->clear();
    QTest::keyClick(list, Qt::Key_Delete);  // nothing selected: nothing struck
    QVERIFY(struck(0) && !struck(1));
    strikeRow(*list, 5);
    QTest::mouseClick(f.in<QPushButton>(review, "cmdDelete"), Qt::LeftButton);
  });
  ShownMessage closing;
  f.modal.thenMessage(closing);

  QTest::mouseClick(f.in<QPushButton>(f.main(), "cmdContinue"), Qt::LeftButton);

  QVERIFY2(f.modal.allStepsTaken() && f.modal.unexpected.isEmpty(), qPrintable(f.modal.unexpected.join('|')));
  QCOMPARE(label1, QStringLiteral("7 Keys about to be removed in the registry:"));
  // Shown by found value, ascending; one click on "Key" flips to
  // descending by key, letter case ignored, punctuation before letters as a
  // list control orders text.
  const QString a1 = "{A1000000-0000-0000-0000-000000000001}", b2 = "{B2000000-0000-0000-0000-000000000001}",
                c31 = "{C3000000-0000-0000-0000-000000000001}", c32 = "{C3000000-0000-0000-0000-000000000002}";
  QCOMPARE(shownOrder, (QStringList{"m9q.alpha", "M9Q.Beta", c31, a1, b2, "W9q.Calc", c32}));
  QCOMPARE(orderAfterClick, (QStringList{"W9q.Calc", "M9Q.Beta", "m9q.alpha", c32, c31, b2, a1}));

  QCOMPARE(closing.text, QStringLiteral("5 / 7 keys have been removed in your registry."));
  QVERIFY(closing.icon == QMessageBox::Information && closing.title == QStringLiteral("Registry Cleaner"));

  // Removed and logged in the order shown, struck entries skipped.
  const QStringList gone = {"M9Q.Beta", "m9q.alpha", "CLSID\\" + c32, "CLSID\\" + c31, "TypeLib\\" + a1};
  QFile log(QString::fromStdString(f.log().string()));
  QVERIFY(log.open(QIODevice::ReadOnly));
  QStringList logged;
  for (const QString& line : QString::fromUtf8(log.readAll()).split(QStringLiteral("\r\n")))
    if (line.startsWith(QLatin1String(" --- "))) logged << line.section(QStringLiteral("HKEY_CLASSES_ROOT\\"), 1);
  QCOMPARE(logged, gone);
  // Struck and unrelated keys stay, subkeys included; the others are gone.
  for (const QString& kept : QStringList{"W9q.Calc", "Interface\\" + b2, "Paint.Picture",
                                         "CLSID\\{C9000000-0000-0000-0000-000000000001}\\InprocServer32"})
    QVERIFY2(hasKey(*f.machine->store, kept.toStdString()), qPrintable(kept));
  for (const QString& path : gone) QVERIFY2(!hasKey(*f.machine->store, path.toStdString()), qPrintable(path));

  // The keys were saved to the backup before they went.
  QCOMPARE(std::ranges::count_if(std::filesystem::directory_iterator(f.machine->driveC),
                                 [](const auto& e) { return e.path().filename().string().starts_with("9QReg-"); }), 1);

  QVERIFY(f.session.ended() && !f.main().isVisible());
  QCOMPARE(f.session.exitStatus(), 0);
}

void InteractiveRunTest::cancelInReview() {
  Fixture f;
  f.in<QCheckBox>(f.main(), "chkM9q")->click();
  f.modal.then([&](QDialog& review) {
    review.show();
    auto* list = f.in<QTreeView>(review, "lvwKeys");
    strikeRow(*list, 0);
    QTest::keyClick(list, Qt::Key_Escape);
  });
  ShownMessage cancelled;
  f.modal.thenMessage(cancelled);

  f.in<QPushButton>(f.main(), "cmdContinue")->click();

  QVERIFY(f.modal.allStepsTaken() && f.modal.unexpected.isEmpty() && f.session.ended());
  QCOMPARE(cancelled.text, QStringLiteral("0 keys have been deleted in your registry."));
  QVERIFY(!std::filesystem::exists(f.log()) && hasKey(*f.machine->store, "M9Q.Beta") &&
          hasKey(*f.machine->store, "CLSID\\{C3000000-0000-0000-0000-000000000001}"));
}

void InteractiveRunTest::helpThenARemoteNameThatCannotBeReached() {
  Fixture f;
  QWidget& main = f.main();
  // The help window opens over the main window with OK focused; Esc closes it.
  bool okHadFocus = false, closedByEsc = false;
  f.modal.then([&](QDialog& tip) {
    tip.show();
    QVERIFY(QTest::qWaitForWindowActive(&tip));
    QCOMPARE(tip.parentWidget(), &main);
    okHadFocus = QApplication::focusWidget() == tip.findChild<QPushButton*>(QStringLiteral("cmdOK"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    closedByEsc = !tip.isVisible();
  });
  f.in<QPushButton>(main, "cmdTIP")->click();
  QVERIFY(f.modal.allStepsTaken() && okHadFocus && closedByEsc);
  // The designed start: nothing ticked but the review option.
  for (QCheckBox* box : main.findChildren<QCheckBox*>())
    QCOMPARE(box->isChecked(), box->objectName() == QLatin1String("chkControl"));
  for (const char* off : {"chkT9qPlus", "chkH9qPlus", "chkR9qPlus", "chkN9qPlus", "cmdManual"})
    QVERIFY2(!main.findChild<QWidget*>(QLatin1String(off))->isEnabled(), off);
  QVERIFY(f.in<QLabel>(main, "lblMachine")->text().contains(QLatin1String("test machine")));

  auto* label = f.in<QLabel>(main, "lblRemoteComputer");
  auto* name = f.in<QLineEdit>(main, "txtRemoteComputer");
  QVERIFY(!label->isVisible() && !name->isVisible());
  QTest::mouseClick(f.in<QCheckBox>(main, "chkRemoteComputer"), Qt::LeftButton);
  QVERIFY(label->isVisible() && name->isVisible());
  QTest::keyClicks(name, QStringLiteral(" foo"));

  ShownMessage first, second;
  f.modal.thenMessage(first);
  f.modal.thenMessage(second);
  f.in<QPushButton>(main, "cmdContinue")->click();
  QCOMPARE(first.text, QStringLiteral("Unable to connect to the remote machine  foo."));
  QVERIFY(first.icon == QMessageBox::Critical && first.title == QStringLiteral("Registry Cleaner"));
  QVERIFY(main.isVisible() && !f.session.ended());

  // Hiding keeps the name; Enter presses "Automatic" again.
  QTest::mouseClick(f.in<QCheckBox>(main, "chkRemoteComputer"), Qt::LeftButton);
  QVERIFY(!label->isVisible() && !name->isVisible());
  QTest::mouseClick(f.in<QCheckBox>(main, "chkRemoteComputer"), Qt::LeftButton);
  QCOMPARE(name->text(), QStringLiteral(" foo"));
  QTest::keyClick(name, Qt::Key_Return);
  QVERIFY(second.text == first.text && f.modal.unexpected.isEmpty());

  // Cancel ends the program without touching the machine.
  QTest::keyClick(&main, Qt::Key_Escape);
  QVERIFY(f.session.ended() && !main.isVisible() && !std::filesystem::exists(f.log()));
}

int runInteractiveRunTest(int argc, char** argv) {
  InteractiveRunTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace comsweep::test

#include "InteractiveRunTest.moc"
