// The synthetic machine generator: its files are read back through the
// stores and libhivex and checked for determinism, shape, the family count
// that the benchmarks compare runs against, and the demo machine's spread.

#include <gtest/gtest.h>
#include <hivex.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <sstream>

#include "families/PatternList.h"
#include "gen/MachineGenerator.h"
#include "gen/Naming.h"
#include "registry/HandleTable.h"
#include "registry/Machine.h"
#include "scan/Scanner.h"
#include "support/Fixture.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

namespace fs = std::filesystem;
using bench::GeneratorResult;
using bench::MachineFormat;
using Profile = bench::ClassesModel::Profile;
constexpr MachineFormat kFormats[] = {MachineFormat::Wine, MachineFormat::Reg, MachineFormat::Hive};

GeneratorResult generate(const fs::path& file, MachineFormat format, std::uint32_t classes,
                         std::uint64_t seed = 7, Profile profile = Profile::Bench) {
  return bench::generateMachine({classes, format, file.string(), seed, profile});
}

// Opens the machine and runs the scans with every family selected.
scan::ScanResult scanAll(const fs::path& machine, std::uint64_t* keys = nullptr) {
  registry::MachineOpenResult opened = registry::openMachine(machine);
  EXPECT_TRUE(opened.machine) << opened.error;
  if (!opened.machine) return {};
  if (keys) *keys = allKeys(*opened.machine->store).size();
  families::Selection all;
  all.boxes.fill(1);
  registry::HandleTable api(*opened.machine->store);
  return scan::scanRegistry(api, registry::HKEY_CLASSES_ROOT, families::buildPatternList(all));
}

// Every format opens as a machine, holds the keys promised, is the same
// for the same seed, and the scans list exactly the family keys the
// benchmark counts on, whatever the size, seed and profile (small machines
// put family components first in CLSID and Interface now and then, where the
// scans never look; the demo's near misses must not be listed).
TEST(MachineGenerator, EveryFormatOpensAndTheScansListThePromisedFamilyKeys) {
  for (Profile profile : {Profile::Bench, Profile::Demo})
    for (std::uint32_t classes : {1u, 40u, 300u}) {
      std::optional<GeneratorResult> first;
      for (MachineFormat format : kFormats) {
        TempDir dir;
        for (const char* name : {"a", "b", "c"}) fs::create_directories(dir / name / "drive_c");
        auto file = [&](const char* name) {
          return format == MachineFormat::Wine ? dir / name / "system.reg" : dir / name / "m";
        };
        GeneratorResult a = generate(file("a"), format, classes, 1, profile);
        GeneratorResult b = generate(file("b"), format, classes, 1, profile);
        GeneratorResult c = generate(file("c"), format, classes, 2, profile);
        ASSERT_TRUE(a.ok && b.ok && c.ok) << a.error;
        EXPECT_EQ(readFile(file("a")), readFile(file("b")));
        EXPECT_NE(readFile(file("a")), readFile(file("c")));
        EXPECT_EQ(a.bytes, fs::file_size(file("a")));
        EXPECT_GT(a.familyKeys, 0u);
        if (!first) first = a;
        EXPECT_EQ(a.keys, first->keys);
        EXPECT_EQ(a.familyKeys, first->familyKeys);
        for (const auto& [name, result] : {std::pair{"a", a}, std::pair{"c", c}}) {
          std::uint64_t keys = 0;
          scan::ScanResult scanned =
              scanAll(format == MachineFormat::Wine ? dir / name : file(name), &keys);
          EXPECT_EQ(keys, result.keys);
          EXPECT_EQ(static_cast<std::uint64_t>(scanned.found), result.familyKeys)
              << classes << " classes, format " << static_cast<int>(format) << ", profile "
              << static_cast<int>(profile);
        }
      }
      EXPECT_GT(first->keys, classes * 8u);
    }
}

// The machine scripts/demo cleans (2,000 classes, seed 1): every fragment,
// "+" fragments included, is listed somewhere, and more classes carry a
// fragment in some text than the scans list, so the near misses are there
// to be left alone.
TEST(MachineGenerator, DemoMachineShowsEveryFragmentBesideNearMisses) {
  TempDir dir;
  fs::create_directories(dir / "prefix" / "drive_c");
  ASSERT_TRUE(generate(dir / "prefix" / "system.reg", MachineFormat::Wine, 2000, 1, Profile::Demo).ok);
  scan::ScanResult scanned = scanAll(dir / "prefix");
  std::string listed;
  std::size_t listedClasses = 0;
  for (std::size_t i = 1; i <= scanned.keys.count(); ++i) {
    const scan::FoundKey& key = scanned.keys.item(i);
    listed += bench::lowerAscii(key.name + "|" + key.foundValue) + "\n";
    listedClasses += key.category == "CLSID";
  }
  for (std::string_view fragment : bench::kFamilyFragments)
    EXPECT_NE(listed.find(bench::lowerAscii(fragment)), std::string::npos) << fragment;

  // Classes with a fragment anywhere in their block lines, from the file.
  std::set<std::string> carrying;
  std::istringstream lines(readFile(dir / "prefix" / "system.reg"));
  const std::string prefix = "[Software\\\\Classes\\\\CLSID\\\\{";
  for (std::string line, clsid; std::getline(lines, line);) {
    if (line.rfind("[", 0) == 0) clsid = line.rfind(prefix, 0) == 0 ? line.substr(prefix.size(), 36) : "";
    else if (!clsid.empty() && bench::containsFragment(line)) carrying.insert(clsid);
  }
  EXPECT_GE(carrying.size(), listedClasses + 10);
}

struct HiveCloser {
  void operator()(hive_h* h) const { hivex_close(h); }
};
using Hive = std::unique_ptr<hive_h, HiveCloser>;

std::vector<hive_node_h> children(hive_h* h, hive_node_h node) {
  std::unique_ptr<hive_node_h, decltype(&std::free)> list(hivex_node_children(h, node), &std::free);
  EXPECT_TRUE(list) << std::strerror(errno);
  std::vector<hive_node_h> out;
  for (hive_node_h* p = list.get(); p && *p; ++p) out.push_back(*p);
  return out;
}

std::uint64_t countKeys(hive_h* h, hive_node_h node) {
  std::uint64_t n = 1;
  for (hive_node_h child : children(h, node)) n += countKeys(h, child);
  return n;
}

std::uint32_t le32(const std::string& bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 4; i-- > 0;) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
  return v;
}

// 1,200 classes: CLSID's subkeys need an ri index of lh leaves, Interface's
// 600 a single lh larger than one page; libhivex reads them and deletes
// from them.
TEST(MachineGenerator, HiveHasTheShapeAndCountsPromisedAndTakesDeletionsThroughLibhivex) {
  TempDir dir;
  GeneratorResult result = generate(dir / "SOFTWARE", MachineFormat::Hive, 1200);
  ASSERT_TRUE(result.ok) << result.error;
  Hive hive(hivex_open((dir / "SOFTWARE").c_str(), HIVEX_OPEN_WRITE));
  ASSERT_TRUE(hive) << std::strerror(errno);
  hive_h* h = hive.get();
  hive_node_h root = hivex_root(h), classes = hivex_node_get_child(h, root, "Classes");
  EXPECT_EQ(children(h, root).size(), 3u);
  hive_node_h clsid = hivex_node_get_child(h, classes, "CLSID");
  EXPECT_EQ(hivex_node_nr_children(h, clsid), 1200u);
  EXPECT_EQ(hivex_node_nr_children(h, hivex_node_get_child(h, classes, "Interface")), 600u);
  EXPECT_EQ(countKeys(h, classes) - 1, result.keys);
  // Every key refers to the one security cell, whose count says so.
  std::string bytes = readFile(dir / "SOFTWARE");
  std::uint32_t sk = le32(bytes, 0x1000 + le32(bytes, 0x24) + 4 + 0x2C);
  EXPECT_EQ(bytes.substr(0x1000 + sk + 4, 2), "sk");
  EXPECT_EQ(le32(bytes, 0x1000 + sk + 4 + 0x0C), countKeys(h, root));

  hive_node_h last = children(h, clsid).back();  // in the last leaf of the ri index
  std::unique_ptr<char, decltype(&std::free)> lastName(hivex_node_name(h, last), &std::free);
  ASSERT_EQ(hivex_node_delete_child(h, last), 0) << std::strerror(errno);
  ASSERT_EQ(hivex_node_delete_child(h, hivex_node_get_child(h, classes, "Interface")), 0);
  ASSERT_EQ(hivex_commit(h, (dir / "after").c_str(), 0), 0) << std::strerror(errno);
  Hive after(hivex_open((dir / "after").c_str(), 0));
  ASSERT_TRUE(after);
  h = after.get();
  classes = hivex_node_get_child(h, hivex_root(h), "Classes");
  clsid = hivex_node_get_child(h, classes, "CLSID");
  EXPECT_EQ(hivex_node_nr_children(h, clsid), 1199u);
  EXPECT_EQ(hivex_node_get_child(h, clsid, lastName.get()), 0u);
  EXPECT_EQ(hivex_node_get_child(h, classes, "Interface"), 0u);
}

TEST(MachineGenerator, RefusesBadArgumentsAndReportsOutputThatCannotBeWritten) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{}, "required"},
      {{"--classes", "0", "--format", "wine", "--out", "x"}, "--classes"},
      {{"--classes", "10000001", "--format", "wine", "--out", "x"}, "--classes"},
      {{"--classes", "12x", "--format", "wine", "--out", "x"}, "--classes"},
      {{"--classes", "10", "--format", "regf", "--out", "x"}, "--format"},
      {{"--classes", "10", "--format", "reg", "--out", ""}, "--out"},
      {{"--classes", "10", "--format", "reg", "--out", "x", "--seed", "0x"}, "--seed"},
      {{"--classes", "10", "--format", "reg", "--out", "x", "--classes", "3"}, "twice"},
      {{"--classes", "10", "--format", "reg", "--out", "x", "--verbose"}, "--verbose"},
      {{"--classes", "10", "--format", "reg", "--out", "x", "--seed"}, "needs a value"},
      {{"--classes", "10", "--format", "reg", "--out", "x", "--profile", "Demo"}, "--profile"},
  };
  for (const auto& [args, says] : cases) {
    std::string error;
    EXPECT_FALSE(bench::parseGeneratorArguments(args, error)) << says;
    EXPECT_NE(error.find(says), std::string::npos) << error;
  }
  std::string error;
  auto ok = bench::parseGeneratorArguments(
      {"--seed", "0x1F", "--out", "m", "--format", "hive", "--classes", "5", "--profile", "demo"}, error);
  ASSERT_TRUE(ok) << error;
  EXPECT_TRUE(ok->profile == Profile::Demo && ok->seed == 0x1Fu && ok->classes == 5u &&
              ok->format == MachineFormat::Hive);

  TempDir dir;
  for (MachineFormat format : kFormats) {
    GeneratorResult r = generate(dir / "missing" / "m", format, 10);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find((dir / "missing" / "m").string()), std::string::npos) << r.error;
  }
  // A failed run leaves the earlier file of that name alone.
  writeFile(dir / "kept", "earlier");
  fs::create_directory(dir / "kept.partial");
  EXPECT_FALSE(generate(dir / "kept", MachineFormat::Hive, 10).ok);
  EXPECT_EQ(readFile(dir / "kept"), "earlier");
}

}  // namespace
}  // namespace comsweep::test
