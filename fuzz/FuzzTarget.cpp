// The libFuzzer entry point of one reader; COMSWEEP_FUZZ_READER names it
// (RegFile, Hive or Wine) when the target is built. A fault the harness
// reports ends the process like a crash, so that libFuzzer keeps the input.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/FuzzHarness.h"
#include "fuzz/FuzzWorkDir.h"

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
