#pragma once
// A .reg export as a store. The keys below HKEY_CLASSES_ROOT (or
// HKEY_LOCAL_MACHINE\SOFTWARE\Classes) form the tree; every other block is
// kept as it stands and never reaches the tree. The file's bytes are kept,
// and each key block is remembered by its offset, so that saving writes the
// file back with exactly the blocks of removed keys left out.

#include <sys/types.h>

#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/Files.h"
#include "registry/memory/MemoryStore.h"
#include "registry/regfile/RegFileSink.h"

namespace comsweep::registry {

class RegFileStore : public MemoryStore, private RegFileSink {
 public:
  // Reads and parses `file`. Null on failure, with `error` set to
  // "<path>:<line>: <reason>" for a malformed file or "<path>: <reason>"
  // when it cannot be read.
  static std::unique_ptr<RegFileStore> open(const std::filesystem::path& file,
                                            std::string& error);

  LONG removeLeaf(NodeId parent, NodeId child) override;
  // Read again from the key's blocks in the file, merged as an import would.
  bool values(NodeId node, std::vector<NamedValue>& out) const override;
  // How the file names HKEY_CLASSES_ROOT ("HKEY_CLASSES_ROOT" or
  // "HKEY_LOCAL_MACHINE\SOFTWARE\Classes", as first written in it).
  const std::string& rootName() const { return m_rootName; }
  // Replaces the file atomically when keys were removed since it was read
  // (or last saved); otherwise leaves it alone. Refuses to overwrite a file
  // that has changed on disk since it was read.
  CommitResult save() override;

 private:
  // A key block: from its key line up to the next key line. `node` is the
  // key in the tree, or kNoNode for blocks kept verbatim: deletion blocks,
  // keys outside the classes, and blocks of keys the file itself deletes
  // further down (an import of the saved file deletes them again).
  // `softwareClasses`: the key line names HKEY_LOCAL_MACHINE\SOFTWARE\Classes.
  struct Block {
    std::size_t offset;
    NodeId node;
    bool softwareClasses;
  };

  explicit RegFileStore(std::filesystem::path file) : m_file(std::move(file)) {}

  void keyLine(std::string_view path, bool deletion, std::size_t offset) override;
  void defaultValue(DWORD type, std::string_view data) override;
  void defaultValueDeleted() override;

  // The key `path` names in the tree (created with its parents), or kNoNode
  // when it lies outside HKEY_CLASSES_ROOT.
  NodeId classesKey(std::string_view path);
  // "[-path]": drops the key with its subtree from the tree as it stands at
  // this point of the file, as an import would.
  void deleteClassesKey(std::string_view path);
  // Key lines, by the index of the removed block they take the place of,
  // for keys that existed only through blocks of removed subkeys.
  std::vector<std::pair<std::size_t, std::string>> standInKeyLines() const;
  // Reads the file as one piece; false with `error` set when it cannot.
  bool readFile(std::string& error);
  // Why the file must not be replaced now (another program changed it
  // since it was read), or empty.
  std::string changedOnDisk() const;

  std::filesystem::path m_file;
  std::unique_ptr<char[]> m_buffer;
  std::string_view m_bytes;  // the file as read, in m_buffer
  std::vector<Block> m_blocks;
  std::string m_rootName = "HKEY_CLASSES_ROOT";
  bool m_rootNamed = false;
  platform::FileIdentity m_identity;  // the file as read, to notice a change by someone else
  mutable std::unordered_multimap<NodeId, std::size_t> m_blocksOf;  // built on first use
  NodeId m_current = kNoNode;  // the key that values read now belong to
  bool m_dirty = false;        // keys removed since the file was read or saved
};

}  // namespace comsweep::registry
