#pragma once
// Small machines of family keys in each format the program cleans.

#include <filesystem>
#include <string>
#include <vector>

#include "registry/hive/HiveFixture.h"
#include "support/TempDir.h"

namespace comsweep::test {

enum class Format { Reg, Wine, Hive };

// A machine of the given format whose classes hold `keys` (paths below the
// classes root, "\\" between levels, each with a default string value).
// Returns what to run on.
inline std::filesystem::path writeMachine(const std::filesystem::path& dir, Format format,
                                          const std::vector<std::pair<std::string, std::string>>& keys) {
  std::string reg = "Windows Registry Editor Version 5.00\r\n";
  std::string wine = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n";
  std::vector<ContractKey> hive;
  for (const auto& [path, value] : keys) {
    std::string escaped;
    for (char c : path) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    reg += "\r\n[HKEY_CLASSES_ROOT\\" + path + "]\r\n@=\"" + value + "\"\r\n";
    wine += "\n[Software\\\\Classes\\\\" + escaped + "] 1700000000\n#time=1d\n@=\"" + value + "\"\n";
    hive.push_back({"Classes\\" + path, sz(value)});
  }
  std::filesystem::create_directories(dir / "prefix" / "drive_c");
  const std::filesystem::path file = format == Format::Reg ? dir / "m.reg" : format == Format::Wine ? dir / "prefix" / "system.reg" : dir / "SOFTWARE";
  if (format == Format::Hive) writeHive(file, hive);
  else writeFile(file, format == Format::Reg ? reg : wine);
  return format == Format::Wine ? dir / "prefix" : file;
}

// A machine with `perFamily` ProgID keys of the m9q and of the p9q family,
// each with a subkey, and one unrelated key. Returns what to run on.
inline std::filesystem::path makeMachine(const std::filesystem::path& dir, Format format, int perFamily) {
  std::vector<std::pair<std::string, std::string>> keys = {{"Other", "stays"}};
  for (int i = 0; i < perFamily; ++i)
    for (const std::string family : {"m9q", "p9q"})
      keys.insert(keys.end(), {{family + ".Part" + std::to_string(i), "x"}, {family + ".Part" + std::to_string(i) + "\\CLSID", "{0}"}});
  return writeMachine(dir, format, keys);
}

}  // namespace comsweep::test
