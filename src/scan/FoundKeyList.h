#pragma once
// The found-key list: one entry per key the scans listed, in display order.
// The review window shows it, the removal walks it by position. A position
// counts from 1, as the review window's list and the removal report count
// entries; an index (a column's, a row's in a toolkit) counts from 0.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace comsweep::scan {

struct FoundKey {
  std::string name;        // the key's own name ("Key" column)
  std::string foundValue;  // the found value ("Found value" column)
  std::string path;        // path below HKEY_CLASSES_ROOT
  std::string category;    // "TYPELIB", "INTERFACE", "CLSID" or "PROGID"
  bool kept = false;       // struck by the operator: kept in the registry
};

// Orders two texts as the review list does: letter case ignored,
// punctuation before digits before letters.
int compareListText(std::string_view a, std::string_view b);

class FoundKeyList {
 public:
  enum class SortOrder { Ascending, Descending };

  // A new entry goes after the last one, or into its place while sorted.
  void add(FoundKey key);
  std::size_t count() const { return m_items.size(); }
  // Entries by 1-based position in the current display order.
  FoundKey& item(std::size_t position) { return m_items.at(position - 1); }
  const FoundKey& item(std::size_t position) const { return m_items.at(position - 1); }

  int sortKey() const { return m_sortKey; }
  SortOrder sortOrder() const { return m_sortOrder; }
  bool sorted() const { return m_sorted; }
  void setSortKey(int column);
  void setSortOrder(SortOrder order);
  // Switching sorting on orders the entries at once by the sort column's
  // text, letter case ignored, and keeps them so.
  void setSorted(bool on);

 private:
  bool before(const FoundKey& a, const FoundKey& b) const;
  void sortNow();

  std::vector<FoundKey> m_items;
  int m_sortKey = 0;
  SortOrder m_sortOrder = SortOrder::Ascending;
  bool m_sorted = false;
};

}  // namespace comsweep::scan
