#pragma once
// A growing table of nodes that never moves what it holds (fixed chunks of
// 4096) and finds an index with a shift and a mask.

#include <cstdint>
#include <memory>
#include <vector>

namespace comsweep::registry {

template <typename T>
class NodeTable {
 public:
  T& operator[](std::size_t i) { return m_chunks[i >> kShift][i & kMask]; }
  const T& operator[](std::size_t i) const { return m_chunks[i >> kShift][i & kMask]; }
  std::size_t size() const { return m_size; }
  T& back() { return (*this)[m_size - 1]; }
  // Appends a default-constructed element.
  void emplace_back() {
    if ((m_size >> kShift) == m_chunks.size()) m_chunks.push_back(std::make_unique<T[]>(kChunk));
    ++m_size;
  }

 private:
  static constexpr unsigned kShift = 12;
  static constexpr std::size_t kChunk = std::size_t{1} << kShift;
  static constexpr std::size_t kMask = kChunk - 1;

  std::vector<std::unique_ptr<T[]>> m_chunks;
  std::size_t m_size = 0;
};

}  // namespace comsweep::registry
