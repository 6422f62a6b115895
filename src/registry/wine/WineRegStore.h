#pragma once
// HKEY_CLASSES_ROOT of a Wine prefix: the Software\Classes key of its
// system.reg, held as an in-memory tree (only the unnamed values are kept),
// together with the file's original text cut into key blocks. A save writes
// the file again without the blocks of removed keys; every other block is
// written back byte for byte, in its place.

#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Files.h"
#include "registry/memory/MemoryStore.h"

namespace comsweep::registry {

class AtomicWriter;

class WineRegStore : public MemoryStore {
 public:
  // Reads and parses `file`. Null on failure, with `error` set to
  // "<file>:<line>: <reason>" or "<file>: <system error>".
  static std::unique_ptr<WineRegStore> load(const std::filesystem::path& file, std::string& error);

  // Every value of the key, read again from its blocks in the file (later
  // blocks of the same key override earlier ones, as Wine loads them).
  bool values(NodeId node, std::vector<NamedValue>& out) const override;

  // Nothing removed: the file is not touched. Otherwise it is replaced
  // atomically, keeping its mode, unless the save guard objects or the file
  // is no longer the one that was read (another program wrote it meanwhile).
  CommitResult save() override;

  // Asked right before the file is written; a non-empty answer cancels the
  // save with that message.
  void setSaveGuard(std::function<std::string()> guard) { m_saveGuard = std::move(guard); }

  std::size_t blockCount() const { return m_blocks.size(); }
  // How much loading reads before it gives memory back (32 MiB); small in
  // tests, so that the bytes are read again from the file.
  static void setReleaseStep(std::size_t bytes) { s_releaseStep = bytes; }

 private:
  class Builder;

  struct Block {
    std::size_t offset;  // first byte; the block ends where the next begins
    NodeId node;         // kNoNode for keys outside Software\Classes: always kept
  };

  explicit WineRegStore(std::filesystem::path path) : m_path(std::move(path)) {}
  bool writeKept(AtomicWriter& out) const;
  // Bare blocks for keys that had none of their own and would otherwise
  // vanish with the last block below them: (block index, text to put there).
  // False when the file cannot be read again.
  bool standInBlocks(std::vector<std::pair<std::size_t, std::string>>& out) const;
  // Loading gives the memory of what it has read back to the system as it
  // goes (the file's bytes and the tree would otherwise both be held at
  // once); the bytes of blocks needed later are read again from the file.
  void releaseBefore(std::size_t offset);
  // The file's bytes [begin, end): from memory while held there, else read
  // again from the file, which must not have changed. False when it cannot.
  bool readBytes(std::size_t begin, std::size_t end, std::string& out) const;
  // Why the file must not be replaced now, or empty: another program wrote
  // it since it was read, or the save guard objects.
  std::string objection() const;

  std::filesystem::path m_path;
  std::unique_ptr<char[]> m_buffer;  // the file as read
  std::string_view m_text;
  std::size_t m_released = 0;  // bytes [0, m_released) are no longer in m_buffer
  static inline std::size_t s_releaseStep = std::size_t{32} << 20;
  std::vector<Block> m_blocks;
  platform::FileIdentity m_stamp;  // the file as read
  std::function<std::string()> m_saveGuard;
  // (key, block index) for every block in the classes, sorted; made on first use.
  mutable std::vector<std::pair<NodeId, std::uint32_t>> m_blocksOf;
};

}  // namespace comsweep::registry
