#include "ui/KeysToDeleteForm.h"

#include "registry/Text.h"

namespace comsweep::ui {

void KeysToDeleteForm::Form_Activate() {
  if (m_selection.chkRemoteComputer != 0)
    lblRemoteMachine = "Remote Machine: " + registry::upperCase(m_selection.txtRemoteComputer);
}

void KeysToDeleteForm::lvwKeys_ColumnClick(int columnIndex) {
  using Order = scan::FoundKeyList::SortOrder;
  // The direction flips on every click, whichever column was clicked.
  Order next = lvwKeys.sortOrder() == Order::Ascending ? Order::Descending : Order::Ascending;
  lvwKeys.setSorted(false);
  lvwKeys.setSortKey(columnIndex - 1);
  lvwKeys.setSortOrder(next);
  lvwKeys.setSorted(true);
}

void KeysToDeleteForm::lvwKeys_KeyDown(int KeyCode, int /*Shift*/) {
  constexpr int vbKeyDelete = 46;
  if (KeyCode != vbKeyDelete || selected == 0 || selected > lvwKeys.count()) return;
  scan::FoundKey& entry = lvwKeys.item(selected);
  entry.Ghosted = !entry.Ghosted;
}

void KeysToDeleteForm::cmdDelete_Click() {
  DeleteKeys();
  m_windows.reviewUnload(*this);
}

void KeysToDeleteForm::cmdCancel_Click() {
  m_windows.MsgBox("0 keys have been deleted in your registry.", vbInformation, kApplicationTitle);
  m_windows.reviewUnload(*this);
}

}  // namespace comsweep::ui
