#pragma once
// How the windows show a dialog modally: message boxes, the review window
// and the help window all go through here. The program runs each dialog in
// its own event loop; a test puts a runner in its place that answers the
// dialog instead.

class QDialog;

namespace comsweep::ui {

class ModalRunner {
 public:
  virtual ~ModalRunner() = default;
  // Returns once the dialog has been closed.
  virtual void run(QDialog& dialog);
};

}  // namespace comsweep::ui
