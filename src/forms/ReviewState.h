#pragma once
// The review window's logic: the found-key list with its sort state, the
// operator's strikes (Del), and the Remove and Cancel buttons.

#include <string>

#include "families/Selection.h"
#include "scan/FoundKeyList.h"
#include "forms/WindowSystem.h"

namespace comsweep::forms {

class ReviewState {
 public:
  // selection is the main window's, read when the window becomes active.
  ReviewState(WindowSystem& windows, const families::Selection& selection)
      : m_windows(windows), m_selection(selection) {}

  // Each time the window becomes the active window.
  void activated();
  // columnPosition counts from 1: 1 "Key", 2 "Found value". The selected
  // entry stays selected wherever the sort moves it.
  void columnClicked(int columnPosition);
  // The Windows virtual-key code of Del, which strikes or restores an entry.
  static constexpr int kDeleteKey = 46;
  // keyCode as the Windows virtual-key code; shift: 1 Shift, 2 Ctrl, 4 Alt.
  void keyPressed(int keyCode, int shift);
  // Remove: chooses the removal of every entry that is not struck and ends
  // the window's modal show; the run that showed the window then removes
  // while the window stays on screen, and unloads it afterwards.
  void removeClicked();
  void cancelClicked();
  scan::FoundKeyList foundKeys;
  std::size_t selectedPosition = 0;  // of the selected entry (from 1, as the list counts), 0 for none
  std::string heading = "Keys about to be removed in the registry:";
  std::string remoteMachineLabel = "Remote Machine Name:";
  bool removeChosen = false;  // Remove was pressed

 private:
  WindowSystem& m_windows;
  const families::Selection& m_selection;
};

}  // namespace comsweep::forms
