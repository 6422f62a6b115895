#pragma once
// The cells of a regf hive, laid out in hbins, and the base block that heads
// the file. Cells are allocated front to back and never move; fields of any
// cell can be filled in later. The image lives in memory until written.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gen/OutputFile.h"

namespace comsweep::bench {

class HiveImage {
 public:
  // Cell offsets count from the first hbin, as the hive's own fields do.
  static constexpr std::uint32_t kNoCell = 0xFFFFFFFF;

  // A used cell with room for `size` bytes after its size field, zeroed.
  // When the hive cannot hold it (offsets are 32 bits) the image is marked
  // failed and the cell is a scratch area that is never written out.
  std::uint32_t allocate(std::size_t size);

  // The cell's data, just after its size field.
  std::uint8_t* data(std::uint32_t cell);
  void put16(std::uint32_t cell, std::size_t field, std::uint16_t v);
  void put32(std::uint32_t cell, std::size_t field, std::uint32_t v);
  void put64(std::uint32_t cell, std::size_t field, std::uint64_t v);
  void putBytes(std::uint32_t cell, std::size_t field, const void* bytes, std::size_t size);

  // Writes the base block (root cell, sizes, checksum) and every hbin.
  bool writeTo(OutputFile& out, std::uint32_t rootCell, std::uint64_t fileTime);

  bool failed() const { return !m_error.empty(); }
  const std::string& error() const { return m_error; }

 private:
  std::uint8_t* at(std::uint64_t offset);
  void startBin(std::size_t cellSize);
  void closeBin();

  std::vector<std::unique_ptr<std::uint8_t[]>> m_chunks;
  std::uint64_t m_binStart = 0;
  std::uint64_t m_binEnd = 0;
  std::uint64_t m_next = 0;
  std::vector<std::uint8_t> m_scratch;
  std::string m_error;
};

}  // namespace comsweep::bench
