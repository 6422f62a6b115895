#pragma once
// How the windows show a dialog modally: message boxes, the review window
// and the help window all go through here. The program runs each dialog in
// its own event loop; a test puts a runner in its place that answers the
// dialog instead.

class QDialog;
class QEventLoop;

namespace comsweep::qt {

class ModalRunner {
 public:
  virtual ~ModalRunner() = default;
  // Returns once the dialog has been closed.
  virtual void run(QDialog& dialog);
  // Returns once the dialog has been closed or endModal was called; in the
  // second case the dialog stays on screen, modal, until it is closed.
  virtual void runUntilEnded(QDialog& dialog);
  // Ends the innermost runUntilEnded; nothing when none runs.
  virtual void endModal();

 private:
  QEventLoop* m_loop = nullptr;
};

}  // namespace comsweep::qt
