#include "ui/KeysToDeleteForm.h"

#include <optional>

#include "registry/Text.h"

namespace comsweep::ui {
namespace {

bool sameEntry(const scan::FoundKey& a, const scan::FoundKey& b) {
  return a.Text == b.Text && a.SubItem1 == b.SubItem1 && a.Tag == b.Tag &&
         a.SmallIcon == b.SmallIcon && a.Ghosted == b.Ghosted;
}

}  // namespace

void KeysToDeleteForm::Form_Activate() {
  if (m_selection.chkRemoteComputer != 0)
    lblRemoteMachine = "Remote Machine: " + registry::upperCase(m_selection.txtRemoteComputer);
}

void KeysToDeleteForm::lvwKeys_ColumnClick(int columnIndex) {
  using Order = scan::FoundKeyList::SortOrder;
  // The selection belongs to the entry, not to its position: a Del after a
  // re-sort must strike the entry the operator sees selected. Entries equal
  // in every field cannot be told apart, so the first of them will do.
  std::optional<scan::FoundKey> current;
  if (selected >= 1 && selected <= lvwKeys.count()) current = lvwKeys.item(selected);
  // The direction flips on every click, whichever column was clicked.
  Order next = lvwKeys.sortOrder() == Order::Ascending ? Order::Descending : Order::Ascending;
  lvwKeys.setSorted(false);
  lvwKeys.setSortKey(columnIndex - 1);
  lvwKeys.setSortOrder(next);
  lvwKeys.setSorted(true);
  if (!current) return;
  for (std::size_t i = 1; i <= lvwKeys.count(); ++i) {
    if (sameEntry(lvwKeys.item(i), *current)) {
      selected = i;
      return;
    }
  }
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
