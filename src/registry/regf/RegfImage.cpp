#include "registry/regf/RegfImage.h"

#include <algorithm>
#include <cstring>

namespace comsweep::registry::regf {
namespace {

// Room to grow without moving the image: untouched, it costs no memory.
std::size_t roomFor(std::size_t size) { return size + std::max(size / 4, std::size_t{4} << 20); }

}  // namespace

RegfImage::RegfImage(std::span<const unsigned char> bytes) : m_block(roomFor(bytes.size())), m_size(bytes.size()) {
  if (!bytes.empty()) std::memcpy(m_block.data(), bytes.data(), bytes.size());
}

RegfImage::RegfImage(std::span<const unsigned char> bytes, int fd, const ByteRanges& changed)
    : m_block(roomFor(bytes.size())), m_size(bytes.size()) {
  if (bytes.empty()) return;
  if (!m_block.showFile(fd, bytes.size())) {
    std::memcpy(m_block.data(), bytes.data(), bytes.size());
    for (const auto& [offset, length] : changed) m_changed.add(offset, length);
    return;
  }
  for (const auto& [offset, length] : changed) std::memcpy(change(offset, length), bytes.data() + offset, length);
}

unsigned char* RegfImage::change(std::size_t offset, std::size_t length) {
  m_changed.add(offset, length);
  return reinterpret_cast<unsigned char*>(m_block.data()) + offset;
}

void RegfImage::reserve(std::size_t bytes) {
  if (bytes <= m_block.size()) return;
  platform::LargeBlock larger(std::max(bytes, roomFor(m_block.size())));
  std::memcpy(larger.data(), m_block.data(), m_size);
  m_block = std::move(larger);
}

void RegfImage::insertZeros(std::size_t offset, std::size_t count) {
  reserve(m_size + count);
  char* at = m_block.data() + offset;
  std::memmove(at + count, at, m_size - offset);
  std::memset(at, 0, count);
  m_size += count;
  m_changed.add(offset, m_size - offset);
}

}  // namespace comsweep::registry::regf
