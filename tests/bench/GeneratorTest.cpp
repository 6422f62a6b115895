// The synthetic machine generator: its files are read back through the
// stores and libhivex and checked for determinism, shape, the family count
// that the benchmarks compare runs against, and the demo machine's spread.

#include <gtest/gtest.h>
#include <hivex.h>

#include <algorithm>
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

using bench::GeneratorOptions;
using bench::GeneratorResult;
using bench::MachineFormat;
using Profile = bench::ClassesModel::Profile;

GeneratorResult generate(const std::filesystem::path& file, MachineFormat format, std::uint32_t classes,
                         std::uint64_t seed = 7, Profile profile = Profile::Bench) {
  return bench::generateMachine({classes, format, file.string(), seed, profile});
}

// Every family's keys, as a run with every family selected lists them.
scan::FoundKeyList scanAll(registry::Store& store, std::int32_t& count) {
  families::Selection all;
  all.boxes.fill(1);
  registry::HandleTable api(store);
  scan::ScanResult scanned =
      scan::scanRegistry(api, registry::HKEY_CLASSES_ROOT, families::buildPatternList(all));
  count = scanned.found;
  return std::move(scanned.keys);
}

TEST(MachineGenerator, SameSeedSameBytesInEveryFormatAndTheSameKeys) {
  TempDir dir;
  std::optional<GeneratorResult> first;
  for (MachineFormat format : {MachineFormat::Wine, MachineFormat::Reg, MachineFormat::Hive}) {
    GeneratorResult a = generate(dir / "a", format, 300);
    GeneratorResult b = generate(dir / "b", format, 300);
    GeneratorResult c = generate(dir / "c", format, 300, 8);
    ASSERT_TRUE(a.ok && b.ok && c.ok) << a.error;
    EXPECT_EQ(readFile(dir / "a"), readFile(dir / "b"));
    EXPECT_NE(readFile(dir / "a"), readFile(dir / "c"));
    EXPECT_EQ(a.bytes, std::filesystem::file_size(dir / "a"));
    EXPECT_GT(a.familyKeys, 0u);
    if (!first) first = a;
    EXPECT_EQ(a.keys, first->keys);
    EXPECT_EQ(a.familyKeys, first->familyKeys);
  }
  EXPECT_GT(first->keys, 300u * 8);
}

// Every format opens as a machine, holds the keys promised, and the scans
// list exactly the family keys the benchmark counts on, whatever the size,
// seed and profile (small machines put family components first in CLSID and
// Interface now and then, where the scans never look; the demo's near misses
// must not be listed).
TEST(MachineGenerator, EveryFormatOpensAndTheScansListThePromisedFamilyKeys) {
  for (Profile profile : {Profile::Bench, Profile::Demo})
    for (std::uint32_t classes : {1u, 40u, 300u})
      for (std::uint64_t seed : {1u, 2u})
        for (MachineFormat format : {MachineFormat::Wine, MachineFormat::Reg, MachineFormat::Hive}) {
          TempDir dir;
          std::filesystem::path machine = format == MachineFormat::Wine ? dir / "prefix" : dir / "m";
          std::filesystem::path file = format == MachineFormat::Wine ? machine / "system.reg" : machine;
          std::filesystem::create_directories(dir / "prefix" / "drive_c");
          GeneratorResult result = generate(file, format, classes, seed, profile);
          ASSERT_TRUE(result.ok) << result.error;
          registry::MachineOpenResult opened = registry::openMachine(machine);
          ASSERT_TRUE(opened.machine) << opened.error;
          EXPECT_EQ(allKeys(*opened.machine->store).size(), result.keys);
          std::int32_t count = 0;
          scanAll(*opened.machine->store, count);
          EXPECT_EQ(static_cast<std::uint64_t>(count), result.familyKeys)
              << classes << " classes, seed " << seed << ", format " << static_cast<int>(format) << ", profile "
              << static_cast<int>(profile);
        }
}

// The machine scripts/demo cleans (2,000 classes, seed 1): every fragment,
// "+" fragments included, is listed somewhere, and more classes carry a
// fragment in some text than the scans list, so the near misses are there
// to be left alone.
TEST(MachineGenerator, DemoMachineShowsEveryFragmentBesideNearMisses) {
  TempDir dir;
  std::filesystem::create_directories(dir / "prefix" / "drive_c");
  GeneratorResult result = generate(dir / "prefix" / "system.reg", MachineFormat::Wine, 2000, 1, Profile::Demo);
  ASSERT_TRUE(result.ok) << result.error;
  registry::MachineOpenResult opened = registry::openMachine(dir / "prefix");
  ASSERT_TRUE(opened.machine) << opened.error;
  std::int32_t count = 0;
  scan::FoundKeyList found = scanAll(*opened.machine->store, count);
  EXPECT_EQ(static_cast<std::uint64_t>(count), result.familyKeys);
  std::size_t listedClasses = 0;
  for (std::string_view fragment : bench::kFamilyFragments) {
    bool shown = false;
    for (std::size_t i = 1; i <= found.count(); ++i) {
      const scan::FoundKey& key = found.item(i);
      std::string texts = bench::lowerAscii(key.name + "|" + key.foundValue);
      shown = shown || texts.find(bench::lowerAscii(fragment)) != std::string::npos;
    }
    EXPECT_TRUE(shown) << fragment;
  }
  for (std::size_t i = 1; i <= found.count(); ++i) listedClasses += found.item(i).category == "CLSID";

  // Classes with a fragment anywhere in their block lines, from the file.
  std::set<std::string> carrying;
  std::istringstream lines(readFile(dir / "prefix" / "system.reg"));
  std::string line, clsid;
  const std::string prefix = "[Software\\\\Classes\\\\CLSID\\\\{";
  while (std::getline(lines, line)) {
    if (line.rfind("[", 0) == 0) clsid = line.rfind(prefix, 0) == 0 ? line.substr(prefix.size(), 36) : "";
    else if (!clsid.empty() && bench::containsFragment(line)) carrying.insert(clsid);
  }
  EXPECT_GE(carrying.size(), listedClasses + 10);
}

// libhivex through RAII.
struct HiveCloser {
  void operator()(hive_h* h) const { hivex_close(h); }
};
using Hive = std::unique_ptr<hive_h, HiveCloser>;

std::string nodeName(hive_h* h, hive_node_h node) {
  std::unique_ptr<char, decltype(&std::free)> name(hivex_node_name(h, node), &std::free);
  return name ? name.get() : "";
}

std::vector<hive_node_h> children(hive_h* h, hive_node_h node) {
  std::unique_ptr<hive_node_h, decltype(&std::free)> list(hivex_node_children(h, node), &std::free);
  std::vector<hive_node_h> out;
  for (hive_node_h* p = list.get(); p && *p; ++p) out.push_back(*p);
  EXPECT_TRUE(list) << std::strerror(errno);
  return out;
}

// The default value when it is a REG_SZ, as the scans read it.
std::optional<std::string> defaultString(hive_h* h, hive_node_h node) {
  hive_value_h value = hivex_node_get_value(h, node, "");
  hive_type type;
  std::size_t length;
  if (!value || hivex_value_type(h, value, &type, &length) != 0 || type != hive_t_REG_SZ) return std::nullopt;
  std::unique_ptr<char, decltype(&std::free)> text(hivex_value_string(h, value), &std::free);
  return text ? std::optional<std::string>(text.get()) : std::nullopt;
}

std::uint64_t countKeys(hive_h* h, hive_node_h node) {
  std::uint64_t n = 1;
  for (hive_node_h child : children(h, node)) n += countKeys(h, child);
  return n;
}

std::uint32_t le32(const std::string& bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
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
  hive_node_h root = hivex_root(h);
  std::vector<std::string> top;
  for (hive_node_h n : children(h, root)) top.push_back(nodeName(h, n));
  EXPECT_EQ(top, (std::vector<std::string>{"Classes", "Microsoft", "Policies"}));

  hive_node_h classes = hivex_node_get_child(h, root, "Classes");
  EXPECT_EQ(hivex_node_nr_children(h, hivex_node_get_child(h, classes, "CLSID")), 1200u);
  EXPECT_EQ(hivex_node_nr_children(h, hivex_node_get_child(h, classes, "Interface")), 600u);
  EXPECT_EQ(countKeys(h, classes) - 1, result.keys);

  // Inline data (four bytes or less), a DWORD, an expandable string.
  hive_node_h lib = children(h, hivex_node_get_child(h, classes, "TypeLib"))[0];
  hive_node_h flags = hivex_node_get_child(h, children(h, lib)[0], "FLAGS");
  EXPECT_EQ(defaultString(h, flags), "0");
  hive_node_h folder = hivex_node_get_child(h, classes, "Folder");
  EXPECT_EQ(hivex_value_dword(h, hivex_node_get_value(h, folder, "EditFlags")), 0xd2);
  hive_node_h version = hivex_node_get_child(h, hivex_node_get_child(h, hivex_node_get_child(h, root, "Microsoft"), "Windows"), "CurrentVersion");
  hive_type type;
  std::size_t length;
  ASSERT_EQ(hivex_value_type(h, hivex_node_get_value(h, version, "ProgramFilesPath"), &type, &length), 0);
  EXPECT_EQ(type, hive_t_REG_EXPAND_SZ);

  // Every key refers to the one security cell, whose count says so.
  std::string bytes = readFile(dir / "SOFTWARE");
  std::uint32_t rootCell = le32(bytes, 0x24);
  std::uint32_t sk = le32(bytes, 0x1000 + rootCell + 4 + 0x2C);
  EXPECT_EQ(bytes.substr(0x1000 + sk + 4, 2), "sk");
  EXPECT_EQ(le32(bytes, 0x1000 + sk + 4 + 0x0C), countKeys(h, root));

  std::vector<hive_node_h> clsids = children(h, hivex_node_get_child(h, classes, "CLSID"));
  std::string last = nodeName(h, clsids.back());  // in the last leaf of the ri index
  std::uint64_t removed = countKeys(h, clsids.back()) + countKeys(h, hivex_node_get_child(h, classes, "Interface"));
  ASSERT_EQ(hivex_node_delete_child(h, clsids.back()), 0) << std::strerror(errno);
  ASSERT_EQ(hivex_node_delete_child(h, hivex_node_get_child(h, classes, "Interface")), 0) << std::strerror(errno);
  ASSERT_EQ(hivex_commit(h, (dir / "after").c_str(), 0), 0) << std::strerror(errno);

  Hive after(hivex_open((dir / "after").c_str(), 0));
  ASSERT_TRUE(after);
  h = after.get();
  classes = hivex_node_get_child(h, hivex_root(h), "Classes");
  hive_node_h clsid = hivex_node_get_child(h, classes, "CLSID");
  EXPECT_EQ(hivex_node_nr_children(h, clsid), 1199u);
  EXPECT_EQ(hivex_node_get_child(h, clsid, last.c_str()), 0u);
  EXPECT_EQ(hivex_node_get_child(h, classes, "Interface"), 0u);
  EXPECT_EQ(countKeys(h, classes), result.keys + 1 - removed);
}

TEST(MachineGenerator, RefusesBadArgumentsAndReportsOutputThatCannotBeWritten) {
  struct Case {
    std::vector<std::string> args;
    const char* error;
  };
  const Case cases[] = {
      {{}, "required"},
      {{"--classes", "10", "--format", "wine"}, "required"},
      {{"--classes", "0", "--format", "wine", "--out", "x"}, "--classes"},
      {{"--classes", "10000001", "--format", "wine", "--out", "x"}, "--classes"},
      {{"--classes", "12x", "--format", "wine", "--out", "x"}, "--classes"},
      {{"--classes", "-5", "--format", "wine", "--out", "x"}, "--classes"},
      {{"--classes", "10", "--format", "regf", "--out", "x"}, "--format"},
      {{"--classes", "10", "--format", "reg", "--out", ""}, "--out"},
      {{"--classes", "10", "--format", "reg", "--out", "x", "--seed", "0x"}, "--seed"},
      {{"--classes", "10", "--format", "reg", "--out", "x", "--classes", "3"}, "twice"},
      {{"--classes", "10", "--format", "reg", "--out", "x", "--verbose"}, "--verbose"},
      {{"--classes", "10", "--format", "reg", "--out", "x", "--seed"}, "needs a value"},
      {{"--classes", "10", "--format", "reg", "--out", "x", "--profile", "Demo"}, "--profile"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(bench::parseGeneratorArguments(c.args, error)) << c.error;
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
  std::string error;
  std::optional<GeneratorOptions> ok =
      bench::parseGeneratorArguments({"--seed", "0x1F", "--out", "m", "--format", "hive", "--classes", "5",
                                      "--profile", "demo"}, error);
  ASSERT_TRUE(ok) << error;
  EXPECT_EQ(ok->profile, Profile::Demo);
  EXPECT_EQ(ok->seed, 0x1Fu);
  EXPECT_EQ(ok->classes, 5u);
  EXPECT_EQ(ok->format, MachineFormat::Hive);

  TempDir dir;
  for (MachineFormat format : {MachineFormat::Wine, MachineFormat::Reg, MachineFormat::Hive}) {
    GeneratorResult r = generate(dir / "missing" / "m", format, 10);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find((dir / "missing" / "m").string()), std::string::npos) << r.error;
  }
  // A failed run leaves the earlier file of that name alone.
  writeFile(dir / "kept", "earlier");
  std::filesystem::create_directory(dir / "kept.partial");
  GeneratorResult blocked = generate(dir / "kept", MachineFormat::Hive, 10);
  EXPECT_FALSE(blocked.ok);
  EXPECT_EQ(readFile(dir / "kept"), "earlier");
  // The smallest machine still has one component of every kind in a family.
  GeneratorResult tiny = generate(dir / "tiny", MachineFormat::Wine, 1);
  ASSERT_TRUE(tiny.ok);
  EXPECT_GT(tiny.familyKeys, 0u);
}

}  // namespace
}  // namespace comsweep::test
