#pragma once
// The backup written before the first key is removed: a .reg file holding
// every key about to go, with its whole subtree and every value, named where
// it physically lives, so that standard importers can put it back.

#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "machine/Machine.h"
#include "registry/store/Store.h"
#include "util/Failure.h"

namespace comsweep::removal {

struct BackupResult {
  // A backup that was not written, and why.
  static BackupResult failed(std::string why) {
    BackupResult result;
    result.failure = {"the backup", std::move(why)};
    return result;
  }

  util::Failure failure;       // empty when written
  std::filesystem::path file;  // the file written
  // Keys left out because a name in them cannot be written back exactly
  // (a line break in a key or value name): (index in the paths, why). They
  // must not be removed.
  std::vector<std::pair<std::size_t, std::string>> refused;
};

class UndoFile {
 public:
  // `root` names HKEY_CLASSES_ROOT in the file ("HKEY_LOCAL_MACHINE\SOFTWARE\Classes" ...).
  UndoFile(registry::Store& store, std::string root, std::filesystem::path directory)
      : m_layers{{&store, std::move(root)}}, m_directory(std::move(directory)) {}
  // HKEY_CLASSES_ROOT composed of several stores: each key is written from
  // every store that holds it, named below that store's root, in the order
  // given, so that an import puts each copy back into its own file.
  UndoFile(std::vector<registry::Machine::Layer> layers, std::filesystem::path directory)
      : m_layers(std::move(layers)), m_directory(std::move(directory)) {}

  // String values outside ASCII are written as hex(1) data, for importers
  // that read quoted text as bytes of no particular encoding.
  void setAsciiTextOnly(bool on) { m_asciiTextOnly = on; }

  // Writes 9QReg-<YYYYMMDD-HHMMSS>.reg (never over an existing file) with the
  // keys at `paths` below the root; keys that do not exist are left out, and
  // so are keys the file cannot hold (listed in `refused`). Each key is named
  // as the store that holds it spells every level of its path. The file is
  // written as it is produced (memory for one key's values and one path at a
  // time) under a temporary name beside it, flushed to disk and renamed
  // into place when complete, before this returns.
  BackupResult write(const std::vector<std::string>& paths, std::time_t now) const;

  // The text of the file, UTF-8 with LF line ends (before its encoding).
  // `refused`, when given, receives the keys left out and why; `unreadable`
  // names the first key whose values could not be read (then `complete` is
  // false and the text ends there).
  std::string text(const std::vector<std::string>& paths, bool& complete,
                   std::vector<std::pair<std::size_t, std::string>>* refused = nullptr,
                   std::string* unreadable = nullptr) const;

 private:
  std::vector<registry::Machine::Layer> m_layers;
  std::filesystem::path m_directory;
  bool m_asciiTextOnly = false;
};

// The backup of a run on `machine`: its undo file in the machine's drive C:,
// named by the time the backup is taken. `machine` must outlive it.
std::function<BackupResult(const std::vector<std::string>&)> undoFileBackup(
    const registry::Machine& machine);

}  // namespace comsweep::removal
