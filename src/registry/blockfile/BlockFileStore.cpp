#include "registry/blockfile/BlockFileStore.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/AtomicFile.h"
#include "platform/CrashPoint.h"
#include "registry/store/SaveBatch.h"
#include "registry/store/Text.h"

namespace comsweep::registry {

bool BlockFileStore::readFile(std::string& error, bool sizeMustHold) {
  platform::FileStatus st {};
  platform::FileDescriptor fd = platform::openRegularFile(m_file, st, error);
  if (!fd.valid()) {
    error = m_file.string() + ": " + error;
    return false;
  }
  if (!platform::FileIdentity::ofDescriptor(fd.get(), m_readFrom)) {
    error = m_file.string() + ": cannot be read: " + std::strerror(errno);
    return false;
  }
  m_identity = m_readFrom;
  // A block one byte larger than the file (so that a read sees its end in
  // the same call), not cleared first. Where the system can, the file's
  // pages are shown at its start as a private copy: no fresh pages for the
  // system to clear and a read to fill, which on the machines here was a
  // third of a run. Else the file is read; one that grew since fstat is
  // read on into a larger block.
  const auto size = static_cast<std::size_t>(st.st_size);
  std::size_t capacity = size + 1;
  platform::LargeBlock buffer(capacity);
  std::size_t used = 0;
  if (size > 0 && s_mapFiles && buffer.showFile(fd.get(), size)) {
    platform::FileIdentity now;
    if (platform::FileIdentity::ofDescriptor(fd.get(), now) && now == m_readFrom) {
      // A read past the end of a file that shrinks under the run ends it, naming the file.
      m_named.name(buffer.data(), size, m_file);
      m_buffer = std::move(buffer);
      m_text = std::string_view(m_buffer.data(), size);
      platform::crashPoint("text-shown");
      return true;
    }
    error = m_file.string() + ": changed while it was being read";
    return false;
  }
  for (;;) {
    long long n = platform::readAt(fd.get(), buffer.data() + used, capacity - used,
                                   static_cast<long long>(used));
    if (n < 0) {
      error = m_file.string() + ": cannot be read: " + std::strerror(errno);
      return false;
    }
    used += static_cast<std::size_t>(n);
    if (used < capacity || sizeMustHold) break;
    platform::LargeBlock bigger(capacity * 2);
    std::memcpy(bigger.data(), buffer.data(), used);
    buffer = std::move(bigger);
    capacity *= 2;
  }
  if (sizeMustHold && used != size) {
    error = m_file.string() + ": changed while it was being read";
    return false;
  }
  m_buffer = std::move(buffer);
  m_text = std::string_view(m_buffer.data(), used);
  return true;
}

std::size_t BlockFileStore::releaseRange(std::size_t from, std::size_t to) {
  if (m_buffer.size() >= platform::LargeBlock::kHugePage) {
    // A buffer of huge pages gives back whole ones.
    constexpr std::size_t kHuge = platform::LargeBlock::kHugePage;
    const std::size_t first = (from + kHuge - 1) / kHuge * kHuge, last = to / kHuge * kHuge;
    if (last <= first) return from;
    return platform::releasePages(m_buffer.data(), first, last) == first ? from : last;
  }
  return platform::releasePages(m_buffer.data(), from, to);
}

void BlockFileStore::releaseBefore(std::size_t offset) {
  if (m_holding) {
    m_heldBefore = std::max(m_heldBefore, offset);
    return;
  }
  if (offset < m_released + s_releaseStep) return;
  m_released = releaseRange(m_released, offset);
}

void BlockFileStore::releasePartBefore(std::size_t from, std::size_t offset) {
  if (m_partReleased <= m_partFrom || m_partFrom != from) m_partFrom = m_partReleased = from;
  if (m_holding) {
    m_heldPartBefore = std::max(m_heldPartBefore, offset);
    return;
  }
  if (offset < m_partReleased + s_releaseStep) return;
  m_partReleased = releaseRange(m_partReleased, offset);
}

void BlockFileStore::holdReleases() {
  m_holding = true;
  m_heldBefore = m_heldPartBefore = 0;
}

void BlockFileStore::resumeReleases() {
  m_holding = false;
  if (m_heldBefore >= m_released + s_releaseStep) m_released = releaseRange(m_released, m_heldBefore);
  if (m_heldPartBefore >= m_partReleased + s_releaseStep)
    m_partReleased = releaseRange(m_partReleased, m_heldPartBefore);
}

void BlockFileStore::appendPart(Part& part) {
  std::vector<NodeId> ids;
  MemoryStore::appendPart(std::move(part.tree), ids);
  m_blocks.reserve(m_blocks.size() + part.blocks.size());
  for (const Block& block : part.blocks)
    m_blocks.push_back({block.offset, block.node == kNoNode ? kNoNode : ids[block.node]});
  part.blocks = {};
  // The part's nodes were allocated by the thread that read it, in a heap
  // of its own that keeps them once freed.
  platform::returnFreedMemory();
}

std::size_t BlockFileStore::heldUntil(std::size_t begin) const {
  if (begin < m_released || (begin >= m_partFrom && begin < m_partReleased)) return begin;
  return begin < m_partFrom && m_partReleased > m_partFrom ? m_partFrom : m_text.size();
}

std::size_t BlockFileStore::releasedUntil(std::size_t begin) const {
  if (begin < m_released) return m_released;
  return begin >= m_partFrom && begin < m_partReleased ? m_partReleased : begin;
}

bool BlockFileStore::takeBackPart(std::string& error) {
  if (m_partReleased <= m_partFrom) return true;
  std::string bytes;
  if (!readBytes(m_partFrom, m_partReleased, bytes)) {
    error = m_file.string() + ": changed while it was being read";
    return false;
  }
  // Pages given back read as zeros, or as the file reads now: the bytes
  // are put there again.
  std::memcpy(m_buffer.data() + m_partFrom, bytes.data(), bytes.size());
  m_partFrom = m_partReleased = 0;
  return true;
}

platform::FileDescriptor BlockFileStore::openReadFrom() const {
  platform::FileDescriptor fd = platform::openForReading(m_file);
  platform::FileIdentity now;
  if (fd.valid() && (!platform::FileIdentity::ofDescriptor(fd.get(), now) || !(now == m_readFrom)))
    fd.reset();
  return fd;
}

bool BlockFileStore::readBytes(std::size_t begin, std::size_t end, std::string& out) const {
  if (heldUntil(begin) >= end) {
    out.assign(m_text.substr(begin, end - begin));
    return true;
  }
  platform::FileDescriptor fd = openReadFrom();
  if (!fd.valid()) return false;
  out.resize(end - begin);
  return platform::readAt(fd.get(), out.data(), out.size(), static_cast<long long>(begin)) ==
         static_cast<long long>(out.size());
}

std::size_t BlockFileStore::blockEnd(std::size_t index) const {
  return index + 1 < m_blocks.size() ? m_blocks[index + 1].offset : m_text.size();
}

BlockFileStore::OnDisk BlockFileStore::onDisk() const {
  platform::FileIdentity now;
  if (!platform::FileIdentity::ofPath(m_file, now)) return OnDisk::Unreadable;
  return now == m_identity ? OnDisk::Unchanged : OnDisk::Changed;
}

bool BlockFileStore::values(NodeId node, std::vector<NamedValue>& out) const {
  out.clear();
  if (!isLive(node)) return false;
  if (m_blocksOf.empty()) {
    for (std::size_t i = 0; i < m_blocks.size(); ++i)
      if (m_blocks[i].node != kNoNode)
        m_blocksOf.emplace_back(m_blocks[i].node, static_cast<std::uint32_t>(i));
    std::sort(m_blocksOf.begin(), m_blocksOf.end());
  }
  auto it = std::lower_bound(m_blocksOf.begin(), m_blocksOf.end(),
                             std::make_pair(node, std::uint32_t{0}));
  std::string bytes;
  for (; it != m_blocksOf.end() && it->first == node; ++it) {
    if (!readBytes(m_blocks[it->second].offset, blockEnd(it->second), bytes) ||
        !readValues(bytes, out))
      return false;
  }
  if (const std::vector<NamedValue>* set = valuesSet(node)) {
    for (const NamedValue& v : *set) mergeValue(out, v.name, v.value);
  }
  return true;
}

LONG BlockFileStore::removeLeaf(NodeId parent, NodeId child) {
  LONG status = MemoryStore::removeLeaf(parent, child);
  if (status == ERROR_SUCCESS) m_dirty = true;
  return status;
}

std::vector<std::pair<std::size_t, NodeId>> BlockFileStore::keysNeedingStandIns() const {
  std::vector<std::pair<std::size_t, NodeId>> found;
  std::vector<bool> present(nodeCount());
  auto markWithParents = [&](NodeId n) {
    for (; n != kNoNode && !present[n]; n = parentOf(n)) present[n] = true;
  };
  for (const Block& block : m_blocks)
    if (block.node != kNoNode && isLive(block.node)) markWithParents(block.node);
  for (std::size_t i = 0; i < m_blocks.size(); ++i) {
    NodeId kept = m_blocks[i].node;
    if (kept == kNoNode || isLive(kept)) continue;
    while (!isLive(kept)) kept = parentOf(kept);  // a tree's top is never removed
    if (present[kept] || parentOf(kept) == kNoNode) continue;
    found.emplace_back(i, kept);
    markWithParents(kept);
  }
  return found;
}

LONG BlockFileStore::createKey(NodeId parent, std::string_view name, NodeId& out, bool& created) {
  LONG status = MemoryStore::createKey(parent, name, out, created);
  if (status == ERROR_SUCCESS && created) m_dirty = true;
  return status;
}

LONG BlockFileStore::setValue(NodeId node, const NamedValue& value) {
  LONG status = MemoryStore::setValue(node, value);
  if (status == ERROR_SUCCESS) m_dirty = true;
  return status;
}

int BlockFileStore::compareKeyOrder(NodeId a, NodeId b) const {
  auto chain = [this](NodeId n) {
    std::vector<NodeId> levels;
    for (; n != kNoNode && parentOf(n) != kNoNode; n = parentOf(n)) levels.push_back(n);
    return levels;
  };
  std::vector<NodeId> x = chain(a), y = chain(b);
  auto i = x.rbegin(), j = y.rbegin();
  for (; i != x.rend() && j != y.rend(); ++i, ++j) {
    if (*i == *j) continue;
    if (int c = compareSiblings(name(*i), name(*j)); c != 0) return c;
  }
  return (i == x.rend() ? 0 : 1) - (j == y.rend() ? 0 : 1);
}

std::vector<std::pair<std::size_t, std::string>> BlockFileStore::addedBlocks() const {
  std::vector<NodeId> keys;
  for (NodeId key : addedKeys())
    if (isLive(key)) keys.push_back(key);
  std::vector<std::size_t> places(keys.size(), m_blocks.size());
  if (addsInKeyOrder()) {
    std::stable_sort(keys.begin(), keys.end(),
                     [this](NodeId a, NodeId b) { return compareKeyOrder(a, b) < 0; });
    // One walk over the blocks, which the format's writer keeps in the same order.
    std::size_t next = 0, afterLast = m_blocks.size();
    std::string bytes;
    for (std::size_t i = 0; i < m_blocks.size() && next < keys.size(); ++i) {
      if (m_blocks[i].node == kNoNode) {
        // Without a block of the tree to follow, the first block that sorts after it.
        if (afterLast == m_blocks.size() && readBytes(m_blocks[i].offset, blockEnd(i), bytes) &&
            blockFollowsTree(bytes))
          afterLast = i;
        continue;
      }
      while (next < keys.size() && compareKeyOrder(keys[next], m_blocks[i].node) < 0)
        places[next++] = i;
      afterLast = i + 1;
    }
    for (; next < keys.size(); ++next) places[next] = afterLast;
  }
  std::vector<std::pair<std::size_t, std::string>> found;
  static const std::vector<NamedValue> kNone;
  for (std::size_t k = 0; k < keys.size(); ++k) {
    const std::vector<NamedValue>* set = valuesSet(keys[k]);
    std::string text = newBlock(keys[k], set ? *set : kNone, isCreated(keys[k]));
    if (!text.empty()) found.emplace_back(places[k], std::move(text));
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  return found;
}

bool BlockFileStore::writeKept(platform::AtomicWriter& out) const {
  std::vector<std::pair<std::size_t, std::string>> standIns;
  std::string bytes;
  for (auto [index, key] : keysNeedingStandIns()) {
    if (!readBytes(m_blocks[index].offset, blockEnd(index), bytes)) return false;
    if (std::string text = standInBlock(index, key, bytes); !text.empty())
      standIns.emplace_back(index, std::move(text));
  }
  auto standIn = standIns.begin();
  // Runs of kept bytes are written in one piece where they are in memory
  // (the cheapest way there is); bytes no longer held are copied by the
  // system from the file read, none of them passing through this process.
  // That file must still be the one at the path: once the store's own save
  // replaced it, the bytes at those offsets are others, and the save fails.
  platform::FileDescriptor source;
  auto copy = [&](std::size_t begin, std::size_t end) {
    while (begin < end) {
      if (std::size_t held = std::min(end, heldUntil(begin)); held > begin) {
        if (!out.write(m_text.substr(begin, held - begin))) return false;
        begin = held;
        continue;
      }
      const std::size_t stop = std::min(end, releasedUntil(begin));
      if (stop <= begin) return false;
      if (!source.valid() && !(source = openReadFrom()).valid()) return false;
      if (!out.copyFrom(source.get(), static_cast<long long>(begin), stop - begin)) return false;
      begin = stop;
    }
    return true;
  };
  const std::vector<std::pair<std::size_t, std::string>> added = addedBlocks();
  auto adding = added.begin();
  std::size_t keptFrom = 0;  // start of the bytes not yet written
  for (std::size_t i = 0; i < m_blocks.size(); ++i) {
    const Block& block = m_blocks[i];
    if (adding != added.end() && adding->first == i) {
      if (!copy(keptFrom, block.offset)) return false;
      keptFrom = block.offset;
      for (; adding != added.end() && adding->first == i; ++adding)
        if (!out.write(adding->second)) return false;
    }
    if (block.node == kNoNode || isLive(block.node)) continue;
    if (!copy(keptFrom, block.offset)) return false;
    if (standIn != standIns.end() && standIn->first == i && !out.write((standIn++)->second))
      return false;
    keptFrom = blockEnd(i);
  }
  if (!copy(keptFrom, m_text.size())) return false;
  if (adding != added.end() && !out.write(appendSeparator())) return false;
  for (; adding != added.end(); ++adding)
    if (!out.write(adding->second)) return false;
  return true;
}

void BlockFileStore::filesHolding(NodeId node, std::vector<std::string>& out) const {
  if (isLive(node)) out.push_back(m_file.string());
}

CommitResult BlockFileStore::prepareSave(SaveBatch& batch) {
  if (!m_dirty) return {};
  if (std::string early = objection(); !early.empty()) return CommitResult::failed(early);
  std::string error;
  std::unique_ptr<platform::PreparedFile> file =
      platform::PreparedFile::write(m_file, [this](platform::AtomicWriter& out) { return writeKept(out); }, error);
  if (!file) return CommitResult::failed(error);
  // Asked again once every new file is on disk: another program may have
  // written the file (or a server started) while the replacements were written.
  batch.add(m_file.string(), std::move(file), [this] { return objection(); }, "",
            [this](bool replaced) {
              if (!replaced) return;
              m_dirty = false;
              platform::FileIdentity::ofPath(m_file, m_identity);
            });
  return {};
}

void mergeValue(std::vector<NamedValue>& values, std::string_view name, RegValue value) {
  for (NamedValue& v : values) {
    if (equalsNoCase(v.name, name)) {
      v.value = std::move(value);
      return;
    }
  }
  values.push_back({std::string(name), std::move(value)});
}

void dropValue(std::vector<NamedValue>& values, std::string_view name) {
  std::erase_if(values, [name](const NamedValue& v) { return equalsNoCase(v.name, name); });
}

}  // namespace comsweep::registry
