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
//
// Keys and values added (createKey, setValue) are written by the same save,
// after the removals, into a grown copy of the hive (regf::RegfGrower over a
// regf::RegfImage). Once saved, an added key cannot be removed in the same
// session, nor can a subkey of a key that got added subkeys
// (ERROR_ACCESS_DENIED): the removal patch knows only the lists the hive
// was opened with.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/Files.h"
#include "registry/store/Store.h"
#include "registry/store/Text.h"
#include "registry/hive/HiveAdditions.h"
#include "registry/store/TextArena.h"
#include "registry/regf/RegfCensus.h"
#include "registry/regf/ByteRanges.h"
#include "registry/regf/RegfHive.h"

namespace comsweep::platform {
class PreparedFile;
}

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
  LONG createKey(NodeId parent, std::string_view name, NodeId& out, bool& created) override;
  LONG setValue(NodeId node, const NamedValue& value) override;

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
    bool added = false;  // made by createKey(); its cell is kNoCell until saved
  };

  // Orders the keys added below one parent by name, as the registry does;
  // looks them up by name too.
  struct ByName {
    using is_transparent = void;
    const HiveStore* store;
    bool operator()(NodeId a, NodeId b) const { return compareNoCase(store->name(a), store->name(b)) < 0; }
    bool operator()(NodeId a, std::string_view b) const { return compareNoCase(store->name(a), b) < 0; }
    bool operator()(std::string_view a, NodeId b) const { return compareNoCase(a, store->name(b)) < 0; }
  };
  using AddedSet = std::set<NodeId, ByName>;

  explicit HiveStore(std::filesystem::path file) : m_file(std::move(file)) {}

  // Reads the keys below `top` into the node table; false with `error`.
  bool load(std::uint32_t top, std::string& error);
  struct Walk;
  // Reads the subkeys of key `i` of `w` into it; false with `error`.
  bool expand(Walk& w, NodeId i, std::string& error) const;
  // Reads the keys below the top's subkeys (in `w`, the top's read) in two
  // parts at once, into `w` as reading them in order would have; false,
  // with `w` spoilt, when a part found the hive damaged.
  bool loadSplit(Walk& w);
  // keyPath() in a walk's tables.
  std::string pathIn(const Walk& w, NodeId node) const;
  // The key's name as UTF-8 (ASCII names as they are, without decoding).
  void readName(const regf::KeyCell& key, std::string& out) const;
  // The key's path below the hive's root, for messages.
  std::string keyPath(NodeId node) const;
  // The children still listed under `node`, sorted; compacted first when
  // removals left gaps.
  const NodeId* sortedChildren(NodeId node) const;
  // Reads the value cells of a live key; false when they cannot be read.
  bool valueCells(NodeId node, std::vector<std::uint32_t>& out) const;
  // The values the file holds for a key it holds.
  bool fileValues(NodeId node, std::vector<NamedValue>& out) const;
  // The default value's cell and its data (in `scratch` when it is not in
  // one piece in the file); false when there is none or it cannot be read.
  bool defaultData(NodeId node, regf::ValueCell& value, std::string_view& data,
                   std::string& scratch) const;
  // Removes the keys removed since the last save from `copy`, a private
  // copy of the file as read, and checks the lists it rewrote; sets the
  // ranges of the file it changed. False with `error`.
  bool patch(regf::RegfHive& copy, regf::ByteRanges& changed, std::string& error) const;
  // The live keys added below `parent`, or null.
  const AddedSet* addedBelow(NodeId parent) const;
  // Writes the additions into `image` (the whole hive, removals patched);
  // `cells` receives the new keys' cells. False with `error`.
  bool grow(regf::RegfImage& image, std::vector<std::pair<NodeId, std::uint32_t>>& cells,
            std::string& error) const;
  // prepareSave() when keys or values were added: `copy` (the hive as read,
  // or a copy with the removals patched in the ranges `changed`) grown in
  // memory over its file.
  CommitResult prepareGrown(SaveBatch& batch, const regf::RegfHive& copy, const regf::ByteRanges& changed,
                            std::string unchanged);
  // The new file, `bytes`: the ranges `changed` (in order) written from
  // them, the rest copied by the system from the open file `fd`, which
  // holds the same bytes there. Null with `error`.
  std::unique_ptr<platform::PreparedFile> prepareFile(int fd, std::span<const unsigned char> bytes,
                                                      const regf::ByteRanges& changed, std::string& error) const;
  // False with `error` when a parent whose subkeys are to be rewritten
  // shares its key cell or a subkey list with another kept structure.
  bool checkRewritable(const regf::RegfView& view, const regf::RegfCensus& census,
                       const std::vector<NodeId>& parents, std::string& error) const;
  // "the key <path>", or "the root key".
  std::string describe(NodeId node) const;
  // Why the file must not be replaced now (another program changed it since
  // it was read), or empty.
  std::string changedOnDisk() const;
  // The save's last check: what changed the file since it was read, or
  // nothing, once the mapping is let go for the rename (a mapped file cannot
  // be replaced everywhere).
  std::string releaseUnlessChanged();
  // After the new file replaced the old one: the pending removals are in it,
  // and the file read from now on is the new one.
  void noteReplaced();

  std::filesystem::path m_file;
  platform::FileIdentity m_identity;  // the file as read
  std::unique_ptr<regf::RegfHive> m_hive;  // null only when the file could not be mapped again
  std::vector<Node> m_nodes;
  mutable std::vector<NodeId> m_order;
  TextArena m_names;
  bool m_topIsRoot = true;
  std::vector<NodeId> m_pending;  // removed since opening or the last save
  // The keys added below each key (dropped again when removed before a save).
  std::unordered_map<NodeId, AddedSet> m_added;
  // Each key with added subkeys: its children, the hive's and the added
  // ones, in the registry's order; made when first enumerated.
  mutable std::unordered_map<NodeId, std::vector<NodeId>> m_merged;
  // Keys whose subkey lists in the file hold added keys.
  std::unordered_set<NodeId> m_grown;
  HiveAdditions m_additions;  // since opening or the last save
};

}  // namespace comsweep::registry
