#pragma once
// The contract every registry store answers: a tree of keys with names as
// stored, case-insensitive lookup, children in the registry's order (names
// compared upper-cased), a default value per key, and removal of keys that
// have no subkeys. The HandleTable turns it into the Win32 operations.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "registry/api/RegistryApi.h"

namespace comsweep::registry {

class SaveBatch;

using NodeId = std::uint32_t;
inline constexpr NodeId kNoNode = 0xFFFFFFFFu;

// A value as the registry holds it: string types (REG_SZ, REG_EXPAND_SZ,
// REG_MULTI_SZ) carry UTF-16LE bytes, everything else its raw bytes.
struct RegValue {
  DWORD type = REG_NONE;
  std::string data;
};

// A value with its name (UTF-8); the default value is named "".
struct NamedValue {
  std::string name;
  RegValue value;
};

class Store {
 public:
  virtual ~Store() = default;

  virtual NodeId root() const = 0;
  // False once the key has been removed (or was never valid).
  virtual bool isLive(NodeId node) const = 0;
  // The direct child with this name, compared without regard to case, or kNoNode.
  virtual NodeId findChild(NodeId parent, std::string_view name) const = 0;
  virtual std::uint32_t childCount(NodeId node) const = 0;
  // Children in registry order; kNoNode from index childCount(node) on.
  virtual NodeId childAt(NodeId parent, std::uint32_t index) const = 0;
  // The key's name as stored, UTF-8.
  virtual std::string_view name(NodeId node) const = 0;
  // The unnamed value; false when the key has none.
  virtual bool defaultValue(NodeId node, RegValue& out) const = 0;
  // The unnamed value as the 8-bit call returns it: string types as UTF-8
  // text (embedded NULs kept) with one terminating NUL, other types raw.
  // Stores that keep strings as UTF-8 answer without converting twice.
  virtual bool defaultValueNarrow(NodeId node, DWORD& type, std::string& out) const;
  // Every value of the key, default value included, with the data exactly as
  // the store holds it (a hive's 8-bit strings stay 8-bit), for the backup
  // written before keys are removed. False when they cannot be read.
  virtual bool values(NodeId node, std::vector<NamedValue>& out) const = 0;
  // Removes `child`, which has no subkeys left, from `parent`.
  // Returns a registry status (0 on success).
  virtual LONG removeLeaf(NodeId parent, NodeId child) = 0;
  // The files that hold this key, one per copy, as the store names them;
  // none for a store not kept in files.
  virtual void filesHolding(NodeId node, std::vector<std::string>& out) const {
    (void)node;
    (void)out;
  }
  // The first step of a save: writes the new content of every file of the
  // store that changed since it was read or last saved beside it, synced,
  // and adds it to `batch`; replaces nothing. A failure leaves nothing it
  // wrote behind. Stores not kept in files have nothing to write.
  virtual CommitResult prepareSave(SaveBatch& batch) {
    (void)batch;
    return {};
  }
  // Writes the store back to where it came from when something was removed:
  // every changed file is written before the first one is replaced.
  CommitResult save();

  // Adding, as an undo puts removed keys back. A store that cannot add
  // answers ERROR_CALL_NOT_IMPLEMENTED and changes nothing.
  //
  // The child `name` (one level, spelled as it is to be stored) of `parent`,
  // in the registry's order among its siblings; an existing child of that
  // name, compared without regard to case, is opened instead and keeps its
  // spelling. `created` says which happened.
  virtual LONG createKey(NodeId /*parent*/, std::string_view /*name*/, NodeId& out, bool& created) {
    out = kNoNode;
    created = false;
    return ERROR_CALL_NOT_IMPLEMENTED;
  }
  // Sets a value of the key; a value of the same name (compared without
  // regard to case, "" for the default value) is replaced in its place.
  virtual LONG setValue(NodeId /*node*/, const NamedValue& /*value*/) {
    return ERROR_CALL_NOT_IMPLEMENTED;
  }
};

}  // namespace comsweep::registry
