#include "registry/regf/RegfView.h"

#include <algorithm>

#include "registry/store/Text.h"

namespace comsweep::registry::regf {
namespace {

std::string hex(std::uint32_t v) {
  static const char digits[] = "0123456789abcdef";
  std::string out = "0x";
  bool started = false;
  for (int shift = 28; shift >= 0; shift -= 4) {
    unsigned d = (v >> shift) & 0xF;
    if (d || started || shift == 0) out += digits[d], started = true;
  }
  return out;
}

bool fail(std::string& why, std::string text) {
  why = std::move(text);
  return false;
}

}  // namespace

std::string nameToUtf8(std::string_view stored, bool latin1) {
  if (!latin1) return utf16leToUtf8(stored);
  std::string out;
  out.reserve(stored.size());
  for (unsigned char c : stored) appendUtf8(out, static_cast<char32_t>(c));
  return out;
}

std::span<const unsigned char> RegfView::cell(std::uint32_t offset) const {
  if (offset % 4 != 0 || !m_cellStarts || offset / 4 >= m_cellStarts->size() ||
      !(*m_cellStarts)[offset / 4] || std::size_t{offset} + 4 > m_bins.size())
    return {};
  auto size = static_cast<std::int32_t>(le32(m_bins.data() + offset));
  // A free cell (positive size) holds nothing a key may refer to. The walk
  // that set the bit made sure the cell lies inside its hbin.
  if (size >= -4) return {};
  return m_bins.subspan(std::size_t{offset} + 4, static_cast<std::size_t>(-std::int64_t{size}) - 4);
}

bool RegfView::key(std::uint32_t offset, KeyCell& out, std::string& why) const {
  std::span<const unsigned char> c = cell(offset);
  if (c.empty()) return fail(why, "no key cell at " + hex(offset));
  if (c.size() < 0x4C || c[0] != 'n' || c[1] != 'k') return fail(why, "the cell at " + hex(offset) + " is not a key");
  const unsigned char* p = c.data();
  std::size_t nameLength = le16(p + 0x48);
  if (0x4C + nameLength > c.size())
    return fail(why, "the name of the key at " + hex(offset) + " runs past its cell");
  out.cell = offset;
  out.subkeyCount = le32(p + 0x14);
  out.subkeyList = le32(p + 0x1C);
  out.valueCount = le32(p + 0x24);
  out.valueList = le32(p + 0x28);
  out.security = le32(p + 0x2C);
  out.className = le32(p + 0x30);
  out.nameIsLatin1 = (le16(p + 0x02) & 0x0020) != 0;
  out.name = std::string_view(reinterpret_cast<const char*>(p + 0x4C), nameLength);
  return true;
}

bool RegfView::subkeys(const KeyCell& key, std::vector<std::uint32_t>& out, std::string& why,
                       std::vector<ListCell>* cells) const {
  if (key.subkeyCount == 0) return true;
  const std::size_t before = out.size();
  // Reads one lf, lh or li list (or, when `top`, an ri list of them).
  auto readList = [&](auto& self, std::uint32_t offset, bool top) -> bool {
    std::span<const unsigned char> c = cell(offset);
    if (c.size() < 4) return fail(why, "its subkey list at " + hex(offset) + " is not a cell");
    const char sig0 = static_cast<char>(c[0]), kind = static_cast<char>(c[1]);
    const std::size_t count = le16(c.data() + 2);
    const bool pairs = sig0 == 'l' && (kind == 'f' || kind == 'h');
    const bool single = (sig0 == 'l' || sig0 == 'r') && kind == 'i';
    if (!pairs && !single) return fail(why, "its subkey list at " + hex(offset) + " is of no known kind");
    if (sig0 == 'r' && !top) return fail(why, "its subkey list at " + hex(offset) + " nests index lists");
    const std::size_t stride = pairs ? 8 : 4;
    if (4 + count * stride > c.size())
      return fail(why, "its subkey list at " + hex(offset) + " runs past its cell");
    if (cells) cells->push_back({offset, sig0 == 'r' ? 'r' : kind});
    for (std::size_t i = 0; i < count; ++i) {
      std::uint32_t entry = le32(c.data() + 4 + i * stride);
      if (sig0 == 'r') {
        if (!self(self, entry, false)) return false;
      } else {
        if (out.size() - before >= key.subkeyCount)
          return fail(why, "its subkey lists hold more keys than the " +
                               std::to_string(key.subkeyCount) + " it announces");
        out.push_back(entry);
      }
    }
    return true;
  };
  if (!readList(readList, key.subkeyList, true)) {
    out.resize(before);
    return false;
  }
  if (out.size() - before != key.subkeyCount) {
    std::size_t found = out.size() - before;
    out.resize(before);
    return fail(why, "it announces " + std::to_string(key.subkeyCount) + " subkeys, its lists hold " +
                         std::to_string(found));
  }
  return true;
}

bool RegfView::valueList(const KeyCell& key, std::span<const unsigned char>& out,
                         std::string& why) const {
  out = cell(key.valueList);
  if (out.empty()) return fail(why, "its value list at " + hex(key.valueList) + " is not a cell");
  if (std::size_t{key.valueCount} * 4 > out.size())
    return fail(why, "its value list at " + hex(key.valueList) + " runs past its cell");
  return true;
}

bool RegfView::valueCells(const KeyCell& key, std::vector<std::uint32_t>& out,
                          std::string& why) const {
  out.clear();
  if (key.valueCount == 0) return true;
  std::span<const unsigned char> c;
  if (!valueList(key, c, why)) return false;
  out.reserve(key.valueCount);
  for (std::uint32_t i = 0; i < key.valueCount; ++i) out.push_back(le32(c.data() + 4 * i));
  return true;
}

bool RegfView::value(std::uint32_t offset, ValueCell& out, std::string& why) const {
  std::span<const unsigned char> c = cell(offset);
  if (c.size() < 0x14 || c[0] != 'v' || c[1] != 'k')
    return fail(why, "the cell at " + hex(offset) + " is not a value");
  const unsigned char* p = c.data();
  std::size_t nameLength = le16(p + 2);
  if (0x14 + nameLength > c.size())
    return fail(why, "the name of the value at " + hex(offset) + " runs past its cell");
  out.cell = offset;
  std::uint32_t size = le32(p + 4);
  out.dataInline = (size & 0x80000000u) != 0;
  out.dataSize = size & 0x7FFFFFFFu;
  out.dataCell = le32(p + 8);
  out.type = le32(p + 0xC);
  out.nameIsLatin1 = (le16(p + 0x10) & 0x0001) != 0;
  out.name = std::string_view(reinterpret_cast<const char*>(p + 0x14), nameLength);
  out.inlineData = {};
  if (out.dataInline) {
    if (out.dataSize > 4) return fail(why, "the value at " + hex(offset) + " holds more than 4 bytes in itself");
    out.inlineData = std::string_view(reinterpret_cast<const char*>(p + 8), out.dataSize);
  }
  return true;
}

bool RegfView::defaultValue(const KeyCell& key, ValueCell& out, std::string& why) const {
  why.clear();
  if (key.valueCount == 0) return false;
  std::span<const unsigned char> c;
  if (!valueList(key, c, why)) return false;
  for (std::uint32_t i = 0; i < key.valueCount; ++i) {
    if (!value(le32(c.data() + 4 * i), out, why)) return false;
    if (out.name.empty()) return true;
  }
  return false;
}

bool RegfView::dataInPlace(const ValueCell& value, std::string_view& out) const {
  if (value.dataInline || value.dataSize == 0) {
    out = value.inlineData;
    return true;
  }
  std::span<const unsigned char> c = cell(value.dataCell);
  if (c.empty() || value.dataSize > c.size()) return false;
  out = std::string_view(reinterpret_cast<const char*>(c.data()), value.dataSize);
  return true;
}

bool RegfView::valueData(const ValueCell& value, std::string& out, std::string& why) const {
  out.clear();
  if (value.dataInline) {
    out.assign(value.inlineData);
    return true;
  }
  if (value.dataSize == 0) return true;
  std::span<const unsigned char> c = cell(value.dataCell);
  if (c.empty()) return fail(why, "the data of the value at " + hex(value.cell) + " is not a cell");
  if (value.dataSize <= c.size()) {
    out.assign(reinterpret_cast<const char*>(c.data()), value.dataSize);
    return true;
  }
  if (c.size() < 8 || c[0] != 'd' || c[1] != 'b')
    return fail(why, "the data of the value at " + hex(value.cell) + " runs past its cell");
  const std::size_t segments = le16(c.data() + 2);
  std::span<const unsigned char> list = cell(le32(c.data() + 4));
  if (list.size() < segments * 4)
    return fail(why, "the big data record of the value at " + hex(value.cell) + " is damaged");
  out.reserve(value.dataSize);
  for (std::size_t i = 0; i < segments && out.size() < value.dataSize; ++i) {
    std::span<const unsigned char> segment = cell(le32(list.data() + 4 * i));
    std::size_t take = std::min<std::size_t>(value.dataSize - out.size(), kBigDataSegment);
    if (segment.size() < take)
      return fail(why, "a segment of the value at " + hex(value.cell) + " is damaged");
    out.append(reinterpret_cast<const char*>(segment.data()), take);
  }
  if (out.size() != value.dataSize)
    return fail(why, "the big data record of the value at " + hex(value.cell) + " is too short");
  return true;
}

void RegfView::dataCells(const ValueCell& value, std::vector<std::uint32_t>& out) const {
  if (value.dataInline || value.dataSize == 0) return;
  std::span<const unsigned char> c = cell(value.dataCell);
  if (c.empty()) return;
  out.push_back(value.dataCell);
  if (value.dataSize <= c.size() || c.size() < 8 || c[0] != 'd' || c[1] != 'b') return;
  const std::uint32_t listCell = le32(c.data() + 4);
  std::span<const unsigned char> list = cell(listCell);
  // Only the segments the size needs belong to the value: an entry past
  // them may name any cell.
  const std::size_t needed = (std::size_t{value.dataSize} + kBigDataSegment - 1) / kBigDataSegment;
  const std::size_t segments = std::min<std::size_t>(le16(c.data() + 2), needed);
  if (list.size() < segments * 4) return;
  out.push_back(listCell);
  for (std::size_t i = 0; i < segments; ++i) out.push_back(le32(list.data() + 4 * i));
}

}  // namespace comsweep::registry::regf
