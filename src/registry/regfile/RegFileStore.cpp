#include "registry/regfile/RegFileStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "registry/AtomicFile.h"
#include "registry/Text.h"
#include "registry/regfile/RegFileLineReader.h"
#include "registry/regfile/RegFileParser.h"

namespace comsweep::registry {
namespace {

constexpr std::string_view kClassesRoot = "HKEY_CLASSES_ROOT";
constexpr std::string_view kSoftwareClasses = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes";

// The part of `path` below `root` ("" for the root itself), matched without
// regard to case; false when `path` lies elsewhere.
bool below(std::string_view path, std::string_view root, std::string_view& rest) {
  if (path.size() < root.size()) return false;
  for (std::size_t i = 0; i < root.size(); ++i) {
    char a = path[i], b = root[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
    if (a != b) return false;
  }
  if (path.size() == root.size()) {
    rest = {};
    return true;
  }
  if (path[root.size()] != '\\') return false;
  rest = path.substr(root.size() + 1);
  return true;
}

}  // namespace

std::unique_ptr<RegFileStore> RegFileStore::open(const std::filesystem::path& file,
                                                 std::string& error) {
  std::unique_ptr<RegFileStore> store(new RegFileStore(file));
  if (!store->readFile(error)) return nullptr;
  RegFileParser parser(*store);
  if (!parser.parse(store->m_bytes)) {
    error = file.string() + ":" + std::to_string(parser.error().line) + ": " + parser.error().reason;
    return nullptr;
  }
  store->m_current = kNoNode;
  // Blocks of keys that a later deletion line took out of the tree stay in
  // the file as they are and belong to no key.
  for (Block& block : store->m_blocks)
    if (block.node != kNoNode && !store->isLive(block.node)) block.node = kNoNode;
  return store;
}

bool RegFileStore::readFile(std::string& error) {
  struct stat st {};
  platform::FileDescriptor fd = platform::openRegularFile(m_file, st, error);
  if (!fd.valid()) {
    error = m_file.string() + ": " + error;
    return false;
  }
  m_identity = platform::FileIdentity::of(st);
  // One read into a buffer that is not cleared first: a snapshot of the file
  // that stays valid whatever happens to the file later.
  auto size = static_cast<std::size_t>(st.st_size);
  m_buffer = std::make_unique_for_overwrite<char[]>(size + 1);
  long long filled = platform::readAt(fd.get(), m_buffer.get(), size + 1, 0);
  if (filled < 0) {
    error = m_file.string() + ": cannot be read: " + std::strerror(errno);
    return false;
  }
  if (static_cast<std::size_t>(filled) != size) {
    error = m_file.string() + ": changed while it was being read";
    return false;
  }
  m_bytes = std::string_view(m_buffer.get(), size);
  return true;
}

std::string RegFileStore::changedOnDisk() const {
  platform::FileIdentity now;
  if (!platform::FileIdentity::ofPath(m_file, now))
    return m_file.string() + ": cannot be replaced: " + std::strerror(errno);
  if (!(now == m_identity))
    return m_file.string() + ": changed on disk since it was read; not overwritten";
  return {};
}

NodeId RegFileStore::classesKey(std::string_view path) {
  std::string_view rest;
  std::string_view rootText;
  if (below(path, kClassesRoot, rest))
    rootText = path.substr(0, kClassesRoot.size());
  else if (below(path, kSoftwareClasses, rest))
    rootText = path.substr(0, kSoftwareClasses.size());
  else
    return kNoNode;
  if (!m_rootNamed) {
    m_rootName.assign(rootText);
    m_rootNamed = true;
  }
  NodeId node = root();
  while (!rest.empty()) {
    std::size_t cut = rest.find('\\');
    node = addKey(node, rest.substr(0, cut));
    if (cut == std::string_view::npos) break;
    rest.remove_prefix(cut + 1);
  }
  return node;
}

void RegFileStore::deleteClassesKey(std::string_view path) {
  std::string_view rest, unused;
  if (below(path, kClassesRoot, rest)) {
    if (rest.empty()) return;  // a root key cannot be deleted: an import refuses it
  } else if (!below(path, kSoftwareClasses, rest)) {
    // HKEY_LOCAL_MACHINE\SOFTWARE takes the classes with it (the root
    // HKEY_LOCAL_MACHINE itself is refused).
    if (path.find('\\') == std::string_view::npos || !below(kSoftwareClasses, path, unused)) return;
    rest = {};
  }
  NodeId node = root();
  while (node != kNoNode && !rest.empty()) {
    std::size_t cut = rest.find('\\');
    node = findChild(node, rest.substr(0, cut));
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
  }
  if (node == kNoNode) return;
  if (node == root()) {
    // The root stays the same node: its blocks so far no longer count.
    for (Block& block : m_blocks)
      if (block.node == root()) block.node = kNoNode;
  }
  dropSubtree(node);
}

void RegFileStore::keyLine(std::string_view path, bool deletion, std::size_t offset) {
  // A deletion block stays in the file verbatim; what follows it in the
  // block belongs to no key.
  if (deletion) deleteClassesKey(path);
  m_current = deletion ? kNoNode : classesKey(path);
  std::string_view rest;
  m_blocks.push_back({offset, m_current,
                      m_current != kNoNode && !below(path, kClassesRoot, rest)});
}

void RegFileStore::defaultValue(DWORD type, std::string_view data) {
  if (m_current != kNoNode) setDefaultValue(m_current, type, data);
}

void RegFileStore::defaultValueDeleted() {
  if (m_current != kNoNode) clearDefaultValue(m_current);
}

namespace {

// Collects the values of one key while a block of it is read again.
class ValueCollector : public RegFileSink {
 public:
  explicit ValueCollector(std::vector<NamedValue>& out) : m_out(out) {}
  void keyLine(std::string_view, bool, std::size_t) override {}
  void defaultValue(DWORD type, std::string_view data) override { set("", type, data); }
  void defaultValueDeleted() override { erase(""); }
  bool wantsNamedValues() const override { return true; }
  void namedValue(std::string_view name, DWORD type, std::string_view data) override {
    set(name, type, data);
  }
  void namedValueDeleted(std::string_view name) override { erase(name); }

 private:
  // A value given again (the key appears twice) replaces the first; names
  // compare without regard to case, as the registry's do.
  std::vector<NamedValue>::iterator find(std::string_view name) {
    for (auto it = m_out.begin(); it != m_out.end(); ++it)
      if (compareNoCase(it->name, name) == 0) return it;
    return m_out.end();
  }
  void set(std::string_view name, DWORD type, std::string_view data) {
    auto it = find(name);
    if (it == m_out.end()) it = m_out.insert(m_out.end(), {std::string(name), {}});
    it->value = {type, std::string(data)};
  }
  void erase(std::string_view name) {
    auto it = find(name);
    if (it != m_out.end()) m_out.erase(it);
  }
  std::vector<NamedValue>& m_out;
};

}  // namespace

bool RegFileStore::values(NodeId node, std::vector<NamedValue>& out) const {
  out.clear();
  if (!isLive(node)) return false;
  if (m_blocksOf.empty())
    for (std::size_t i = 0; i < m_blocks.size(); ++i)
      if (m_blocks[i].node != kNoNode) m_blocksOf.emplace(m_blocks[i].node, i);
  // Each block is read again behind the file's own header, so that the
  // encoding and the header's rules for hex strings are those of the file.
  std::string_view header = m_bytes.substr(0, m_blocks.empty() ? m_bytes.size() : m_blocks[0].offset);
  std::vector<std::size_t> blocks;
  auto [first, last] = m_blocksOf.equal_range(node);
  for (auto it = first; it != last; ++it) blocks.push_back(it->second);
  std::sort(blocks.begin(), blocks.end());
  for (std::size_t i : blocks) {
    std::size_t end = i + 1 < m_blocks.size() ? m_blocks[i + 1].offset : m_bytes.size();
    std::string text(header);
    text.append(m_bytes.substr(m_blocks[i].offset, end - m_blocks[i].offset));
    ValueCollector collector(out);
    RegFileParser parser(collector);
    if (!parser.parse(text)) return false;
  }
  return true;
}

LONG RegFileStore::removeLeaf(NodeId parent, NodeId child) {
  LONG status = MemoryStore::removeLeaf(parent, child);
  if (status == ERROR_SUCCESS) m_dirty = true;
  return status;
}

// A hand-written file need not give every key a block of its own; a key
// that would vanish with its last block below gets a bare key line there.
std::vector<std::pair<std::size_t, std::string>> RegFileStore::standInKeyLines() const {
  std::vector<std::pair<std::size_t, std::string>> lines;
  std::vector<NodeId> blockKeys;
  blockKeys.reserve(m_blocks.size());
  for (const Block& block : m_blocks) blockKeys.push_back(block.node);
  RegFileLineReader header(m_bytes);
  std::string_view lineEnd = header.next() ? header.terminator() : "";
  if (lineEnd.empty()) lineEnd = "\r\n";
  for (const StandIn& standIn : standIns(blockKeys)) {
    const std::size_t i = standIn.block;
    const NodeId kept = standIn.key;
    std::string path;
    for (NodeId n = kept; n != root(); n = parentOf(n)) {
      path.insert(0, name(n));
      path.insert(0, 1, '\\');
    }
    std::string line = "[";
    line += m_blocks[i].softwareClasses ? kSoftwareClasses : kClassesRoot;
    line += path + "]";
    line += lineEnd;
    lines.emplace_back(i, header.utf16() ? utf8ToUtf16le(line) : line);
  }
  return lines;
}

CommitResult RegFileStore::save() {
  if (!m_dirty) return {};
  if (std::string changed = changedOnDisk(); !changed.empty()) return {false, changed};

  const std::vector<std::pair<std::size_t, std::string>> standIns = standInKeyLines();
  auto produce = [this, &standIns](AtomicWriter& out) {
    // Runs of kept bytes are written in one piece: the header, then every
    // block whose key is still there (or that was never in the tree).
    std::string_view bytes = m_bytes;
    std::size_t runStart = 0;
    auto standIn = standIns.begin();
    for (std::size_t i = 0; i < m_blocks.size(); ++i) {
      const Block& block = m_blocks[i];
      if (block.node == kNoNode || isLive(block.node)) continue;
      std::size_t end = i + 1 < m_blocks.size() ? m_blocks[i + 1].offset : bytes.size();
      if (!out.write(bytes.substr(runStart, block.offset - runStart))) return false;
      if (standIn != standIns.end() && standIn->first == i && !out.write((standIn++)->second))
        return false;
      runStart = end;
    }
    return out.write(bytes.substr(runStart));
  };
  // Asked again once the new file is written: another program may have
  // written the file while this one was producing its replacement.
  CommitResult result = replaceFileAtomically(m_file, produce, [this] { return changedOnDisk(); });
  if (result.ok) {
    m_dirty = false;
    platform::FileIdentity::ofPath(m_file, m_identity);
  }
  return result;
}

}  // namespace comsweep::registry
