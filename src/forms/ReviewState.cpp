#include "forms/ReviewState.h"

#include <optional>

#include "registry/store/Text.h"

namespace comsweep::forms {
namespace {

bool sameEntry(const scan::FoundKey& a, const scan::FoundKey& b) {
  return a.name == b.name && a.foundValue == b.foundValue && a.path == b.path &&
         a.category == b.category && a.kept == b.kept;
}

}  // namespace

void ReviewState::activated() {
  if (m_selection.useRemoteMachine)
    remoteMachineLabel = "Remote Machine: " + registry::upperCase(m_selection.remoteMachineName);
}

void ReviewState::columnClicked(int columnPosition) {
  using Order = scan::FoundKeyList::SortOrder;
  // The selection belongs to the entry, not to its position: a Del after a
  // re-sort must strike the entry the operator sees selected. Entries equal
  // in every field cannot be told apart, so the first of them will do.
  std::optional<scan::FoundKey> current;
  if (selectedPosition >= 1 && selectedPosition <= foundKeys.count()) current = foundKeys.item(selectedPosition);
  // The direction flips on every click, whichever column was clicked.
  Order next = foundKeys.sortOrder() == Order::Ascending ? Order::Descending : Order::Ascending;
  foundKeys.setSorted(false);
  foundKeys.setSortKey(columnPosition - 1);
  foundKeys.setSortOrder(next);
  foundKeys.setSorted(true);
  if (!current) return;
  for (std::size_t i = 1; i <= foundKeys.count(); ++i) {
    if (sameEntry(foundKeys.item(i), *current)) {
      selectedPosition = i;
      return;
    }
  }
}

void ReviewState::keyPressed(int keyCode, int /*shift*/) {
  if (keyCode != kDeleteKey || selectedPosition == 0 || selectedPosition > foundKeys.count()) return;
  scan::FoundKey& entry = foundKeys.item(selectedPosition);
  entry.kept = !entry.kept;
}

void ReviewState::removeClicked() {
  removeChosen = true;
  m_windows.reviewEndModal(*this);
}

void ReviewState::cancelClicked() {
  m_windows.showMessage("0 keys have been deleted in your registry.", kInformationIcon, kApplicationTitle);
  m_windows.reviewUnload(*this);
}

}  // namespace comsweep::forms
