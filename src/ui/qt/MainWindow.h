#pragma once
// The main window: shows and edits the selection of the main window's logic
// (app::MainForm) and hands it the window's events. A run started here
// hides the window and ends the program; only a failed remote connection
// returns to it.
//
// A status line in the free space below the left column names the local
// machine that a run will change, so that nobody cleans a Wine prefix by
// surprise.

#include <QDialog>
#include <memory>

namespace Ui {
class MainWindow;
}

namespace comsweep::app {
class MainForm;
}
namespace comsweep::registry {
struct Machine;
}

namespace comsweep::ui {

class MainWindow : public QDialog {
  Q_OBJECT
 public:
  MainWindow(app::MainForm& form, const registry::Machine& machine);
  ~MainWindow() override;

  // 0 default, 11 hourglass, 13 arrow with hourglass.
  void setMousePointer(int pointer);
  // Hides the window for good: from now on closing it cancels nothing.
  void unload();

 protected:
  // Esc and the close box: the Cancel button.
  void reject() override;

 private:
  void showSelection();
  void showMachine(const registry::Machine& machine);

  app::MainForm& m_form;
  std::unique_ptr<Ui::MainWindow> m_ui;
  bool m_unloaded = false;
};

}  // namespace comsweep::ui
