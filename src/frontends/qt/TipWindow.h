#pragma once
// The help window: the command-line switches, shown modally over the main window.
// Static text and one OK button, which holds the focus, so Enter and Esc
// both close the window.

#include <QDialog>
#include <memory>

namespace Ui {
class TipWindow;
}

namespace comsweep::qt {

class TipWindow : public QDialog {
  Q_OBJECT
 public:
  explicit TipWindow(QWidget* owner);
  ~TipWindow() override;

 protected:
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  std::unique_ptr<Ui::TipWindow> m_ui;
};

}  // namespace comsweep::qt
