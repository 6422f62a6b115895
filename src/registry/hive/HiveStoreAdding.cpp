// HiveStore: adding keys and values, and the save that writes them.
#include <cstring>

#include "platform/AtomicFile.h"
#include "registry/store/SaveBatch.h"
#include "registry/hive/HiveStore.h"

namespace comsweep::registry {

const HiveStore::AddedSet* HiveStore::addedBelow(NodeId parent) const {
  auto it = m_added.find(parent);
  return it == m_added.end() || it->second.empty() ? nullptr : &it->second;
}

LONG HiveStore::createKey(NodeId parent, std::string_view name, NodeId& out, bool& created) {
  out = kNoNode;
  created = false;
  if (!isLive(parent)) return ERROR_KEY_DELETED;
  // No limit on the length: a key read from a file with a longer name than
  // the registry allows is put back as it was.
  if (name.empty() || name.find_first_of(std::string_view("\\\0", 2)) != std::string_view::npos ||
      !isValidUtf8(name))
    return ERROR_INVALID_PARAMETER;
  out = findChild(parent, name);
  if (out != kNoNode) return ERROR_SUCCESS;
  if (m_nodes.size() + 1 >= kNoNode) return ERROR_ACCESS_DENIED;
  Node node;
  node.cell = regf::kNoCell;
  node.parent = parent;
  node.first = static_cast<NodeId>(m_nodes.size());
  node.name = m_names.store(name);
  node.inFile = false;
  node.added = true;
  out = static_cast<NodeId>(m_nodes.size());
  m_nodes.push_back(node);
  m_order.push_back(out);  // keeps m_order as long as m_nodes; never read for this key
  m_added.try_emplace(parent, ByName{this}).first->second.insert(out);
  m_merged.erase(parent);
  m_additions.created(out);
  created = true;
  return ERROR_SUCCESS;
}

LONG HiveStore::setValue(NodeId node, const NamedValue& value) {
  if (!isLive(node)) return ERROR_KEY_DELETED;
  if (!isValidUtf8(value.name)) return ERROR_INVALID_PARAMETER;
  m_additions.setValue(node, value);
  return ERROR_SUCCESS;
}

bool HiveStore::grow(regf::RegfImage& image, std::vector<std::pair<NodeId, std::uint32_t>>& cells,
                     std::string& error) const {
  HiveAdditions::Tree tree;
  tree.isLive = [this](NodeId n) { return isLive(n); };
  tree.parentOf = [this](NodeId n) { return m_nodes[n].parent; };
  tree.cellOf = [this](NodeId n) { return m_nodes[n].cell; };
  tree.nameOf = [this](NodeId n) { return std::string(name(n)); };
  tree.describe = [this](NodeId n) { return describe(n); };
  return m_additions.write(image, tree, cells, error);
}

CommitResult HiveStore::prepareGrown(SaveBatch& batch, const regf::RegfHive& copy, const regf::ByteRanges& changed,
                                     std::string unchanged) {
  // Grown over the file: only the pages written are copies, and only they
  // are written to the new file; the system copies the rest.
  regf::RegfImage image(copy.bytes(), copy.descriptor(), changed);
  std::vector<std::pair<NodeId, std::uint32_t>> cells;
  std::string error;
  if (!grow(image, cells, error)) return CommitResult::failed(unchanged + error);
  std::unique_ptr<platform::PreparedFile> file =
      prepareFile(copy.descriptor(), image.bytes(), image.changedRanges(), error);
  if (!file) return CommitResult::failed(unchanged + error);
  batch.add(
      m_file.string(), std::move(file),
      [this] { return releaseUnlessChanged(); },
      std::move(unchanged),
      [this, cells = std::move(cells)](bool replaced) {
        std::string reopenError;
        if (!replaced) {
          if (m_hive->descriptor() < 0) m_hive = m_hive->reopen(m_file, false, reopenError);
          return;
        }
        // The hive has cells it did not have: its layout is read anew.
        m_hive = regf::RegfHive::open(m_file, reopenError);
        noteReplaced();
        for (const auto& [node, cell] : cells) {
          m_nodes[node].cell = cell;
          m_nodes[node].inFile = true;
          m_grown.insert(m_nodes[node].parent);
        }
        m_additions.clear();
      });
  return {};
}

}  // namespace comsweep::registry
