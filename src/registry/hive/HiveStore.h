#pragma once
// A regf hive file as a store, through libhivex. The hive is read whole into
// memory (libhivex does so for a hive opened for writing) and nothing reaches
// the disk before save(), which replaces the file atomically.
//
// Removals change only the store's own view. save() has libhivex remove the
// keys and write the hive in a child process, and reads what was written
// back before it replaces the file: on a damaged hive libhivex may stop
// half-way through a removal or abort the process, and neither may reach
// this process or the file.
//
// Opening walks the part of the hive the store presents once: it lists every
// key's children, reads their names and finds each key's default value, so
// that a hive libhivex can read only in part (a key with more subkeys or
// values than it handles, a damaged cell) is refused up front instead of
// being scanned incompletely, and so is a hive with two subkeys of one key
// whose names the registry cannot tell apart. Each key's children are kept
// in the registry's order; lookups are binary searches.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "registry/Store.h"
#include "registry/hive/HiveHandle.h"

namespace comsweep::registry {

class HiveStore : public Store {
 public:
  // Which key the store presents as its root.
  enum class Top {
    ClassesIfPresent,  // the root's Classes key, else the root
    ClassesRequired,   // the root's Classes key; a hive without one is refused
  };

  // The store, or null with `error` set to "<file>: <reason>".
  static std::unique_ptr<HiveStore> open(const std::filesystem::path& file, Top top,
                                         std::string& error);

  NodeId root() const override { return 0; }
  bool isLive(NodeId node) const override;
  NodeId findChild(NodeId parent, std::string_view name) const override;
  std::uint32_t childCount(NodeId node) const override;
  NodeId childAt(NodeId parent, std::uint32_t index) const override;
  std::string_view name(NodeId node) const override;
  bool defaultValue(NodeId node, RegValue& out) const override;
  bool values(NodeId node, std::vector<NamedValue>& out) const override;
  // True when the hive's root stands for HKEY_CLASSES_ROOT (no Classes key).
  bool topIsRoot() const { return m_topIsRoot; }
  LONG removeLeaf(NodeId parent, NodeId child) override;
  // Writes the hive back when keys were removed since it was opened or last
  // saved; otherwise the file is not touched.
  CommitResult save() override;

  std::size_t nodeCount() const { return m_nodes.size(); }

 private:
  struct Node {
    hive_node_h cell = 0;
    hive_value_h value = 0;  // the default value, 0 when the key has none
    NodeId parent = kNoNode;
    bool live = true;
    std::string name;
    // In stored order until `sorted`; removed children are taken out.
    mutable std::vector<NodeId> children;
    mutable bool sorted = false;
  };

  HiveStore(std::filesystem::path file, HiveHandle hive);

  // Reads the subtree below `top` into the node table; false with `error`.
  bool load(hive_node_h top, std::uint64_t fileSize, std::string& error);
  // Runs in the child process of save(): removes the removed keys through
  // libhivex, writes the hive to `temp` and checks that it reads back as
  // this store's tree. Returns why it failed, or an empty string.
  std::string writeWithoutRemovedKeys(const std::filesystem::path& temp);
  // Compares the tree of `written` with this store's live keys and the
  // default values they had (`values`, by node). Returns the first difference.
  std::string compareTree(const HiveStore& written, const std::vector<RegValue>& values,
                          const std::vector<bool>& hasValue) const;
  // The key's path below the hive's root, for messages.
  std::string keyPath(NodeId node) const;
  const std::vector<NodeId>& sortedChildren(NodeId node) const;

  // Why the file must not be replaced now (another program changed it since
  // it was read), or empty.
  std::string changedOnDisk() const;

  std::filesystem::path m_file;
  platform::FileIdentity m_identity;  // the file as read
  HiveHandle m_hive;
  std::vector<Node> m_nodes;
  Top m_top = Top::ClassesIfPresent;
  bool m_topIsRoot = true;
  bool m_changed = false;        // keys removed since opening or the last save
  std::vector<NodeId> m_removed;  // in the order of removal, since opening
};

}  // namespace comsweep::registry
