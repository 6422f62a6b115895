#include "registry/regfile/RegFileStore.h"

#include <cerrno>
#include <cstring>

#include "registry/store/SecondCore.h"
#include "registry/store/Text.h"
#include "registry/regfile/RegFileLineReader.h"
#include "registry/regfile/RegFileParser.h"
#include "registry/regfile/RegFileWriter.h"

namespace comsweep::registry {
namespace {

constexpr std::string_view kClassesRoot = "HKEY_CLASSES_ROOT";
constexpr std::string_view kSoftwareClasses = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes";
constexpr std::string_view kUserClasses = "HKEY_CURRENT_USER\\Software\\Classes";

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

class RegFileStore::PartSink : public RegFileSink {
 public:
  PartSink(RegFileStore& store, Part& part) : m_store(store), m_part(part) {}

  void keyLine(std::string_view path, bool deletion, std::size_t offset) override {
    std::string_view rest;
    Root classes = deletion ? Root::None : classesOf(path, rest);
    m_current = kNoNode;
    if (deletion || classes == Root::UserClasses) {
      m_usable = false;
    } else if (classes != Root::None) {
      if (rootName.empty())
        rootName.assign(path.substr(0, classes == Root::ClassesRoot ? kClassesRoot.size() : kSoftwareClasses.size()));
      m_current = m_levels.walk(m_part.tree, m_part.tree.root(), rest);
    }
    m_part.blocks.push_back({offset, m_current});
    roots.push_back(classes);
    m_store.releasePartBefore(m_part.from, offset);
  }
  void defaultValue(DWORD type, std::string_view data) override {
    if (m_current != kNoNode) m_part.tree.setDefaultValue(m_current, type, data);
  }
  void defaultSpelling(std::string_view quoted) override {
    if (m_current != kNoNode) m_part.tree.setEncodedDefault(m_current, REG_SZ, quoted);
  }
  void defaultValueDeleted() override {
    if (m_current != kNoNode) m_usable = false;
  }

  bool usable() const { return m_usable; }

  std::vector<Root> roots;  // per block, as m_blockRoots
  std::string rootName;     // as the part first names the classes, or empty

 private:
  RegFileStore& m_store;
  Part& m_part;
  Levels m_levels;
  NodeId m_current = kNoNode;
  bool m_usable = true;
};

void RegFileStore::appendPart(Part& part, PartSink& sink) {
  if (blocks().empty() && !part.blocks.empty()) m_header.assign(text().substr(0, part.blocks.front().offset));
  if (!m_rootNamed && !sink.rootName.empty()) {
    m_rootName = sink.rootName;
    m_rootNamed = true;
  }
  m_blockRoots.insert(m_blockRoots.end(), sink.roots.begin(), sink.roots.end());
  BlockFileStore::appendPart(part);
}

std::unique_ptr<RegFileStore> RegFileStore::open(const std::filesystem::path& file,
                                                 std::string& error) {
  std::unique_ptr<RegFileStore> store(new RegFileStore(file));
  if (!store->readFile(error, true)) return nullptr;
  const std::string_view text = store->text();
  RegFileParser parser(*store);
  // A large file is read in two parts at once, cut at a key line near its
  // middle: key lines name their keys by whole paths, so the second part
  // needs nothing from the first, unless the first leaves a value open
  // there or the second holds what only the order of the whole file tells.
  const std::size_t cut = splitWork(text.size()) ? RegFileParser::cutPoint(text, text.size() / 2) : text.size();
  bool ok;
  if (cut < text.size()) {
    Part part;
    part.from = cut;
    PartSink sink(*store, part);
    RegFileParser partParser(sink);
    bool partOk = false;
    store->holdReleases();
    {
      SideTask side([&] { partOk = partParser.parsePart(text, cut); });
      ok = parser.parseUntil(text, cut);
      side.join();
    }
    store->resumeReleases();
    if (ok && parser.splitsAt() && sink.usable()) {
      if (!partOk) {
        RegFileError failure = partParser.error();
        failure.line += parser.linesRead();
        error = file.string() + ":" + std::to_string(failure.line) + ": " + failure.reason;
        return nullptr;
      }
      store->appendPart(part, sink);
    } else if (ok) {
      // The first part's parser reads on instead.
      if (!store->takeBackPart(error)) return nullptr;
      ok = parser.parseOn(text);
    }
  } else {
    ok = parser.parse(text);
  }
  if (!ok) {
    error = file.string() + ":" + std::to_string(parser.error().line) + ": " + parser.error().reason;
    return nullptr;
  }
  store->m_current = kNoNode;
  // A file of no key lines is all header: keys added to it follow its encoding.
  if (store->blocks().empty()) store->m_header.assign(store->text());
  // Blocks of keys that a later deletion line took out of the tree stay in
  // the file as they are and belong to no key.
  for (Block& block : store->blocks())
    if (block.node != kNoNode && !store->isLive(block.node)) block.node = kNoNode;
  return store;
}

std::string RegFileStore::objection() const {
  switch (onDisk()) {
    case OnDisk::Unchanged:
      return {};
    case OnDisk::Unreadable:
      return file().string() + ": cannot be replaced: " + std::strerror(errno);
    case OnDisk::Changed:
      break;
  }
  return file().string() + ": changed on disk since it was read; not overwritten";
}

RegFileStore::Root RegFileStore::classesOf(std::string_view path, std::string_view& rest) {
  if (below(path, kClassesRoot, rest)) return Root::ClassesRoot;
  if (below(path, kSoftwareClasses, rest)) return Root::SoftwareClasses;
  if (below(path, kUserClasses, rest)) return Root::UserClasses;
  return Root::None;
}

NodeId RegFileStore::classesKey(std::string_view path, Root& classes) {
  std::string_view rest;
  classes = classesOf(path, rest);
  if (classes == Root::None) return kNoNode;
  NodeId node = root();
  if (classes == Root::UserClasses) {
    if (m_userClasses == kNoNode) m_userClasses = addTopKey();
    node = m_userClasses;
  } else if (!m_rootNamed) {
    m_rootName.assign(path.substr(
        0, classes == Root::ClassesRoot ? kClassesRoot.size() : kSoftwareClasses.size()));
    m_rootNamed = true;
  }
  return m_last.walk(*this, node, rest);
}

NodeId RegFileStore::Levels::walk(MemoryStore& tree, NodeId from, std::string_view rest) {
  // Levels spelled exactly as on the previous key line below the same top
  // are the same keys: only the tail that differs is looked up.
  NodeId node = from;
  bool same = from == top;
  std::size_t at = 0;
  while (!rest.empty()) {
    std::size_t cut = rest.find('\\');
    std::string_view name = rest.substr(0, cut);
    same = same && at < depth && names[at] == name;
    if (same) {
      node = nodes[at];
    } else {
      node = tree.addKey(node, name);
      if (at == names.size()) {
        names.emplace_back();
        nodes.push_back(kNoNode);
      }
      names[at].assign(name);
      nodes[at] = node;
    }
    ++at;
    if (cut == std::string_view::npos) break;
    rest.remove_prefix(cut + 1);
  }
  top = from;
  depth = at;
  return node;
}

void RegFileStore::deleteClassesKey(std::string_view path) {
  std::string_view rest, unused;
  NodeId node = root();
  switch (classesOf(path, rest)) {
    case Root::ClassesRoot:
      if (rest.empty()) return;  // a root key cannot be deleted: an import refuses it
      break;
    case Root::SoftwareClasses:
      break;
    case Root::UserClasses:
      node = m_userClasses;
      break;
    case Root::None:
      // HKEY_LOCAL_MACHINE\SOFTWARE takes the classes with it, and so does
      // HKEY_CURRENT_USER\Software the user's (a root key itself is refused).
      if (path.find('\\') == std::string_view::npos) return;
      if (below(kUserClasses, path, unused))
        node = m_userClasses;
      else if (!below(kSoftwareClasses, path, unused))
        return;
      rest = {};
      break;
  }
  while (node != kNoNode && !rest.empty()) {
    std::size_t cut = rest.find('\\');
    node = findChild(node, rest.substr(0, cut));
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
  }
  if (node == kNoNode) return;
  m_last.top = kNoNode;  // the keys of the previous line may be gone
  if (parentOf(node) == kNoNode) {
    // A tree's top stays the same node: its blocks so far no longer count.
    for (Block& block : blocks())
      if (block.node == node) block.node = kNoNode;
  }
  dropSubtree(node);
}

void RegFileStore::keyLine(std::string_view path, bool deletion, std::size_t offset) {
  // The text before the first key line is what readValues() and
  // standInBlock() read the file's encoding from; it is kept, since the
  // bytes before a key line are given back as loading goes on.
  if (blocks().empty()) m_header.assign(text().substr(0, offset));
  // A deletion block stays in the file verbatim; what follows it in the
  // block belongs to no key.
  Root classes = Root::None;
  m_current = kNoNode;
  if (deletion)
    deleteClassesKey(path);
  else
    m_current = classesKey(path, classes);
  blocks().push_back({offset, m_current});
  m_blockRoots.push_back(classes);
  releaseBefore(offset);
}

void RegFileStore::defaultValue(DWORD type, std::string_view data) {
  if (m_current != kNoNode) setDefaultValue(m_current, type, data);
}

void RegFileStore::defaultSpelling(std::string_view quoted) {
  if (m_current != kNoNode) setEncodedDefault(m_current, REG_SZ, quoted);
}

void RegFileStore::decodeDefault(DWORD, std::string_view spelling, std::string& data) const {
  RegFileParser::decodeQuoted(spelling, data);
}

bool RegFileStore::decodeDefaultNarrow(std::string_view spelling, std::string& out) const {
  return RegFileParser::decodeQuotedAscii(spelling, out);
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
  void defaultValue(DWORD type, std::string_view data) override { namedValue("", type, data); }
  void defaultValueDeleted() override { dropValue(m_out, ""); }
  bool wantsNamedValues() const override { return true; }
  void namedValue(std::string_view name, DWORD type, std::string_view data) override {
    mergeValue(m_out, name, {type, std::string(data)});
  }
  void namedValueDeleted(std::string_view name) override { dropValue(m_out, name); }

 private:
  std::vector<NamedValue>& m_out;
};

}  // namespace

bool RegFileStore::readValues(std::string_view block, std::vector<NamedValue>& out) const {
  // Behind the file's own header, so that the encoding and the header's
  // rules for hex strings are those of the file.
  std::string bytes(m_header);
  bytes.append(block);
  ValueCollector collector(out);
  RegFileParser parser(collector);
  return parser.parse(bytes);
}

std::string RegFileStore::standInBlock(std::size_t index, NodeId key, std::string_view) const {
  RegFileLineReader header(m_header);
  std::string_view lineEnd = header.next() ? header.terminator() : "";
  if (lineEnd.empty()) lineEnd = "\r\n";
  std::string path;
  for (NodeId n = key; parentOf(n) != kNoNode; n = parentOf(n)) {
    path.insert(0, name(n));
    path.insert(0, 1, '\\');
  }
  std::string line = "[";
  switch (m_blockRoots[index]) {
    case Root::SoftwareClasses: line += kSoftwareClasses; break;
    case Root::UserClasses: line += kUserClasses; break;
    default: line += kClassesRoot; break;
  }
  line += path + "]";
  line += lineEnd;
  return header.utf16() ? utf8ToUtf16le(line) : line;
}

std::string RegFileStore::lineEnd() const {
  RegFileLineReader header(m_header);
  std::string_view end = header.next() ? header.terminator() : "";
  if (end.empty()) end = "\r\n";
  return header.utf16() ? utf8ToUtf16le(end) : std::string(end);
}

std::string RegFileStore::appendSeparator() const {
  const std::string end = lineEnd();
  const std::string lf = RegFileLineReader(m_header).utf16() ? std::string("\n\0", 2) : "\n";
  const std::string_view file = text();
  auto endsWith = [&](std::string_view tail) {
    return file.size() >= tail.size() && file.substr(file.size() - tail.size()) == tail;
  };
  if (endsWith(end + end)) return {};
  return endsWith(lf) ? end : end + end;
}

bool RegFileStore::regedit4() const {
  RegFileLineReader header(m_header);
  return header.next() && header.text() == "REGEDIT4";
}

LONG RegFileStore::createKey(NodeId parent, std::string_view name, NodeId& out, bool& created) {
  if (name.find_first_of("\r\n") != std::string_view::npos) return ERROR_INVALID_PARAMETER;
  return BlockFileStore::createKey(parent, name, out, created);
}

LONG RegFileStore::setValue(NodeId node, const NamedValue& value) {
  if (value.name.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
    return ERROR_INVALID_PARAMETER;
  if (regedit4() && isStringType(value.value.type) && !regFileQuotes(value.value) &&
      utf8ToUtf16le(utf16leToUtf8(value.value.data)) != value.value.data)
    return ERROR_INVALID_PARAMETER;
  return BlockFileStore::setValue(node, value);
}

std::string RegFileStore::newBlock(NodeId key, const std::vector<NamedValue>& values, bool created) const {
  if (!created && values.empty()) return {};
  RegFileLineReader header(m_header);
  const bool first = header.next();
  const bool ansi = first && header.text() == "REGEDIT4";
  std::string_view lineEnd = first ? header.terminator() : "";
  if (lineEnd.empty()) lineEnd = "\r\n";
  std::string path;
  NodeId top = key;
  for (; parentOf(top) != kNoNode; top = parentOf(top)) {
    path.insert(0, name(top));
    path.insert(0, 1, '\\');
  }
  std::string text = "[";
  text.append(top == m_userClasses ? kUserClasses : std::string_view(m_rootName)).append(path) += "]\n";
  for (const NamedValue& value : values) {
    const RegValue& v = value.value;
    if (ansi && isStringType(v.type) && !regFileQuotes(v))  // string data as 8-bit text
      text += regFileHexLine({value.name, {v.type, utf16leToUtf8(v.data)}});
    else
      text += regFileValueLine(value);
    text += '\n';
  }
  text += '\n';
  std::string out;
  for (char c : text) {
    if (c == '\n') out += lineEnd;
    else out += c;
  }
  return header.utf16() ? utf8ToUtf16le(out) : out;
}

}  // namespace comsweep::registry
