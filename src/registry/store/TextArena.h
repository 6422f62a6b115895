#pragma once
// Storage for the many small texts of a key tree (names, value data): one
// allocation per mebibyte instead of one per text, and no copy of what was
// stored when more is added. Texts are never freed one by one.
//
// A ref names its chunk in 12 bits: an arena holds at most 4096 chunks (4 GiB
// of small texts, fewer where large texts take chunks of their own). Past
// that, and for a text of 4 GiB or more, store() and adopt() throw
// std::length_error rather than hand out a ref that reads another text.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
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

  // `maxChunks` below the most a ref can name is for the tests.
  explicit TextArena(std::size_t maxChunks = kMaxChunks) : m_maxChunks(std::min(maxChunks, kMaxChunks)) {}

  Ref store(std::string_view text) {
    if (text.empty()) return {};
    if (text.size() > UINT32_MAX) throw std::length_error("a name or value of 4 GiB or more");
    if (text.size() > kChunk / 4) {
      // A large text gets a chunk of its own.
      makeRoom(1);
      m_chunks.push_back(std::make_unique_for_overwrite<char[]>(text.size()));
      std::memcpy(m_chunks.back().get(), text.data(), text.size());
      m_used = kChunk;  // the next small text starts a new chunk
      return {pack(m_chunks.size() - 1, 0), static_cast<std::uint32_t>(text.size())};
    }
    if (m_chunks.empty() || m_used + text.size() > kChunk) {
      makeRoom(1);
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
    makeRoom(other.m_chunks.size());
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
  static constexpr std::size_t kMaxChunks = std::size_t{1} << (32 - kOffsetBits);

  void makeRoom(std::size_t chunks) const {
    if (m_chunks.size() + chunks > m_maxChunks)
      throw std::length_error("more names and values than one key tree holds (4 GiB, or 4096 of 256 KiB or more)");
  }

  static std::uint32_t pack(std::size_t chunk, std::size_t offset) {
    return static_cast<std::uint32_t>((chunk << kOffsetBits) | offset);
  }

  std::vector<std::unique_ptr<char[]>> m_chunks;
  std::size_t m_used = 0;
  std::size_t m_maxChunks;
};

}  // namespace comsweep::registry
