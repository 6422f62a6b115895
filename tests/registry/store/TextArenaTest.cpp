#include "registry/store/TextArena.h"

#include <gtest/gtest.h>

#include <stdexcept>
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

// Past the chunks a ref can name, store and adopt refuse instead of handing
// out a ref that would read another text; what was stored still reads back.
TEST(TextArena, RefusesMoreChunksThanARefNames) {
  registry::TextArena arena(2);
  const std::string large(std::size_t{300} << 10, 'L');
  const registry::TextArena::Ref first = arena.store("small");
  const registry::TextArena::Ref second = arena.store(large);
  EXPECT_THROW(arena.store(large), std::length_error);
  EXPECT_THROW(arena.store(std::string(std::size_t{1} << 20, 'x')), std::length_error);
  EXPECT_EQ(arena.get(first), "small");
  EXPECT_EQ(arena.get(second), large);

  registry::TextArena other;
  other.store("another");
  EXPECT_THROW(arena.adopt(std::move(other)), std::length_error);
  registry::TextArena roomy(3);
  roomy.store("x");
  registry::TextArena more;
  const registry::TextArena::Ref kept = more.store("adopted");
  EXPECT_EQ(roomy.get(registry::TextArena::moved(kept, roomy.adopt(std::move(more)))), "adopted");
}

}  // namespace
}  // namespace comsweep::test
