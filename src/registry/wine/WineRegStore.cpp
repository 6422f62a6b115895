#include "registry/wine/WineRegStore.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "registry/store/SecondCore.h"
#include "registry/store/Text.h"
#include "registry/wine/WineEscapes.h"
#include "registry/wine/WineRegParser.h"

namespace comsweep::registry {
namespace {

// Gathers the values of one key from its blocks.
class ValueCollector : public WineRegParser::Handler {
 public:
  explicit ValueCollector(std::vector<NamedValue>& out) : m_out(out) {}
  void keyBlock(std::size_t, const std::vector<std::string_view>&) override {}
  void defaultValue(RegValue value) override { namedValue({}, std::move(value)); }
  void namedValue(std::string_view name, RegValue value) override {
    mergeValue(m_out, name, std::move(value));
  }

 private:
  std::vector<NamedValue>& m_out;
};

// One value as Wine's server writes it: strings that end in their one
// terminator quoted (str(N): for the types other than REG_SZ), four-byte
// DWORDs as dword:, everything else as hex bytes wrapped past column 76.
std::string wineValueLine(const NamedValue& value) {
  std::string line =
      value.name.empty() ? "@=" : "\"" + WineEscapes::escape(utf8ToUtf16(value.name), "\"") + "\"=";
  const std::string& data = value.value.data;
  const DWORD type = value.value.type;
  char head[32];
  if (isStringType(type) && data.size() >= 2 && data.size() % 2 == 0 &&
      data[data.size() - 2] == '\0' && data[data.size() - 1] == '\0') {
    std::u16string units((data.size() - 2) / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
      units[i] = static_cast<char16_t>(static_cast<unsigned char>(data[2 * i]) |
                                       static_cast<unsigned char>(data[2 * i + 1]) << 8);
    if (type != REG_SZ) {
      std::snprintf(head, sizeof head, "str(%x):", type);
      line += head;
    }
    return line + "\"" + WineEscapes::escape(units, "\"") + "\"\n";
  }
  if (type == REG_DWORD && data.size() == 4) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
    std::snprintf(head, sizeof head, "dword:%08x\n", v);
    return line + head;
  }
  if (type == REG_BINARY)
    line += "hex:";
  else {
    std::snprintf(head, sizeof head, "hex(%x):", type);
    line += head;
  }
  std::size_t count = line.size();
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::snprintf(head, sizeof head, "%02x", static_cast<unsigned char>(data[i]));
    line += head;
    count += 2;
    if (i + 1 < data.size()) {
      line += ',';
      if (++count > 76) {
        line += "\\\n  ";
        count = 2;
      }
    }
  }
  return line + "\n";
}

bool sameLevel(std::string_view level, std::string_view name) {
  return level == name || equalsNoCase(level, name);
}

}  // namespace

// Builds the tree from the parser's blocks. Wine writes keys depth first, so
// consecutive blocks share most of their path: the levels of the previous
// block are remembered and only the differing tail is looked up.
class WineRegStore::Builder : public WineRegParser::Handler {
 public:
  // Builds the store's own tree, or that of a part read beside it.
  explicit Builder(WineRegStore& store) : m_store(store), m_tree(store), m_blocks(store.blocks()) {}
  Builder(WineRegStore& store, Part& part)
      : m_store(store), m_tree(part.tree), m_blocks(part.blocks), m_part(&part) {}

  void keyBlock(std::size_t offset, const std::vector<std::string_view>& levels) override {
    m_current = kNoNode;
    if (levels.size() >= 2 && sameLevel(levels[0], "Software") && sameLevel(levels[1], "Classes"))
      m_current = walk(levels);
    m_blocks.push_back({offset, m_current});
    if (m_part)
      m_store.releasePartBefore(m_part->from, offset);
    else
      m_store.releaseBefore(offset);
  }

  void defaultValue(RegValue value) override {
    if (m_current != kNoNode) m_tree.setDefaultValue(m_current, std::move(value));
  }

  void defaultSpelling(DWORD type, std::string_view quoted) override {
    if (m_current != kNoNode) m_tree.setEncodedDefault(m_current, type, quoted);
  }

 private:
  // The node of Software\Classes\<levels from the third on>, created as needed.
  NodeId walk(const std::vector<std::string_view>& levels) {
    const std::size_t depth = levels.size() - 2;
    NodeId node = m_tree.root();
    std::size_t i = 0;
    while (i < depth && i < m_depth && m_names[i] == levels[i + 2]) node = m_nodes[i++];
    for (; i < depth; ++i) {
      std::string_view name = levels[i + 2];
      node = m_tree.addKey(node, name);
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
  MemoryStore& m_tree;
  std::vector<Block>& m_blocks;
  Part* m_part = nullptr;
  NodeId m_current = kNoNode;
  std::vector<std::string> m_names;  // levels below Software\Classes of the previous block
  std::vector<NodeId> m_nodes;
  std::size_t m_depth = 0;
};

std::unique_ptr<WineRegStore> WineRegStore::load(const std::filesystem::path& file,
                                                 std::string& error, WineRegParser::Owner owner) {
  std::unique_ptr<WineRegStore> store(new WineRegStore(file));
  // Where the file is read, not mapped, one that has grown since it was
  // opened is read to its end.
  if (!store->readFile(error, false)) return nullptr;
  const std::string_view text = store->text();
  Builder builder(*store);
  WineRegParser parser(builder, owner);
  WineRegParser::Error parseError;
  // A large file is read in two parts at once, cut at a key line near its
  // middle: blocks name their keys by whole paths, so the second part needs
  // nothing from the first.
  const std::size_t cut = splitWork(text.size()) ? WineRegParser::cutPoint(text, text.size() / 2) : text.size();
  bool ok;
  if (cut < text.size()) {
    Part part;
    part.from = cut;
    Builder partBuilder(*store, part);
    WineRegParser partParser(partBuilder, owner);
    WineRegParser::Error partError;
    bool partOk = false;
    store->holdReleases();
    {
      SideTask side([&] { partOk = partParser.parsePart(text, cut, partError); });
      ok = parser.parseUntil(text, cut, parseError);
      side.join();
    }
    store->resumeReleases();
    if (ok && parser.splitsAt()) {
      if (partOk) {
        store->appendPart(part);
      } else {
        ok = false;
        parseError = partError;
        parseError.line += parser.linesRead();
      }
    } else if (ok) {
      // Not a cut after all: the first part's parser reads on.
      ok = store->takeBackPart(error) && parser.parseOn(text, parseError);
      if (!error.empty()) return nullptr;
    }
  } else {
    ok = parser.parse(text, parseError);
  }
  if (!ok) {
    error = file.string() + ":" + std::to_string(parseError.line) + ": " + parseError.reason;
    return nullptr;
  }
  return store;
}

bool WineRegStore::readValues(std::string_view block, std::vector<NamedValue>& out) const {
  ValueCollector collector(out);
  WineRegParser parser(collector);
  WineRegParser::Error error;
  return parser.parseBlocks(block, error);
}

void WineRegStore::decodeDefault(DWORD, std::string_view spelling, std::string& data) const {
  WineRegParser::decodeQuoted(spelling, data);
}

bool WineRegStore::decodeDefaultNarrow(std::string_view spelling, std::string& out) const {
  return WineRegParser::decodeQuotedAscii(spelling, out);
}

// The key's path is spelled from the tree (escaped as Wine writes it); the
// time stamp and line end are those of the block it stands in for.
std::string WineRegStore::standInBlock(std::size_t, NodeId key, std::string_view removed) const {
  std::size_t open = removed.find('[');
  if (open == std::string_view::npos) return {};
  // A key line without a line end ends the file: the block holds nothing
  // else and is the last, so the bare block ends the saved file the same way.
  std::size_t lineEnd = removed.find('\n', open);
  std::string_view line =
      removed.substr(open, lineEnd == std::string_view::npos ? lineEnd : lineEnd + 1 - open);
  std::string path = "Software\\\\Classes";
  std::vector<NodeId> chain;
  for (NodeId n = key; n != root(); n = parentOf(n)) chain.push_back(n);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    path.append("\\\\").append(WineEscapes::escape(utf8ToUtf16(name(*it)), "[]"));
  std::string text(removed.substr(0, open));
  text.append("[").append(path).append("]").append(line.substr(line.rfind(']') + 1));
  return text;
}

std::string WineRegStore::newBlock(NodeId key, const std::vector<NamedValue>& values, bool) const {
  if (values.empty() && childCount(key) > 0) return {};
  std::string path = "Software\\\\Classes";
  std::vector<NodeId> chain;
  for (NodeId n = key; n != root(); n = parentOf(n)) chain.push_back(n);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    path.append("\\\\").append(WineEscapes::escape(utf8ToUtf16(name(*it)), "[]"));
  const auto now = static_cast<std::uint64_t>(std::time(nullptr));
  const std::uint64_t ticks = (now + 11644473600ull) * 10000000ull;  // since 1601, in 100 ns
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "] %llu\n#time=%x%08x\n", static_cast<unsigned long long>(now),
                static_cast<unsigned>(ticks >> 32), static_cast<unsigned>(ticks & 0xFFFFFFFFu));
  std::string text = "\n[" + path + stamp;
  for (const NamedValue& value : values) text += wineValueLine(value);
  return text;
}

int WineRegStore::compareSiblings(std::string_view a, std::string_view b) const {
  auto folded = [](std::string_view name) {
    std::u16string units = utf8ToUtf16(upperCase(name));
    for (char16_t& u : units)
      if (u >= u'A' && u <= u'Z') u = static_cast<char16_t>(u + 32);
    return units;
  };
  return folded(a).compare(folded(b));
}

bool WineRegStore::blockFollowsTree(std::string_view block) const {
  std::size_t open = block.find('[');
  if (open == std::string_view::npos) return false;
  std::string_view path = block.substr(open + 1, block.find(']', open) - open - 1);
  for (std::string_view level : {std::string_view("Software"), std::string_view("Classes")}) {
    std::size_t cut = path.find("\\\\");
    if (int c = compareNoCase(path.substr(0, cut), level); c != 0) return c > 0;
    if (cut == std::string_view::npos) return false;  // a parent of the classes
    path.remove_prefix(cut + 2);
  }
  return false;
}

std::string WineRegStore::objection() const {
  if (m_saveGuard) {
    if (std::string objection = m_saveGuard(); !objection.empty()) return objection;
  }
  switch (onDisk()) {
    case OnDisk::Unchanged:
      return {};
    case OnDisk::Unreadable:
      return file().string() + ": " + std::strerror(errno) + "; nothing was written";
    case OnDisk::Changed:
      break;
  }
  return file().string() + ": changed by another program since it was read; nothing was written";
}

}  // namespace comsweep::registry
