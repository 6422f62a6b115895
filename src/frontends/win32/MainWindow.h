#pragma once
// The main window: shows and edits the selection of the main window's logic
// (app::MainForm) and hands it the window's events. A run started here hides
// the window and ends the program; only a failed remote connection returns
// to it. Below the left column the machine a run will change is named: a
// status line (its kind, or how long it has been read) over a list of the
// machines found and a "..." button for a file. The window opens before the
// machine is read; choosing one reads it while the window waits.

#include "frontends/win32/Window.h"

namespace comsweep::app {
class MainForm;
}
namespace comsweep::app {
class MachineChooser;
}

namespace comsweep::win32 {

class MainWindow : public Window {
 public:
  // Control ids: the family boxes are kFirstBoxId + their families::Box.
  static constexpr int kFirstBoxId = 100;
  static constexpr int kReviewFirstId = 120;
  static constexpr int kCreateLogId = 121;
  static constexpr int kRemoteId = 122;
  static constexpr int kRemoteLabelId = 123;
  static constexpr int kRemoteNameId = 124;
  static constexpr int kMachineLineId = 125;
  static constexpr int kMachineListId = 126;
  static constexpr int kMachineBrowseId = 127;
  static constexpr int kAutomaticId = IDOK;  // Enter presses it
  static constexpr int kManualId = 131;
  static constexpr int kCancelId = IDCANCEL;  // so does Esc
  static constexpr int kTipId = 133;
  // While the chosen machine is read, its line follows the reading on this
  // timer.
  static constexpr UINT_PTR kReadingTimerId = 1;

  MainWindow(app::MainForm& form, app::MachineChooser& chooser);

  void show();
  // 0 default, 11 hourglass, 13 arrow with hourglass.
  void setMousePointer(int pointer);
  // Hides the window for good: from now on closing it cancels nothing.
  void unload();

 protected:
  LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void command(int id, int code);
  void showSelection();
  // The machine line and list as the chooser has them.
  void showMachine();
  void machineChosen(int index);
  void browseClicked();
  void readingTick();

  app::MainForm& m_form;
  app::MachineChooser& m_chooser;
  HCURSOR m_cursor = nullptr;  // null: the arrow
  bool m_unloaded = false;
};

}  // namespace comsweep::win32
