#pragma once
// Reads the cells of a regf hive image in memory. Every read is checked
// against the image: an offset names a cell only when it is the start of an
// allocated cell found by walking the hbins (RegfHive does that once per
// file), and every field and list must lie inside its cell. A check that
// fails makes the call return false with a phrase saying what is damaged;
// nothing is ever read outside the image.
//
// Cell offsets are those the hive stores: relative to the end of the base
// block. Names and value data are returned as stored; converting them is the
// caller's business.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace comsweep::registry::regf {

inline constexpr std::uint32_t kNoCell = 0xFFFFFFFFu;
inline constexpr std::size_t kBaseBlockSize = 0x1000;
// Bytes of value data one segment of a big data record holds.
inline constexpr std::uint32_t kBigDataSegment = 16344;

inline std::uint16_t le16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline void putLe32(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

// A key (nk) cell's fields.
struct KeyCell {
  std::uint32_t cell = kNoCell;
  std::uint32_t subkeyCount = 0;
  std::uint32_t subkeyList = kNoCell;
  std::uint32_t valueCount = 0;
  std::uint32_t valueList = kNoCell;
  std::uint32_t security = kNoCell;
  std::uint32_t className = kNoCell;
  std::string_view name;   // as stored
  bool nameIsLatin1 = false;  // else UTF-16LE
};

// A value (vk) cell's fields.
struct ValueCell {
  std::uint32_t cell = kNoCell;
  std::uint32_t type = 0;
  std::uint32_t dataSize = 0;  // without the flag for data held in the cell itself
  std::uint32_t dataCell = kNoCell;
  bool dataInline = false;  // the data is the bytes of dataCell's field
  std::string_view name;
  bool nameIsLatin1 = false;
  std::string_view inlineData;
};

// One cell of a subkey list (for an ri list, of its leaves too): what a
// writer has to rewrite or free.
struct ListCell {
  std::uint32_t cell = kNoCell;
  char kind = 0;  // 'f', 'h', 'i' (li) or 'r' (ri)
};

// A key's or value's name as UTF-8: stored as Latin-1 when its cell says so,
// else as UTF-16LE.
std::string nameToUtf8(std::string_view stored, bool latin1);

class RegfView {
 public:
  RegfView() = default;
  // `bins` is the image from the first hbin on; `cellStarts` has one bit per
  // 8 bytes of it, set where an allocated cell starts.
  RegfView(std::span<const unsigned char> bins, const std::vector<bool>* cellStarts)
      : m_bins(bins), m_cellStarts(cellStarts) {}

  // The payload of the allocated cell at `offset` (after its size field), or
  // an empty span when no allocated cell starts there.
  std::span<const unsigned char> cell(std::uint32_t offset) const;
  bool isCell(std::uint32_t offset) const { return !cell(offset).empty(); }
  // True when the walk of the hive's bins found an allocated cell starting
  // at `offset`, whatever has been written to the image since. Cells are at
  // least 8 bytes long: no two start in the same 8 bytes.
  bool startsCell(std::uint32_t offset) const {
    return offset % 4 == 0 && m_cellStarts && offset / 4 < m_cellStarts->size() && (*m_cellStarts)[offset / 4];
  }
  // Asks the processor to start loading the memory of the cell at `offset`,
  // for a reader that is about to go through many cells in random places.
  void prefetch(std::uint32_t offset) const {
    if (std::size_t{offset} + 64 <= m_bins.size()) __builtin_prefetch(m_bins.data() + offset);
  }

  bool key(std::uint32_t offset, KeyCell& out, std::string& why) const;
  // Appends the key's subkeys' cells in stored order; the lists must hold
  // exactly the count the key announces. `cells`, when given, receives the
  // list cells read (the ri list first, then its leaves).
  bool subkeys(const KeyCell& key, std::vector<std::uint32_t>& out, std::string& why,
               std::vector<ListCell>* cells = nullptr) const;
  // The cells of the key's values in stored order.
  bool valueCells(const KeyCell& key, std::vector<std::uint32_t>& out, std::string& why) const;
  bool value(std::uint32_t offset, ValueCell& out, std::string& why) const;
  // The key's unnamed (default) value; false with an empty `why` when the
  // key has none.
  bool defaultValue(const KeyCell& key, ValueCell& out, std::string& why) const;
  // The value's data; a big data record is put together from its segments.
  bool valueData(const ValueCell& value, std::string& out, std::string& why) const;
  // The value's data where it lies in one piece in the image (not a big
  // data record), without copying it; false otherwise.
  bool dataInPlace(const ValueCell& value, std::string_view& out) const;
  // The cells a value's data occupies (none for data held in the vk cell):
  // the data cell, or the big data record, its segment list and as many
  // segments as the data size needs.
  void dataCells(const ValueCell& value, std::vector<std::uint32_t>& out) const;

 private:
  // The key's value list cell, checked to hold the offsets the key announces.
  bool valueList(const KeyCell& key, std::span<const unsigned char>& out, std::string& why) const;

  std::span<const unsigned char> m_bins;
  const std::vector<bool>* m_cellStarts = nullptr;
};

}  // namespace comsweep::registry::regf
