#pragma once
// A .reg export as a store. The keys below HKEY_CLASSES_ROOT (or
// HKEY_LOCAL_MACHINE\SOFTWARE\Classes) form the tree; the keys below
// HKEY_CURRENT_USER\Software\Classes, the user's classes, form a second tree
// in the same store (see userClasses()); every other block is kept as it
// stands and never reaches a tree. A block belongs to no key
// when it is a deletion block, names a key outside the classes, or names a
// key the file itself deletes further down (an import of the saved file
// deletes it again).

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "registry/blockfile/BlockFileStore.h"
#include "registry/regfile/RegFileSink.h"

namespace comsweep::registry {

class RegFileStore : public BlockFileStore, private RegFileSink {
 public:
  // Reads and parses `file`. Null on failure, with `error` set to
  // "<path>:<line>: <reason>" for a malformed file or "<path>: <reason>"
  // when it cannot be read.
  static std::unique_ptr<RegFileStore> open(const std::filesystem::path& file,
                                            std::string& error);

  // How the file names HKEY_CLASSES_ROOT ("HKEY_CLASSES_ROOT" or
  // "HKEY_LOCAL_MACHINE\SOFTWARE\Classes", as first written in it).
  const std::string& rootName() const { return m_rootName; }
  // The top of the user's classes, or kNoNode when the file has none. The
  // file is one file: saving this store writes both trees.
  NodeId userClasses() const { return m_userClasses; }
  // The top of the user's classes, made (empty) when the file has none, so
  // that keys can be added below it.
  NodeId userClassesForAdding() {
    if (m_userClasses == kNoNode) m_userClasses = addTopKey();
    return m_userClasses;
  }

 private:
  explicit RegFileStore(std::filesystem::path file) : BlockFileStore(std::move(file)) {}

  void keyLine(std::string_view path, bool deletion, std::size_t offset) override;
  void defaultValue(DWORD type, std::string_view data) override;
  void defaultValueDeleted() override;

  // Which classes a key line names, by the root it is spelled below.
  enum class Root : std::uint8_t { None, ClassesRoot, SoftwareClasses, UserClasses };
  // The classes `path` lies in, with the part below their top in `rest`.
  static Root classesOf(std::string_view path, std::string_view& rest);
  // The key `path` names in its tree (created with its parents), or kNoNode
  // when it lies outside the classes; `classes` says which it lies in.
  NodeId classesKey(std::string_view path, Root& classes);
  // "[-path]": drops the key with its subtree from the tree as it stands at
  // this point of the file, as an import would.
  void deleteClassesKey(std::string_view path);
  // A block read again behind the file's own header, merged as an import would.
  bool readValues(std::string_view block, std::vector<NamedValue>& out) const override;
  // A hand-written file need not give every key a block of its own: a bare
  // key line, spelled under the root the removed block used.
  std::string standInBlock(std::size_t index, NodeId key, std::string_view removed) const override;
  // Another program changed the file since it was read.
  std::string objection() const override;
  // A key line below the root the file names its classes by (the user's
  // classes below HKEY_CURRENT_USER) and the values, in the file's encoding
  // and line ends, appended to the file, spelled as the backup spells it
  // (an 8-bit file's text as UTF-8, which the reader takes as such).
  std::string newBlock(NodeId key, const std::vector<NamedValue>& values, bool created) const override;
  // What a .reg file cannot hold is refused (ERROR_INVALID_PARAMETER): line
  // breaks in names, and in a REGEDIT4 file string data that is not text.
  LONG createKey(NodeId parent, std::string_view name, NodeId& out, bool& created) override;
  LONG setValue(NodeId node, const NamedValue& value) override;
  // Added blocks end in a blank line, as exported ones do; the file's last
  // line is ended and followed by one first.
  std::string appendSeparator() const override;
  bool regedit4() const;
  // A line end as the file spells it, in its encoding.
  std::string lineEnd() const;

  // Loading keeps quoted default values as the file spells them.
  void decodeDefault(DWORD type, std::string_view spelling, std::string& data) const override;
  bool decodeDefaultNarrow(std::string_view spelling, std::string& out) const override;
  void defaultSpelling(std::string_view quoted) override;

  // Per block: the root its key line is spelled below.
  std::vector<Root> m_blockRoots;
  // The file's bytes before its first key line: its header.
  std::string m_header;
  NodeId m_userClasses = kNoNode;
  std::string m_rootName = "HKEY_CLASSES_ROOT";
  bool m_rootNamed = false;
  NodeId m_current = kNoNode;  // the key that values read now belong to

  // The levels of the last key line in the classes, below the top `top`
  // (kNoNode when they may no longer be in the tree), and their keys:
  // consecutive key lines share most of their path, whose keys are then
  // not looked up again.
  struct Levels {
    NodeId top = kNoNode;
    std::size_t depth = 0;
    std::vector<std::string> names;
    std::vector<NodeId> nodes;
    // The key of `rest` (levels separated by backslashes) below `from` in
    // `tree`, created with its parents as needed.
    NodeId walk(MemoryStore& tree, NodeId from, std::string_view rest);
  };
  Levels m_last;

  // The sink of a part of the file read on a second core (Part): keys and
  // default values go to the part's tree. What only the whole file's order
  // can tell (a deletion, the user's classes, a deleted default value)
  // makes the part unusable, and the file is then read on one core.
  class PartSink;
  // Adds a part that PartSink read after what the store read.
  void appendPart(Part& part, PartSink& sink);
};

}  // namespace comsweep::registry
