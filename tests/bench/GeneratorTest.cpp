// The synthetic machine generator: its files are read back through the
// stores and checked for determinism and the family count that the
// benchmarks compare runs against.

#include <gtest/gtest.h>

#include <optional>

#include "families/PatternList.h"
#include "gen/MachineGenerator.h"
#include "registry/handles/HandleTable.h"
#include "registry/hive/HiveStore.h"
#include "registry/regfile/RegFileStore.h"
#include "registry/store/SecondCore.h"
#include "registry/wine/WineRegStore.h"
#include "machine/Machine.h"
#include "scan/Scanner.h"
#include "support/Fixture.h"
#include "support/MachineDump.h"
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
      EXPECT_GT(first->familyKeys, 0u);
    }
}

// Removes every 37th key that has no subkeys, in enumeration order.
void removeSome(registry::Store& store, registry::NodeId node, std::size_t& seen) {
  for (std::uint32_t i = store.childCount(node); i-- > 0;) {
    registry::NodeId child = store.childAt(node, i);
    if (store.childCount(child) > 0) {
      removeSome(store, child, seen);
    } else if (++seen % 37 == 0) {
      ASSERT_EQ(store.removeLeaf(node, child), registry::ERROR_SUCCESS);
    }
  }
}

// A file read with its work split over two cores (the part of a text file
// read on the second giving memory back as it goes) holds the same tree as
// read on one, and saves the same file after the same removals; so does a
// text file read into memory of its own rather than mapped.
TEST(MachineGenerator, EveryFormatReadsOnTwoCoresAsOnOne) {
  registry::BlockFileStore::setReleaseStep(4096);
  enum Way { OneCore, TwoCores, ReadNotMapped };
  for (MachineFormat format : {MachineFormat::Wine, MachineFormat::Reg, MachineFormat::Hive})
    for (bool win64 : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "format " << int(format) << (win64 ? ", 64-bit" : ""));
      TempDir dir;
      bench::GeneratorOptions options{300, format, (dir / "machine").string(), 7, Profile::Bench, win64};
      ASSERT_TRUE(bench::generateMachine(options).ok);
      std::string trees[3], saved[3];
      for (Way way : {OneCore, TwoCores, ReadNotMapped}) {
        SCOPED_TRACE(::testing::Message() << "way " << int(way));
        const fs::path file = dir / std::to_string(way);
        fs::copy_file(dir / "machine", file);
        registry::setSplitThreshold(way == TwoCores ? 0 : SIZE_MAX);
        registry::BlockFileStore::mapFiles(way != ReadNotMapped);
        std::string error;
        std::unique_ptr<registry::Store> store;
        if (format == MachineFormat::Wine)
          store = registry::WineRegStore::load(file, error);
        else if (format == MachineFormat::Reg)
          store = registry::RegFileStore::open(file, error);
        else
          store = registry::HiveStore::open(file, registry::HiveStore::Top::ClassesRequired, error);
        registry::BlockFileStore::mapFiles(true);
        ASSERT_TRUE(store) << error;
        trees[way] = dump(*store, true);
        std::size_t seen = 0;
        removeSome(*store, store->root(), seen);
        ASSERT_FALSE(store->save().failure.failed());
        saved[way] = readFile(file);
      }
      EXPECT_GT(trees[OneCore].size(), 10000u);
      EXPECT_TRUE(trees[OneCore] == trees[TwoCores]);
      EXPECT_TRUE(saved[OneCore] == saved[TwoCores]);
      EXPECT_TRUE(trees[OneCore] == trees[ReadNotMapped]);
      EXPECT_TRUE(saved[OneCore] == saved[ReadNotMapped]);
      EXPECT_NE(saved[OneCore], readFile(dir / "machine"));
    }
  registry::resetSplitThreshold();
  registry::BlockFileStore::setReleaseStep(registry::BlockFileStore::kReleaseStep);
}

}  // namespace
}  // namespace comsweep::test
