// The synthetic machine generator: its files are read back the way the
// stores will read them (text parsed, hives through libhivex) and checked for
// determinism, order, agreement between formats, and the family count that
// the benchmarks compare runs against.

#include <gtest/gtest.h>
#include <hivex.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "gen/MachineGenerator.h"
#include "registry/Text.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

using bench::GeneratorOptions;
using bench::GeneratorResult;
using bench::MachineFormat;
using Path = std::vector<std::string>;

GeneratorResult generate(const std::filesystem::path& file, MachineFormat format, std::uint32_t classes,
                         std::uint64_t seed = 7) {
  return bench::generateMachine({classes, format, file.string(), seed});
}

std::vector<std::string> split(std::string_view text, std::string_view separator) {
  std::vector<std::string> parts;
  for (std::size_t at;; text.remove_prefix(at + separator.size())) {
    at = text.find(separator);
    parts.emplace_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
  }
}

int compareLower(std::string_view a, std::string_view b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    int ca = std::tolower(static_cast<unsigned char>(a[i])), cb = std::tolower(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca - cb;
  }
  return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

// Each path after the first is greater, comparing component by component: a
// depth-first listing with siblings in the order `compare` defines.
bool isRegistryOrdered(const std::vector<Path>& paths, const std::function<int(std::string_view, std::string_view)>& compare) {
  auto less = [&](const Path& a, const Path& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [&](const std::string& x, const std::string& y) { return compare(x, y) < 0; });
  };
  for (std::size_t i = 1; i < paths.size(); ++i)
    if (!less(paths[i - 1], paths[i])) return false;
  return true;
}

struct Block {
  Path path;
  std::vector<std::string> values;  // value lines, continuations joined
};

// Blocks of a system.reg, checking the lines Wine puts around them.
std::vector<Block> parseWine(const std::string& text) {
  const std::string header = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n";
  EXPECT_EQ(text.substr(0, header.size()), header);
  std::vector<Block> blocks;
  std::vector<std::string> lines = split(std::string_view(text).substr(header.size()), "\n");
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.empty() || line[0] != '[') {
      if (!line.empty() && !blocks.empty()) blocks.back().values.push_back(line);
      continue;
    }
    EXPECT_EQ(lines[i - 1], "") << line;
    std::size_t close = line.rfind("] 1700000000");
    EXPECT_EQ(close + 12, line.size()) << line;
    EXPECT_EQ(lines[i + 1], "#time=1da1747c66d0000") << line;
    blocks.push_back({split(line.substr(1, close - 1), "\\\\"), {}});
    ++i;
  }
  return blocks;
}

// Blocks below HKEY_CLASSES_ROOT of a UTF-16LE export, checking its framing.
std::vector<Block> parseReg(const std::string& bytes) {
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  std::string text = registry::utf16leToUtf8(bytes.substr(2));
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT]\r\n\r\n", 0), 0u);
  EXPECT_EQ(text.substr(text.size() - 4), "\r\n\r\n");
  std::vector<Block> blocks;
  bool continued = false;
  for (const std::string& line : split(text, "\r\n")) {
    EXPECT_EQ(line.find('\n'), std::string::npos);
    if (continued || line.find("=hex") != std::string::npos) {
      EXPECT_LE(line.size(), 80u) << line;  // hex data wraps; strings do not
    }
    if (line.rfind("[HKEY_CLASSES_ROOT\\", 0) == 0) {
      blocks.push_back({split(line.substr(19, line.size() - 20), "\\"), {}});
    } else if (!line.empty() && !blocks.empty()) {
      if (continued)
        blocks.back().values.back() += line.substr(2);
      else
        blocks.back().values.push_back(line);
      continued = line.back() == '\\';
      if (continued) blocks.back().values.back().pop_back();
    }
  }
  return blocks;
}

std::vector<Path> pathsOf(const std::vector<Block>& blocks) {
  std::vector<Path> paths;
  for (const Block& b : blocks) paths.push_back(b.path);
  return paths;
}

// `"name"=hex(2):41,00,...,00,00` as Wine writes it, `"name"=str(2):"A"`.
std::string hexExpandToWine(const std::string& line) {
  std::size_t at = line.find("=hex(2):");
  if (at == std::string::npos) return line;
  std::string text;
  std::vector<std::string> bytes = split(line.substr(at + 8), ",");
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    if (char c = static_cast<char>(std::stoi(bytes[i], nullptr, 16)); c != '\0') {
      if (c == '\\' || c == '"') text += '\\';
      text += c;
    }
  return line.substr(0, at) + "=str(2):\"" + text + "\"";
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

TEST(MachineGenerator, TextFormatsListTheSameKeysEachInItsRegistrysOrder) {
  TempDir dir;
  GeneratorResult wine = generate(dir / "system.reg", MachineFormat::Wine, 300);
  GeneratorResult reg = generate(dir / "hkcr.reg", MachineFormat::Reg, 300);
  ASSERT_TRUE(wine.ok && reg.ok);

  std::vector<Block> regBlocks = parseReg(readFile(dir / "hkcr.reg"));
  std::vector<Path> regPaths = pathsOf(regBlocks);
  EXPECT_EQ(regPaths.size(), reg.keys);
  EXPECT_TRUE(isRegistryOrdered(regPaths, registry::compareNoCase));
  // Names with '_' make the two orders differ: the check above has teeth.
  EXPECT_FALSE(isRegistryOrdered(regPaths, compareLower));

  std::vector<Block> blocks = parseWine(readFile(dir / "system.reg"));
  EXPECT_TRUE(isRegistryOrdered(pathsOf(blocks), compareLower));
  // Wine gives a key a block when it has values or no subkeys, never otherwise.
  std::set<Path> classes;
  std::map<Path, std::vector<std::string>> wineValues, regValues;
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    const Path& p = blocks[i].path;
    bool hasSubkeys = i + 1 < blocks.size() && blocks[i + 1].path.size() > p.size() &&
                      std::equal(p.begin(), p.end(), blocks[i + 1].path.begin());
    EXPECT_TRUE(!blocks[i].values.empty() || !hasSubkeys) << p.back();
    if (p.size() <= 2 || p[0] != "Software" || p[1] != "Classes") continue;
    for (std::size_t n = 3; n <= p.size(); ++n) classes.insert(Path(p.begin() + 2, p.begin() + n));
    if (!blocks[i].values.empty()) wineValues[Path(p.begin() + 2, p.end())] = blocks[i].values;
  }
  EXPECT_EQ(classes, std::set<Path>(regPaths.begin(), regPaths.end()));
  EXPECT_TRUE(std::any_of(blocks.begin(), blocks.end(), [](const Block& b) { return b.path[0] == "Hardware"; }));
  EXPECT_TRUE(std::any_of(blocks.begin(), blocks.end(), [](const Block& b) { return b.path[0] == "System"; }));

  // Strings, escapes, DWORDs and binary data read alike; expandable strings
  // are hex(2) in the export and str(2) in Wine.
  for (const Block& b : regBlocks) {
    if (b.values.empty()) continue;
    for (const std::string& line : b.values) regValues[b.path].push_back(hexExpandToWine(line));
  }
  EXPECT_EQ(wineValues, regValues);
  std::set<std::string> kinds;
  for (const auto& [path, lines] : regValues)
    for (const std::string& line : lines)
      for (const char* kind : {"=\"C:\\\\", "=str(2):", "=dword:", "=hex:"})
        if (line.find(kind) != std::string::npos) kinds.insert(kind);
  EXPECT_EQ(kinds.size(), 4u);
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

bool carriesFragment(const std::string& text) {
  std::string upper = registry::upperCase(text);
  for (const char* f : {"M9Q", "P9Q", "T9Q", "W9Q", "H9Q", "R9Q", "N9Q", "ASSETBINDER", "GVOXA", "DATEPAD",
                        "CADENCEX", "QZ.", "M9QRES", "GRIDCHART"})
    if (upper.find(f) != std::string::npos) return true;
  return false;
}

// What a run with every family selected lists, by the rules of the four scans.
std::uint64_t keysTheScansList(hive_h* h, hive_node_h classes) {
  std::uint64_t listed = 0;
  std::set<std::string> libraries;
  for (hive_node_h lib : children(h, hivex_node_get_child(h, classes, "TypeLib"))) {
    std::vector<hive_node_h> versions = children(h, lib);
    hive_node_h zero = versions.empty() ? 0 : hivex_node_get_child(h, versions[0], "0");
    hive_node_h win32 = zero ? hivex_node_get_child(h, zero, "Win32") : 0;
    std::optional<std::string> path = win32 ? defaultString(h, win32) : std::nullopt;
    if (path && carriesFragment(path->substr(path->find_last_of("\\/") + 1))) {
      ++listed;
      libraries.insert(nodeName(h, lib));
    }
  }
  std::vector<hive_node_h> interfaces = children(h, hivex_node_get_child(h, classes, "Interface"));
  for (std::size_t i = 1; i < interfaces.size(); ++i) {
    hive_node_h typeLib = hivex_node_get_child(h, interfaces[i], "TypeLib");
    std::optional<std::string> id = typeLib ? defaultString(h, typeLib) : std::nullopt;
    listed += id && libraries.count(*id);
  }
  std::vector<hive_node_h> clsids = children(h, hivex_node_get_child(h, classes, "CLSID"));
  for (std::size_t i = 1; i < clsids.size(); ++i) {
    std::optional<std::string> text = defaultString(h, clsids[i]);
    if (!text) continue;
    bool found = carriesFragment(*text);
    for (hive_node_h sub : children(h, clsids[i])) {
      if (found) break;
      if (registry::upperCase(nodeName(h, sub)) == "TYPELIB") continue;
      std::optional<std::string> value = defaultString(h, sub);
      found = value && carriesFragment(*value) && value->find('{') == std::string::npos;
    }
    listed += found;
  }
  for (hive_node_h key : children(h, classes)) listed += carriesFragment(nodeName(h, key));
  return listed;
}

std::uint32_t le32(const std::string& bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  return v;
}

// 1,200 classes: CLSID's subkeys need an ri index of lh leaves, Interface's
// 600 a single lh larger than one page.
TEST(MachineGenerator, HiveReadsThroughLibhivexWithTheShapeAndCountsPromised) {
  TempDir dir;
  GeneratorResult result = generate(dir / "SOFTWARE", MachineFormat::Hive, 1200);
  ASSERT_TRUE(result.ok) << result.error;
  Hive hive(hivex_open((dir / "SOFTWARE").c_str(), 0));
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
  EXPECT_EQ(keysTheScansList(h, classes), result.familyKeys);

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
}

// Small machines put family components first in CLSID and Interface now and
// then, where the scans never look, and give every component kind a family.
TEST(MachineGenerator, FamilyCountFollowsTheScanRulesAcrossSeedsAndSizes) {
  TempDir dir;
  for (std::uint32_t classes : {1u, 7u, 40u, 300u})
    for (std::uint64_t seed = 1; seed <= 8; ++seed) {
      GeneratorResult result = generate(dir / "SOFTWARE", MachineFormat::Hive, classes, seed);
      ASSERT_TRUE(result.ok);
      Hive hive(hivex_open((dir / "SOFTWARE").c_str(), 0));
      ASSERT_TRUE(hive);
      hive_node_h classesKey = hivex_node_get_child(hive.get(), hivex_root(hive.get()), "Classes");
      EXPECT_EQ(keysTheScansList(hive.get(), classesKey), result.familyKeys) << classes << " classes, seed " << seed;
    }
}

TEST(MachineGenerator, HiveTakesDeletionsAndCommitsThroughLibhivex) {
  TempDir dir;
  ASSERT_TRUE(generate(dir / "SOFTWARE", MachineFormat::Hive, 1200).ok);
  Hive hive(hivex_open((dir / "SOFTWARE").c_str(), HIVEX_OPEN_WRITE));
  ASSERT_TRUE(hive);
  hive_h* h = hive.get();
  hive_node_h classes = hivex_node_get_child(h, hivex_root(h), "Classes");
  std::vector<hive_node_h> clsids = children(h, hivex_node_get_child(h, classes, "CLSID"));
  std::string last = nodeName(h, clsids.back());  // in the last leaf of the ri index
  std::uint64_t before = countKeys(h, classes);
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
  EXPECT_EQ(countKeys(h, classes), before - removed);
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
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(bench::parseGeneratorArguments(c.args, error)) << c.error;
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
  std::string error;
  std::optional<GeneratorOptions> ok =
      bench::parseGeneratorArguments({"--seed", "0x1F", "--out", "m", "--format", "hive", "--classes", "5"}, error);
  ASSERT_TRUE(ok) << error;
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
