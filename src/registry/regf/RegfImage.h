#pragma once
// A hive file's bytes as they are changed in memory, with room to grow at
// the end, and the ranges that may no longer be the file's. Where the
// system can, the image is a private copy mapped over the file: pages never
// written stay the system's cache of it, so growing a hive does not copy
// the whole file first, and a save writes only the changed ranges and has
// the system copy the rest from the file (changedRanges()).
//
// Bytes are written only through change(), which records the range; reads
// go through bytes(). Outside the recorded ranges the image holds the
// file's bytes at the same offsets.

#include <cstddef>
#include <span>

#include "platform/LargeMemory.h"
#include "registry/regf/ByteRanges.h"

namespace comsweep::registry::regf {

class RegfImage {
 public:
  // A copy of `bytes`, changed nowhere yet.
  explicit RegfImage(std::span<const unsigned char> bytes);
  // The image of the open file `fd`, whose first bytes.size() bytes are
  // `bytes` except in `changed` (ranges already written over the file's).
  RegfImage(std::span<const unsigned char> bytes, int fd, const ByteRanges& changed);

  std::span<const unsigned char> bytes() const { return {data(), m_size}; }
  std::size_t size() const { return m_size; }
  // The bytes at `offset`, `length` of them, to be written; they count as
  // changed from here on.
  unsigned char* change(std::size_t offset, std::size_t length);
  // `count` zero bytes put in at `offset`; what followed moves up, and
  // everything from `offset` to the end counts as changed.
  void insertZeros(std::size_t offset, std::size_t count);
  // The changed ranges, in order, widened to whole units of `unit` bytes
  // (pages, by default) and joined where they touch; they cover every byte
  // that may differ from the file.
  ByteRanges changedRanges(std::size_t unit = 0x1000) const { return m_changed.joined(unit, m_size); }

 private:
  const unsigned char* data() const { return reinterpret_cast<const unsigned char*>(m_block.data()); }
  void reserve(std::size_t bytes);

  platform::LargeBlock m_block;
  std::size_t m_size = 0;
  ChangedRanges m_changed;
};

}  // namespace comsweep::registry::regf
