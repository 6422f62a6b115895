#include "registry/store/TextArena.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace comsweep::test {
namespace {

// Texts of every size class read back as stored, across chunk boundaries:
// small ones filling chunks, ones just small enough to share a chunk, ones
// large enough for a chunk of their own (a quarter of a chunk the limit,
// for chunks of 1 or 2 MiB), and empty ones.
TEST(TextArena, EveryTextReadsBackAsStoredAcrossChunks) {
  registry::TextArena arena;
  constexpr std::size_t kChunk = std::size_t{2} << 20;
  const std::size_t sizes[] = {1, 0, 37, 4096, kChunk / 8, kChunk / 8 + 1, kChunk / 4, kChunk / 4 + 1, 3 * kChunk, 5, kChunk - 7};
  std::vector<std::pair<registry::TextArena::Ref, std::string>> stored;
  for (int round = 0; round < 3; ++round)
    for (std::size_t size : sizes) {
      std::string text(size, '\0');
      for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('A' + (i * 7 + stored.size()) % 53);
      stored.emplace_back(arena.store(text), std::move(text));
    }
  for (std::size_t i = 0; i < stored.size(); ++i) ASSERT_EQ(arena.get(stored[i].first), stored[i].second) << i;
}

}  // namespace
}  // namespace comsweep::test
