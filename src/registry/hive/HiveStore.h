#pragma once
// A regf hive file as a store, read through the regf engine (registry/regf):
// the file is mapped, not read into memory, and nothing reaches the disk
// before save(), which writes a patched copy and replaces the file
// atomically.
//
// Opening walks the keys of the part of the hive the store presents once:
// it reads every key's subkey list and the subkeys' names, so that a hive
// with a damaged key or list is refused up front instead of being scanned
// incompletely, and so is a hive with two subkeys of one key whose names
// the registry cannot tell apart. Values are read only when asked; a value
// that cannot be read is answered as missing. Each key's children are kept
// in the registry's order; lookups are binary searches.
//
// Removals change only the store's own view until save(). A removal costs
// constant time whatever the number of siblings; enumerating a key after
// removals below it compacts its children once.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "registry/Store.h"
#include "registry/memory/TextArena.h"
#include "registry/regf/RegfCensus.h"
#include "registry/regf/RegfHive.h"

namespace comsweep::registry {

class HiveStore : public Store {
 public:
  // Which key the store presents as its root.
  enum class Top {
    ClassesIfPresent,  // the root's Classes key, else the root
    ClassesRequired,   // the root's Classes key; a hive without one is refused
    Root,              // the root, whatever it holds (a user's UsrClass.dat)
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
  bool defaultValueNarrow(NodeId node, DWORD& type, std::string& out) const override;
  bool values(NodeId node, std::vector<NamedValue>& out) const override;
  // True when the hive's root stands for HKEY_CLASSES_ROOT (no Classes key).
  bool topIsRoot() const { return m_topIsRoot; }
  LONG removeLeaf(NodeId parent, NodeId child) override;
  // Writes the new hive beside it when keys were removed since it was opened
  // or last saved; otherwise the file is not touched.
  CommitResult prepareSave(SaveBatch& batch) override;
  void filesHolding(NodeId node, std::vector<std::string>& out) const override;

  std::size_t nodeCount() const { return m_nodes.size(); }

 private:
  struct Node {
    std::uint32_t cell = regf::kNoCell;
    NodeId parent = kNoNode;
    // The children are the nodes first .. first + stored - 1, in the order
    // of the hive's list; m_order holds the same range sorted by name, its
    // first `listed` entries still in use (removed ones drop out lazily).
    NodeId first = 0;
    std::uint32_t stored = 0;
    mutable std::uint32_t listed = 0;
    std::uint32_t liveChildren = 0;
    TextArena::Ref name;
    bool live = true;
    bool inFile = true;  // false once the file no longer holds the key
  };

  explicit HiveStore(std::filesystem::path file) : m_file(std::move(file)) {}

  // Reads the keys below `top` into the node table; false with `error`.
  bool load(std::uint32_t top, std::string& error);
  // The key's name as UTF-8 (ASCII names as they are, without decoding).
  void readName(const regf::KeyCell& key, std::string& out) const;
  // The key's path below the hive's root, for messages.
  std::string keyPath(NodeId node) const;
  // The children still listed under `node`, sorted; compacted first when
  // removals left gaps.
  const NodeId* sortedChildren(NodeId node) const;
  // Reads the value cells of a live key; false when they cannot be read.
  bool valueCells(NodeId node, std::vector<std::uint32_t>& out) const;
  // The default value's cell and its data (in `scratch` when it is not in
  // one piece in the file); false when there is none or it cannot be read.
  bool defaultData(NodeId node, regf::ValueCell& value, std::string_view& data,
                   std::string& scratch) const;
  // Removes the keys removed since the last save from `copy`, a private
  // copy of the file as read, and checks the lists it rewrote; sets the
  // ranges of the file it changed. False with `error`.
  bool patch(regf::RegfHive& copy, std::vector<std::pair<std::size_t, std::size_t>>& changed,
             std::string& error) const;
  // False with `error` when a parent whose subkeys are to be rewritten
  // shares its key cell or a subkey list with another kept structure.
  bool checkRewritable(const regf::RegfView& view, const regf::RegfCensus& census,
                       const std::vector<NodeId>& parents, std::string& error) const;
  // "the key <path>", or "the root key".
  std::string describe(NodeId node) const;
  // Why the file must not be replaced now (another program changed it since
  // it was read), or empty.
  std::string changedOnDisk() const;

  std::filesystem::path m_file;
  platform::FileIdentity m_identity;  // the file as read
  std::unique_ptr<regf::RegfHive> m_hive;  // null only when the file could not be mapped again
  std::vector<Node> m_nodes;
  mutable std::vector<NodeId> m_order;
  TextArena m_names;
  bool m_topIsRoot = true;
  std::vector<NodeId> m_pending;  // removed since opening or the last save
};

}  // namespace comsweep::registry
