#pragma once
// HKEY_CLASSES_ROOT composed from two stores the way Windows composes it:
// the user's classes laid over the machine's. A key present in both is one
// key: it is enumerated once, in registry order, and its name and values are
// those of the user's copy; removing it removes it from both. A key present
// in one store only is that store's key.
//
// Node ids: a key of the lower store only keeps its own id, a key of the
// upper store only is its id with the top bit set, and a key in both is an
// entry of this store's own table (the second bit set). The stores' own ids
// must therefore stay below 2^30, as the memory-backed stores' indexes do.

#include <cstdint>
#include <deque>
#include <memory>
#include <unordered_map>
#include <vector>

#include "registry/store/Store.h"

namespace comsweep::registry {

class LayeredStore : public Store {
 public:
  LayeredStore(std::unique_ptr<Store> upper, std::unique_ptr<Store> lower);

  const Store& upper() const { return *m_upper; }
  const Store& lower() const { return *m_lower; }

  NodeId root() const override { return kBothBit; }
  bool isLive(NodeId node) const override;
  NodeId findChild(NodeId parent, std::string_view name) const override;
  std::uint32_t childCount(NodeId node) const override;
  NodeId childAt(NodeId parent, std::uint32_t index) const override;
  std::string_view name(NodeId node) const override;
  bool defaultValue(NodeId node, RegValue& out) const override;
  bool defaultValueNarrow(NodeId node, DWORD& type, std::string& out) const override;
  bool values(NodeId node, std::vector<NamedValue>& out) const override;
  LONG removeLeaf(NodeId parent, NodeId child) override;
  // A new key goes where the registry puts one created below
  // HKEY_CLASSES_ROOT: into the user's classes when its parent has a copy
  // there, else into the machine's. An undo, which knows the store a key
  // came from, adds through the machine's layers instead.
  LONG createKey(NodeId parent, std::string_view name, NodeId& out, bool& created) override;
  // Values go to the copy whose values the key shows: the user's, when it has one.
  LONG setValue(NodeId node, const NamedValue& value) override;
  // The files of both copies of a key present in both stores.
  void filesHolding(NodeId node, std::vector<std::string>& out) const override;
  // Prepares the lower store's files, then the upper one's; each writes
  // only when a key of its own was removed. Nothing is replaced until the
  // batch commits, so a failure of either leaves both files as they were.
  CommitResult prepareSave(SaveBatch& batch) override;

 private:
  static constexpr NodeId kUpperBit = 0x80000000u;
  static constexpr NodeId kBothBit = 0x40000000u;

  struct Both {
    NodeId upper;
    NodeId lower;
    // The merged children, made on first use and kept up to date by removals.
    mutable bool childrenKnown = false;
    mutable std::vector<NodeId> children;
  };

  const Both& both(NodeId node) const { return m_both[node & ~kBothBit]; }
  static bool isBoth(NodeId node) { return (node & (kUpperBit | kBothBit)) == kBothBit; }
  static bool isUpper(NodeId node) { return (node & kUpperBit) != 0; }
  // The store that answers for a key of one store only, and its own id.
  const Store& storeOf(NodeId node) const { return isUpper(node) ? *m_upper : *m_lower; }
  static NodeId ownId(NodeId node) { return node & ~kUpperBit; }
  // The id of the key present in both stores as `upper` and `lower`.
  NodeId bothId(NodeId upper, NodeId lower) const;
  const std::vector<NodeId>& children(const Both& entry) const;

  std::unique_ptr<Store> m_upper;
  std::unique_ptr<Store> m_lower;
  mutable std::deque<Both> m_both;  // grows without moving the entries
  mutable std::unordered_map<NodeId, NodeId> m_bothOfUpper;  // upper id -> table index
};

}  // namespace comsweep::registry
