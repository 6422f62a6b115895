// comsweep-genmachine: writes a synthetic machine for the benchmarks and
// prints "keys K family F bytes B".

#include <cinttypes>
#include <cstdio>

#include "gen/MachineGenerator.h"

int main(int argc, char** argv) {
  using namespace comsweep::bench;
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  std::optional<GeneratorOptions> options = parseGeneratorArguments(args, error);
  if (!options) {
    std::fprintf(stderr,
                 "comsweep-genmachine: %s\n"
                 "usage: comsweep-genmachine --classes N --format wine|reg|hive --out PATH [--seed S] [--profile bench|bench64|demo]\n",
                 error.c_str());
    return 2;
  }
  GeneratorResult result = generateMachine(*options);
  if (!result.ok) {
    std::fprintf(stderr, "comsweep-genmachine: %s\n", result.error.c_str());
    return 1;
  }
  std::printf("keys %" PRIu64 " family %" PRIu64 " bytes %" PRIu64 "\n", result.keys, result.familyKeys,
              result.bytes);
  return 0;
}
