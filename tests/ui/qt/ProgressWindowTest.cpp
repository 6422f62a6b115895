// The progress window: the animation frame sequence and the last update
// always reaching the screen.

#include <QLabel>
#include <QTest>

#include "ui/ProgressState.h"
#include "ui/qt/ProgressWindow.h"

namespace comsweep::test {

class ProgressWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void framesFollowTheCounterAndSettleDrawsTheLastUpdate();
};

void ProgressWindowTest::framesFollowTheCounterAndSettleDrawsTheLastUpdate() {
  ui::ProgressState form;
  form.reset();
  ui::ProgressWindow window;
  window.showFor(form);
  QVERIFY(window.isVisible());
  QCOMPARE(window.windowFlags() & Qt::FramelessWindowHint, Qt::FramelessWindowHint);
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

int runProgressWindowTest(int argc, char** argv) {
  ProgressWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace comsweep::test

#include "ProgressWindowTest.moc"
