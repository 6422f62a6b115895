#include "registry/regf/RegfEditor.h"

#include <algorithm>

namespace comsweep::registry::regf {

unsigned char* RegfEditor::payload(std::uint32_t cell) {
  unsigned char* at = m_file.data() + kBaseBlockSize + cell;
  auto size = static_cast<std::int32_t>(le32(at));
  m_changed.add(kBaseBlockSize + cell, static_cast<std::size_t>(size < 0 ? -std::int64_t{size} : size));
  return at + 4;
}

void RegfEditor::freeCell(std::uint32_t cell) {
  std::span<const unsigned char> c = m_view.cell(cell);
  if (c.empty()) return;  // not an allocated cell, or freed already
  putLe32(payload(cell) - 4, static_cast<std::uint32_t>(c.size() + 4));
}

bool RegfEditor::isDescriptor(std::uint32_t cell) const {
  std::span<const unsigned char> c = m_view.cell(cell);
  return c.size() >= 0x14 && c[0] == 's' && c[1] == 'k';
}

void RegfEditor::releaseSecurity(std::uint32_t cell, std::uint32_t keptUses, const RegfCensus& census) {
  if (!isDescriptor(cell) || census.keptAsData(cell)) return;
  unsigned char* p = payload(cell);
  if (keptUses > 0) {
    putLe32(p + 0x0C, keptUses);
    return;
  }
  // The last reference: take the descriptor out of the hive's ring of
  // descriptors, unless the ring is damaged or this one is all of it.
  const std::uint32_t next = le32(p + 4), previous = le32(p + 8);
  if (next == cell || previous == cell || !isDescriptor(next) || !isDescriptor(previous) ||
      census.keptAsData(next) || census.keptAsData(previous)) {
    putLe32(p + 0x0C, 0);
    return;
  }
  putLe32(payload(previous) + 4, next);
  putLe32(payload(next) + 8, previous);
  freeCell(cell);
}

void RegfEditor::freeCells(const RegfCensus& census) {
  for (std::uint32_t cell : census.removedCells()) {
    // A descriptor leaves its ring before it is freed (releaseSecurity); one
    // that only a damaged reference names stays where it is.
    if (census.mayFree(cell) && !isDescriptor(cell)) freeCell(cell);
  }
}

std::uint16_t RegfEditor::compactLeaf(std::uint32_t list, const std::vector<bool>& keep,
                                      std::size_t& next) {
  unsigned char* p = payload(list);
  const std::size_t stride = p[1] == 'i' ? 4 : 8;  // li: offsets; lf, lh: offset and hash
  const std::size_t count = le16(p + 2);
  std::size_t kept = 0;
  for (std::size_t i = 0; i < count; ++i, ++next) {
    if (!keep[next]) continue;
    if (kept != i) std::copy_n(p + 4 + i * stride, stride, p + 4 + kept * stride);
    ++kept;
  }
  p[2] = static_cast<unsigned char>(kept);
  p[3] = static_cast<unsigned char>(kept >> 8);
  return static_cast<std::uint16_t>(kept);
}

bool RegfEditor::keepSubkeys(std::uint32_t keyCell, const std::vector<bool>& keep, std::string& why) {
  KeyCell key;
  std::vector<std::uint32_t> subkeys;
  std::vector<ListCell> lists;
  if (!m_view.key(keyCell, key, why) || !m_view.subkeys(key, subkeys, why, &lists)) return false;
  if (subkeys.size() != keep.size()) {
    why = "its subkey list does not hold the keys read from it";
    return false;
  }
  std::uint32_t remaining = 0;
  std::size_t next = 0;
  std::uint32_t top = key.subkeyList;
  if (!lists.empty() && lists.front().kind == 'r') {
    unsigned char* ri = payload(top);
    const std::size_t leaves = le16(ri + 2);
    std::size_t keptLeaves = 0;
    for (std::size_t i = 0; i < leaves; ++i) {
      const std::uint32_t leaf = le32(ri + 4 + 4 * i);
      const std::uint16_t kept = compactLeaf(leaf, keep, next);
      remaining += kept;
      if (kept == 0) {
        freeCell(leaf);
        continue;
      }
      putLe32(ri + 4 + 4 * keptLeaves++, leaf);
    }
    ri[2] = static_cast<unsigned char>(keptLeaves);
    ri[3] = static_cast<unsigned char>(keptLeaves >> 8);
  } else if (!lists.empty()) {
    remaining = compactLeaf(top, keep, next);
  }
  unsigned char* k = payload(keyCell);
  if (remaining == 0 && !lists.empty()) {
    freeCell(top);
    putLe32(k + 0x1C, kNoCell);
  }
  putLe32(k + 0x14, remaining);
  return true;
}

void RegfEditor::finish() {
  unsigned char* block = m_file.data();
  m_changed.add(0, 0x200);
  const std::uint32_t sequence = le32(block + 4) + 1;
  putLe32(block + 4, sequence);
  putLe32(block + 8, sequence);
  putLe32(block + 0x1FC, baseBlockChecksum(block));
}

}  // namespace comsweep::registry::regf
