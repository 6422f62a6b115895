#pragma once
// The test's operator at the modal seam: each dialog the program would run
// modally goes to the next scripted step instead, which may look at it,
// use it and close it. A dialog with no step left is recorded and
// dismissed, so a test never hangs on an unexpected box.

#include <QDialog>
#include <QMessageBox>
#include <QStringList>
#include <deque>
#include <functional>

#include "frontends/qt/ModalRunner.h"

namespace comsweep::test {

struct ShownMessage {
  QString text;
  QString title;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
};

class ScriptedModalRunner : public qt::ModalRunner {
 public:
  using Step = std::function<void(QDialog&)>;

  void then(Step step) { m_steps.push_back(std::move(step)); }
  // Reads a message box into `out` (any other dialog leaves it empty) and
  // closes it with OK.
  void thenMessage(ShownMessage& out) {
    then([&out](QDialog& dialog) {
      if (auto* box = qobject_cast<QMessageBox*>(&dialog)) out = {box->text(), box->windowTitle(), box->icon()};
    });
  }

  void run(QDialog& dialog) override {
    if (takeStep(dialog)) dialog.hide();
  }
  // A step that ends the modal run leaves the dialog as it was, on screen.
  void runUntilEnded(QDialog& dialog) override {
    m_ended = false;
    if (takeStep(dialog) && !m_ended) dialog.hide();
  }
  void endModal() override { m_ended = true; }

  QStringList unexpected;

 private:
  bool takeStep(QDialog& dialog) {
    if (m_steps.empty()) {
      auto* box = qobject_cast<QMessageBox*>(&dialog);
      unexpected << (box ? box->text() : dialog.objectName());
      return false;
    }
    Step step = std::move(m_steps.front());
    m_steps.pop_front();
    step(dialog);
    return true;
  }

  std::deque<Step> m_steps;
  bool m_ended = false;
};

}  // namespace comsweep::test
