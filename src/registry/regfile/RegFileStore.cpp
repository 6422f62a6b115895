#include "registry/regfile/RegFileStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Closes the descriptor when the reading is over, however it ends.
class ReadDescriptor {
 public:
  explicit ReadDescriptor(const std::filesystem::path& path)
      : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ReadDescriptor(const ReadDescriptor&) = delete;
  ReadDescriptor& operator=(const ReadDescriptor&) = delete;
  ~ReadDescriptor() {
    if (m_fd >= 0) ::close(m_fd);
  }
  int get() const { return m_fd; }

 private:
  int m_fd;
};

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

bool RegFileStore::Identity::operator==(const Identity& other) const {
  return device == other.device && inode == other.inode && size == other.size &&
         modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
}

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
  return store;
}

bool RegFileStore::readFile(std::string& error) {
  ReadDescriptor fd(m_file);
  struct stat st {};
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
    error = m_file.string() + ": cannot be read: " + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    error = m_file.string() + ": not a regular file";
    return false;
  }
  m_identity = {st.st_dev, st.st_ino, st.st_size, st.st_mtim};
  // One read into a buffer that is not cleared first: a snapshot of the file
  // that stays valid whatever happens to the file later.
  auto size = static_cast<std::size_t>(st.st_size);
  m_buffer = std::make_unique_for_overwrite<char[]>(size + 1);
  std::size_t filled = 0;
  while (filled <= size) {
    ssize_t n = ::read(fd.get(), m_buffer.get() + filled, size + 1 - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = m_file.string() + ": cannot be read: " + std::strerror(errno);
      return false;
    }
    if (n == 0) break;
    filled += static_cast<std::size_t>(n);
  }
  if (filled != size) {
    error = m_file.string() + ": changed while it was being read";
    return false;
  }
  m_bytes = std::string_view(m_buffer.get(), size);
  return true;
}

bool RegFileStore::currentIdentity(Identity& out) const {
  struct stat st {};
  if (::stat(m_file.c_str(), &st) != 0) return false;
  out = {st.st_dev, st.st_ino, st.st_size, st.st_mtim};
  return true;
}

NodeId RegFileStore::classesKey(std::string_view path) {
  std::string_view rest;
  if (!below(path, kClassesRoot, rest) && !below(path, kSoftwareClasses, rest)) return kNoNode;
  NodeId node = root();
  while (!rest.empty()) {
    std::size_t cut = rest.find('\\');
    node = addKey(node, rest.substr(0, cut));
    if (cut == std::string_view::npos) break;
    rest.remove_prefix(cut + 1);
  }
  return node;
}

void RegFileStore::keyLine(std::string_view path, bool deletion, std::size_t offset) {
  // A deletion block says what an import would remove; it names no key that
  // exists here, so it stays verbatim and adds nothing to the tree.
  m_current = deletion ? kNoNode : classesKey(path);
  std::string_view rest;
  m_blocks.push_back({offset, m_current,
                      m_current != kNoNode && !below(path, kClassesRoot, rest)});
}

void RegFileStore::defaultValue(DWORD type, std::string_view data) {
  if (m_current != kNoNode) setDefaultValue(m_current, RegValue{type, std::string(data)});
}

void RegFileStore::defaultValueDeleted() {
  if (m_current != kNoNode) clearDefaultValue(m_current);
}

LONG RegFileStore::removeLeaf(NodeId parent, NodeId child) {
  LONG status = MemoryStore::removeLeaf(parent, child);
  if (status == ERROR_SUCCESS) m_dirty = true;
  return status;
}

// A hand-written file need not give every key a block of its own: a key may
// exist only through the blocks of its subkeys. Leaving out the last of
// those would take the key along, although nobody removed it; it gets a
// bare key line where the first such block was instead.
std::vector<std::pair<std::size_t, std::string>> RegFileStore::standInKeyLines() const {
  std::vector<std::pair<std::size_t, std::string>> lines;
  std::vector<bool> present(nodeCount());
  auto markWithParents = [&](NodeId n) {
    for (; n != kNoNode && !present[n]; n = parentOf(n)) present[n] = true;
  };
  markWithParents(root());
  for (const Block& block : m_blocks)
    if (block.node != kNoNode && isLive(block.node)) markWithParents(block.node);

  RegFileLineReader header(m_bytes);
  std::string_view lineEnd = header.next() ? header.terminator() : "";
  if (lineEnd.empty()) lineEnd = "\r\n";
  for (std::size_t i = 0; i < m_blocks.size(); ++i) {
    NodeId kept = m_blocks[i].node;
    if (kept == kNoNode || isLive(kept)) continue;
    while (!isLive(kept)) kept = parentOf(kept);  // the root is never removed
    if (present[kept]) continue;
    std::string path;
    for (NodeId n = kept; n != root(); n = parentOf(n)) path.insert(0, "\\" + std::string(name(n)));
    std::string line = "[";
    line += m_blocks[i].softwareClasses ? kSoftwareClasses : kClassesRoot;
    line += path + "]";
    line += lineEnd;
    lines.emplace_back(i, header.utf16() ? utf8ToUtf16le(line) : line);
    markWithParents(kept);
  }
  return lines;
}

CommitResult RegFileStore::save() {
  if (!m_dirty) return {};
  Identity now;
  if (!currentIdentity(now)) {
    return {false, m_file.string() + ": cannot be replaced: " + std::strerror(errno)};
  }
  if (!(now == m_identity))
    return {false, m_file.string() + ": changed on disk since it was read; not overwritten"};

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
  CommitResult result = replaceFileAtomically(m_file, produce);
  if (result.ok) {
    m_dirty = false;
    currentIdentity(m_identity);
  }
  return result;
}

}  // namespace comsweep::registry
