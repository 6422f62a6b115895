#include "frontends/qt/TipWindow.h"

#include <QEvent>

#include "frontends/qt/WindowFont.h"
#include "ui_TipWindow.h"

namespace comsweep::qt {

TipWindow::TipWindow(QWidget* owner) : QDialog(owner), m_ui(std::make_unique<Ui::TipWindow>()) {
  setFont(windowFont());
  m_ui->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(size());
  connect(m_ui->cmdOK, &QPushButton::clicked, this, &QDialog::accept);
}

TipWindow::~TipWindow() = default;

void TipWindow::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) m_ui->cmdOK->setFocus();
}

void TipWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  m_ui->cmdOK->setFocus();
}

}  // namespace comsweep::qt
