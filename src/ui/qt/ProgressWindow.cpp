#include "ui/qt/ProgressWindow.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>
#include <QWindow>

#include "ui/ControlForm.h"
#include "ui/qt/Pictures.h"
#include "ui/qt/WindowFont.h"
#include "ui_ProgressWindow.h"

namespace comsweep::ui {

ProgressWindow::ProgressWindow() : m_ui(std::make_unique<Ui::ProgressWindow>()) {
  setFont(windowFont());
  m_ui->setupUi(this);
  // A tool window has no taskbar button; the operator has nothing to do here.
  setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFixedSize(size());
}

ProgressWindow::~ProgressWindow() = default;

void ProgressWindow::showFor(const ControlForm& form) {
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
  render(form);
}

void ProgressWindow::refresh(const ControlForm& form) {
  if (m_sincePaint.isValid() && m_sincePaint.elapsed() < kRepaintIntervalMs) return;
  render(form);
}

void ProgressWindow::settle(const ControlForm& form) {
  if (!m_drawnOnce || m_drawnUpdate != form.updates) render(form);
}

const QPixmap& ProgressWindow::frame(const std::string& key) {
  const QString name = QString::fromStdString(key);
  auto it = m_frames.find(name);
  if (it == m_frames.end())
    it = m_frames.insert(name, Pictures::animationFrame(name).pixmap(QSize(32, 32),
                                                                     devicePixelRatioF()));
  return *it;
}

void ProgressWindow::render(const ControlForm& form) {
  m_ui->lblCurrentNode->setText(QString::fromStdString(form.lblCurrentNode));
  m_ui->lblDeleted->setText(QString::fromStdString(form.lblDeleted));
  if (form.imgRegistry != m_drawnFrame || !m_drawnOnce) {
    m_drawnFrame = form.imgRegistry;
    if (m_drawnFrame.empty())
      m_ui->imgRegistry->clear();
    else
      m_ui->imgRegistry->setPixmap(frame(m_drawnFrame));
    m_ui->imgRegistry->setProperty("pictureKey", QString::fromStdString(m_drawnFrame));
  }
  m_drawnOnce = true;
  m_drawnUpdate = form.updates;
  if (isVisible()) repaint();
  m_sincePaint.start();
}

}  // namespace comsweep::ui
