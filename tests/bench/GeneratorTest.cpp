// The synthetic machine generator: its files are read back through the
// stores and checked for determinism and the family count that the
// benchmarks compare runs against.

#include <gtest/gtest.h>

#include <optional>

#include "families/PatternList.h"
#include "gen/MachineGenerator.h"
#include "registry/handles/HandleTable.h"
#include "machine/Machine.h"
#include "scan/Scanner.h"
#include "support/Fixture.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

namespace fs = std::filesystem;
using bench::GeneratorResult;
using bench::MachineFormat;
using Profile = bench::ClassesModel::Profile;

// Opens the machine and runs the scans with every family selected.
scan::ScanResult scanAll(const fs::path& machine, std::uint64_t* keys = nullptr) {
  registry::MachineOpenResult opened = registry::openMachine(machine);
  EXPECT_TRUE(opened.machine) << opened.failure.why;
  if (!opened.machine) return {};
  if (keys) *keys = allKeys(*opened.machine->store).size();
  families::Selection all;
  all.boxes.fill(1);
  registry::HandleTable api(*opened.machine->store);
  return scan::scanRegistry(api, registry::HKEY_CLASSES_ROOT, families::buildPatternList(all));
}

// Every format opens as a machine, holds the keys promised, is the same
// for the same seed, and the scans list exactly the family keys the
// benchmark counts on, whatever the size and profile (small machines put
// family components first in CLSID and Interface now and then, where the
// scans never look; the demo's near misses must not be listed).
TEST(MachineGenerator, EveryFormatOpensAndTheScansListThePromisedFamilyKeys) {
  for (Profile profile : {Profile::Bench, Profile::Demo})
    for (std::uint32_t classes : {1u, 40u, 300u}) {
      std::optional<GeneratorResult> first;
      for (MachineFormat format : {MachineFormat::Wine, MachineFormat::Reg, MachineFormat::Hive}) {
        SCOPED_TRACE(::testing::Message() << classes << " classes, format " << int(format) << ", profile " << int(profile));
        TempDir dir;
        const bool wine = format == MachineFormat::Wine;
        auto file = [&](const char* name) { return dir / name / (wine ? "system.reg" : "m"); };
        GeneratorResult run;
        for (const char* name : {"a", "b"}) {
          fs::create_directories(dir / name / "drive_c");
          run = bench::generateMachine({classes, format, file(name).string(), 1, profile});
          ASSERT_TRUE(run.ok) << run.error;
        }
        EXPECT_EQ(readFile(file("a")), readFile(file("b")));
        EXPECT_EQ(run.bytes, fs::file_size(file("a")));
        if (!first) first = run;
        EXPECT_EQ(std::pair(run.keys, run.familyKeys), std::pair(first->keys, first->familyKeys));
        std::uint64_t keys = 0;
        scan::ScanResult scanned = scanAll(wine ? dir / "a" : file("a"), &keys);
        EXPECT_EQ(std::pair(keys, std::uint64_t(scanned.found)), std::pair(run.keys, run.familyKeys));
      }
      EXPECT_GT(first->keys, classes * 8u);
      EXPECT_GT(first->familyKeys, 0u);
    }
}

}  // namespace
}  // namespace comsweep::test
