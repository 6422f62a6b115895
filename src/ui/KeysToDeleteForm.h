#pragma once
// The review window's logic: the found-key list with its sort state, the
// operator's strikes (Del), and the Remove and Cancel buttons.

#include <functional>
#include <string>

#include "app/Selection.h"
#include "scan/FoundKeyList.h"
#include "ui/WindowSystem.h"

namespace comsweep::ui {

class KeysToDeleteForm {
 public:
  // selection is the main window's, read when the window becomes active.
  KeysToDeleteForm(WindowSystem& windows, const app::Selection& selection,
                   std::function<void()> deleteKeys)
      : m_windows(windows), m_selection(selection), m_deleteKeys(std::move(deleteKeys)) {}

  // Each time the window becomes the active window.
  void Form_Activate();
  // columnIndex is 1-based: 1 "Key", 2 "Found value". The selected entry
  // stays selected wherever the sort moves it.
  void lvwKeys_ColumnClick(int columnIndex);
  void lvwKeys_KeyDown(int KeyCode, int Shift);
  void cmdDelete_Click();
  void cmdCancel_Click();
  // Removes the keys of all entries that are not struck, logs and reports.
  void DeleteKeys() { m_deleteKeys(); }

  scan::FoundKeyList lvwKeys;
  std::size_t selected = 0;  // 1-based position of the selected entry, 0 for none
  std::string Label1 = "Keys about to be removed in the registry:";
  std::string lblRemoteMachine = "Remote Machine Name:";

 private:
  WindowSystem& m_windows;
  const app::Selection& m_selection;
  std::function<void()> m_deleteKeys;
};

}  // namespace comsweep::ui
