// Replays, through the harness the fuzz targets run, every input a target
// once failed on (tests/data/fuzz/<target>/crash-*.bin) and the seeds the
// targets start from (fuzz/corpus/<target>/).

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "fuzz/FuzzHarness.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

namespace fs = std::filesystem;
using fuzz::FuzzHarness;
using fuzz::Reader;

struct Target {
  Reader reader;
  const char* name;
};

const Target kTargets[] = {
    {Reader::RegFile, "regfile"},
    {Reader::Hive, "hive"},
    {Reader::Wine, "wine"},
};

std::vector<fs::path> filesIn(const fs::path& dir, std::string_view prefix = {}) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file() && it->path().filename().string().rfind(prefix, 0) == 0)
      files.push_back(it->path());
  std::sort(files.begin(), files.end());
  return files;
}

TEST(FuzzRegression, EveryCrasherIsRefusedOrReadConsistently) {
  std::size_t replayed = 0;
  for (const Target& target : kTargets) {
    for (const fs::path& file : filesIn(fs::path(COMSWEEP_TEST_DATA) / "fuzz" / target.name, "crash-")) {
      SCOPED_TRACE(file.string());
      TempDir dir;
      FuzzHarness harness(target.reader, dir.path());
      EXPECT_EQ(harness.run(readFile(file)), "");
      ++replayed;
    }
  }
  EXPECT_GT(replayed, 0u) << "no crasher found below " << COMSWEEP_TEST_DATA "/fuzz";
}

// The seeds must get through the whole exercise, opened: a harness that
// refused them would let the fuzzers test nothing but refusals.
TEST(FuzzRegression, SeedsOpenAndSurviveRemovalsAndASave) {
  for (const Target& target : kTargets) {
    std::vector<fs::path> seeds = filesIn(fs::path(COMSWEEP_FUZZ_CORPUS) / target.name);
    EXPECT_FALSE(seeds.empty()) << target.name;
    std::size_t keys = 0;
    for (const fs::path& seed : seeds) {
      SCOPED_TRACE(seed.string());
      TempDir dir;
      FuzzHarness harness(target.reader, dir.path());
      EXPECT_EQ(harness.run(readFile(seed)), "");
      EXPECT_TRUE(harness.lastOpened());
      keys += harness.lastKeyCount();
    }
    EXPECT_GT(keys, 4 * seeds.size()) << target.name;
  }
}

}  // namespace
}  // namespace comsweep::test
