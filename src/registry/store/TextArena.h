#pragma once
// Storage for the many small texts of a key tree (names, value data): one
// allocation per mebibyte instead of one per text, and no copy of what was
// stored when more is added. Texts are never freed one by one.

#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

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
      m_chunks.push_back(std::make_unique_for_overwrite<char[]>(text.size()));
      std::memcpy(m_chunks.back().get(), text.data(), text.size());
      m_used = kChunk;  // the next small text starts a new chunk
      return {pack(m_chunks.size() - 1, 0), static_cast<std::uint32_t>(text.size())};
    }
    if (m_chunks.empty() || m_used + text.size() > kChunk) {
      m_chunks.push_back(std::make_unique_for_overwrite<char[]>(kChunk));
      m_used = 0;
    }
    std::memcpy(m_chunks.back().get() + m_used, text.data(), text.size());
    Ref ref{pack(m_chunks.size() - 1, m_used), static_cast<std::uint32_t>(text.size())};
    m_used += text.size();
    return ref;
  }

  // Takes over the texts of `other` (left empty); a ref `other` gave reads
  // the same text here once passed through moved() with the answer.
  std::uint32_t adopt(TextArena&& other) {
    const auto shift = static_cast<std::uint32_t>(m_chunks.size());
    for (auto& chunk : other.m_chunks) m_chunks.push_back(std::move(chunk));
    other.m_chunks.clear();
    other.m_used = 0;
    m_used = kChunk;  // the next small text starts a new chunk
    return shift;
  }
  static Ref moved(Ref ref, std::uint32_t shift) {
    if (ref.length != 0) ref.at += shift << kOffsetBits;
    return ref;
  }

  std::string_view get(Ref ref) const {
    if (ref.length == 0) return {};
    return {m_chunks[ref.at >> kOffsetBits].get() + (ref.at & kOffsetMask), ref.length};
  }

 private:
  static constexpr unsigned kOffsetBits = 20;
  static constexpr std::size_t kChunk = std::size_t{1} << kOffsetBits;
  static constexpr std::uint32_t kOffsetMask = kChunk - 1;

  static std::uint32_t pack(std::size_t chunk, std::size_t offset) {
    return static_cast<std::uint32_t>((chunk << kOffsetBits) | offset);
  }

  std::vector<std::unique_ptr<char[]>> m_chunks;
  std::size_t m_used = 0;
};

}  // namespace comsweep::registry
