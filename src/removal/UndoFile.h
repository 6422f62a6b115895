#pragma once
// The backup written before the first key is removed: a .reg file holding
// every key about to go, with its whole subtree and every value, named where
// it physically lives, so that standard importers can put it back.

#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "registry/Machine.h"
#include "registry/Store.h"

namespace comsweep::removal {

struct BackupResult {
  bool ok = true;
  std::filesystem::path file;  // the file written, when ok
  std::string message;         // why it failed
  // Keys left out because a name in them cannot be written back exactly
  // (a line break in a key or value name): (index in the paths, why). They
  // must not be removed.
  std::vector<std::pair<std::size_t, std::string>> refused;
};

class UndoFile {
 public:
  // `root` names HKEY_CLASSES_ROOT in the file ("HKEY_LOCAL_MACHINE\SOFTWARE\Classes" ...).
  UndoFile(const registry::Store& store, std::string root, std::filesystem::path directory)
      : m_layers{{&store, std::move(root)}}, m_directory(std::move(directory)) {}
  // HKEY_CLASSES_ROOT composed of several stores: each key is written from
  // every store that holds it, named below that store's root, in the order
  // given, so that an import puts each copy back into its own file.
  UndoFile(std::vector<registry::Machine::Layer> layers, std::filesystem::path directory)
      : m_layers(std::move(layers)), m_directory(std::move(directory)) {}

  // Writes 9QReg-<YYYYMMDD-HHMMSS>.reg (never over an existing file) with the
  // keys at `paths` below the root; keys that do not exist are left out, and
  // so are keys the file cannot hold (listed in `refused`). The file is
  // flushed to disk before this returns.
  BackupResult write(const std::vector<std::string>& paths, std::time_t now) const;

  // The text of the file, UTF-8 with LF line ends (before its encoding).
  // `refused`, when given, receives the keys left out and why.
  std::string text(const std::vector<std::string>& paths, bool& complete,
                   std::vector<std::pair<std::size_t, std::string>>* refused = nullptr) const;

 private:
  // Appends the key and its subtree; false, with `why` set, when a name in
  // it cannot be written back exactly.
  bool appendKey(const registry::Machine::Layer& layer, std::string& out, registry::NodeId node,
                 const std::string& path, bool& complete, std::string& why) const;

  std::vector<registry::Machine::Layer> m_layers;
  std::filesystem::path m_directory;
};

// The backup of a run on `machine`: its undo file in the machine's drive C:,
// named by the time the backup is taken. `machine` must outlive it.
std::function<BackupResult(const std::vector<std::string>&)> undoFileBackup(
    const registry::Machine& machine);

}  // namespace comsweep::removal
