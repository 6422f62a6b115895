#pragma once
// A store over a text file cut into key blocks (a .reg export, a Wine
// prefix's system.reg). The file is read whole, and each key block is
// remembered by its offset and by its key in the tree, or kNoNode for blocks
// kept verbatim. A key's values are read again from its blocks when asked
// for; a save writes the file back byte for byte, leaving out exactly the
// blocks of removed keys. The format supplies the parsing of a block's
// values, the spelling of stand-in blocks and the reasons not to replace the
// file.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Files.h"
#include "platform/LargeMemory.h"
#include "platform/SignalCleanup.h"
#include "registry/store/Text.h"
#include "registry/memory/MemoryStore.h"

namespace comsweep::platform {
class AtomicWriter;
}

namespace comsweep::registry {

class BlockFileStore : public MemoryStore {
 public:
  // Every value of the key, gathered from its blocks in file order.
  bool values(NodeId node, std::vector<NamedValue>& out) const override;
  LONG removeLeaf(NodeId parent, NodeId child) override;
  // Added keys and values are written by the next save as blocks of their
  // own (newBlock()); every block of the file stays as it is.
  LONG createKey(NodeId parent, std::string_view name, NodeId& out, bool& created) override;
  LONG setValue(NodeId node, const NamedValue& value) override;
  // Nothing removed since the file was read (or last saved): the file is not
  // touched. Otherwise its new content is written, unless objection()
  // answers, asked before anything is written and again before the batch
  // replaces its first file.
  CommitResult prepareSave(SaveBatch& batch) override;
  void filesHolding(NodeId node, std::vector<std::string>& out) const override;

  std::size_t blockCount() const { return m_blocks.size(); }
  // How much a loading parser reads before it gives memory back (8 MiB);
  // small in tests, so that the bytes are read again from the file.
  static void setReleaseStep(std::size_t bytes) { s_releaseStep = bytes; }
  static constexpr std::size_t kReleaseStep = std::size_t{8} << 20;
  // Whether files are mapped where the system can (the default); the tests
  // turn it off to read them as a system that cannot would.
  static void mapFiles(bool on) { s_mapFiles = on; }

 protected:
  struct Block {
    std::size_t offset;  // first byte; the block ends where the next begins
    NodeId node;
  };

  explicit BlockFileStore(std::filesystem::path file) : m_file(std::move(file)) {}

  // Reads the file as one piece. Where the system can, its pages are mapped
  // as a private copy: a later change to the file by someone else may then
  // show in the bytes not yet given back (a save notices the change and
  // refuses), and a file that shrinks under the run stops it with a message
  // naming the file. A file that changes while it is mapped is refused.
  // Where it cannot, the file is read into memory of its own: with
  // `sizeMustHold`, a file whose size is not the one it had when opened is
  // refused; otherwise it is read to its end. False with `error` set to
  // "<file>: <reason>".
  bool readFile(std::string& error, bool sizeMustHold);
  // The file as read. Bytes before an offset given to releaseBefore() may
  // no longer be held.
  std::string_view text() const { return m_text; }
  const std::filesystem::path& file() const { return m_file; }
  std::vector<Block>& blocks() { return m_blocks; }
  const std::vector<Block>& blocks() const { return m_blocks; }
  // For a parser that reads the file front to back: the memory of the bytes
  // before `offset` goes back to the system, a page at a time, once a release
  // step has been read. Those bytes are later read again from the file, which
  // must then not have changed.
  void releaseBefore(std::size_t offset);

  // A later part of the file, parsed on a second thread while the first is
  // parsed into the store: its keys in a tree of their own, below the same
  // root, and its blocks, whose nodes are of that tree.
  struct Part {
    std::size_t from = 0;  // the part's first byte; a block starts there
    MemoryStore tree;
    std::vector<Block> blocks;
  };
  // For the part's parser, as releaseBefore() for the first: the memory of
  // the part's bytes before `offset` goes back to the system. Only one part
  // gives memory back at a time.
  void releasePartBefore(std::size_t from, std::size_t offset);
  // While a part is read beside the first, memory is given back only once
  // both are read: given back while the other thread read on, pages have
  // been seen to come back zeroed in the other part (not understood yet).
  void holdReleases();
  void resumeReleases();
  // After a part's result was dropped: its bytes given back are read again
  // from the file, for the first part's parser to go on over them. False
  // with `error` set when the file changed.
  bool takeBackPart(std::string& error);
  // Adds the part's keys and blocks after those read so far (once the part
  // before it was read to its end): the store then holds what reading both
  // parts one after the other would have given.
  void appendPart(Part& part);

  // Whether the file at the path is still the one read (or last saved).
  enum class OnDisk { Unchanged, Changed, Unreadable /* errno set */ };
  OnDisk onDisk() const;

  // Merges the values of one block (its bytes, in the file's encoding) into
  // `out`; false when the block cannot be read.
  virtual bool readValues(std::string_view block, std::vector<NamedValue>& out) const = 0;
  // The bare block that keeps `key` in the saved file, written in place of
  // the removed block `index` whose bytes are `removed`; empty for none.
  virtual std::string standInBlock(std::size_t index, NodeId key, std::string_view removed) const = 0;
  // Why the file must not be replaced now, or empty.
  virtual std::string objection() const = 0;
  // The block that adds `key` with the values given to it (all of them for
  // a key made by createKey(), else those setValue() gave), in the file's
  // encoding; empty when the format needs none (a key with subkeys and no
  // values). `created` tells a new key from one that was there.
  virtual std::string newBlock(NodeId key, const std::vector<NamedValue>& values, bool created) const = 0;
  // True: added blocks go where the format's own writer puts the key (keys
  // sorted depth first, as Wine saves them). False: after the last block,
  // where nothing later in the file can change them.
  virtual bool addsInKeyOrder() const { return false; }
  // For keys added in key order: whether the block (its bytes), which holds
  // no key of the tree, sorts after every key of the tree.
  virtual bool blockFollowsTree(std::string_view /*block*/) const { return false; }
  // The order of two sibling names in the file, for keys added in key order:
  // the registry's (compareNoCase) unless the format's writer sorts otherwise.
  virtual int compareSiblings(std::string_view a, std::string_view b) const { return compareNoCase(a, b); }
  // What goes between the file's last byte and blocks added at its end.
  virtual std::string appendSeparator() const { return {}; }

 private:
  // A key may exist only through the blocks of its subkeys; leaving out the
  // last of those would take the key along, although nobody removed it.
  // Gives, once per such key, the removed block where it needs a bare block
  // of its own: (block index, key).
  std::vector<std::pair<std::size_t, NodeId>> keysNeedingStandIns() const;
  // The file's bytes [begin, end): from memory while held there, else read
  // again from the file, which must not have changed. False when it cannot.
  bool readBytes(std::size_t begin, std::size_t end, std::string& out) const;
  // The file at the path, open for reading, if it is still the one the
  // bytes came from; invalid otherwise.
  platform::FileDescriptor openReadFrom() const;
  // The end of the run of bytes from `begin` on that m_buffer holds
  // (`begin` when it does not hold that byte), and of the run it no longer holds.
  std::size_t heldUntil(std::size_t begin) const;
  // Gives back the pages of m_buffer within [from, to); the new end of the
  // part given back, `from` when none was.
  std::size_t releaseRange(std::size_t from, std::size_t to);
  std::size_t releasedUntil(std::size_t begin) const;
  std::size_t blockEnd(std::size_t index) const;
  // The blocks of added keys and values, each with the index of the block it
  // goes before (blockCount() for the end of the file), in file order.
  std::vector<std::pair<std::size_t, std::string>> addedBlocks() const;
  // Depth-first order of two keys of the same tree, names compared as the
  // registry compares them: negative when `a` comes first.
  int compareKeyOrder(NodeId a, NodeId b) const;
  bool writeKept(platform::AtomicWriter& out) const;

  std::filesystem::path m_file;
  platform::LargeBlock m_buffer;
  platform::NameOnShrink m_named;  // while m_buffer shows the file's pages
  std::string_view m_text;     // in m_buffer
  std::size_t m_released = 0;  // bytes [0, m_released) are no longer in m_buffer
  // Nor are bytes [m_partFrom, m_partReleased), given back by a part's parser.
  std::size_t m_partFrom = 0;
  std::size_t m_partReleased = 0;
  bool m_holding = false;  // releases asked for are only noted
  std::size_t m_heldBefore = 0, m_heldPartBefore = 0;
  static inline std::size_t s_releaseStep = kReleaseStep;
  static inline bool s_mapFiles = true;
  std::vector<Block> m_blocks;
  platform::FileIdentity m_identity;  // the file as read or last saved, to notice a change by someone else
  // The file the bytes came from. Bytes given back are read again only from
  // it: once a save replaced it, the offsets no longer fit the file there,
  // and such a read fails instead of returning other bytes.
  platform::FileIdentity m_readFrom;
  bool m_dirty = false;               // keys removed since the file was read or saved
  // (key, block index) for every block of a key, sorted; made on first use.
  mutable std::vector<std::pair<NodeId, std::uint32_t>> m_blocksOf;
};

// How a block's values merge into those gathered so far: a value given again
// replaces the earlier one in its place; names compare as the registry's do.
void mergeValue(std::vector<NamedValue>& values, std::string_view name, RegValue value);
void dropValue(std::vector<NamedValue>& values, std::string_view name);

}  // namespace comsweep::registry
