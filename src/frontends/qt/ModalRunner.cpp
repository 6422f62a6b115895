#include "frontends/qt/ModalRunner.h"

#include <QDialog>
#include <QEventLoop>
#include <utility>

namespace comsweep::qt {

void ModalRunner::run(QDialog& dialog) { dialog.exec(); }

// QDialog::exec leaves its loop only by hiding the dialog, so this runs a
// loop of its own that closing the dialog and endModal both end.
void ModalRunner::runUntilEnded(QDialog& dialog) {
  QEventLoop loop;
  QEventLoop* const outer = std::exchange(m_loop, &loop);
  const QMetaObject::Connection closed =
      QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
  dialog.setWindowModality(Qt::ApplicationModal);
  dialog.show();
  loop.exec(QEventLoop::DialogExec);
  QObject::disconnect(closed);
  m_loop = outer;
}

void ModalRunner::endModal() {
  if (m_loop) m_loop->quit();
}

}  // namespace comsweep::qt
