// What the operator reads: every caption fits its control at the window
// font, the pictures exist for every key at high resolution, the progress
// window's animation follows the counter and always shows the last update,
// and a start without a display explains itself.

#include <QCheckBox>
#include <QFontInfo>
#include <QImage>
#include <QSet>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "FixtureMachine.h"
#include "ScriptedModalRunner.h"
#include "families/Selection.h"
#include "ui/ReviewState.h"
#include "ui/headless/HeadlessWindowSystem.h"
#include "ui/qt/InteractiveSession.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/Pictures.h"
#include "ui/ProgressState.h"
#include "ui/qt/ProgressWindow.h"
#include "ui/qt/QtProgram.h"
#include "ui/qt/ReviewWindow.h"
#include "ui/qt/TipWindow.h"
#include "ui/qt/WindowFont.h"

namespace comsweep::test {

class WindowLookTest : public QObject {
  Q_OBJECT

 private slots:
  void captionsFitTheirControls();
  void picturesForEveryKeyAtHighResolution();
  void progressFramesFollowTheCounterAndSettleDrawsTheLastUpdate();
  void startWithoutDisplayExplainsItself();
};

void WindowLookTest::captionsFitTheirControls() {
  if (QFontInfo(ui::windowFont()).family() != QLatin1String("DejaVu Sans Condensed"))
    QSKIP("the window font is not installed; captions are measured with it only");

  QTemporaryDir dir;
  auto machine = makeFixtureMachine(dir.path().toStdString());
  ScriptedModalRunner modal;
  ui::InteractiveSession session(*machine, modal);
  ui::TipWindow tip(nullptr);
  ui::ProgressWindow progress;
  ui::HeadlessWindowSystem windows;
  families::Selection selection;
  ui::ReviewState form(windows, selection, [] {});
  form.heading = "123456 " + form.heading;
  ui::ReviewWindow review(form, *machine);

  // The controls whose caption does not fit, as "name: needed > has".
  QStringList clipped;
  auto check = [&](QWidget* w, int needed, int has) {
    if (needed > has) clipped << QStringLiteral("%1: %2 > %3").arg(w->objectName()).arg(needed).arg(has);
  };
  for (QWidget* window : std::initializer_list<QWidget*>{&session.mainWindow(), &tip, &progress, &review}) {
    for (QLabel* label : window->findChildren<QLabel*>()) {
      if (label->text().isEmpty() || label->objectName().isEmpty()) continue;
      if (label->wordWrap()) check(label, label->heightForWidth(label->width()), label->height());
      else check(label, label->sizeHint().width(), label->width());
    }
    for (QCheckBox* box : window->findChildren<QCheckBox*>()) check(box, box->sizeHint().width(), box->width());
    // A button's size hint has a floor of its own; what matters is the text.
    for (QPushButton* button : window->findChildren<QPushButton*>())
      check(button, button->fontMetrics().horizontalAdvance(button->text()) + 8, button->width());
  }
  QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral("; "))));
}

void WindowLookTest::picturesForEveryKeyAtHighResolution() {
  // Drawn for the display's pixels, not scaled up; each one different.
  QSet<QByteArray> distinct;
  auto draw = [&](const QIcon& icon, int side) {
    const QImage image = icon.pixmap(QSize(side, side), 1.5).toImage();
    QCOMPARE(image.size(), QSize(side * 3 / 2, side * 3 / 2));
    distinct.insert(QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()));
  };
  for (const char* key : {"TYPELIB", "INTERFACE", "CLSID", "PROGID"})
    draw(ui::Pictures::category(QLatin1String(key)), 16);
  for (int i = 0; i < 5; ++i) draw(ui::Pictures::animationFrame(QStringLiteral("REG%1").arg(i)), 32);
  QCOMPARE(distinct.size(), 9);
  QVERIFY(ui::Pictures::category(QStringLiteral("HKCR")).isNull());
  QVERIFY(ui::Pictures::animationFrame(QStringLiteral("REG5")).isNull());
  // The list paints its text with the painter an icon was drawn with: a
  // dimmed icon must leave it as it found it.
  QImage row(64, 16, QImage::Format_ARGB32);
  QPainter painter(&row);
  ui::Pictures::category(QStringLiteral("CLSID"), true).paint(&painter, QRect(8, 0, 16, 16));
  QVERIFY(painter.worldTransform().isIdentity());
  QCOMPARE(painter.opacity(), 1.0);
}

void WindowLookTest::progressFramesFollowTheCounterAndSettleDrawsTheLastUpdate() {
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

void WindowLookTest::startWithoutDisplayExplainsItself() {
  const std::string message = ui::missingDisplayMessage(nullptr, "", nullptr);
  QVERIFY(message.find("/M9Q") != std::string::npos && message.find("xvfb-run") != std::string::npos);
  QVERIFY(ui::missingDisplayMessage(":0", nullptr, nullptr).empty() &&
          ui::missingDisplayMessage(nullptr, "wayland-0", nullptr).empty() &&
          ui::missingDisplayMessage(nullptr, nullptr, "offscreen").empty());
}

int runWindowLookTest(int argc, char** argv) {
  WindowLookTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace comsweep::test

#include "WindowLookTest.moc"
