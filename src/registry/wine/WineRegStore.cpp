#include "registry/wine/WineRegStore.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "registry/AtomicFile.h"
#include "registry/Text.h"
#include "registry/wine/WineEscapes.h"
#include "registry/wine/WineRegParser.h"

namespace comsweep::registry {
namespace {

// Gathers the values of one key from its blocks; a later value of the same
// name replaces an earlier one.
class ValueCollector : public WineRegParser::Handler {
 public:
  explicit ValueCollector(std::vector<NamedValue>& out) : m_out(out) {}
  void keyBlock(std::size_t, const std::vector<std::string_view>&) override {}
  void defaultValue(RegValue value) override { namedValue({}, std::move(value)); }
  void namedValue(std::string_view name, RegValue value) override {
    for (NamedValue& v : m_out) {
      if (equalsNoCase(v.name, name)) {
        v.value = std::move(value);
        return;
      }
    }
    m_out.push_back({std::string(name), std::move(value)});
  }

 private:
  std::vector<NamedValue>& m_out;
};

bool sameLevel(std::string_view level, std::string_view name) {
  return level == name || equalsNoCase(level, name);
}

}  // namespace

// Builds the tree from the parser's blocks. Wine writes keys depth first, so
// consecutive blocks share most of their path: the levels of the previous
// block are remembered and only the differing tail is looked up.
class WineRegStore::Builder : public WineRegParser::Handler {
 public:
  explicit Builder(WineRegStore& store) : m_store(store) {}

  void keyBlock(std::size_t offset, const std::vector<std::string_view>& levels) override {
    m_current = kNoNode;
    if (levels.size() >= 2 && sameLevel(levels[0], "Software") && sameLevel(levels[1], "Classes"))
      m_current = walk(levels);
    m_store.m_blocks.push_back({offset, m_current});
    m_store.releaseBefore(offset);
  }

  void defaultValue(RegValue value) override {
    if (m_current != kNoNode) m_store.setDefaultValue(m_current, std::move(value));
  }

 private:
  // The node of Software\Classes\<levels from the third on>, created as needed.
  NodeId walk(const std::vector<std::string_view>& levels) {
    const std::size_t depth = levels.size() - 2;
    NodeId node = m_store.root();
    std::size_t i = 0;
    while (i < depth && i < m_depth && m_names[i] == levels[i + 2]) node = m_nodes[i++];
    for (; i < depth; ++i) {
      std::string_view name = levels[i + 2];
      node = m_store.addKey(node, name);
      if (i < m_names.size()) {
        m_names[i].assign(name);
        m_nodes[i] = node;
      } else {
        m_names.emplace_back(name);
        m_nodes.push_back(node);
      }
    }
    m_depth = depth;
    return node;
  }

  WineRegStore& m_store;
  NodeId m_current = kNoNode;
  std::vector<std::string> m_names;  // levels below Software\Classes of the previous block
  std::vector<NodeId> m_nodes;
  std::size_t m_depth = 0;
};

std::unique_ptr<WineRegStore> WineRegStore::load(const std::filesystem::path& file,
                                                 std::string& error) {
  auto fail = [&](int err) {
    error = file.string() + ": cannot be read: " + std::strerror(err);
    return nullptr;
  };
  struct stat st {};
  platform::FileDescriptor fd = platform::openRegularFile(file, st, error);
  if (!fd.valid()) {
    error = file.string() + ": " + error;
    return nullptr;
  }

  std::unique_ptr<WineRegStore> store(new WineRegStore(file));
  store->m_stamp = platform::FileIdentity::of(st);
  // One read of the whole file into memory that is not cleared first; the
  // file may have grown since fstat.
  std::size_t capacity = static_cast<std::size_t>(st.st_size) + 1;
  std::unique_ptr<char[]> buffer(new char[capacity]);
  std::size_t used = 0;
  for (;;) {
    if (used == capacity) {
      std::unique_ptr<char[]> bigger(new char[capacity * 2]);
      std::memcpy(bigger.get(), buffer.get(), used);
      buffer = std::move(bigger);
      capacity *= 2;
    }
    ssize_t n = ::read(fd.get(), buffer.get() + used, capacity - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    if (n == 0) break;
    used += static_cast<std::size_t>(n);
  }
  store->m_buffer = std::move(buffer);
  store->m_text = std::string_view(store->m_buffer.get(), used);
  std::string_view text = store->m_text;

  Builder builder(*store);
  WineRegParser parser(builder);
  WineRegParser::Error parseError;
  if (!parser.parse(text, parseError)) {
    error = file.string() + ":" + std::to_string(parseError.line) + ": " + parseError.reason;
    return nullptr;
  }
  return store;
}

void WineRegStore::releaseBefore(std::size_t offset) {
  if (offset < m_released + s_releaseStep) return;
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto base = reinterpret_cast<std::uintptr_t>(m_buffer.get());
  const std::uintptr_t from = (base + m_released + page - 1) / page * page;
  const std::uintptr_t to = (base + offset) / page * page;
  if (to <= from) return;
  if (::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED) == 0) m_released = to - base;
}

bool WineRegStore::readBytes(std::size_t begin, std::size_t end, std::string& out) const {
  if (begin >= m_released) {
    out.assign(m_text.substr(begin, end - begin));
    return true;
  }
  platform::FileDescriptor fd(::open(m_path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  struct stat st {};
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !(platform::FileIdentity::of(st) == m_stamp))
    return false;
  out.resize(end - begin);
  return platform::readAt(fd.get(), out.data(), out.size(), static_cast<off_t>(begin)) ==
         static_cast<long long>(out.size());
}

bool WineRegStore::values(NodeId node, std::vector<NamedValue>& out) const {
  out.clear();
  if (!isLive(node)) return false;
  if (m_blocksOf.empty()) {
    for (std::size_t i = 0; i < m_blocks.size(); ++i)
      if (m_blocks[i].node != kNoNode)
        m_blocksOf.emplace_back(m_blocks[i].node, static_cast<std::uint32_t>(i));
    std::sort(m_blocksOf.begin(), m_blocksOf.end());
  }
  ValueCollector collector(out);
  WineRegParser parser(collector);
  WineRegParser::Error error;
  auto it = std::lower_bound(m_blocksOf.begin(), m_blocksOf.end(),
                             std::make_pair(node, std::uint32_t{0}));
  std::string bytes;
  for (; it != m_blocksOf.end() && it->first == node; ++it) {
    std::size_t begin = m_blocks[it->second].offset;
    std::size_t end =
        it->second + 1 < m_blocks.size() ? m_blocks[it->second + 1].offset : m_text.size();
    if (!readBytes(begin, end, bytes) || !parser.parseBlocks(bytes, error)) return false;
  }
  return true;
}

// Wine writes no block for a key that has subkeys but no values; such a key
// that would vanish with its last block below gets a bare block there,
// named by cutting that block's own key line short.
bool WineRegStore::standInBlocks(std::vector<std::pair<std::size_t, std::string>>& blocks) const {
  std::string bytes;
  std::vector<NodeId> blockKeys;
  blockKeys.reserve(m_blocks.size());
  for (const Block& block : m_blocks) blockKeys.push_back(block.node);
  for (const StandIn& standIn : standIns(blockKeys)) {
    const std::size_t i = standIn.block;
    std::size_t end = i + 1 < m_blocks.size() ? m_blocks[i + 1].offset : m_text.size();
    if (!readBytes(m_blocks[i].offset, end, bytes)) return false;
    std::string_view block = bytes;
    std::size_t open = block.find('[');
    if (open == std::string_view::npos) continue;
    // A key line without a line end ends the file: the block holds nothing
    // else and is the last, so the bare block ends the saved file the same way.
    std::size_t lineEnd = block.find('\n', open);
    std::string_view line =
        block.substr(open, lineEnd == std::string_view::npos ? lineEnd : lineEnd + 1 - open);
    // The key's path is spelled from the tree (escaped as Wine writes it);
    // the time stamp and line end are those of the block it stands in for.
    std::string path = "Software\\\\Classes";
    std::vector<NodeId> chain;
    for (NodeId n = standIn.key; n != root(); n = parentOf(n)) chain.push_back(n);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      std::string le = utf8ToUtf16le(name(*it));
      std::u16string units;
      for (std::size_t k = 0; k + 1 < le.size(); k += 2)
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(le[k]) |
                                              static_cast<unsigned char>(le[k + 1]) << 8));
      path.append("\\\\").append(WineEscapes::escape(units, "[]"));
    }
    std::string text(block.substr(0, open));
    text.append("[").append(path).append("]").append(line.substr(line.rfind(']') + 1));
    blocks.emplace_back(i, std::move(text));
  }
  return true;
}

bool WineRegStore::writeKept(AtomicWriter& out) const {
  std::vector<std::pair<std::size_t, std::string>> standIns;
  if (!standInBlocks(standIns)) return false;
  auto standIn = standIns.begin();
  // Bytes no longer in memory are copied from the file a piece at a time.
  std::string piece;
  auto copy = [&](std::size_t begin, std::size_t end) {
    constexpr std::size_t kPiece = std::size_t{4} << 20;
    while (begin < end) {
      if (begin >= m_released) return out.write(m_text.substr(begin, end - begin));
      std::size_t stop = std::min({end, m_released, begin + kPiece});
      if (!readBytes(begin, stop, piece) || !out.write(piece)) return false;
      begin = stop;
    }
    return true;
  };
  std::size_t keptFrom = 0;  // start of the bytes not yet written
  for (std::size_t i = 0; i < m_blocks.size(); ++i) {
    const Block& block = m_blocks[i];
    if (block.node == kNoNode || isLive(block.node)) continue;
    std::size_t end = i + 1 < m_blocks.size() ? m_blocks[i + 1].offset : m_text.size();
    if (!copy(keptFrom, block.offset)) return false;
    if (standIn != standIns.end() && standIn->first == i && !out.write((standIn++)->second))
      return false;
    keptFrom = end;
  }
  return copy(keptFrom, m_text.size());
}

std::string WineRegStore::objection() const {
  if (m_saveGuard) {
    if (std::string objection = m_saveGuard(); !objection.empty()) return objection;
  }
  platform::FileIdentity now;
  if (!platform::FileIdentity::ofPath(m_path, now))
    return m_path.string() + ": " + std::strerror(errno) + "; nothing was written";
  if (!(now == m_stamp))
    return m_path.string() + ": changed by another program since it was read; nothing was written";
  return {};
}

CommitResult WineRegStore::save() {
  if (!removedAnything()) return {};
  if (std::string early = objection(); !early.empty()) return {false, early};
  // Asked again once the new file is on disk: a server started or another
  // program wrote the file while the replacement was being written.
  CommitResult result = replaceFileAtomically(
      m_path, [this](AtomicWriter& out) { return writeKept(out); }, [this] { return objection(); });
  if (result.ok) platform::FileIdentity::ofPath(m_path, m_stamp);
  return result;
}

}  // namespace comsweep::registry
