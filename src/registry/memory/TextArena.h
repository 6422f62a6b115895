#pragma once
// Storage for the many small texts of a key tree (names, value data): one
// allocation per two mebibytes instead of one per text, and no copy of what was
// stored when more is added. Texts are never freed one by one.

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "platform/Files.h"

namespace comsweep::registry {

class TextArena {
 public:
  // A stored text: chunk index and offset packed in 32 bits, and its length.
  struct Ref {
    std::uint32_t at = 0;
    std::uint32_t length = 0;
  };

  Ref store(std::string_view text) {
    if (text.empty()) return {};
    if (text.size() > kChunk / 4) {
      // A large text gets a chunk of its own.
      m_chunks.push_back(allocate(text.size()));
      std::memcpy(m_chunks.back().get(), text.data(), text.size());
      m_used = kChunk;  // the next small text starts a new chunk
      return {pack(m_chunks.size() - 1, 0), static_cast<std::uint32_t>(text.size())};
    }
    if (m_chunks.empty() || m_used + text.size() > kChunk) {
      m_chunks.push_back(allocate(kChunk));
      m_used = 0;
    }
    std::memcpy(m_chunks.back().get() + m_used, text.data(), text.size());
    Ref ref{pack(m_chunks.size() - 1, m_used), static_cast<std::uint32_t>(text.size())};
    m_used += text.size();
    return ref;
  }

  std::string_view get(Ref ref) const {
    if (ref.length == 0) return {};
    return {m_chunks[ref.at >> kOffsetBits].get() + (ref.at & kOffsetMask), ref.length};
  }

 private:
  // A chunk is one huge page, aligned to one: a large tree's texts cost a
  // page fault per 2 MiB, not per 4 KiB.
  static constexpr unsigned kOffsetBits = 21;
  static constexpr std::size_t kChunk = std::size_t{1} << kOffsetBits;
  static constexpr std::uint32_t kOffsetMask = kChunk - 1;

  struct Release {
    void operator()(char* chunk) const { ::operator delete[](chunk, std::align_val_t{kChunk}); }
  };
  using Chunk = std::unique_ptr<char[], Release>;

  static Chunk allocate(std::size_t size) {
    Chunk chunk(static_cast<char*>(::operator new[](size, std::align_val_t{kChunk})));
    platform::adviseHugePages(chunk.get(), size);
    return chunk;
  }

  static std::uint32_t pack(std::size_t chunk, std::size_t offset) {
    return static_cast<std::uint32_t>((chunk << kOffsetBits) | offset);
  }

  std::vector<Chunk> m_chunks;
  std::size_t m_used = 0;
};

}  // namespace comsweep::registry
