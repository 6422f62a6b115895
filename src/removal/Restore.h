#pragma once
// Putting back what a run removed, from the backup it wrote before removing
// (UndoFile): every key line names where the key lived (below
// HKEY_LOCAL_MACHINE\SOFTWARE\Classes, HKEY_CURRENT_USER\Software\Classes or
// HKEY_CLASSES_ROOT), and each goes back into the machine's store of
// that name with its values as the backup holds them.
//
// The backup fits the machine when every root it names is one of the
// machine's and the parent of every removed subtree's top exists there;
// otherwise nothing is put back. A key that exists again is never changed:
// with the backup's values exactly it counts as put back already, with
// others it is left as it is, and so is everything the backup holds below it.

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "machine/Machine.h"
#include "registry/store/Store.h"

namespace comsweep::removal {

struct BackupKey {
  std::string path;  // as the key line spells it, root included
  std::vector<registry::NamedValue> values;
};

// Reads a backup (any .reg file of version 5.00 or REGEDIT4). Keys named more
// than once are one key, their values merged as an import merges them.
// False with `error` ("<file>:<line>: <reason>") when it cannot be read or
// holds deletions, which no backup does.
bool readBackup(const std::filesystem::path& file, std::vector<BackupKey>& keys, std::string& error);

enum class RestoreState {
  PutBack,       // missing: to be created (or was, after apply())
  AlreadyThere,  // exists with exactly the backup's values
  Occupied,      // exists again with other values: left as it is
  BelowOccupied, // lies below an occupied key (or one that failed): left
  Failed,        // creating it or setting a value failed (detail says how)
};

struct RestoreItem {
  std::size_t key;  // index into the backup's keys
  RestoreState state;
  std::string detail;
};

struct RestorePlan {
  std::vector<RestoreItem> items;  // parents before their subkeys
  std::string refusal;             // non-empty: the backup does not fit the machine
  std::size_t count(RestoreState state) const;
};

class Restore {
 public:
  // The machine's stores, each with the root a backup names it by.
  explicit Restore(std::vector<registry::Machine::Layer> layers) : m_layers(std::move(layers)) {}

  RestorePlan plan(const std::vector<BackupKey>& keys) const;
  // Creates the keys planned PutBack with their values, parents first; a key
  // that cannot be made turns Failed, and its subkeys BelowOccupied. Nothing
  // is saved here.
  void apply(const std::vector<BackupKey>& keys, RestorePlan& plan);

 private:
  // The layer whose root begins `path`, with the rest in `below`; -1 for none.
  int layerOf(std::string_view path, std::string_view& below) const;
  // The key at the backslash-separated `path` below the layer's root, or kNoNode.
  registry::NodeId find(const registry::Store& store, std::string_view path) const;

  std::vector<registry::Machine::Layer> m_layers;
};

// A .reg file reads both names of the machine's classes (HKEY_CLASSES_ROOT,
// HKEY_LOCAL_MACHINE\SOFTWARE\Classes) as one tree, and is known by the
// first its remaining keys use: the first layer gets the other name too.
void addMachineClassesNames(std::vector<registry::Machine::Layer>& layers);

// Words for a state in the record: "put back", "already there", ...
const char* restoreStateText(RestoreState state, bool listing);

}  // namespace comsweep::removal
