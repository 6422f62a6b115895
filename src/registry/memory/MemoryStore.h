#pragma once
// The in-memory key tree: the engine behind the text-file stores and the
// store the tests build machines in. Children are kept sorted the registry's
// way, so lookup is a binary search and enumeration by index is direct.

#include <string>
#include <unordered_map>
#include <vector>

#include "registry/store/Store.h"
#include "registry/memory/NodeTable.h"
#include "registry/store/TextArena.h"

namespace comsweep::registry {

class MemoryStore : public Store {
 public:
  MemoryStore();

  NodeId root() const override { return 0; }
  bool isLive(NodeId node) const override;
  NodeId findChild(NodeId parent, std::string_view name) const override;
  std::uint32_t childCount(NodeId node) const override;
  NodeId childAt(NodeId parent, std::uint32_t index) const override;
  std::string_view name(NodeId node) const override;
  bool defaultValue(NodeId node, RegValue& out) const override;
  bool defaultValueNarrow(NodeId node, DWORD& type, std::string& out) const override;
  // A plain memory store holds default values only.
  bool values(NodeId node, std::vector<NamedValue>& out) const override;
  LONG removeLeaf(NodeId parent, NodeId child) override;
  // A plain memory store has nowhere to write to: prepareSave() writes nothing.
  // A name is one level: not empty, no backslash or NUL
  // (ERROR_INVALID_PARAMETER otherwise).
  LONG createKey(NodeId parent, std::string_view name, NodeId& out, bool& created) override;
  // A named value is kept beside the tree, in the order values were set;
  // the default value is the tree's own.
  LONG setValue(NodeId node, const NamedValue& value) override;

  // Building. addKey finds or creates the child (merging repeated keys);
  // children arriving in registry order are appended in constant time.
  NodeId addKey(NodeId parent, std::string_view name);
  // Finds or creates every level of a backslash-separated path.
  NodeId addPath(std::string_view path);
  // A key outside the root's tree, with no parent: the top of a second tree
  // kept in the same store (a .reg file's user classes beside its machine
  // classes). Like the root, it is never removed.
  NodeId addTopKey() { return newNode(kNoNode, {}); }
  void setDefaultValue(NodeId node, const RegValue& value) {
    setDefaultValue(node, value.type, value.data);
  }
  void setDefaultValue(NodeId node, DWORD type, std::string_view data);
  void clearDefaultValue(NodeId node);
  // Keeps the default value as the file spells it, to be decoded by
  // decodeDefault() each time it is read: loading a file then costs a copy
  // per value, and the few values a run reads are decoded.
  void setEncodedDefault(NodeId node, DWORD type, std::string_view spelling);
  // What an import's deletion does: the key and everything below it leave
  // the tree (a tree's top keeps itself, losing its subkeys and default value).
  // Not a removal: it alone gives a file store nothing to save. A key of the same
  // name added afterwards is a new node.
  void dropSubtree(NodeId node);

  // Takes over the tree of `part` (left empty): keys built, as by addKey()
  // and the default value setters, from a later part of the same input
  // below the same root. The result is the tree this store would hold had
  // it read that part itself: the part's keys that this store already has
  // are those keys (a default value the part gives replaces theirs), its
  // other keys are added in the order the part made them. `ids` receives,
  // for each of the part's nodes, the node it is here. Neither store may
  // hold keys made by createKey() or values given by setValue().
  void appendPart(MemoryStore&& part, std::vector<NodeId>& ids);

  NodeId parentOf(NodeId node) const { return m_nodes[node].parent; }
  std::size_t nodeCount() const { return m_nodes.size(); }

 protected:
  // Keys made by createKey() or given values by setValue(), each once, in
  // the order that first happened (removed ones included): what a file
  // store has to write beyond its file's blocks.
  const std::vector<NodeId>& addedKeys() const { return m_added; }
  bool isCreated(NodeId node) const { return node < m_nodes.size() && m_nodes[node].created; }
  // The values given to the key by setValue(), or null.
  const std::vector<NamedValue>* valuesSet(NodeId node) const {
    auto it = m_valuesSet.find(node);
    return it == m_valuesSet.end() ? nullptr : &it->second;
  }

  // The registry's bytes of a value kept by setEncodedDefault(); a store
  // that keeps spellings gives the decoding of its file format. The spelling
  // was checked when it was stored, so decoding cannot fail.
  virtual void decodeDefault(DWORD type, std::string_view spelling, std::string& data) const;
  // The 8-bit form of such a value (text and one NUL), where the spelling
  // gives it without going through UTF-16 (plain ASCII, the usual case);
  // false otherwise, and the registry's bytes are converted.
  virtual bool decodeDefaultNarrow(std::string_view spelling, std::string& out) const;

 private:
  // Texts live in the arena; a million keys cost a million small nodes, not
  // three million heap blocks.
  struct Node {
    TextArena::Ref name;
    TextArena::Ref defaultData;
    NodeId parent = kNoNode;
    DWORD defaultType = REG_NONE;
    bool live = true;
    bool hasDefault = false;
    // A string value that is exactly UTF-16 text and one terminator is kept
    // as UTF-8 without the terminator: half the memory, and the 8-bit read
    // needs no conversion.
    bool utf8String = false;
    // defaultData is the value's spelling in the file (setEncodedDefault).
    bool encoded = false;
    bool added = false;    // listed in m_added
    bool created = false;  // made by createKey()
    // Sorted by compareNoCase of the names. A removed child stays in place
    // until the children are next counted or enumerated, so that removing
    // many of tens of thousands of siblings does not move the rest each time.
    mutable std::uint32_t removedChildren = 0;
    mutable std::vector<NodeId> children;
  };
  // Drops removed children from the list, once, when it is read by index.
  const std::vector<NodeId>& liveChildren(NodeId node) const;

  std::string_view nameOf(const Node& node) const { return m_texts.get(node.name); }
  NodeId newNode(NodeId parent, std::string_view name);
  // The key's default value marked present, of `type`, its data still to set.
  Node& startDefault(NodeId node, DWORD type, bool encoded);

  // Index of the first child whose name does not sort before `name`.
  std::size_t lowerBound(const Node& parent, std::string_view name) const;

  NodeTable<Node> m_nodes;  // grows without moving what it holds
  TextArena m_texts;
  std::vector<NodeId> m_added;
  std::unordered_map<NodeId, std::vector<NamedValue>> m_valuesSet;
};

}  // namespace comsweep::registry
