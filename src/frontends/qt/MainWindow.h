#pragma once
// The main window: shows and edits the selection of the main window's logic
// (app::MainForm) and hands it the window's events. A run started here
// hides the window and ends the program; only a failed remote connection
// returns to it.
//
// In the free space below the left column the machine a run will change is
// named, so that nobody cleans a Wine prefix by surprise: a status line (its
// kind, or how long it has been read) over a list of the machines found and a
// "..." button for any other. The window opens before the machine is read;
// choosing one reads it while the window waits.

#include <QDialog>
#include <QTimer>
#include <memory>

namespace Ui {
class MainWindow;
}

namespace comsweep::app {
class MainForm;
}
namespace comsweep::app {
class MachineChooser;
}

namespace comsweep::qt {

class ModalRunner;

class MainWindow : public QDialog {
  Q_OBJECT
 public:
  MainWindow(app::MainForm& form, app::MachineChooser& chooser, ModalRunner& modal);
  ~MainWindow() override;

  // 0 default, 11 hourglass, 13 arrow with hourglass.
  void setMousePointer(int pointer);
  // Hides the window for good: from now on closing it cancels nothing.
  void unload();

 protected:
  // Esc and the close box: the Cancel button.
  void reject() override;
  // The chosen machine is read from the start: its line follows the reading.
  void showEvent(QShowEvent* event) override;

 private:
  void showSelection();
  // The machine line and list as the chooser has them.
  void showMachine();
  void machineChosen(int index);
  void browseClicked();
  void readingTick();

  app::MainForm& m_form;
  app::MachineChooser& m_chooser;
  ModalRunner& m_modal;
  QTimer m_reading;
  std::unique_ptr<Ui::MainWindow> m_ui;
  bool m_unloaded = false;
};

}  // namespace comsweep::qt
