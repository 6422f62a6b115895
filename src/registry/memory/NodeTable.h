#pragma once
// A growing table of nodes that never moves what it holds (fixed chunks of
// 4096) and finds an index with a shift and a mask. Chunks are cut from
// slabs of whole huge pages (2 MiB, aligned to one), so that a large tree
// costs a page fault per 2 MiB of nodes, not per 4 KiB.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "platform/Files.h"

namespace comsweep::registry {

template <typename T>
class NodeTable {
 public:
  T& operator[](std::size_t i) { return m_chunks[i >> kShift].get()[i & kMask]; }
  const T& operator[](std::size_t i) const { return m_chunks[i >> kShift].get()[i & kMask]; }
  std::size_t size() const { return m_size; }
  T& back() { return (*this)[m_size - 1]; }
  // Appends a default-constructed element.
  void emplace_back() {
    if ((m_size >> kShift) == m_chunks.size()) addChunk();
    ++m_size;
  }

 private:
  static constexpr unsigned kShift = 12;
  static constexpr std::size_t kChunk = std::size_t{1} << kShift;
  static constexpr std::size_t kMask = kChunk - 1;
  static constexpr std::size_t kHugePage = std::size_t{2} << 20;
  static constexpr std::size_t kChunkBytes = (kChunk * sizeof(T) + alignof(T) - 1) / alignof(T) * alignof(T);
  static constexpr std::size_t kSlabBytes = (kChunkBytes + kHugePage - 1) / kHugePage * kHugePage;

  struct ReleaseSlab {
    void operator()(unsigned char* slab) const { ::operator delete[](slab, std::align_val_t{kHugePage}); }
  };
  // Ends the lives of a chunk's elements; its memory belongs to a slab.
  struct DestroyChunk {
    void operator()(T* chunk) const { std::destroy_n(chunk, kChunk); }
  };

  void addChunk() {
    if (m_slabs.empty() || m_slabUsed + kChunkBytes > kSlabBytes) {
      m_slabs.emplace_back(static_cast<unsigned char*>(::operator new[](kSlabBytes, std::align_val_t{kHugePage})));
      platform::adviseHugePages(m_slabs.back().get(), kSlabBytes);
      m_slabUsed = 0;
    }
    T* chunk = reinterpret_cast<T*>(m_slabs.back().get() + m_slabUsed);
    std::uninitialized_value_construct_n(chunk, kChunk);
    m_slabUsed += kChunkBytes;
    m_chunks.emplace_back(chunk);
  }

  // Declared before the chunks: their elements end before the slabs go.
  std::vector<std::unique_ptr<unsigned char[], ReleaseSlab>> m_slabs;
  std::size_t m_slabUsed = 0;
  std::vector<std::unique_ptr<T, DestroyChunk>> m_chunks;
  std::size_t m_size = 0;
};

}  // namespace comsweep::registry
