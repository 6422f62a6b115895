// Replays, through the harness the fuzz targets run, every input a target
// once failed on (tests/data/fuzz/<target>/crash-*.bin) and the seeds the
// targets start from (fuzz/corpus/<target>/).

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "fuzz/FuzzHarness.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

namespace fs = std::filesystem;
using fuzz::FuzzHarness;
using fuzz::Reader;

const struct { Reader reader; const char* name; } kTargets[] = {
    {Reader::RegFile, "regfile"}, {Reader::Hive, "hive"}, {Reader::Wine, "wine"}};

// Every input a target once failed on is refused or read consistently. The
// seeds also open and get through the whole exercise: a harness that refused
// them would let the fuzzers test nothing but refusals.
TEST(FuzzRegression, CrashersAreRefusedOrReadConsistentlySeedsOpenAndSurvive) {
  for (const auto& target : kTargets) {
    std::vector<fs::path> files = filesStarting(fs::path(COMSWEEP_TEST_DATA) / "fuzz" / target.name, "crash-");
    const std::vector<fs::path> seeds = filesStarting(fs::path(COMSWEEP_FUZZ_CORPUS) / target.name, "");
    const std::size_t crashers = files.size();
    files.insert(files.end(), seeds.begin(), seeds.end());
    std::size_t keys = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
      SCOPED_TRACE(files[i].string());
      TempDir dir;
      FuzzHarness harness(target.reader, dir.path());
      EXPECT_EQ(harness.run(readFile(files[i])), "");
      if (i < crashers) continue;
      EXPECT_TRUE(harness.lastOpened());
      keys += harness.lastKeyCount();
    }
    EXPECT_GT(crashers, 0u) << "no crasher for " << target.name;
    EXPECT_GT(keys, 4 * seeds.size()) << target.name;  // fails on no seeds too
  }
}

}  // namespace
}  // namespace comsweep::test
