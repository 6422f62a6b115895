#pragma once
// A growing table of nodes that never moves what it holds (fixed chunks of
// 32768) and finds an index with a shift and a mask. A chunk is 2 MiB of
// pages straight from the system (huge pages where it gives them), handed
// back the moment the chunk is freed.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/LargeMemory.h"

namespace comsweep::registry {

template <typename T>
class NodeTable {
 public:
  T& operator[](std::size_t i) { return m_chunks[i >> kShift]->items[i & kMask]; }
  const T& operator[](std::size_t i) const { return m_chunks[i >> kShift]->items[i & kMask]; }
  std::size_t size() const { return m_size; }
  T& back() { return (*this)[m_size - 1]; }
  // Appends a default-constructed element.
  void emplace_back() {
    if ((m_size >> kShift) == m_chunks.size()) m_chunks.push_back(std::make_unique<Chunk>());
    ++m_size;
  }
  // Frees the chunks that hold only elements before `i`, which must no
  // longer be used; the table keeps its size.
  void dropBefore(std::size_t i) {
    for (std::size_t c = 0; c < (i >> kShift) && c < m_chunks.size(); ++c) m_chunks[c].reset();
  }

 private:
  static constexpr unsigned kShift = 15;
  static constexpr std::size_t kChunk = std::size_t{1} << kShift;
  static constexpr std::size_t kMask = kChunk - 1;

  struct Chunk {
    Chunk() : memory(kChunk * sizeof(T)), items(reinterpret_cast<T*>(memory.data())) {
      std::uninitialized_value_construct_n(items, kChunk);
    }
    ~Chunk() { std::destroy_n(items, kChunk); }
    Chunk(const Chunk&) = delete;
    Chunk& operator=(const Chunk&) = delete;
    platform::LargeBlock memory;
    T* items;
  };

  std::vector<std::unique_ptr<Chunk>> m_chunks;
  std::size_t m_size = 0;
};

}  // namespace comsweep::registry
