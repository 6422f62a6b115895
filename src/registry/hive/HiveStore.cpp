#include "registry/hive/HiveStore.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <numeric>
#include <tuple>

#include "platform/CrashPoint.h"
#include "platform/AtomicFile.h"
#include "registry/store/KeyLimits.h"
#include "registry/store/SaveBatch.h"
#include "registry/store/SecondCore.h"
#include "registry/store/Text.h"
#include "registry/hive/HiveString.h"
#include "registry/regf/RegfEditor.h"

namespace comsweep::registry {
namespace {

using regf::KeyCell;
using regf::ValueCell;

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
}

}  // namespace

std::unique_ptr<HiveStore> HiveStore::open(const std::filesystem::path& file, Top top,
                                           std::string& error) {
  const std::string where = file.string() + ": ";
  std::unique_ptr<HiveStore> store(new HiveStore(file));
  store->m_hive = regf::RegfHive::open(file, error);
  if (!store->m_hive) {
    error = where + error;
    return nullptr;
  }
  store->m_identity = store->m_hive->identity();
  const regf::RegfView& view = store->m_hive->view();
  std::uint32_t topCell = store->m_hive->rootCell();
  KeyCell root;
  std::vector<std::uint32_t> children;
  std::string why;
  if (!view.key(topCell, root, why) || !view.subkeys(root, children, why)) {
    error = where + "the root key is damaged (" + why + ")";
    return nullptr;
  }
  for (std::uint32_t c : top == Top::Root ? std::vector<std::uint32_t>() : children) {
    KeyCell child;
    if (!view.key(c, child, why)) {
      error = where + "the root key is damaged (" + why + ")";
      return nullptr;
    }
    if (equalsNoCase(regf::nameToUtf8(child.name, child.nameIsLatin1), "Classes")) {
      topCell = c;
      store->m_topIsRoot = false;
      break;
    }
  }
  if (store->m_topIsRoot && top == Top::ClassesRequired) {
    error = where + "the hive has no Classes key (it is not a SOFTWARE hive)";
    return nullptr;
  }
  if (!store->load(topCell, error)) {
    error = where + error;
    return nullptr;
  }
  return store;
}

void HiveStore::readName(const KeyCell& key, std::string& out) const {
  if (key.nameIsLatin1 && isAscii(key.name))
    out.assign(key.name);
  else
    out = regf::nameToUtf8(key.name, key.nameIsLatin1);
}

// The keys read so far, breadth first, with what reading their subkeys
// needs: the store's tables while they are built, or those of a part of the
// tree read on the second core.
struct HiveStore::Walk {
  std::vector<Node> nodes;
  std::vector<NodeId> order;
  TextArena names;
  // Each key's subkey count and list, kept from when its parent's list was
  // read so that its cell is not read a second time.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> lists;
  // Each key's level below the hive's root, which a registry keeps within
  // kMaxKeyDepth.
  std::vector<std::uint16_t> depths;
  // One bit per possible cell finds a key that is reached twice, which would
  // make a damaged hive an endless tree.
  std::vector<std::uint64_t> seen;
  std::vector<std::uint32_t> cells;  // scratch: one key's subkey cells

  std::string_view name(NodeId n) const { return names.get(nodes[n].name); }
  bool reached(std::uint32_t cell) {
    std::uint64_t& word = seen[cell / 4 / 64];
    const std::uint64_t bit = std::uint64_t{1} << (cell / 4 % 64);
    const bool before = (word & bit) != 0;
    word |= bit;
    return before;
  }
  void add(const Node& node, const KeyCell& cell, std::uint16_t depth) {
    nodes.push_back(node);
    lists.emplace_back(cell.subkeyCount, cell.subkeyList);
    depths.push_back(depth);
  }
};

bool HiveStore::expand(Walk& w, NodeId i, std::string& error) const {
  const regf::RegfView& view = m_hive->view();
  std::string why, name;
  auto fail = [&](const std::string& what) {
    std::string path = pathIn(w, i);
    error = (path.empty() ? std::string("the root key") : "the key " + path) + " " + what;
    return false;
  };
  KeyCell key;
  std::vector<std::uint32_t>& children = w.cells;
  children.clear();
  std::tie(key.subkeyCount, key.subkeyList) = w.lists[i];
  if (i + 4 < w.lists.size() && w.lists[i + 4].first) view.prefetch(w.lists[i + 4].second);
  if (!view.subkeys(key, children, why)) return fail("is damaged (" + why + ")");
  if (w.nodes.size() + children.size() >= kNoNode) return fail("holds more keys than can be handled");
  const auto first = static_cast<NodeId>(w.nodes.size());
  // The subkeys' cells lie anywhere in the file: loading a few ahead
  // overlaps the waits for their memory.
  constexpr std::size_t kAhead = 8;
  for (std::size_t k = 0; k < std::min(kAhead, children.size()); ++k) view.prefetch(children[k]);
  for (std::size_t k = 0; k < children.size(); ++k) {
    const std::uint32_t c = children[k];
    if (k + kAhead < children.size()) view.prefetch(children[k + kAhead]);
    KeyCell child;
    if (!view.key(c, child, why)) return fail("is damaged (" + why + ")");
    if (w.reached(c)) return fail("is damaged (a subkey is reached twice)");
    readName(child, name);
    // Keys are named by paths and C strings: a subkey without a name, with
    // a backslash or a NUL in it would be opened as its parent or as
    // another key.
    if (name.empty()) return fail("is damaged (a subkey has an empty name)");
    auto odd = std::find_if(name.begin(), name.end(), [](char ch) { return ch == '\\' || ch == '\0'; });
    if (odd != name.end()) {
      if (*odd == '\0') return fail("is damaged (a subkey name holds a NUL character)");
      return fail("is damaged (a subkey name holds a backslash: \"" + name + "\")");
    }
    if (keyNameTooLong(name)) {
      error = tooLongNameMessage(pathIn(w, i), name);
      return false;
    }
    if (w.depths[i] >= kMaxKeyDepth) {
      error = tooDeepMessage(pathIn(w, i) + "\\" + name);
      return false;
    }
    Node node;
    node.cell = c;
    node.parent = i;
    node.name = w.names.store(name);
    w.add(node, child, static_cast<std::uint16_t>(w.depths[i] + 1));
  }
  Node& parent = w.nodes[i];
  parent.first = first;
  parent.stored = parent.listed = parent.liveChildren = static_cast<std::uint32_t>(children.size());
  w.order.resize(w.nodes.size());
  NodeId* begin = w.order.data() + first;
  NodeId* end = begin + children.size();
  std::iota(begin, end, first);
  // Lists are kept in the registry's order by Windows: checking that, and
  // for names alike, costs one comparison per subkey; sorting, many.
  // Of two subkeys whose names the registry cannot tell apart, both would
  // be opened, and removed, as the one found first.
  auto alike = [&](NodeId* k) {
    return fail("is damaged (two subkeys named \"" + std::string(w.name(k[-1])) + "\" and \"" +
                std::string(w.name(*k)) + "\")");
  };
  bool sorted = true;
  for (NodeId* k = begin + 1; k < end && sorted; ++k) {
    int order = compareNoCase(w.name(k[-1]), w.name(*k));
    if (order == 0) return alike(k);
    sorted = order < 0;
  }
  if (!sorted) {
    std::stable_sort(begin, end, [&w](NodeId a, NodeId b) { return compareNoCase(w.name(a), w.name(b)) < 0; });
    for (NodeId* k = begin + 1; k < end; ++k)
      if (equalsNoCase(w.name(k[-1]), w.name(*k))) return alike(k);
  }
  return true;
}

bool HiveStore::load(std::uint32_t top, std::string& error) {
  // The top and its subkeys.
  auto start = [&](Walk& w) {
    w.seen.assign((m_hive->cellSlots() + 63) / 64, 0);
    w.nodes.reserve(m_hive->keyCells());
    w.order.reserve(m_hive->keyCells());
    KeyCell key;
    std::string why, name;
    if (!m_hive->view().key(top, key, why)) {
      error = "the root key is damaged (" + why + ")";
      return false;
    }
    readName(key, name);
    Node node;
    node.cell = top;
    node.name = w.names.store(name);
    w.add(node, key, static_cast<std::uint16_t>(m_topIsRoot ? 0 : 1));
    w.reached(top);
    return expand(w, 0, error);
  };
  Walk w;
  if (!start(w)) return false;
  // A large tree is read in two parts at once, split between the top's
  // subkeys. A damaged one is read again on one core, for the message that
  // reading gives.
  const bool split = splitWork(m_hive->bytes().size()) && w.nodes.size() >= 3;
  if (!split || !loadSplit(w)) {
    if (split) {
      w = Walk();
      if (!start(w)) return false;
    }
    for (NodeId i = 1; i < w.nodes.size(); ++i)
      if (!expand(w, i, error)) return false;
  }
  m_nodes = std::move(w.nodes);
  m_order = std::move(w.order);
  m_names = std::move(w.names);
  platform::crashPoint("hive-loaded");
  return true;
}

bool HiveStore::loadSplit(Walk& a) {
  // The top's subkeys are 1 .. tops - 1. Each is weighed by its subkeys and
  // theirs, as far as a few of them tell.
  const auto tops = static_cast<NodeId>(a.nodes.size());
  const regf::RegfView& view = m_hive->view();
  std::vector<double> weight(tops, 0);
  double total = 0;
  std::vector<std::uint32_t> cells;
  std::string why;
  for (NodeId i = 1; i < tops; ++i) {
    double w = 1 + a.lists[i].first;
    if (a.lists[i].first > 64) {
      KeyCell key;
      std::tie(key.subkeyCount, key.subkeyList) = a.lists[i];
      cells.clear();
      if (view.subkeys(key, cells, why) && !cells.empty()) {
        double below = 0;
        const std::size_t step = cells.size() / 8 + 1;
        std::size_t sampled = 0;
        for (std::size_t k = 0; k < cells.size(); k += step, ++sampled)
          if (KeyCell child; view.key(cells[k], child, why)) below += child.subkeyCount;
        w += a.lists[i].first * (1.5 * below / static_cast<double>(sampled));
      }
    }
    weight[i] = w;
    total += w;
  }
  NodeId split = 1;
  for (double sum = 0; split < tops && sum + weight[split] <= total / 2; ++split) sum += weight[split];
  split = std::clamp<NodeId>(split, 2, tops - 1);

  // The second part: the top's subkeys from `split` on, as roots of a tree
  // of their own, and what is below them.
  Walk b;
  b.seen.assign(a.seen.size(), 0);
  const std::size_t rest = m_hive->keyCells() > tops ? m_hive->keyCells() - tops : 0;
  b.nodes.reserve(rest);
  b.lists.reserve(rest);
  for (NodeId i = split; i < tops; ++i) {
    Node root = a.nodes[i];
    root.parent = kNoNode;
    root.name = b.names.store(a.name(i));
    b.nodes.push_back(root);
    b.lists.push_back(a.lists[i]);
    b.depths.push_back(a.depths[i]);
  }
  const auto roots = static_cast<NodeId>(b.nodes.size());
  bool aOk = true, bOk = true;
  {
    std::string ignored;
    SideTask side([&] {
      std::string message;
      for (NodeId i = 0; bOk && i < b.nodes.size(); ++i) bOk = expand(b, i, message);
    });
    for (NodeId i = 1; aOk && i < a.nodes.size(); i = i + 1 == split ? tops : i + 1) aOk = expand(a, i, ignored);
    side.join();
  }
  if (!aOk || !bOk) return false;
  // A key the second part reached that the first reached too (or the top,
  // or one of its subkeys): a key reached twice.
  for (NodeId i = roots; i < b.nodes.size(); ++i)
    if (a.reached(b.nodes[i].cell)) return false;

  // Breadth first, the first part's keys of each level come before the
  // second part's.
  const std::size_t count = a.nodes.size() + b.nodes.size() - roots;
  if (count >= kNoNode) return false;
  std::vector<NodeId> mapA(a.nodes.size()), mapB(b.nodes.size());
  std::iota(mapA.begin(), mapA.begin() + tops, 0);
  std::iota(mapB.begin(), mapB.begin() + roots, split);
  NodeId next = tops;
  for (std::size_t ia = tops, ib = roots; ia < a.nodes.size() || ib < b.nodes.size();) {
    const std::uint16_t depth = std::min(ia < a.nodes.size() ? a.depths[ia] : std::uint16_t{0xFFFF},
                                         ib < b.nodes.size() ? b.depths[ib] : std::uint16_t{0xFFFF});
    for (; ia < a.nodes.size() && a.depths[ia] == depth; ++ia) mapA[ia] = next++;
    for (; ib < b.nodes.size() && b.depths[ib] == depth; ++ib) mapB[ib] = next++;
  }
  const std::uint32_t shift = a.names.adopt(std::move(b.names));
  // In place: the first part's keys only move up (a key's new place is never
  // before its old one), so going down from its last key nothing is
  // overwritten before it is read; the second part's keys then fill the
  // places left. A key's place in `order` is the place of its children's
  // range, and moves alike.
  auto moved = [](Node n, const std::vector<NodeId>& map) {
    if (n.parent != kNoNode) n.parent = map[n.parent];
    n.first = n.stored > 0 ? map[n.first] : 0;
    return n;
  };
  const auto firstCount = static_cast<NodeId>(a.nodes.size());
  a.nodes.resize(count);
  a.order.resize(count);
  for (NodeId i = firstCount; i-- > tops;) {
    a.nodes[mapA[i]] = moved(a.nodes[i], mapA);
    a.order[mapA[i]] = mapA[a.order[i]];
  }
  for (NodeId i = 0; i < split; ++i) a.nodes[i] = moved(a.nodes[i], mapA);
  for (NodeId i = 0; i < b.nodes.size(); ++i) {
    Node n = moved(b.nodes[i], mapB);
    if (i < roots) {
      Node& root = a.nodes[split + i];  // keeps its parent and name
      root.first = n.first;
      root.stored = n.stored;
      root.listed = n.listed;
      root.liveChildren = n.liveChildren;
      continue;
    }
    n.name = TextArena::moved(n.name, shift);
    a.nodes[mapB[i]] = n;
    a.order[mapB[i]] = mapB[b.order[i]];
  }
  return true;
}

std::string HiveStore::keyPath(NodeId node) const {
  std::vector<std::string_view> names;
  for (NodeId n = node; n != kNoNode && n < m_nodes.size(); n = m_nodes[n].parent)
    if (n != 0 || !m_topIsRoot) names.push_back(name(n));
  std::string path;
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    if (!path.empty()) path += '\\';
    path += *it;
  }
  return path;
}

std::string HiveStore::pathIn(const Walk& w, NodeId node) const {
  std::vector<std::string_view> names;
  for (NodeId n = node; n != kNoNode && n < w.nodes.size(); n = w.nodes[n].parent)
    if (n != 0 || !m_topIsRoot) names.push_back(w.name(n));
  std::string path;
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    if (!path.empty()) path += '\\';
    path += *it;
  }
  return path;
}

const NodeId* HiveStore::sortedChildren(NodeId node) const {
  const Node& n = m_nodes[node];
  NodeId* begin = m_order.data() + n.first;
  if (n.listed != n.liveChildren) {
    std::remove_if(begin, begin + n.listed, [this](NodeId c) { return !m_nodes[c].live; });
    n.listed = n.liveChildren;
  }
  return begin;
}

bool HiveStore::isLive(NodeId node) const { return node < m_nodes.size() && m_nodes[node].live; }

NodeId HiveStore::findChild(NodeId parent, std::string_view name) const {
  if (!isLive(parent)) return kNoNode;
  const Node& p = m_nodes[parent];
  // Removed children may still be listed; they keep their place in the order.
  const NodeId* begin = m_order.data() + p.first;
  const NodeId* end = begin + p.listed;
  const NodeId* it = std::lower_bound(begin, end, name, [this](NodeId child, std::string_view n) {
    return compareNoCase(this->name(child), n) < 0;
  });
  if (it != end && m_nodes[*it].live && equalsNoCase(this->name(*it), name)) return *it;
  if (const AddedSet* added = addedBelow(parent)) {
    auto found = added->find(name);
    if (found != added->end()) return *found;
  }
  return kNoNode;
}

std::uint32_t HiveStore::childCount(NodeId node) const {
  if (!isLive(node)) return 0;
  const AddedSet* added = addedBelow(node);
  return m_nodes[node].liveChildren + (added ? static_cast<std::uint32_t>(added->size()) : 0);
}

NodeId HiveStore::childAt(NodeId parent, std::uint32_t index) const {
  if (!isLive(parent) || index >= childCount(parent)) return kNoNode;
  const AddedSet* added = addedBelow(parent);
  if (!added) return sortedChildren(parent)[index];
  auto [it, make] = m_merged.try_emplace(parent);
  if (make) {
    const NodeId* own = sortedChildren(parent);
    it->second.reserve(childCount(parent));
    std::merge(own, own + m_nodes[parent].liveChildren, added->begin(), added->end(),
               std::back_inserter(it->second), ByName{this});
  }
  return it->second[index];
}

std::string_view HiveStore::name(NodeId node) const {
  return node < m_nodes.size() ? m_names.get(m_nodes[node].name) : std::string_view();
}

bool HiveStore::valueCells(NodeId node, std::vector<std::uint32_t>& out) const {
  if (!isLive(node) || !m_hive) return false;
  KeyCell key;
  std::string why;
  return m_hive->view().key(m_nodes[node].cell, key, why) && m_hive->view().valueCells(key, out, why);
}

bool HiveStore::defaultData(NodeId node, ValueCell& value, std::string_view& data,
                            std::string& scratch) const {
  if (!isLive(node) || !m_hive) return false;
  const regf::RegfView& view = m_hive->view();
  KeyCell key;
  std::string why;
  if (!view.key(m_nodes[node].cell, key, why) || !view.defaultValue(key, value, why)) return false;
  if (view.dataInPlace(value, data)) return true;
  if (!view.valueData(value, scratch, why)) return false;
  data = scratch;
  return true;
}

bool HiveStore::defaultValue(NodeId node, RegValue& out) const {
  if (!isLive(node)) return false;
  if (const std::vector<NamedValue>* set = m_additions.valuesOf(node)) {
    for (const NamedValue& v : *set) {
      if (!v.name.empty()) continue;
      out = v.value;
      return true;
    }
  }
  if (m_nodes[node].cell == regf::kNoCell) return false;
  ValueCell value;
  std::string_view data;
  std::string scratch;
  if (!defaultData(node, value, data, scratch)) return false;
  out.type = value.type;
  out.data = isStringType(out.type) ? hiveStringToUtf16le(data) : std::string(data);
  return true;
}

bool HiveStore::defaultValueNarrow(NodeId node, DWORD& type, std::string& out) const {
  if (isLive(node) && (m_nodes[node].cell == regf::kNoCell || m_additions.valuesOf(node)))
    return Store::defaultValueNarrow(node, type, out);
  ValueCell value;
  std::string_view data;
  std::string scratch;
  if (!defaultData(node, value, data, scratch)) return false;
  type = value.type;
  if (!isStringType(type)) {
    out.assign(data);
    return true;
  }
  // As Store::defaultValueNarrow has it, without the UTF-16 copy between.
  out = looksLike8BitString(data) ? utf16leToUtf8(utf8ToUtf16le(data)) : utf16leToUtf8(data);
  if (!out.empty() && out.back() == '\0') out.pop_back();
  out += '\0';
  return true;
}

bool HiveStore::values(NodeId node, std::vector<NamedValue>& out) const {
  out.clear();
  if (!isLive(node)) return false;
  const std::vector<NamedValue>* set = m_additions.valuesOf(node);
  if (m_nodes[node].cell != regf::kNoCell && !fileValues(node, out)) return false;
  // Values set since the last save replace those of the same name in place.
  for (const NamedValue& v : set ? *set : std::vector<NamedValue>()) {
    auto same = std::find_if(out.begin(), out.end(), [&](const NamedValue& o) { return equalsNoCase(o.name, v.name); });
    if (same != out.end())
      same->value = v.value;
    else
      out.push_back(v);
  }
  return true;
}

bool HiveStore::fileValues(NodeId node, std::vector<NamedValue>& out) const {
  std::vector<std::uint32_t> cells;
  if (!valueCells(node, cells)) return false;
  const regf::RegfView& view = m_hive->view();
  std::string why;
  for (std::uint32_t cell : cells) {
    ValueCell value;
    NamedValue named;
    if (!view.value(cell, value, why) || !view.valueData(value, named.value.data, why)) return false;
    named.name = regf::nameToUtf8(value.name, value.nameIsLatin1);
    named.value.type = value.type;
    out.push_back(std::move(named));
  }
  return true;
}

LONG HiveStore::removeLeaf(NodeId parent, NodeId child) {
  if (!isLive(parent) || !isLive(child) || m_nodes[child].parent != parent)
    return ERROR_FILE_NOT_FOUND;
  if (childCount(child) != 0) return ERROR_ACCESS_DENIED;
  Node& c = m_nodes[child];
  // The removal patch rewrites only the lists the hive was opened with.
  if ((c.added && c.cell != regf::kNoCell) || m_grown.count(parent)) return ERROR_ACCESS_DENIED;
  c.live = false;
  m_merged.erase(parent);
  if (c.added) {
    // Never written: the save leaves it out.
    m_added[parent].erase(child);
    return ERROR_SUCCESS;
  }
  --m_nodes[parent].liveChildren;
  m_pending.push_back(child);
  return ERROR_SUCCESS;
}

bool HiveStore::patch(regf::RegfHive& copy, regf::ByteRanges& changed, std::string& error) const {
  std::vector<NodeId> parents;
  std::vector<regf::RemovedKey> removed;
  for (NodeId n : m_pending) {
    removed.push_back({m_nodes[n].cell, m_nodes[m_nodes[n].parent].cell});
    if (m_nodes[m_nodes[n].parent].live) parents.push_back(m_nodes[n].parent);
  }
  std::sort(parents.begin(), parents.end());
  parents.erase(std::unique(parents.begin(), parents.end()), parents.end());
  // Which cells only the removed keys name, found before anything is
  // written; the census reads the whole hive, from its root.
  regf::RegfCensus census(copy.view(), copy.cellSlots());
  census.take(copy.rootCell(), removed);
  std::string why;
  if (!checkRewritable(copy.view(), census, parents, error)) return false;
  regf::RegfEditor editor(copy, copy.writableBytes());
  for (const auto& [descriptor, keptUses] : census.descriptors())
    editor.releaseSecurity(descriptor, keptUses, census);
  editor.freeCells(census);
  // Each parent's list on disk holds the children the file still has, in
  // stored order; the ones removed since are dropped.
  std::vector<bool> keep;
  for (NodeId p : parents) {
    const Node& parent = m_nodes[p];
    keep.clear();
    for (NodeId c = parent.first; c < parent.first + parent.stored; ++c)
      if (m_nodes[c].inFile) keep.push_back(m_nodes[c].live);
    if (!editor.keepSubkeys(parent.cell, keep, why)) {
      error = "the subkeys of " + describe(p) + " cannot be rewritten (" + why + ")";
      return false;
    }
  }
  editor.finish();
  changed = editor.changedRanges();

  // The patched lists, read back from memory, must list exactly the kept
  // children, and every removed key must be gone.
  const regf::RegfView& view = copy.view();
  std::vector<std::uint32_t> listed, expected;
  for (NodeId p : parents) {
    const Node& parent = m_nodes[p];
    expected.clear();
    listed.clear();
    for (NodeId c = parent.first; c < parent.first + parent.stored; ++c)
      if (m_nodes[c].live) expected.push_back(m_nodes[c].cell);
    KeyCell key;
    if (!view.key(parent.cell, key, why) || !view.subkeys(key, listed, why) || listed != expected) {
      error = "the rewritten subkeys of " + describe(p) + " do not read back as written";
      return false;
    }
  }
  // A removed key's cell stays allocated only where another structure names
  // it; its parent no longer lists it either way (checked above, and a
  // removed parent is itself gone from the tree).
  for (NodeId n : m_pending) {
    if (view.isCell(m_nodes[n].cell) && census.mayFree(m_nodes[n].cell)) {
      error = "the removed key " + keyPath(n) + " could not be freed";
      return false;
    }
  }
  return true;
}

bool HiveStore::checkRewritable(const regf::RegfView& view, const regf::RegfCensus& census,
                                const std::vector<NodeId>& parents, std::string& error) const {
  // A parent's key cell and subkey lists are rewritten in place: when
  // another kept structure names one of them too, that one would change.
  std::vector<std::uint32_t> children;
  std::vector<regf::ListCell> lists;
  std::string why;
  for (NodeId p : parents) {
    KeyCell key;
    children.clear();
    lists.clear();
    if (!view.key(m_nodes[p].cell, key, why) || !view.subkeys(key, children, why, &lists)) {
      error = "the subkeys of " + describe(p) + " cannot be rewritten (" + why + ")";
      return false;
    }
    std::uint32_t shared = census.keptOnce(key.cell) ? regf::kNoCell : key.cell;
    for (const regf::ListCell& list : lists)
      if (shared == regf::kNoCell && !census.keptOnce(list.cell)) shared = list.cell;
    if (shared != regf::kNoCell) {
      const std::string other = census.otherOwner(m_hive->rootCell(), shared, key.cell);
      error = "the subkeys of " + describe(p) + " cannot be rewritten: " +
              (other.empty() ? std::string("another structure of the hive") : "the key " + other) +
              " names the same cells";
      return false;
    }
  }
  return true;
}

std::string HiveStore::describe(NodeId node) const {
  std::string path = keyPath(node);
  return path.empty() ? std::string("the root key") : "the key " + path;
}

void HiveStore::filesHolding(NodeId node, std::vector<std::string>& out) const {
  if (isLive(node)) out.push_back(m_file.string());
}

CommitResult HiveStore::prepareSave(SaveBatch& batch) {
  if (m_pending.empty() && m_additions.empty()) return {};
  std::string unchanged = m_file.string() + ": the hive was left unchanged: ";
  if (!m_hive) return CommitResult::failed(unchanged + "it could not be read again after the last save");
  if (std::string changed = changedOnDisk(); !changed.empty()) return CommitResult::failed(unchanged + changed);
  std::string error;
  // The copy maps every page of the file again; the hive as read lets its
  // pages go meanwhile (read again from the system's cache if asked for),
  // so that the run does not hold the file twice.
  m_hive->letPagesGo();
  // Nothing removed: the hive as read is grown without a copy to patch.
  if (m_pending.empty()) return prepareGrown(batch, *m_hive, {}, std::move(unchanged));
  std::unique_ptr<regf::RegfHive> copy = m_hive->reopen(m_file, true, error);
  if (!copy) return CommitResult::failed(unchanged + error);
  if (!(copy->identity() == m_identity))
    return CommitResult::failed(unchanged + "another program changed it since it was read");
  regf::ByteRanges changed;
  if (!patch(*copy, changed, error)) return CommitResult::failed(unchanged + error);
  if (!m_additions.empty()) return prepareGrown(batch, *copy, changed, std::move(unchanged));

  std::unique_ptr<platform::PreparedFile> file = prepareFile(copy->descriptor(), copy->bytes(), changed, error);
  if (!file) return CommitResult::failed(unchanged + error);
  copy.reset();
  batch.add(
      m_file.string(), std::move(file),
      [this] { return releaseUnlessChanged(); },
      std::move(unchanged),
      [this](bool replaced) {
        if (m_hive->descriptor() < 0) {
          // Released for the rename: mapped again, the new file or the old
          // one, with the same layout.
          std::string reopenError;
          m_hive = m_hive->reopen(m_file, false, reopenError);
        }
        if (replaced) noteReplaced();
      });
  return {};
}

std::unique_ptr<platform::PreparedFile> HiveStore::prepareFile(int fd, std::span<const unsigned char> bytes,
                                                               const regf::ByteRanges& changed,
                                                               std::string& error) const {
  return platform::PreparedFile::write(
      m_file,
      [fd, bytes, &changed](platform::AtomicWriter& writer) {
        std::size_t at = 0;
        for (const auto& [from, length] : changed) {
          writer.copyFrom(fd, static_cast<long long>(at), from - at);
          writer.write(std::string_view(reinterpret_cast<const char*>(bytes.data() + from), length));
          at = from + length;
        }
        writer.copyFrom(fd, static_cast<long long>(at), bytes.size() - at);
        return !writer.failed();
      },
      error);
}

std::string HiveStore::releaseUnlessChanged() {
  std::string changedNow = changedOnDisk();
  if (changedNow.empty()) m_hive->release();
  return changedNow;
}

void HiveStore::noteReplaced() {
  for (NodeId n : m_pending) m_nodes[n].inFile = false;
  m_pending.clear();
  if (m_hive)
    m_identity = m_hive->identity();
  else
    platform::FileIdentity::ofPath(m_file, m_identity);
}

std::string HiveStore::changedOnDisk() const {
  platform::FileIdentity now;
  if (!platform::FileIdentity::ofPath(m_file, now)) return std::strerror(errno);
  if (!(now == m_identity)) return "another program changed it since it was read";
  return {};
}

}  // namespace comsweep::registry
