#include "registry/regf/RegfCensus.h"

#include <algorithm>
#include <new>
#include <string>
#include <utility>

namespace comsweep::registry::regf {

RegfCensus::RegfCensus(const RegfView& view, std::size_t cellSlots)
    : m_view(view), m_flags(static_cast<std::uint8_t*>(std::calloc(cellSlots / 2 + 1, 1))), m_slots(cellSlots / 2 + 1) {
  if (!m_flags) throw std::bad_alloc();
}

bool RegfCensus::mayFree(std::uint32_t cell) const {
  return std::binary_search(m_removedCells.begin(), m_removedCells.end(), cell) && !(flags(cell) & kKept) &&
         !std::binary_search(m_securityCells.begin(), m_securityCells.end(), cell);
}

bool RegfCensus::keep(std::uint32_t cell, std::uint8_t kind) {
  if (!m_view.isCell(cell)) return false;
  std::uint8_t& f = m_flags[cell / 8];
  f |= (f & kKept) ? kKeptTwice : kKept;
  if (!kind || (f & kind)) return false;
  f |= kind;
  return true;
}

void RegfCensus::claim(std::uint32_t cell) {
  if (m_view.isCell(cell)) m_removedCells.push_back(cell);
}

void RegfCensus::noteDescriptor(std::uint32_t cell, bool kept) {
  if (!m_view.isCell(cell)) return;
  // Neighbouring keys mostly share one: noted once for a run of them.
  if (m_securityCells.empty() || m_securityCells.back() != cell) m_securityCells.push_back(cell);
  if (!kept) return;
  auto at = std::lower_bound(m_descriptors.begin(), m_descriptors.end(), std::make_pair(cell, 0u));
  if (at != m_descriptors.end() && at->first == cell) ++at->second;
}

void RegfCensus::claimKey(std::uint32_t keyCell) {
  KeyCell key;
  std::string why;
  if (!m_view.key(keyCell, key, why)) return;
  std::vector<std::uint32_t>& cells = m_scratch;
  cells.clear();
  std::vector<std::uint32_t> subkeys;
  std::vector<ListCell> lists;
  if (m_view.subkeys(key, subkeys, why, &lists))
    for (const ListCell& list : lists) cells.push_back(list.cell);
  if (std::vector<std::uint32_t> values; m_view.valueCells(key, values, why)) {
    if (key.valueCount) cells.push_back(key.valueList);
    for (std::uint32_t v : values) {
      ValueCell value;
      if (!m_view.value(v, value, why)) continue;
      cells.push_back(v);
      m_view.dataCells(value, cells);
    }
  }
  cells.push_back(key.className);
  cells.push_back(keyCell);
  for (std::uint32_t cell : cells) claim(cell);
  noteDescriptor(key.security, false);
}

void RegfCensus::keepValue(std::uint32_t valueCell) {
  ValueCell value;
  std::string why;
  if (!keep(valueCell, kWalkedValue) || !m_view.value(valueCell, value, why) || value.dataInline) return;
  m_scratch.clear();
  m_view.dataCells(value, m_scratch);
  // A data cell that does not read as a whole record is kept all the same.
  if (m_scratch.empty()) keep(value.dataCell);
  for (std::uint32_t cell : m_scratch) keep(cell);
  // Segments past what the size needs are no part of the value, but a
  // reader that follows every entry of the list would find a freed cell
  // there: what they name is kept (and not looked into).
  std::span<const unsigned char> record = m_view.cell(value.dataCell);
  if (value.dataSize <= record.size() || record.size() < 8 || record[0] != 'd' || record[1] != 'b') return;
  std::span<const unsigned char> list = m_view.cell(le32(record.data() + 4));
  const std::size_t count = std::min<std::size_t>(le16(record.data() + 2), list.size() / 4);
  for (std::size_t i = 0; i < count; ++i) keep(le32(list.data() + 4 * i));
}

void RegfCensus::keepKey(std::uint32_t keyCell, bool whole) {
  KeyCell key;
  std::string why;
  if (!m_view.key(keyCell, key, why)) return;
  keep(key.className);
  noteDescriptor(key.security, true);
  // Lists are read as far as they go, whatever the counts say: a kept
  // structure is rather marked too much than too little.
  if (key.valueCount && keep(key.valueList, kWalkedValues)) {
    std::span<const unsigned char> list = m_view.cell(key.valueList);
    const std::size_t count = std::min<std::size_t>(key.valueCount, list.size() / 4);
    for (std::size_t i = 0; i < count; ++i) keepValue(le32(list.data() + 4 * i));
  } else if (key.valueCount) {
    keep(key.valueList);
  }
  auto readList = [&](auto& self, std::uint32_t offset, bool top) -> void {
    if (!keep(offset, kWalkedSubkeys)) return;
    std::span<const unsigned char> c = m_view.cell(offset);
    if (c.size() < 4) return;
    const bool index = c[0] == 'r' && c[1] == 'i';
    const std::size_t stride = c[0] == 'l' && (c[1] == 'f' || c[1] == 'h') ? 8 : 4;
    if (!index && !(c[0] == 'l' && (c[1] == 'f' || c[1] == 'h' || c[1] == 'i'))) return;
    const std::size_t count = std::min<std::size_t>(le16(c.data() + 2), (c.size() - 4) / stride);
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint32_t entry = le32(c.data() + 4 + i * stride);
      if (index) {
        if (top) self(self, entry, false);
        continue;
      }
      bool below = whole;
      if (!whole && (flags(entry) & kRemovedKey)) {
        auto at = std::lower_bound(m_removed.begin(), m_removed.end(), entry,
                                   [](const RemovedKey& r, std::uint32_t e) { return r.cell < e; });
        if (at != m_removed.end() && at->cell == entry && at->parent == keyCell) continue;
        // Listed by a key that is not its parent: it stays, and all below it.
        below = true;
      }
      if (keep(entry, kWalkedKey)) m_pending.emplace_back(entry, below);
    }
  };
  if (key.subkeyCount) readList(readList, key.subkeyList, true);
}

void RegfCensus::take(std::uint32_t root, const std::vector<RemovedKey>& removed) {
  m_removed = removed;
  std::sort(m_removed.begin(), m_removed.end(),
            [](const RemovedKey& a, const RemovedKey& b) { return a.cell < b.cell; });
  for (const RemovedKey& r : m_removed) {
    if (!m_view.isCell(r.cell)) continue;
    m_flags[r.cell / 8] |= kRemovedKey;
    claimKey(r.cell);
  }
  // Each cell the removed keys name, once; one they name twice is dropped.
  std::sort(m_removedCells.begin(), m_removedCells.end());
  std::size_t kept = 0;
  for (std::size_t i = 0; i < m_removedCells.size();) {
    std::size_t j = i;
    while (j < m_removedCells.size() && m_removedCells[j] == m_removedCells[i]) ++j;
    if (j - i == 1) m_removedCells[kept++] = m_removedCells[i];
    i = j;
  }
  m_removedCells.resize(kept);
  // The descriptors the removed keys use, to count the kept keys using them.
  std::sort(m_securityCells.begin(), m_securityCells.end());
  m_securityCells.erase(std::unique(m_securityCells.begin(), m_securityCells.end()), m_securityCells.end());
  m_descriptors.clear();
  for (std::uint32_t cell : m_securityCells) m_descriptors.emplace_back(cell, 0);
  m_pending.clear();
  if (keep(root, kWalkedKey)) m_pending.emplace_back(root, false);
  while (!m_pending.empty()) {
    const auto [cell, whole] = m_pending.back();
    m_pending.pop_back();
    keepKey(cell, whole);
  }
  std::sort(m_securityCells.begin(), m_securityCells.end());
  m_securityCells.erase(std::unique(m_securityCells.begin(), m_securityCells.end()), m_securityCells.end());
}

std::vector<std::uint32_t> RegfCensus::sharedCells() const {
  std::vector<std::uint32_t> shared;
  for (std::size_t slot = 0; slot < m_slots; ++slot) {
    if (!(m_flags[slot] & kKeptTwice)) continue;
    const auto cell = static_cast<std::uint32_t>(slot * 8);
    if (m_view.startsCell(cell)) shared.push_back(cell);
  }
  for (std::uint32_t cell : m_securityCells)
    if (flags(cell) & kKept) shared.push_back(cell);
  std::sort(shared.begin(), shared.end());
  shared.erase(std::unique(shared.begin(), shared.end()), shared.end());
  return shared;
}

std::string RegfCensus::otherOwner(std::uint32_t root, std::uint32_t cell, std::uint32_t owner) const {
  std::vector<bool> seen(m_slots);
  std::vector<std::pair<std::uint32_t, std::string>> pending{{root, ""}};
  std::vector<std::uint32_t> named, children, values;
  std::vector<ListCell> lists;
  std::string why;
  bool listedOnce = false;
  while (!pending.empty()) {
    auto [keyCell, path] = std::move(pending.back());
    pending.pop_back();
    KeyCell key;
    if (keyCell / 8 >= seen.size() || seen[keyCell / 8] || !m_view.key(keyCell, key, why)) continue;
    seen[keyCell / 8] = true;
    named.clear();
    children.clear();
    lists.clear();
    named.push_back(key.className);
    if (m_view.valueCells(key, values, why)) {
      if (key.valueCount) named.push_back(key.valueList);
      for (std::uint32_t v : values) {
        ValueCell value;
        named.push_back(v);
        if (m_view.value(v, value, why)) m_view.dataCells(value, named);
      }
    }
    m_view.subkeys(key, children, why, &lists);
    if (keyCell != owner) {
      for (const ListCell& list : lists) named.push_back(list.cell);
      if (std::find(named.begin(), named.end(), cell) != named.end()) return path;
    }
    for (std::uint32_t c : children) {
      KeyCell child;
      if (!m_view.key(c, child, why)) continue;
      std::string childPath = (path.empty() ? "" : path + "\\") + nameToUtf8(child.name, child.nameIsLatin1);
      if (c == cell && (cell != owner || std::exchange(listedOnce, true))) return childPath;
      pending.emplace_back(c, std::move(childPath));
    }
  }
  return {};
}

}  // namespace comsweep::registry::regf
