#pragma once
// What every fuzz target does with one input, shared with the regression
// test that replays the inputs the targets once failed on. The input becomes
// the machine file in a work directory; the machine is opened the way the
// program opens it (a Wine prefix without the check for a running
// wineserver, which looks at the machine, not the input; the file is read a
// second time with its work split over two cores, which must give the same
// tree or refusal), every key is walked through the registry operations, a few subtrees are removed the
// way the removal removes them, and the store is saved and read back.
//
// A refusal with a message is a good outcome. A fault is anything that would
// let a hostile or broken file mislead a run: a refusal without a message, an
// enumerated name that opens another key, a value that reads differently
// twice, a removal that takes more (or less) than the subtree asked for, a
// failed save that touched the file or left a temporary behind, a saved file
// that cannot be read back or reads back as another tree. A saved hive is
// judged by libhivex too: every key and value it read before, outside the
// removed subtrees, must read back exactly, the store must read what it
// reads where both did before, and every key must still name an allocated
// descriptor and class name where all did before. Where the backup holds
// every removed key, the removals are undone from it as --undo does, and
// the tree (for a hive, libhivex too) must read as before the removals.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/TreeWalk.h"
#include "machine/Machine.h"

namespace comsweep::fuzz {

enum class Reader { RegFile, Hive, Wine };

class FuzzHarness {
 public:
  // `workDir` is an existing directory the harness owns; its content is
  // replaced with every input.
  FuzzHarness(Reader reader, std::filesystem::path workDir);

  // Runs one input. Returns an empty string, or what went wrong.
  std::string run(std::string_view bytes);

  // The bytes as the reader gets them. A hive's base block checksum is
  // recomputed, so that mutations of the header reach the reader instead of
  // all failing on the checksum (which the hive tests cover).
  static std::string prepare(Reader reader, std::string_view bytes);

  // Whether the last input was opened (rather than refused), and its keys.
  bool lastOpened() const { return m_opened; }
  std::size_t lastKeyCount() const { return m_keys; }

 private:
  registry::MachineOpenResult open() const;
  // A fault when reading the file with its work split over two cores gives
  // another tree or another refusal than `opened`.
  std::string compareSplitRead(const registry::MachineOpenResult& opened) const;
  // After a saved removal: what an undo of it gives (see run()).
  std::string checkUndo(registry::MachineOpenResult machine, const std::string& backup,
                        const std::vector<WalkedKey>& before,
                        const std::function<std::vector<WalkedKey>(std::vector<WalkedKey>)>& foldCase,
                        bool& undone);
  // The work directory's file names, to notice files a save leaves behind.
  std::string listing() const;

  Reader m_reader;
  std::filesystem::path m_workDir;
  std::filesystem::path m_openPath;  // what the opener is given
  std::filesystem::path m_file;      // the file that holds the input
  bool m_opened = false;
  std::size_t m_keys = 0;
};

}  // namespace comsweep::fuzz
