#include "scan/FoundKeyList.h"

#include <algorithm>

#include "registry/store/Text.h"

namespace comsweep::scan {
namespace {

const std::string& column(const FoundKey& key, int index) {
  return index == 0 ? key.name : key.foundValue;
}

// Weight of an ASCII character the way a list control orders text: letter
// case ignored, punctuation and blanks before digits, digits before letters.
int listWeight(unsigned char c) {
  if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
  if (c >= 'A' && c <= 'Z') return 0x300 + c;
  if (c >= '0' && c <= '9') return 0x200 + c;
  return 0x100 + c;
}

}  // namespace

int compareListText(std::string_view a, std::string_view b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    auto ca = static_cast<unsigned char>(a[i]);
    auto cb = static_cast<unsigned char>(b[i]);
    if (ca >= 0x80 || cb >= 0x80) return registry::compareNoCase(a.substr(i), b.substr(i));
    int wa = listWeight(ca), wb = listWeight(cb);
    if (wa != wb) return wa < wb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool FoundKeyList::before(const FoundKey& a, const FoundKey& b) const {
  int c = compareListText(column(a, m_sortKey), column(b, m_sortKey));
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
