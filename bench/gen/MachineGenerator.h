#pragma once
// Writes a synthetic machine file: the classes of ClassesModel as HKEY_CLASSES_ROOT
// of a Wine system.reg, of a registry editor export, or of a SOFTWARE hive.
// The demo profile (scripts/demo) adds near misses, in the classes and in a
// key outside them, and shows every family.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "gen/ClassesModel.h"

namespace comsweep::bench {

enum class MachineFormat { Wine, Reg, Hive };

struct GeneratorOptions {
  std::uint32_t classes = 0;
  MachineFormat format = MachineFormat::Wine;
  std::string out;
  std::uint64_t seed = 1;
  ClassesModel::Profile profile = ClassesModel::Profile::Bench;
  // A 64-bit machine: a third of the classes (with their interfaces, type
  // libraries and root keys) are 32-bit ones below Wow6432Node.
  bool win64 = false;
};

struct GeneratorResult {
  bool ok = false;
  std::string error;          // when !ok
  std::uint64_t keys = 0;     // below HKEY_CLASSES_ROOT; the same in every format
  std::uint64_t familyKeys = 0;
  std::uint64_t bytes = 0;    // the file's size
};

inline constexpr std::uint32_t kMaxClasses = 10'000'000;

// Parses "--classes N --format wine|reg|hive --out PATH [--seed S]
// [--profile bench|bench64|demo]" (S decimal or 0x-hex). Empty and `error` set on a missing, repeated, unknown or
// malformed option.
std::optional<GeneratorOptions> parseGeneratorArguments(const std::vector<std::string>& args, std::string& error);

// Writes the machine to options.out, which appears only when complete.
GeneratorResult generateMachine(const GeneratorOptions& options);

}  // namespace comsweep::bench
