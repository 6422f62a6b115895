#pragma once
// The classes of a Wine prefix's registry file: the Software\Classes key of
// its system.reg (or of a user's user.reg), held as an in-memory tree (only
// the unnamed values are kept), together with the file's original text cut
// into key blocks. A save writes the file again without the blocks of
// removed keys; every other block is written back byte for byte, in its
// place. Loading gives back the memory of the bytes it has parsed as it
// goes, since the file's bytes and the tree would otherwise both be held at
// once.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "registry/blockfile/BlockFileStore.h"
#include "registry/wine/WineRegParser.h"

namespace comsweep::registry {

class WineRegStore : public BlockFileStore {
 public:
  // Reads and parses `file`. Null on failure, with `error` set to
  // "<file>:<line>: <reason>" or "<file>: <system error>".
  // A user's file (user.reg) gives the user's Software\Classes.
  static std::unique_ptr<WineRegStore> load(
      const std::filesystem::path& file, std::string& error,
      WineRegParser::Owner owner = WineRegParser::Owner::Machine);

  // Asked right before the file is written; a non-empty answer cancels the
  // save with that message.
  void setSaveGuard(std::function<std::string()> guard) { m_saveGuard = std::move(guard); }

 private:
  class Builder;

  explicit WineRegStore(std::filesystem::path path) : BlockFileStore(std::move(path)) {}
  // Values of a key given in several blocks: later ones override earlier
  // ones, as Wine loads them.
  bool readValues(std::string_view block, std::vector<NamedValue>& out) const override;
  // Loading keeps quoted default values as the file spells them.
  void decodeDefault(DWORD type, std::string_view spelling, std::string& data) const override;
  bool decodeDefaultNarrow(std::string_view spelling, std::string& out) const override;
  // Wine writes no block for a key that has subkeys but no values: a bare
  // block with the removed block's time stamp and line end.
  std::string standInBlock(std::size_t index, NodeId key, std::string_view removed) const override;
  // The save guard objects, or another program wrote the file since it was read.
  std::string objection() const override;
  // A block as Wine saves a key: its path, the time of the save, the values
  // in Wine's spelling; none for a key with subkeys and no values.
  std::string newBlock(NodeId key, const std::vector<NamedValue>& values, bool created) const override;
  bool addsInKeyOrder() const override { return true; }
  // Wine's server keeps subkeys sorted by lower-cased names: "_" comes before
  // the letters, where the registry's upper-cased order puts it after them.
  int compareSiblings(std::string_view a, std::string_view b) const override;
  // The block's key sorts after Software\Classes (Software\Wine, System).
  bool blockFollowsTree(std::string_view block) const override;

  std::function<std::string()> m_saveGuard;
};

}  // namespace comsweep::registry
