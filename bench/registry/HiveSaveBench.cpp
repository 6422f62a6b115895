// Times a hive's save and the census of its cells within it: a generated
// SOFTWARE hive of CLASSES classes (default 200,000: about 2,000,000 keys),
// loaded, one CLSID subtree in a hundred removed, saved; then the census
// alone over the same hive as generated, for the same removals.
//   comsweep_bench_hivesave [CLASSES]
// The files are written to a temporary directory and removed afterwards.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "gen/MachineGenerator.h"
#include "registry/hive/HiveStore.h"
#include "registry/regf/RegfCensus.h"

namespace {

namespace fs = std::filesystem;
using namespace comsweep;
namespace regf = comsweep::registry::regf;
using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// Removes `node`, a child of `parent`, and its subtree, children first.
void removeTree(registry::HiveStore& store, registry::NodeId parent, registry::NodeId node) {
  while (store.childCount(node)) removeTree(store, node, store.childAt(node, 0));
  store.removeLeaf(parent, node);
}

}  // namespace

int main(int argc, char** argv) {
  const auto classes = static_cast<std::uint32_t>(argc > 1 ? std::atol(argv[1]) : 200000);
  const fs::path dir = fs::temp_directory_path() / ("comsweep-hivesave-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path file = dir / "SOFTWARE";
  bench::GeneratorResult made = bench::generateMachine({classes, bench::MachineFormat::Hive, file.string()});
  if (!made.ok) {
    std::fprintf(stderr, "%s\n", made.error.c_str());
    return 1;
  }
  const fs::path original = dir / "original";
  fs::copy_file(file, original);

  Clock::time_point start = Clock::now();
  std::string error;
  auto store = registry::HiveStore::open(file, registry::HiveStore::Top::ClassesRequired, error);
  if (!store) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  const double load = seconds(start);
  const registry::NodeId clsid = store->findChild(store->root(), "CLSID");
  std::vector<registry::NodeId> chosen;
  for (std::uint32_t i = 0; i < store->childCount(clsid); i += 100) chosen.push_back(store->childAt(clsid, i));
  std::vector<regf::RemovedKey> removed;
  // The census below gets the same keys: their cells, read through a
  // second open of the original.
  auto hive = regf::RegfHive::open(original, error);
  const regf::RegfView& view = hive->view();
  regf::KeyCell root, classesKey, clsidKey;
  std::vector<std::uint32_t> below;
  std::string why;
  auto child = [&](const regf::KeyCell& parent, const std::string& name, regf::KeyCell& out) {
    std::vector<std::uint32_t> list;
    view.subkeys(parent, list, why);
    for (std::uint32_t c : list)
      if (view.key(c, out, why) && regf::nameToUtf8(out.name, out.nameIsLatin1) == name) return true;
    return false;
  };
  view.key(hive->rootCell(), root, why);
  if (!child(root, "Classes", classesKey) || !child(classesKey, "CLSID", clsidKey)) return 1;
  for (registry::NodeId node : chosen) {
    regf::KeyCell k;
    if (!child(clsidKey, std::string(store->name(node)), k)) return 1;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pending{{k.cell, clsidKey.cell}};
    while (!pending.empty()) {
      auto [cell, parent] = pending.back();
      pending.pop_back();
      removed.push_back({cell, parent});
      regf::KeyCell sub;
      below.clear();
      if (view.key(cell, sub, why)) view.subkeys(sub, below, why);
      for (std::uint32_t b : below) pending.emplace_back(b, cell);
    }
    removeTree(*store, clsid, node);
  }
  start = Clock::now();
  registry::CommitResult saved = store->save();
  const double save = seconds(start);
  start = Clock::now();
  regf::RegfCensus census(view, hive->cellSlots());
  census.take(hive->rootCell(), removed);
  const double censusTime = seconds(start);
  std::printf("hive: %llu keys below Classes, %.1f MB; %zu keys removed; load %.3f s, save %.3f s (%s), "
              "census alone %.3f s, %zu cells to free\n",
              static_cast<unsigned long long>(made.keys), made.bytes / 1e6, removed.size(), load, save,
              saved.failure.failed() ? saved.failure.why.c_str() : "ok", censusTime, census.removedCells().size());
  fs::remove_all(dir);
  return saved.failure.failed() ? 1 : 0;
}
