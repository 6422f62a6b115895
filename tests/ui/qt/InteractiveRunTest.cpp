// Whole interactive runs through the real windows on a machine in memory:
// the operator's part is played through the widgets, the modal dialogs
// through the scripted runner.

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <fstream>
#include <sstream>

#include "FixtureMachine.h"
#include "ScriptedModalRunner.h"
#include "ui/qt/InteractiveSession.h"
#include "ui/qt/MainWindow.h"

namespace comsweep::test {

class InteractiveRunTest : public QObject {
  Q_OBJECT

 private slots:
  void removeAfterReview();
  void cancelInReview();
  void remoteNameThatCannotBeReached();
  void helpWindow();
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

// The key paths of the log's entries, in the order they were written.
QStringList loggedPaths(const std::filesystem::path& log) {
  std::ifstream in(log, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  QStringList paths;
  const QString marker = QStringLiteral("HKEY_CLASSES_ROOT\\");
  for (const QString& line : QString::fromStdString(text.str()).split(QStringLiteral("\r\n"))) {
    const qsizetype at = line.indexOf(marker);
    if (line.startsWith(QLatin1String(" --- ")) && at >= 0) paths << line.mid(at + marker.size());
  }
  return paths;
}

QStringList keyColumn(const QTreeView& list) {
  QStringList keys;
  for (int row = 0; row < list.model()->rowCount(); ++row)
    keys << list.model()->index(row, 0).data().toString();
  return keys;
}

void clickHeader(QTreeView& list, int section) {
  QHeaderView* header = list.header();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                    QPoint(header->sectionViewportPosition(section) + 10, header->height() / 2));
}

void strikeRow(QTreeView& list, int row) {
  const QRect cell = list.visualRect(list.model()->index(row, 1));
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, cell.center());
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
    review.show();
    QVERIFY(QTest::qWaitForWindowActive(&review));
    label1 = f.in<QLabel>(review, "Label1")->text();
    auto* list = f.in<QTreeView>(review, "lvwKeys");
    QCOMPARE(QApplication::focusWidget(), list);
    shownOrder = keyColumn(*list);
    clickHeader(*list, 0);
    orderAfterClick = keyColumn(*list);
    strikeRow(*list, 0);
    strikeRow(*list, 5);
    QTest::mouseClick(f.in<QPushButton>(review, "cmdDelete"), Qt::LeftButton);
  });
  ShownMessage closing;
  f.modal.thenMessage(closing);

  QTest::mouseClick(f.in<QPushButton>(f.main(), "cmdContinue"), Qt::LeftButton);

  QVERIFY(f.modal.allStepsTaken());
  QVERIFY2(f.modal.unexpected.isEmpty(), qPrintable(f.modal.unexpected.join('|')));
  QCOMPARE(label1, QStringLiteral("7 Keys about to be removed in the registry:"));
  // Shown by found value, ascending; one click on "Key" flips to
  // descending by key, letter case ignored, punctuation before letters as a
  // list control orders text.
  QCOMPARE(shownOrder, (QStringList{"m9q.alpha", "M9Q.Beta", "{C3000000-0000-0000-0000-000000000001}",
                                    "{A1000000-0000-0000-0000-000000000001}",
                                    "{B2000000-0000-0000-0000-000000000001}", "W9q.Calc",
                                    "{C3000000-0000-0000-0000-000000000002}"}));
  QCOMPARE(orderAfterClick,
           (QStringList{"W9q.Calc", "M9Q.Beta", "m9q.alpha",
                        "{C3000000-0000-0000-0000-000000000002}",
                        "{C3000000-0000-0000-0000-000000000001}",
                        "{B2000000-0000-0000-0000-000000000001}",
                        "{A1000000-0000-0000-0000-000000000001}"}));

  QCOMPARE(closing.text, QStringLiteral("5 / 7 keys have been removed in your registry."));
  QCOMPARE(closing.icon, QMessageBox::Information);
  QCOMPARE(closing.title, QStringLiteral("Registry Cleaner"));

  // Removed and logged in the order shown, struck entries skipped.
  QCOMPARE(loggedPaths(f.log()),
           (QStringList{"M9Q.Beta", "m9q.alpha", "CLSID\\{C3000000-0000-0000-0000-000000000002}",
                        "CLSID\\{C3000000-0000-0000-0000-000000000001}",
                        "TypeLib\\{A1000000-0000-0000-0000-000000000001}"}));
  // Struck and unrelated keys stay, subkeys included; the others are gone.
  const registry::Store& store = *f.machine->store;
  for (const char* kept : {"W9q.Calc", "Interface\\{B2000000-0000-0000-0000-000000000001}",
                           "Paint.Picture",
                           "CLSID\\{C9000000-0000-0000-0000-000000000001}\\InprocServer32"})
    QVERIFY2(hasKey(store, kept), kept);
  for (const char* gone : {"CLSID\\{C3000000-0000-0000-0000-000000000001}",
                           "CLSID\\{C3000000-0000-0000-0000-000000000002}",
                           "TypeLib\\{A1000000-0000-0000-0000-000000000001}", "m9q.alpha",
                           "M9Q.Beta"})
    QVERIFY2(!hasKey(store, gone), gone);

  // The keys were saved to the backup before they went.
  int backups = 0;
  for (const auto& entry : std::filesystem::directory_iterator(f.machine->driveC))
    backups += entry.path().filename().string().rfind("9QReg-", 0) == 0;
  QCOMPARE(backups, 1);

  QVERIFY(f.session.ended());
  QVERIFY(!f.main().isVisible());
  QCOMPARE(f.session.exitStatus(), 0);
}

void InteractiveRunTest::cancelInReview() {
  Fixture f;
  f.in<QCheckBox>(f.main(), "chkM9q")->click();
  f.modal.then([&](QDialog& review) {
    review.show();
    strikeRow(*f.in<QTreeView>(review, "lvwKeys"), 0);
    QTest::keyClick(f.in<QTreeView>(review, "lvwKeys"), Qt::Key_Escape);
  });
  ShownMessage cancelled;
  f.modal.thenMessage(cancelled);

  f.in<QPushButton>(f.main(), "cmdContinue")->click();

  QVERIFY(f.modal.allStepsTaken());
  QVERIFY(f.modal.unexpected.isEmpty());
  QCOMPARE(cancelled.text, QStringLiteral("0 keys have been deleted in your registry."));
  QCOMPARE(cancelled.icon, QMessageBox::Information);
  QCOMPARE(cancelled.title, QStringLiteral("Registry Cleaner"));
  QVERIFY(!std::filesystem::exists(f.log()));
  for (const FixtureKey& key : kFoundKeys) QVERIFY2(hasKey(*f.machine->store, key.path), key.path.c_str());
  QVERIFY(f.session.ended());
}

void InteractiveRunTest::remoteNameThatCannotBeReached() {
  Fixture f;
  QWidget& main = f.main();
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
  auto* automatic = f.in<QPushButton>(main, "cmdContinue");
  automatic->click();
  QCOMPARE(first.text, QStringLiteral("Unable to connect to the remote machine  foo."));
  QCOMPARE(first.icon, QMessageBox::Critical);
  QCOMPARE(first.title, QStringLiteral("Registry Cleaner"));
  QVERIFY(main.isVisible());
  QVERIFY(!f.session.ended());

  // Hiding keeps the name; Enter presses "Automatic" again.
  QTest::mouseClick(f.in<QCheckBox>(main, "chkRemoteComputer"), Qt::LeftButton);
  QVERIFY(!label->isVisible() && !name->isVisible());
  QTest::mouseClick(f.in<QCheckBox>(main, "chkRemoteComputer"), Qt::LeftButton);
  QCOMPARE(name->text(), QStringLiteral(" foo"));
  QTest::keyClick(name, Qt::Key_Return);
  QCOMPARE(second.text, first.text);
  QVERIFY(f.modal.unexpected.isEmpty());

  // Cancel ends the program without touching the machine.
  QTest::keyClick(&main, Qt::Key_Escape);
  QVERIFY(f.session.ended());
  QVERIFY(!main.isVisible());
  QVERIFY(!std::filesystem::exists(f.log()));
}

void InteractiveRunTest::helpWindow() {
  Fixture f;
  bool okHadFocus = false, closedByEsc = false;
  f.modal.then([&](QDialog& tip) {
    tip.show();
    QVERIFY(QTest::qWaitForWindowActive(&tip));
    QCOMPARE(tip.parentWidget(), &f.main());
    okHadFocus = QApplication::focusWidget() == tip.findChild<QPushButton*>(QStringLiteral("cmdOK"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    closedByEsc = !tip.isVisible();
  });
  f.in<QPushButton>(f.main(), "cmdTIP")->click();
  QVERIFY(f.modal.allStepsTaken());
  QVERIFY(okHadFocus && closedByEsc);
  QVERIFY(f.main().isVisible());
  QVERIFY(!f.session.ended());
}

int runInteractiveRunTest(int argc, char** argv) {
  InteractiveRunTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace comsweep::test

#include "InteractiveRunTest.moc"
