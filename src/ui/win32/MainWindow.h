#pragma once
// The main window: shows and edits the selection of the main window's logic
// (app::MainForm) and hands it the window's events. A run started here hides
// the window and ends the program; only a failed remote connection returns
// to it. A status line below the left column names the machine a run will
// change.

#include "ui/win32/Window.h"

namespace comsweep::app {
class MainForm;
}
namespace comsweep::registry {
struct Machine;
}

namespace comsweep::ui::win32 {

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
  static constexpr int kAutomaticId = IDOK;  // Enter presses it
  static constexpr int kManualId = 131;
  static constexpr int kCancelId = IDCANCEL;  // so does Esc
  static constexpr int kTipId = 133;

  MainWindow(app::MainForm& form, const registry::Machine& machine);

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
  void showMachine(const registry::Machine& machine);

  app::MainForm& m_form;
  HCURSOR m_cursor = nullptr;  // null: the arrow
  bool m_unloaded = false;
};

}  // namespace comsweep::ui::win32
