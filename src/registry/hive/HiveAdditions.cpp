#include "registry/hive/HiveAdditions.h"

#include <algorithm>

#include "registry/store/Text.h"
#include "registry/regf/RegfGrower.h"

namespace comsweep::registry {

void HiveAdditions::setValue(NodeId node, const NamedValue& value) {
  auto [it, first] = m_values.try_emplace(node);
  if (first) m_valueOrder.push_back(node);
  for (NamedValue& v : it->second) {
    if (equalsNoCase(v.name, value.name)) {
      v.value = value.value;
      return;
    }
  }
  it->second.push_back(value);
}

const std::vector<NamedValue>* HiveAdditions::valuesOf(NodeId node) const {
  auto it = m_values.find(node);
  return it == m_values.end() ? nullptr : &it->second;
}

void HiveAdditions::clear() {
  m_created.clear();
  m_values.clear();
  m_valueOrder.clear();
}

bool HiveAdditions::write(regf::RegfImage& image, const Tree& tree,
                          std::vector<std::pair<NodeId, std::uint32_t>>& cells, std::string& error) const {
  regf::RegfGrower grower(image);
  std::string why;
  if (!grower.start(why)) {
    error = "the hive cannot be grown (" + why + ")";
    return false;
  }
  // Keys made below one parent go in together. A parent made itself comes
  // before its first subkey, so its group follows the one that makes it.
  std::vector<NodeId> parents;
  std::unordered_map<NodeId, std::vector<NodeId>> made;
  for (NodeId node : m_created) {
    if (!tree.isLive(node)) continue;
    auto [it, first] = made.try_emplace(tree.parentOf(node));
    if (first) parents.push_back(it->first);
    it->second.push_back(node);
  }
  std::unordered_map<NodeId, std::uint32_t> newCell;
  auto cellOf = [&](NodeId node) {
    auto it = newCell.find(node);
    return it != newCell.end() ? it->second : tree.cellOf(node);
  };
  std::vector<std::string> names;
  std::vector<std::uint32_t> written;
  for (NodeId parent : parents) {
    const std::vector<NodeId>& children = made[parent];
    names.clear();
    for (NodeId child : children) names.push_back(tree.nameOf(child));
    if (!grower.addSubkeys(cellOf(parent), names, written, why)) {
      error = "keys cannot be added to " + tree.describe(parent) + " (" + why + ")";
      return false;
    }
    for (std::size_t i = 0; i < children.size(); ++i) {
      newCell[children[i]] = written[i];
      cells.emplace_back(children[i], written[i]);
    }
  }
  std::vector<regf::NewValue> values;
  for (NodeId node : m_valueOrder) {
    if (!tree.isLive(node)) continue;
    values.clear();
    for (const NamedValue& v : m_values.at(node)) values.push_back({v.name, v.value.type, v.value.data});
    if (!grower.setValues(cellOf(node), values, why)) {
      error = "the values of " + tree.describe(node) + " cannot be set (" + why + ")";
      return false;
    }
  }
  grower.finish();

  // Read back: each grown list holds the new keys in the registry's order,
  // each value reads as it was given.
  const regf::RegfView view = grower.view();
  std::vector<std::uint32_t> listed;
  for (NodeId parent : parents) {
    regf::KeyCell key;
    listed.clear();
    bool sound = view.key(cellOf(parent), key, why) && view.subkeys(key, listed, why);
    std::string previous;
    for (std::size_t i = 0; sound && i < listed.size(); ++i) {
      regf::KeyCell child;
      sound = view.key(listed[i], child, why);
      std::string name = sound ? regf::nameToUtf8(child.name, child.nameIsLatin1) : std::string();
      sound = sound && (i == 0 || compareNoCase(previous, name) < 0);
      previous = std::move(name);
    }
    std::sort(listed.begin(), listed.end());
    for (NodeId child : made[parent])
      sound = sound && std::binary_search(listed.begin(), listed.end(), newCell[child]);
    if (!sound) {
      error = "the grown subkey lists of " + tree.describe(parent) + " do not read back as written";
      return false;
    }
  }
  std::vector<std::uint32_t> valueCells;
  for (NodeId node : m_valueOrder) {
    if (!tree.isLive(node)) continue;
    regf::KeyCell key;
    bool sound = view.key(cellOf(node), key, why) && view.valueCells(key, valueCells, why);
    for (const NamedValue& v : m_values.at(node)) {
      bool found = false;
      for (std::size_t i = 0; sound && !found && i < valueCells.size(); ++i) {
        regf::ValueCell cell;
        std::string data;
        sound = view.value(valueCells[i], cell, why) && view.valueData(cell, data, why);
        found = sound && equalsNoCase(regf::nameToUtf8(cell.name, cell.nameIsLatin1), v.name);
        if (found) sound = cell.type == v.value.type && data == v.value.data;
      }
      sound = sound && found;
    }
    if (!sound) {
      error = "the values set on " + tree.describe(node) + " do not read back as written";
      return false;
    }
  }
  return true;
}

}  // namespace comsweep::registry
