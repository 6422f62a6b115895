#include "gen/HiveImage.h"

#include <cstring>

namespace comsweep::bench {
namespace {

// hbins are kept inside chunks of this size so that every cell is contiguous
// in memory; an hbin that would straddle two chunks is preceded by growing the
// previous hbin up to the chunk's end.
constexpr std::uint64_t kChunk = 1 << 20;
constexpr std::uint64_t kBinHeader = 32;
constexpr std::uint64_t kPage = 4096;
constexpr std::uint64_t kMaxHbins = 0xFFFFF000ull - kPage;

void store16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void store32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void store64(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t load32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

}  // namespace

std::uint8_t* HiveImage::at(std::uint64_t offset) {
  return m_chunks[offset / kChunk].get() + offset % kChunk;
}

std::uint32_t HiveImage::allocate(std::size_t size) {
  std::uint64_t cellSize = (size + 4 + 7) & ~std::uint64_t{7};
  if (!failed() && m_next + cellSize > m_binEnd) startBin(cellSize);
  if (failed()) {
    m_scratch.assign(cellSize, 0);
    return kNoCell;
  }
  std::uint32_t cell = static_cast<std::uint32_t>(m_next);
  store32(at(cell), static_cast<std::uint32_t>(-static_cast<std::int64_t>(cellSize)));
  m_next += cellSize;
  return cell;
}

void HiveImage::startBin(std::size_t cellSize) {
  std::uint64_t binSize = (cellSize + kBinHeader + kPage - 1) / kPage * kPage;
  if (binSize > kChunk) {
    m_error = "a key has too many subkeys for one hive cell";
    return;
  }
  std::uint64_t inChunk = m_binEnd % kChunk;
  if (m_binEnd > 0 && inChunk + binSize > kChunk) {
    m_binEnd += kChunk - inChunk;
    store32(at(m_binStart + 8), static_cast<std::uint32_t>(m_binEnd - m_binStart));
  }
  closeBin();
  if (m_binEnd + binSize > kMaxHbins) {
    m_error = "the hive would exceed the 4 GiB a hive can address";
    return;
  }
  while (m_chunks.size() * kChunk < m_binEnd + binSize)
    m_chunks.push_back(std::make_unique<std::uint8_t[]>(kChunk));
  std::uint8_t* bin = at(m_binEnd);
  std::memcpy(bin, "hbin", 4);
  store32(bin + 4, static_cast<std::uint32_t>(m_binEnd));
  store32(bin + 8, static_cast<std::uint32_t>(binSize));
  m_binStart = m_binEnd;
  m_binEnd += binSize;
  m_next = m_binStart + kBinHeader;
}

void HiveImage::closeBin() {
  // The rest of an hbin is one free cell (positive size).
  if (m_next < m_binEnd) store32(at(m_next), static_cast<std::uint32_t>(m_binEnd - m_next));
  m_next = m_binEnd;
}

std::uint8_t* HiveImage::data(std::uint32_t cell) {
  return cell == kNoCell ? m_scratch.data() : at(cell) + 4;
}

void HiveImage::put16(std::uint32_t cell, std::size_t field, std::uint16_t v) { store16(data(cell) + field, v); }
void HiveImage::put32(std::uint32_t cell, std::size_t field, std::uint32_t v) { store32(data(cell) + field, v); }
void HiveImage::put64(std::uint32_t cell, std::size_t field, std::uint64_t v) { store64(data(cell) + field, v); }
void HiveImage::putBytes(std::uint32_t cell, std::size_t field, const void* bytes, std::size_t size) {
  std::memcpy(data(cell) + field, bytes, size);
}

bool HiveImage::writeTo(OutputFile& out, std::uint32_t rootCell, std::uint64_t fileTime) {
  if (failed()) return false;
  closeBin();
  if (m_binEnd > 0) store64(at(0) + 0x14, fileTime);

  std::uint8_t base[kPage] = {};
  std::memcpy(base, "regf", 4);
  store32(base + 0x04, 1);  // primary and secondary sequence numbers equal: the
  store32(base + 0x08, 1);  // hive was written completely
  store32(base + 0x14, 1);  // format 1.5: lh subkey lists
  store32(base + 0x18, 5);
  store32(base + 0x1C, 0);  // primary file
  store32(base + 0x20, 1);  // direct memory load
  store32(base + 0x24, rootCell);
  store32(base + 0x28, static_cast<std::uint32_t>(m_binEnd));
  store32(base + 0x2C, 1);  // clustering factor
  const char* name = "emRoot\\System32\\Config\\SOFTWARE";  // the last 32 characters kept
  for (std::size_t i = 0; name[i] && i < 32; ++i) base[0x30 + 2 * i] = static_cast<std::uint8_t>(name[i]);
  // The checksum is the XOR of the first 127 dwords. Windows stores 0 as 1 and
  // -1 as -2 while other readers take the plain XOR; nudging the timestamp
  // avoids both values so that every reader agrees.
  for (std::uint64_t t = fileTime;; ++t) {
    store64(base + 0x0C, t);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 0x1FC; i += 4) sum ^= load32(base + i);
    if (sum != 0 && sum != 0xFFFFFFFF) {
      store32(base + 0x1FC, sum);
      break;
    }
  }
  out.write({reinterpret_cast<const char*>(base), sizeof base});
  for (std::uint64_t done = 0; done < m_binEnd; done += kChunk)
    out.write({reinterpret_cast<const char*>(at(done)), static_cast<std::size_t>(std::min(kChunk, m_binEnd - done))});
  return true;
}

}  // namespace comsweep::bench
