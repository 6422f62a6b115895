#pragma once
// What createKey() and setValue() asked of a hive store since it was opened
// or last saved, and writing that into an image of the hive through
// regf::RegfGrower: the keys made under each parent in one rewrite of its
// subkey lists (parents before their subkeys), then the values of each key
// in one rewrite of its value list.

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "registry/regf/RegfImage.h"
#include "registry/store/Store.h"

namespace comsweep::registry {

class HiveAdditions {
 public:
  // How the store's keys are seen: live or removed, parent, cell in the
  // file (regf::kNoCell for a key not yet written), name as UTF-8, and
  // how messages name it.
  struct Tree {
    std::function<bool(NodeId)> isLive;
    std::function<NodeId(NodeId)> parentOf;
    std::function<std::uint32_t(NodeId)> cellOf;
    std::function<std::string(NodeId)> nameOf;
    std::function<std::string(NodeId)> describe;
  };

  bool empty() const { return m_created.empty() && m_valueOrder.empty(); }
  // A key made since the last save, after its parent.
  void created(NodeId node) { m_created.push_back(node); }
  // A value set on a key; one of the same name (compared without regard to
  // case) set before is replaced in its place.
  void setValue(NodeId node, const NamedValue& value);
  // The values set on the key since the last save, or null.
  const std::vector<NamedValue>* valuesOf(NodeId node) const;
  // Writes the additions to live keys into `image` (a whole hive file) and
  // checks them read back; `cells` receives each new key's cell. False with
  // `error` (the image then half written).
  bool write(regf::RegfImage& image, const Tree& tree,
             std::vector<std::pair<NodeId, std::uint32_t>>& cells, std::string& error) const;
  void clear();

 private:
  std::vector<NodeId> m_created;
  std::unordered_map<NodeId, std::vector<NamedValue>> m_values;
  std::vector<NodeId> m_valueOrder;  // keys in the order their first value was set
};

}  // namespace comsweep::registry
