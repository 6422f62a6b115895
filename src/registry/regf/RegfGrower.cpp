#include "registry/regf/RegfGrower.h"

#include <algorithm>
#include <cstring>

#include "registry/regf/RegfCensus.h"
#include "registry/store/Text.h"
#include "registry/store/UpcaseTable.h"

namespace comsweep::registry::regf {
namespace {

constexpr std::uint32_t kBinHeaderSize = 0x20;
constexpr std::uint32_t kBinUnit = 0x1000;
// Subkeys one leaf list holds before the key's lists go below an ri list.
constexpr std::size_t kLeafLimit = 1012;
constexpr std::uint16_t kCompressedKeyName = 0x0020;
constexpr std::uint16_t kCompressedValueName = 0x0001;
// A key cell's fields before its name.
constexpr std::size_t kKeyFixedSize = 0x4C;

void putLe16(unsigned char* p, std::uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}

// A name as a hive stores it: Latin-1 when every character fits, else
// UTF-16LE. `units` receives its length in UTF-16 units.
std::string storedName(std::string_view utf8, bool& latin1, std::size_t& units) {
  std::u16string wide = utf8ToUtf16(utf8);
  units = wide.size();
  latin1 = std::all_of(wide.begin(), wide.end(), [](char16_t c) { return c <= 0xFF; });
  std::string out;
  if (latin1) {
    for (char16_t c : wide) out += static_cast<char>(c);
  } else {
    appendUtf16le(out, wide);
  }
  return out;
}

// The low 16 bits of a key's largest-length field hold the length; newer
// hives keep flags above them.
void raiseLength(unsigned char* field, std::size_t length) {
  const std::uint32_t now = le32(field);
  if (length > (now & 0xFFFFu)) putLe32(field, (now & 0xFFFF0000u) | static_cast<std::uint32_t>(std::min<std::size_t>(length, 0xFFFF)));
}

void raiseWhole(unsigned char* field, std::size_t length) {
  if (length > le32(field)) putLe32(field, static_cast<std::uint32_t>(length));
}

}  // namespace

std::uint32_t nameHash(std::string_view name) {
  std::uint32_t hash = 0;
  for (char16_t unit : utf8ToUtf16(name)) hash = hash * 37 + upcaseUnit(unit);
  return hash;
}

std::uint32_t RegfGrower::binsSize() const { return le32(m_image.bytes().data() + 0x28); }

RegfView RegfGrower::view() const {
  return RegfView(m_image.bytes().subspan(kBaseBlockSize, binsSize()), &m_cellStarts);
}

bool RegfGrower::start(std::string& why) {
  if (m_image.size() < kBaseBlockSize + kBinUnit || std::memcmp(m_image.bytes().data(), "regf", 4) != 0) {
    why = "not a hive";
    return false;
  }
  m_minorVersion = le32(m_image.bytes().data() + 0x18);
  const std::uint32_t total = binsSize();
  if (total == 0 || total % kBinUnit != 0 || kBaseBlockSize + std::size_t{total} > m_image.size()) {
    why = "the size of its hbins is damaged";
    return false;
  }
  m_cellStarts.assign(total / 4, false);
  m_free.clear();
  for (std::uint32_t bin = 0; bin < total;) {
    const unsigned char* h = at(bin);
    const std::uint32_t size = le32(h + 8);
    if (std::memcmp(h, "hbin", 4) != 0 || size < kBinUnit || size % kBinUnit != 0 || size > total - bin) {
      why = "the hbin at " + std::to_string(bin) + " is damaged";
      return false;
    }
    for (std::uint32_t cell = bin + kBinHeaderSize; cell < bin + size;) {
      const auto raw = static_cast<std::int32_t>(le32(at(cell)));
      const std::uint32_t length = raw < 0 ? static_cast<std::uint32_t>(-std::int64_t{raw}) : static_cast<std::uint32_t>(raw);
      if (length < 8 || length % 8 != 0 || length > bin + size - cell) {
        why = "the cell at " + std::to_string(cell) + " is damaged";
        return false;
      }
      if (raw < 0)
        m_cellStarts[cell / 4] = true;
      else
        m_free.emplace(length, cell);
      cell += length;
    }
    bin += size;
  }
  // A damaged hive may let two structures name one cell. What is shared is
  // neither freed nor written for one of its owners: an old list or value
  // stays allocated (a leak readers do not mind), a key or descriptor that
  // others name too is refused.
  const RegfView before = view();
  RegfCensus census(before, m_cellStarts.size());
  census.take(le32(m_image.bytes().data() + 0x24), {});
  m_shared = census.sharedCells();
  return true;
}

bool RegfGrower::shared(std::uint32_t cell) const {
  return std::binary_search(m_shared.begin(), m_shared.end(), cell);
}

bool RegfGrower::ownedAlone(std::uint32_t keyCell, std::string& why) const {
  if (!shared(keyCell)) return true;
  why = "another structure of the hive names its key cell too";
  return false;
}

std::uint32_t RegfGrower::allocate(std::size_t size) {
  auto need = static_cast<std::uint32_t>((size + 4 + 7) & ~std::size_t{7});
  std::uint32_t cell = 0;
  auto fit = m_free.lower_bound(need);
  if (fit != m_free.end()) {
    const std::uint32_t have = fit->first;
    cell = fit->second;
    m_free.erase(fit);
    if (have - need >= 8) {
      putLe32(change(cell + need, 4), have - need);
      m_free.emplace(have - need, cell + need);
    } else {
      need = have;
    }
  } else {
    const std::uint32_t bin = binsSize();
    const std::uint32_t binSize = (need + kBinHeaderSize + kBinUnit - 1) / kBinUnit * kBinUnit;
    m_image.insertZeros(kBaseBlockSize + bin, binSize);
    unsigned char* h = change(bin, kBinHeaderSize);
    std::memcpy(h, "hbin", 4);
    putLe32(h + 4, bin);
    putLe32(h + 8, binSize);
    putLe32(m_image.change(0x28, 4), bin + binSize);
    m_cellStarts.resize((bin + binSize) / 4, false);
    cell = bin + kBinHeaderSize;
    const std::uint32_t rest = binSize - kBinHeaderSize - need;
    if (rest > 0) {
      putLe32(change(cell + need, 4), rest);
      m_free.emplace(rest, cell + need);
    }
  }
  unsigned char* p = change(cell, need);
  putLe32(p, static_cast<std::uint32_t>(-static_cast<std::int32_t>(need)));
  std::memset(p + 4, 0, need - 4);
  m_cellStarts[cell / 4] = true;
  return cell;
}

void RegfGrower::release(std::uint32_t cell) {
  if (!view().isCell(cell) || shared(cell)) return;  // freed already, or still named elsewhere
  const std::uint32_t length = static_cast<std::uint32_t>(-static_cast<std::int32_t>(le32(at(cell))));
  putLe32(change(cell, 4), length);
  m_cellStarts[cell / 4] = false;
  m_free.emplace(length, cell);
}

std::uint32_t RegfGrower::store(const std::string& bytes) {
  const std::uint32_t cell = allocate(bytes.size());
  std::memcpy(change(cell, 4 + bytes.size()) + 4, bytes.data(), bytes.size());
  return cell;
}

std::uint32_t RegfGrower::writeLists(const std::vector<std::pair<std::uint32_t, std::string>>& entries,
                                     char kind, bool indexed) {
  const std::size_t stride = kind == 'i' ? 4 : 8;
  std::vector<std::uint32_t> leaves;
  for (std::size_t first = 0; first < entries.size(); first += kLeafLimit) {
    const std::size_t count = std::min(kLeafLimit, entries.size() - first);
    std::string leaf(4 + count * stride, '\0');
    auto* p = reinterpret_cast<unsigned char*>(leaf.data());
    p[0] = 'l';
    p[1] = static_cast<unsigned char>(kind);
    putLe16(p + 2, static_cast<std::uint16_t>(count));
    for (std::size_t i = 0; i < count; ++i) {
      const auto& [cell, name] = entries[first + i];
      unsigned char* e = p + 4 + i * stride;
      putLe32(e, cell);
      if (kind == 'h') putLe32(e + 4, nameHash(name));
      if (kind == 'f') {
        // The first four characters of the name, as far as it has them.
        std::u16string wide = utf8ToUtf16(name);
        for (std::size_t c = 0; c < 4 && c < wide.size(); ++c) e[4 + c] = static_cast<unsigned char>(wide[c]);
      }
    }
    leaves.push_back(store(leaf));
  }
  if (leaves.size() == 1 && !indexed) return leaves.front();
  std::string ri(4 + leaves.size() * 4, '\0');
  auto* p = reinterpret_cast<unsigned char*>(ri.data());
  p[0] = 'r';
  p[1] = 'i';
  putLe16(p + 2, static_cast<std::uint16_t>(leaves.size()));
  for (std::size_t i = 0; i < leaves.size(); ++i) putLe32(p + 4 + 4 * i, leaves[i]);
  return store(ri);
}

bool RegfGrower::addSubkeys(std::uint32_t parent, const std::vector<std::string>& names,
                            std::vector<std::uint32_t>& cells, std::string& why) {
  cells.clear();
  if (names.empty()) return true;
  KeyCell key;
  std::vector<std::uint32_t> subkeys;
  std::vector<ListCell> lists;
  if (!view().key(parent, key, why) || !view().subkeys(key, subkeys, why, &lists) || !ownedAlone(parent, why))
    return false;
  const std::span<const unsigned char> descriptor = view().cell(key.security);
  if (descriptor.size() < 0x14 || descriptor[0] != 's' || descriptor[1] != 'k') {
    why = "its security descriptor cannot be read";
    return false;
  }
  if (shared(key.security)) {
    why = "another structure of the hive names its security descriptor too";
    return false;
  }
  std::vector<std::pair<std::uint32_t, std::string>> entries;
  entries.reserve(subkeys.size() + names.size());
  for (std::uint32_t sub : subkeys) {
    KeyCell child;
    if (!view().key(sub, child, why)) return false;
    entries.emplace_back(sub, nameToUtf8(child.name, child.nameIsLatin1));
  }
  bool indexed = !lists.empty() && lists.front().kind == 'r';
  char kind = m_minorVersion >= 5 ? 'h' : 'f';
  for (const ListCell& list : lists)
    if (list.kind != 'r') {
      kind = list.kind;
      break;
    }

  unsigned char time[8];
  std::memcpy(time, m_image.bytes().data() + 0x0C, 8);
  std::size_t longestName = 0;
  for (const std::string& name : names) {
    bool latin1 = false;
    std::size_t units = 0;
    const std::string stored = storedName(name, latin1, units);
    longestName = std::max(longestName, units * 2);
    const std::uint32_t cell = allocate(kKeyFixedSize + stored.size());
    unsigned char* p = change(cell, 4 + kKeyFixedSize + stored.size()) + 4;
    p[0] = 'n';
    p[1] = 'k';
    putLe16(p + 0x02, latin1 ? kCompressedKeyName : 0);
    std::memcpy(p + 0x04, time, 8);
    putLe32(p + 0x10, parent);
    putLe32(p + 0x1C, kNoCell);
    putLe32(p + 0x20, kNoCell);
    putLe32(p + 0x28, kNoCell);
    putLe32(p + 0x2C, key.security);
    putLe32(p + 0x30, kNoCell);
    putLe16(p + 0x48, static_cast<std::uint16_t>(stored.size()));
    std::memcpy(p + kKeyFixedSize, stored.data(), stored.size());
    cells.push_back(cell);
    entries.emplace_back(cell, name);
  }
  unsigned char* sk = change(key.security, 4 + 0x10) + 4;
  putLe32(sk + 0x0C, le32(sk + 0x0C) + static_cast<std::uint32_t>(names.size()));

  std::stable_sort(entries.begin(), entries.end(),
                   [](const auto& a, const auto& b) { return compareNoCase(a.second, b.second) < 0; });
  // The old lists go first, so that the new ones may take their place.
  for (const ListCell& list : lists) release(list.cell);
  const std::uint32_t top = writeLists(entries, kind, indexed || entries.size() > kLeafLimit);
  unsigned char* p = change(parent, 4 + kKeyFixedSize) + 4;
  putLe32(p + 0x14, static_cast<std::uint32_t>(entries.size()));
  putLe32(p + 0x1C, top);
  raiseLength(p + 0x34, longestName);
  return true;
}

std::uint32_t RegfGrower::storeData(std::string_view data) {
  if (data.size() <= kBigDataSegment || m_minorVersion < 4) return store(std::string(data));
  std::vector<std::uint32_t> segments;
  for (std::size_t from = 0; from < data.size(); from += kBigDataSegment)
    segments.push_back(store(std::string(data.substr(from, kBigDataSegment))));
  std::string list(segments.size() * 4, '\0');
  for (std::size_t i = 0; i < segments.size(); ++i)
    putLe32(reinterpret_cast<unsigned char*>(list.data()) + 4 * i, segments[i]);
  const std::uint32_t listCell = store(list);
  std::string record(8, '\0');
  auto* p = reinterpret_cast<unsigned char*>(record.data());
  p[0] = 'd';
  p[1] = 'b';
  putLe16(p + 2, static_cast<std::uint16_t>(segments.size()));
  putLe32(p + 4, listCell);
  return store(record);
}

void RegfGrower::releaseData(const ValueCell& value) {
  std::vector<std::uint32_t> dataCells;
  view().dataCells(value, dataCells);
  for (std::uint32_t cell : dataCells) release(cell);
}

bool RegfGrower::setValues(std::uint32_t keyCell, const std::vector<NewValue>& values, std::string& why) {
  KeyCell key;
  std::vector<std::uint32_t> list;
  if (!view().key(keyCell, key, why) || !view().valueCells(key, list, why) || !ownedAlone(keyCell, why))
    return false;
  std::vector<std::string> listedNames;
  for (std::uint32_t cell : list) {
    ValueCell value;
    if (!view().value(cell, value, why)) return false;
    listedNames.push_back(nameToUtf8(value.name, value.nameIsLatin1));
  }
  std::size_t longestName = 0, longestData = 0;
  for (const NewValue& value : values) {
    if (value.data.size() > 0x7FFFFFF0u) {
      why = "a value's data is too long for a hive";
      return false;
    }
    bool latin1 = false;
    std::size_t units = 0;
    const std::string stored = storedName(value.name, latin1, units);
    longestName = std::max(longestName, units * 2);
    longestData = std::max(longestData, value.data.size());
    auto same = std::find_if(listedNames.begin(), listedNames.end(),
                             [&](const std::string& n) { return equalsNoCase(n, value.name); });
    if (same != listedNames.end()) {
      ValueCell old;
      const std::size_t index = static_cast<std::size_t>(same - listedNames.begin());
      if (!view().value(list[index], old, why)) return false;
      releaseData(old);
      release(list[index]);
    }
    std::uint32_t size = static_cast<std::uint32_t>(value.data.size()), dataCell = 0;
    if (value.data.size() <= 4)
      size |= 0x80000000u;
    else
      dataCell = storeData(value.data);
    const std::uint32_t cell = allocate(0x14 + stored.size());
    unsigned char* p = change(cell, 4 + 0x14 + stored.size()) + 4;
    p[0] = 'v';
    p[1] = 'k';
    putLe16(p + 0x02, static_cast<std::uint16_t>(stored.size()));
    putLe32(p + 0x04, size);
    if (value.data.size() <= 4)
      std::memcpy(p + 0x08, value.data.data(), value.data.size());
    else
      putLe32(p + 0x08, dataCell);
    putLe32(p + 0x0C, value.type);
    putLe16(p + 0x10, latin1 ? kCompressedValueName : 0);
    std::memcpy(p + 0x14, stored.data(), stored.size());
    if (same != listedNames.end()) {
      list[static_cast<std::size_t>(same - listedNames.begin())] = cell;
    } else {
      list.push_back(cell);
      listedNames.emplace_back(value.name);
    }
  }
  if (key.valueCount != 0) release(key.valueList);
  std::uint32_t listCell = kNoCell;
  if (!list.empty()) {
    std::string bytes(list.size() * 4, '\0');
    for (std::size_t i = 0; i < list.size(); ++i)
      putLe32(reinterpret_cast<unsigned char*>(bytes.data()) + 4 * i, list[i]);
    listCell = store(bytes);
  }
  unsigned char* p = change(keyCell, 4 + kKeyFixedSize) + 4;
  putLe32(p + 0x24, static_cast<std::uint32_t>(list.size()));
  putLe32(p + 0x28, listCell);
  raiseWhole(p + 0x3C, longestName);
  raiseWhole(p + 0x40, longestData);
  return true;
}

void RegfGrower::finish() {
  unsigned char* block = m_image.change(0, kBaseBlockSize);
  const std::uint32_t sequence = le32(block + 4) + 1;
  putLe32(block + 4, sequence);
  putLe32(block + 8, sequence);
  putLe32(block + 0x1FC, baseBlockChecksum(block));
}

}  // namespace comsweep::registry::regf
