#include "scan/FoundKeyList.h"

#include <algorithm>

#include "registry/Text.h"

namespace comsweep::scan {
namespace {

const std::string& column(const FoundKey& key, int index) {
  return index == 0 ? key.Text : key.SubItem1;
}

}  // namespace

bool FoundKeyList::before(const FoundKey& a, const FoundKey& b) const {
  int c = registry::compareNoCase(column(a, m_sortKey), column(b, m_sortKey));
  return m_sortOrder == SortOrder::Ascending ? c < 0 : c > 0;
}

void FoundKeyList::sortNow() {
  std::stable_sort(m_items.begin(), m_items.end(),
                   [this](const FoundKey& a, const FoundKey& b) { return before(a, b); });
}

void FoundKeyList::add(FoundKey key) {
  if (!m_sorted) {
    m_items.push_back(std::move(key));
    return;
  }
  auto at = std::upper_bound(m_items.begin(), m_items.end(), key,
                             [this](const FoundKey& a, const FoundKey& b) { return before(a, b); });
  m_items.insert(at, std::move(key));
}

void FoundKeyList::setSortKey(int columnIndex) {
  m_sortKey = columnIndex == 0 ? 0 : 1;
  if (m_sorted) sortNow();
}

void FoundKeyList::setSortOrder(SortOrder order) {
  m_sortOrder = order;
  if (m_sorted) sortNow();
}

void FoundKeyList::setSorted(bool on) {
  m_sorted = on;
  if (m_sorted) sortNow();
}

}  // namespace comsweep::scan
