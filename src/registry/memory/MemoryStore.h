#pragma once
// The in-memory key tree: the engine behind the text-file stores and the
// store the tests build machines in. Children are kept sorted the registry's
// way, so lookup is a binary search and enumeration by index is direct.

#include <string>
#include <vector>

#include "registry/Store.h"

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
  // A plain memory store holds default values only.
  bool values(NodeId node, std::vector<NamedValue>& out) const override;
  LONG removeLeaf(NodeId parent, NodeId child) override;
  // A plain memory store has nowhere to write to.
  CommitResult save() override { return {}; }

  // Building. addKey finds or creates the child (merging repeated keys);
  // children arriving in registry order are appended in constant time.
  NodeId addKey(NodeId parent, std::string_view name);
  // Finds or creates every level of a backslash-separated path.
  NodeId addPath(std::string_view path);
  void setDefaultValue(NodeId node, RegValue value);
  void clearDefaultValue(NodeId node);

  NodeId parentOf(NodeId node) const { return m_nodes[node].parent; }
  std::size_t nodeCount() const { return m_nodes.size(); }
  bool removedAnything() const { return m_removed != 0; }

 private:
  struct Node {
    std::string name;
    NodeId parent = kNoNode;
    bool live = true;
    bool hasDefault = false;
    DWORD defaultType = REG_NONE;
    std::string defaultData;
    std::vector<NodeId> children;  // sorted by compareNoCase of the names
  };

  // Index of the first child whose name does not sort before `name`.
  std::size_t lowerBound(const Node& parent, std::string_view name) const;

  std::vector<Node> m_nodes;
  std::size_t m_removed = 0;
};

}  // namespace comsweep::registry
