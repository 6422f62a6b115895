#include "frontends/qt/ProgressWindow.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>
#include <QWindow>

#include "forms/ProgressState.h"
#include "frontends/qt/Pictures.h"
#include "frontends/qt/WindowFont.h"
#include "ui_ProgressWindow.h"

namespace comsweep::qt {

ProgressWindow::ProgressWindow() : m_ui(std::make_unique<Ui::ProgressWindow>()) {
  setFont(windowFont());
  m_ui->setupUi(this);
  // A tool window has no taskbar button; the operator has nothing to do here.
  setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFixedSize(size());
}

ProgressWindow::~ProgressWindow() = default;

void ProgressWindow::showFor(const forms::ProgressState& state) {
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  show();
  // Bounded, so that a window system that never reports the window mapped
  // cannot hold the run; input is left for later.
  QElapsedTimer waited;
  waited.start();
  while (!(windowHandle() && windowHandle()->isExposed()) && waited.elapsed() < 2000) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    QThread::msleep(2);
  }
  render(state);
}

void ProgressWindow::refresh(const forms::ProgressState& state) {
  // Reading the clock costs a scan more than painting does (about 55 ns a
  // read, 3 % of a scan of a million keys when read every 16th key): every
  // 256th update is often enough at tens of thousands of keys a second, and
  // a quarter of a millisecond apart on the fastest store.
  if (state.updates % 256 != 0) return;
  if (m_sincePaint.isValid() && m_sincePaint.elapsed() < kRepaintIntervalMs) return;
  render(state);
}

void ProgressWindow::settle(const forms::ProgressState& state) {
  if (!m_drawnOnce || m_drawnUpdate != state.updates) render(state);
}

const QPixmap& ProgressWindow::frame(const std::string& key) {
  const QString name = QString::fromStdString(key);
  auto it = m_frames.find(name);
  if (it == m_frames.end())
    it = m_frames.insert(name, Pictures::animationFrame(name).pixmap(QSize(32, 32),
                                                                     devicePixelRatioF()));
  return *it;
}

void ProgressWindow::render(const forms::ProgressState& state) {
  m_ui->lblCurrentNode->setText(QString::fromStdString(state.currentNode));
  m_ui->lblDeleted->setText(QString::fromStdString(state.foundCount));
  if (state.picture != m_drawnFrame || !m_drawnOnce) {
    m_drawnFrame = state.picture;
    if (m_drawnFrame.empty())
      m_ui->imgRegistry->clear();
    else
      m_ui->imgRegistry->setPixmap(frame(m_drawnFrame));
    m_ui->imgRegistry->setProperty("pictureKey", QString::fromStdString(m_drawnFrame));
  }
  m_drawnOnce = true;
  m_drawnUpdate = state.updates;
  // Only the three controls that change; the event loop is not running, so
  // this paints and flushes at once.
  if (isVisible()) {
    QRegion changed;
    for (QWidget* w : {static_cast<QWidget*>(m_ui->lblCurrentNode),
                       static_cast<QWidget*>(m_ui->lblDeleted),
                       static_cast<QWidget*>(m_ui->imgRegistry)})
      changed += QRect(w->mapTo(this, QPoint(0, 0)), w->size());
    repaint(changed);
  }
  m_sincePaint.start();
}

}  // namespace comsweep::qt
