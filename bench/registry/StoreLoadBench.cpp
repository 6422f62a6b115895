// Loads a registry file into its store, the way a run opens it, and prints
// the wall and processor time of each load (the processor time counts both
// cores when the load splits its work), the keys loaded and a digest of the
// tree after the last load (names, shape and default values), so that two
// builds, or one core and two (COMSWEEP_SPLIT_BYTES=0), can be compared.
//   comsweep_bench_load wine|reg|hive FILE [RUNS]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include "registry/hive/HiveStore.h"
#include "registry/regfile/RegFileStore.h"
#include "registry/wine/WineRegStore.h"

namespace {

using namespace comsweep::registry;

double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// FNV-1a over the tree in depth-first order.
struct Digest {
  std::uint64_t h = 1469598103934665603ull;
  void add(std::string_view bytes) {
    for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
    h = (h ^ 0xFF) * 1099511628211ull;
  }
};

std::size_t walk(const Store& store, NodeId node, Digest& digest) {
  std::size_t keys = 1;
  digest.add(store.name(node));
  RegValue value;
  if (store.defaultValue(node, value)) {
    digest.add(std::to_string(value.type));
    digest.add(value.data);
  }
  const std::uint32_t count = store.childCount(node);
  digest.add(std::to_string(count));
  for (std::uint32_t i = 0; i < count; ++i) keys += walk(store, store.childAt(node, i), digest);
  return keys;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s wine|reg|hive FILE [RUNS]\n", argv[0]);
    return 2;
  }
  const std::string kind = argv[1];
  const std::filesystem::path file = argv[2];
  const int runs = argc > 3 ? std::atoi(argv[3]) : 1;
  for (int r = 0; r < runs; ++r) {
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    const double cpu = cpuSeconds();
    std::unique_ptr<Store> store;
    if (kind == "wine")
      store = WineRegStore::load(file, error);
    else if (kind == "reg")
      store = RegFileStore::open(file, error);
    else
      store = HiveStore::open(file, HiveStore::Top::ClassesIfPresent, error);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double used = cpuSeconds() - cpu;
    if (!store) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    std::printf("load %.3f s, processor %.3f s", wall, used);
    if (r + 1 == runs) {
      // The digest of the last load only: reading every value costs more
      // than loading them.
      Digest digest;
      const std::size_t keys = walk(*store, store->root(), digest);
      std::printf(", %zu keys, digest %016llx", keys, static_cast<unsigned long long>(digest.h));
    }
    std::printf("\n");
  }
  return 0;
}
