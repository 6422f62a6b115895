#include "ui/qt/ModalRunner.h"

#include <QDialog>

namespace comsweep::ui {

void ModalRunner::run(QDialog& dialog) { dialog.exec(); }

}  // namespace comsweep::ui
