// The Qt windows on a machine in memory, without a display. Whole
// interactive runs: the operator's part is played through the widgets, the
// modal dialogs through the scripted runner; what the removal itself does is
// the end-to-end tests' to check, here only that the windows hand it the
// operator's choices and report its outcome. And what the operator reads:
// the pictures exist for every key, the progress window's animation follows
// the counter and always shows the last update, and a start without a
// display explains itself.

#include <QTest>
#include <atomic>
#include <sstream>
#include <thread>
#include <QtWidgets>

#include "FixtureMachine.h"
#include "ScriptedModalRunner.h"
#include "support/TempDir.h"
#include "forms/ProgressState.h"
#include "frontends/qt/InteractiveSession.h"
#include "frontends/qt/MainWindow.h"
#include "frontends/qt/Pictures.h"
#include "frontends/qt/ProgressWindow.h"
#include "frontends/qt/QtProgram.h"
#include "frontends/qt/ReviewWindow.h"
#include "frontends/qt/StartMessages.h"
#include "app/MachineChooser.h"
#include "app/Program.h"

namespace comsweep::test {

class QtWindowsTest : public QObject {
  Q_OBJECT

 private slots:
  void removeAfterReview();
  void aRemoteNameThatCannotBeReached();
  void picturesForKnownKeysOnlyAndProgressFramesFollowTheCounter();
  void startWithoutDisplayExplainsItself();
  void theWindowOpensWhileTheMachineIsRead();
  void theMachineIsChosenInTheMainWindow();
};

namespace {

struct Fixture {
  QTemporaryDir dir;
  std::unique_ptr<registry::Machine> opened = makeFixtureMachine(dir.path().toStdString());
  app::MachineChooser chooser{{opened->path}, {}};
  registry::Machine* machine = (chooser.adopt(std::move(opened)), chooser.machine());
  ScriptedModalRunner modal;
  qt::InteractiveSession session{chooser, modal};

  Fixture() { session.show(); }
  QWidget& main() { return session.mainWindow(); }
};

template <class T>
T* in(QWidget& window, const char* name) {
  return window.findChild<T*>(QLatin1String(name));
}

QStringList keyColumn(const QTreeView& list) {
  QStringList texts;
  for (int row = 0; row < list.model()->rowCount(); ++row) texts << list.model()->index(row, 0).data().toString();
  return texts;
}

void strikeRow(QTreeView& list, int row) {
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualRect(list.model()->index(row, 1)).center());
  QTest::keyClick(&list, Qt::Key_Delete);
}

}  // namespace

void QtWindowsTest::removeAfterReview() {
  Fixture f;
  for (const char* box : {"chkM9q", "chkW9q"}) in<QCheckBox>(f.main(), box)->click();

  QStringList shownOrder, orderAfterClick;
  QPointer<QDialog> reviewWindow;
  f.modal.then([&](QDialog& review) {
    reviewWindow = &review;
    review.resize(596, 421);
    review.show();
    QVERIFY(QTest::qWaitForWindowActive(&review));
    // Growing moves the controls with the window.
    review.resize(696, 471);
    auto* list = in<QTreeView>(review, "lvwKeys");
    auto* buttons = in<QFrame>(review, "fraButtons");
    QCOMPARE(list->size(), QSize(697, 399));
    QCOMPARE(buttons->y() + buttons->height() + 4, review.height());
    QCOMPARE(QApplication::focusWidget(), list);
    auto selectedRow = [&] { return list->selectionModel()->selectedRows().value(0).row(); };
    QHeaderView* header = list->header();
    shownOrder = keyColumn(*list);
    for (int row = 0; row < 7; ++row) {  // all four categories
      QVERIFY(!list->model()->index(row, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
      // A key too long for its column (Wow6432Node\...) is shown whole as a tip.
      const QString tip = list->model()->index(row, 0).data(Qt::ToolTipRole).toString();
      QVERIFY2(tip.startsWith("HKEY_CLASSES_ROOT\\"), qPrintable(tip));
      QVERIFY2(tip.endsWith(list->model()->index(row, 0).data().toString()), qPrintable(tip));
    }
    QCOMPARE(header->sortIndicatorSection(), 1);
    QCOMPARE(selectedRow(), 0);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(0) + 10, 5));
    orderAfterClick = keyColumn(*list);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(selectedRow(), orderAfterClick.indexOf(shownOrder[0]));  // the selection follows its entry
    // Struck, Insert ignored, unstruck by shift+Del, struck again; which rows
    // end struck (0 and 5) the log below pins down.
    strikeRow(*list, 0);
    QTest::keyClick(list, Qt::Key_Insert);                     // not Del: nothing
    QTest::keyClick(list, Qt::Key_Delete, Qt::ShiftModifier);  // shift is ignored
    QVERIFY(!list->model()->index(0, 0).data(Qt::FontRole).value<QFont>().strikeOut());
    QTest::keyClick(list, Qt::Key_Delete);
    list->selectionModel()->clear();
    QTest::keyClick(list, Qt::Key_Delete);  // nothing selected: nothing struck
    strikeRow(*list, 5);
    QTest::mouseClick(in<QPushButton>(review, "cmdDelete"), Qt::LeftButton);
  });
  ShownMessage closing;
  bool reviewShownUnderTheBox = false;
  f.modal.then([&](QDialog& dialog) {
    // The keys are gone already; the review window closes only after the box.
    reviewShownUnderTheBox = reviewWindow && reviewWindow->isVisible() && dialog.parentWidget() == reviewWindow;
    if (auto* box = qobject_cast<QMessageBox*>(&dialog)) closing = {box->text(), box->windowTitle(), box->icon()};
  });

  QTest::mouseClick(in<QPushButton>(f.main(), "cmdContinue"), Qt::LeftButton);

  QCOMPARE(f.modal.unexpected, QStringList());
  // Shown by found value, ascending; one click on "Key" flips to
  // descending by key, letter case ignored, punctuation before letters as a
  // list control orders text.
  const QString a1 = "{A1000000-0000-0000-0000-000000000001}", b2 = "{B2000000-0000-0000-0000-000000000001}",
                c31 = "{C3000000-0000-0000-0000-000000000001}", c32 = "{C3000000-0000-0000-0000-000000000002}";
  QCOMPARE(shownOrder, (QStringList{"m9q.alpha", "M9Q.Beta", c31, a1, b2, "W9q.Calc", c32}));
  QCOMPARE(orderAfterClick, (QStringList{"W9q.Calc", "M9Q.Beta", "m9q.alpha", c32, c31, b2, a1}));

  QCOMPARE(closing.text, QStringLiteral("5 / 7 keys have been removed in your registry."));
  QVERIFY(reviewShownUnderTheBox);
  QVERIFY2(!reviewWindow, "the review window is destroyed after the box");
  QCOMPARE(closing.icon, QMessageBox::Information);
  QCOMPARE(closing.title, QStringLiteral("Registry Cleaner"));

  // Removed and logged in the order shown, struck entries skipped, after
  // the session saved them to a backup.
  QStringList logged;
  for (const QString& line : QString::fromStdString(readFile(f.machine->driveC / "9QReg.log")).split("\r\n"))
    if (line.startsWith(QLatin1String(" --- "))) logged << line.section(QStringLiteral("HKEY_CLASSES_ROOT\\"), 1);
  QCOMPARE(logged, (QStringList{"M9Q.Beta", "m9q.alpha", "CLSID\\" + c32, "CLSID\\" + c31, "TypeLib\\" + a1}));
  QCOMPARE(QDir(f.dir.path()).entryList({QStringLiteral("9QReg-*")}).size(), 1);

  QVERIFY(f.session.ended());
  QVERIFY(!f.main().isVisible());
  QCOMPARE(f.session.exitStatus(), 0);
}

void QtWindowsTest::aRemoteNameThatCannotBeReached() {
  Fixture f;
  QWidget& main = f.main();
  // The designed start: nothing ticked but the review option.
  for (QCheckBox* box : main.findChildren<QCheckBox*>())
    QCOMPARE(box->isChecked(), box->objectName() == QLatin1String("chkControl"));
  for (const char* off : {"chkT9qPlus", "chkH9qPlus", "chkR9qPlus", "chkN9qPlus", "cmdManual"})
    QVERIFY2(!main.findChild<QWidget*>(QLatin1String(off))->isEnabled(), off);

  auto* label = in<QLabel>(main, "lblRemoteComputer");
  auto* name = in<QLineEdit>(main, "txtRemoteComputer");
  auto* remote = in<QCheckBox>(main, "chkRemoteComputer");
  // The label and the name show and hide as one row.
  auto shown = [&] { return std::pair(label->isVisible(), name->isVisible()); };
  QCOMPARE(shown(), std::pair(false, false));
  QTest::mouseClick(remote, Qt::LeftButton);
  QCOMPARE(shown(), std::pair(true, true));
  QTest::keyClicks(name, QStringLiteral(" foo"));

  ShownMessage first, second;
  f.modal.thenMessage(first);
  f.modal.thenMessage(second);
  in<QPushButton>(main, "cmdContinue")->click();
  QCOMPARE(first.text, QStringLiteral("Unable to connect to the remote machine  foo."));
  QCOMPARE(first.icon, QMessageBox::Critical);
  QVERIFY(main.isVisible());

  // Hiding keeps the name; Enter presses "Automatic" again.
  QTest::mouseClick(remote, Qt::LeftButton);
  QCOMPARE(shown(), std::pair(false, false));
  QTest::mouseClick(remote, Qt::LeftButton);
  QCOMPARE(name->text(), QStringLiteral(" foo"));
  QTest::keyClick(name, Qt::Key_Return);
  QCOMPARE(second.text, first.text);
  QCOMPARE(f.modal.unexpected, QStringList());
}

// Each category's icon is seen in the review list, each frame in the
// progress window, whose animation follows the counter; settle draws the
// last update.
void QtWindowsTest::picturesForKnownKeysOnlyAndProgressFramesFollowTheCounter() {
  QVERIFY(qt::Pictures::category(QStringLiteral("HKCR")).isNull());
  QVERIFY(qt::Pictures::animationFrame(QStringLiteral("REG5")).isNull());
  // The list paints its text with the painter an icon was drawn with: a
  // dimmed icon must leave it as it found it.
  QImage row(64, 16, QImage::Format_ARGB32);
  QPainter painter(&row);
  qt::Pictures::category(QStringLiteral("CLSID"), true).paint(&painter, QRect(8, 0, 16, 16));
  QVERIFY(painter.worldTransform().isIdentity());
  QCOMPARE(painter.opacity(), 1.0);

  forms::ProgressState form;
  form.reset();
  qt::ProgressWindow window;
  window.showFor(form);
  QVERIFY(window.isVisible());
  QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
  auto* picture = window.findChild<QLabel*>(QStringLiteral("imgRegistry"));

  // Runs of the same picture, as "REGn*length".
  QStringList runs;
  for (int call = 1; call <= 190; ++call) {
    form.update("Interface -> {" + std::to_string(call) + "}", call);
    window.refresh(form);
    window.settle(form);
    const QString key = picture->property("pictureKey").toString() + '*';
    QVERIFY(!picture->pixmap().isNull());
    if (runs.isEmpty() || !runs.last().startsWith(key)) runs << key + '0';
    runs.last() = key + QString::number(runs.last().mid(key.size()).toInt() + 1);
  }
  QCOMPARE(runs.join(' '), QStringLiteral("REG0*19 REG1*20 REG2*20 REG3*20 REG4*14 "
                                          "REG0*20 REG1*20 REG2*20 REG3*20 REG4*14 REG0*3"));

  // A burst of updates without settling: settle still shows the last one.
  for (int call = 1; call <= 1000; ++call) {
    form.update("CLSID -> {" + std::to_string(call) + "}", call * 2);
    window.refresh(form);
  }
  window.settle(form);
  QCOMPARE(window.findChild<QLabel*>(QStringLiteral("lblCurrentNode"))->text(), QStringLiteral("CLSID -> {1000}"));
  QCOMPARE(window.findChild<QLabel*>(QStringLiteral("lblDeleted"))->text(), QStringLiteral("2000"));
  QCOMPARE(picture->property("pictureKey").toString(), QString::fromStdString(form.picture));
}

void QtWindowsTest::startWithoutDisplayExplainsItself() {
  const std::string message = qt::missingDisplayMessage(nullptr, "", nullptr);
  QVERIFY(message.find("/M9Q") != std::string::npos);
  QVERIFY(message.find("xvfb-run") != std::string::npos);
  QVERIFY(qt::missingDisplayMessage(":0", nullptr, nullptr).empty());
  QVERIFY(qt::missingDisplayMessage(nullptr, "wayland-0", nullptr).empty());
  QVERIFY(qt::missingDisplayMessage(nullptr, nullptr, "offscreen").empty());
}

// The main window is there before the machine is read: its line counts
// the reading, a run waits for it, and the machine's kind follows. (A run
// once the reading ended is theMachineIsChosenInTheMainWindow's.)
void QtWindowsTest::theWindowOpensWhileTheMachineIsRead() {
  QTemporaryDir dir;
  std::atomic<bool> release{false};
  app::MachineChooser chooser({"big prefix"}, [&](const std::filesystem::path&) {
    while (!release) std::this_thread::yield();
    return registry::MachineOpenResult{makeFixtureMachine(dir.path().toStdString()), ""};
  });
  // A failed check returns at once: the reading must end all the same.
  const auto releaseOnReturn = qScopeGuard([&] { release = true; });
  ScriptedModalRunner modal;
  qt::InteractiveSession session(chooser, modal);
  session.show();
  QWidget& main = session.mainWindow();
  auto* line = in<QLabel>(main, "lblMachine");
  QVERIFY2(line->text().startsWith(QLatin1String("Reading the local machine")), qPrintable(line->text()));
  QVERIFY(!in<QComboBox>(main, "cboMachine")->isEnabled());
  ShownMessage early;
  modal.thenMessage(early);
  in<QCheckBox>(main, "chkM9q")->click();
  in<QPushButton>(main, "cmdContinue")->click();
  QCOMPARE(early.text, QStringLiteral("Big prefix: is still being read; start the run once it is read."));
  QVERIFY2(main.isVisible(), "shown before the reading ends, and kept");
  QVERIFY(!session.ended());

  release = true;
  QTRY_COMPARE(line->text(), QStringLiteral("Local machine: test machine"));
  QVERIFY(in<QComboBox>(main, "cboMachine")->isEnabled());
  QVERIFY(modal.unexpected.isEmpty());
}

// A start whose machine cannot be opened keeps its window and says why; the
// operator picks another through "...", which is then read and offered.
// (Leaving instead is Run.AMachineThatCannotBeOpenedIsShownInTheWaitingWindow,
// a run on the machine chosen since is Run.ARunWorksOnTheMachineChosenWhenItStarts.)
void QtWindowsTest::theMachineIsChosenInTheMainWindow() {
  TempDir home;
  writeFile(home / "good.reg", "REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\m9q.Grid]\r\n@=\"grid\"\r\n\r\n");
  app::ProgramEnvironment environment;
  environment.env = {{"HOME", home.path().string()}, {"COMSWEEP_MACHINE", (home / "absent.reg").string()}};
  ScriptedModalRunner modal;
  ShownMessage cannot;
  QString lineAfterFailure;
  int listed = 0;
  // The operator's part; QTRY_* and QVERIFY return on failure.
  auto play = [&](qt::InteractiveSession& session) {
    modal.thenMessage(cannot);
    session.show();
    QWidget& main = session.mainWindow();
    auto* line = in<QLabel>(main, "lblMachine");
    QTRY_VERIFY_WITH_TIMEOUT(!cannot.text.isEmpty(), 60000);
    lineAfterFailure = line->text();
    modal.then([&](QDialog& dialog) {
      static_cast<QFileDialog&>(dialog).selectFile(QString::fromStdString((home / "good.reg").string()));
      dialog.accept();
    });
    in<QPushButton>(main, "cmdMachine")->click();
    QTRY_VERIFY_WITH_TIMEOUT(line->text() == QLatin1String("Local machine: .reg file"), 60000);
    listed = in<QComboBox>(main, "cboMachine")->count();
  };
  environment.interactive = [&](app::MachineChooser& chooser) {
    qt::InteractiveSession session(chooser, modal);
    play(session);
    return session.exitStatus();
  };
  std::ostringstream out, err;
  QCOMPARE(app::runProgram({}, environment, out, err), 0);
  QVERIFY2(modal.unexpected.isEmpty(), qPrintable(modal.unexpected.join('|')));
  QVERIFY2(cannot.text.contains(QLatin1String("absent.reg: no such file")), qPrintable(cannot.text));
  QCOMPARE(cannot.icon, QMessageBox::Critical);
  QCOMPARE(lineAfterFailure, QStringLiteral("Local machine: cannot be opened"));
  QCOMPARE(listed, 2);
}

}  // namespace comsweep::test

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  comsweep::test::QtWindowsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "QtWindowsTest.moc"
