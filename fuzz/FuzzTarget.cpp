// The libFuzzer entry point of one reader; COMSWEEP_FUZZ_READER names it
// (RegFile, Hive or Wine) when the target is built. A fault the harness
// reports ends the process like a crash, so that libFuzzer keeps the input.
//
// The hive target mutates with the structure in mind as well: one mutation
// in three of an input that reads as a hive plants the damage HiveDamage
// knows (cells two keys name, descriptor rings and counts, oversized
// segment lists); the others are libFuzzer's byte mutations.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "fuzz/FuzzHarness.h"
#include "fuzz/FuzzWorkDir.h"
#include "fuzz/HiveDamage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace comsweep::fuzz;
  static FuzzWorkDir dir;
  static FuzzHarness harness(Reader::COMSWEEP_FUZZ_READER, dir.path());
  std::string fault = harness.run({reinterpret_cast<const char*>(data), size});
  if (!fault.empty()) {
    std::fprintf(stderr, "==comsweep fuzz fault== %s\n", fault.c_str());
    std::abort();
  }
  return 0;
}

#ifdef COMSWEEP_FUZZ_STRUCTURE
extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed) {
  using namespace comsweep::fuzz;
  std::mt19937 random(seed);
  if (random() % 3 == 0) {
    HiveDamage damage(std::string_view(reinterpret_cast<const char*>(data), size));
    if (damage.plantRandom(random, 1 + static_cast<int>(random() % 3)) > 0) {
      const std::string out = damage.bytes();
      if (out.size() <= maxSize) {
        std::memcpy(data, out.data(), out.size());
        return out.size();
      }
    }
  }
  return LLVMFuzzerMutate(data, size, maxSize);
}
#endif
