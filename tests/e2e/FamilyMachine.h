#pragma once
// Small machines of family keys in each format the program cleans, and the
// check of the JSON documents the program prints about them.

#include <filesystem>
#include <string>
#include <vector>

#include "registry/hive/HiveFixture.h"
#include "registry/regfile/RegFileTestText.h"
#include "support/TempDir.h"

namespace comsweep::test {

enum class Format { Reg, Wine, Hive };

using KeyValues = std::vector<std::pair<std::string, std::string>>;

// A machine of the given format whose classes hold `keys` (paths below the
// classes root, "\\" between levels, each with a default string value) and,
// but for a hive, whose user's classes hold `userKeys`. Returns what to run on.
inline std::filesystem::path writeMachine(const std::filesystem::path& dir, Format format, const KeyValues& keys,
                                          const KeyValues& userKeys = {}) {
  // As both file formats quote names and strings.
  auto quoted = [](const std::string& text) { return replaceAll(text, "\\", "\\\\"); };
  const std::string wineHead = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\";
  std::string reg = "Windows Registry Editor Version 5.00\r\n", wine = wineHead + "Machine\n\n#arch=win64\n",
              user = wineHead + "User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n";
  std::vector<ContractKey> hive;
  for (bool users : {false, true})
    for (const auto& [path, value] : users ? userKeys : keys) {
      reg += std::string("\r\n[") + (users ? "HKEY_CURRENT_USER\\Software\\Classes\\" : "HKEY_CLASSES_ROOT\\") + path +
             "]\r\n@=\"" + quoted(value) + "\"\r\n";
      (users ? user : wine) += "\n[Software\\\\Classes\\\\" + quoted(path) + "] 1700000000\n#time=1d\n@=\"" + quoted(value) + "\"\n";
      if (!users) hive.push_back({"Classes\\" + path, sz(value)});
    }
  std::filesystem::create_directories(dir / "prefix" / "drive_c");
  const std::filesystem::path file = format == Format::Reg ? dir / "m.reg" : format == Format::Wine ? dir / "prefix" / "system.reg" : dir / "SOFTWARE";
  if (format == Format::Hive) writeHive(file, hive);
  else writeFile(file, format == Format::Reg ? reg : wine);
  if (format == Format::Wine && !userKeys.empty()) writeFile(dir / "prefix" / "user.reg", user);
  return format == Format::Wine ? dir / "prefix" : file;
}

// A machine with `perFamily` ProgID keys of the m9q and of the p9q family,
// each with a subkey, and one unrelated key. Returns what to run on.
inline std::filesystem::path makeMachine(const std::filesystem::path& dir, Format format, int perFamily) {
  KeyValues keys = {{"Other", "stays"}};
  for (int i = 0; i < perFamily; ++i)
    for (const std::string family : {"m9q", "p9q"})
      keys.insert(keys.end(), {{family + ".Part" + std::to_string(i), "x"}, {family + ".Part" + std::to_string(i) + "\\CLSID", "{0}"}});
  return writeMachine(dir, format, keys);
}

// Checks a JSON document the program printed with python3's own parser and
// jsonschema: one line, valid against docs/<schema>. Then `script` prints
// from `doc` what the test compares. Its output, or "invalid: " and the
// document when the check failed.
inline std::string checkedJson(const std::string& schema, const std::string& document, const std::string& script) {
  TempDir dir;
  writeFile(dir / "doc.json", document);
  writeFile(dir / "check.py", R"py(import json, sys, jsonschema
text = open(sys.argv[2], encoding="utf-8").read()
assert text.count("\n") == 1 and text.endswith("\n"), "not one line"
doc = json.loads(text)
jsonschema.Draft202012Validator(json.load(open(sys.argv[1]))).validate(doc)
)py" + script);
  return commandOutput("python3 '" + (dir / "check.py").string() + "' '" COMSWEEP_TEST_DATA "/../../docs/" + schema +
                       "' '" + (dir / "doc.json").string() + "'")
      .value_or("invalid: " + document);
}

}  // namespace comsweep::test
