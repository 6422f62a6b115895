#include "registry/layered/LayeredStore.h"

#include <algorithm>

#include "registry/store/Text.h"

namespace comsweep::registry {

LayeredStore::LayeredStore(std::unique_ptr<Store> upper, std::unique_ptr<Store> lower)
    : m_upper(std::move(upper)), m_lower(std::move(lower)) {
  bothId(m_upper->root(), m_lower->root());
}

NodeId LayeredStore::bothId(NodeId upper, NodeId lower) const {
  auto [it, added] = m_bothOfUpper.emplace(upper, static_cast<NodeId>(m_both.size()));
  if (added) m_both.push_back({upper, lower, false, {}});
  return it->second | kBothBit;
}

// Both lists are in registry order, so one merge pass gives the composed
// order; equal names are the same key.
const std::vector<NodeId>& LayeredStore::children(const Both& entry) const {
  if (entry.childrenKnown) return entry.children;
  const NodeId upper = entry.upper, lower = entry.lower;
  const std::uint32_t upperCount = m_upper->childCount(upper);
  const std::uint32_t lowerCount = m_lower->childCount(lower);
  std::vector<NodeId> merged;
  merged.reserve(std::max(upperCount, lowerCount));
  std::uint32_t u = 0, l = 0;
  while (u < upperCount || l < lowerCount) {
    NodeId upperChild = u < upperCount ? m_upper->childAt(upper, u) : kNoNode;
    NodeId lowerChild = l < lowerCount ? m_lower->childAt(lower, l) : kNoNode;
    int order = upperChild == kNoNode   ? 1
                : lowerChild == kNoNode ? -1
                                        : compareNoCase(m_upper->name(upperChild),
                                                        m_lower->name(lowerChild));
    if (order < 0) {
      merged.push_back(upperChild | kUpperBit);
      ++u;
    } else if (order > 0) {
      merged.push_back(lowerChild);
      ++l;
    } else {
      merged.push_back(bothId(upperChild, lowerChild));
      ++u;
      ++l;
    }
  }
  entry.children = std::move(merged);
  entry.childrenKnown = true;
  return entry.children;
}

bool LayeredStore::isLive(NodeId node) const {
  if (node == kNoNode) return false;
  if (isBoth(node)) {
    if ((node & ~kBothBit) >= m_both.size()) return false;
    const Both& entry = both(node);
    return m_upper->isLive(entry.upper) || m_lower->isLive(entry.lower);
  }
  return storeOf(node).isLive(ownId(node));
}

NodeId LayeredStore::findChild(NodeId parent, std::string_view name) const {
  if (!isBoth(parent)) {
    NodeId child = storeOf(parent).findChild(ownId(parent), name);
    return child == kNoNode || !isUpper(parent) ? child : child | kUpperBit;
  }
  const Both& entry = both(parent);
  NodeId upperChild = m_upper->findChild(entry.upper, name);
  NodeId lowerChild = m_lower->findChild(entry.lower, name);
  if (upperChild == kNoNode) return lowerChild;
  if (lowerChild == kNoNode) return upperChild | kUpperBit;
  return bothId(upperChild, lowerChild);
}

std::uint32_t LayeredStore::childCount(NodeId node) const {
  if (!isBoth(node)) return storeOf(node).childCount(ownId(node));
  return static_cast<std::uint32_t>(children(both(node)).size());
}

NodeId LayeredStore::childAt(NodeId parent, std::uint32_t index) const {
  if (!isBoth(parent)) {
    NodeId child = storeOf(parent).childAt(ownId(parent), index);
    return child == kNoNode || !isUpper(parent) ? child : child | kUpperBit;
  }
  const std::vector<NodeId>& list = children(both(parent));
  return index < list.size() ? list[index] : kNoNode;
}

std::string_view LayeredStore::name(NodeId node) const {
  if (isBoth(node)) return m_upper->name(both(node).upper);
  return storeOf(node).name(ownId(node));
}

bool LayeredStore::defaultValue(NodeId node, RegValue& out) const {
  if (isBoth(node)) return m_upper->defaultValue(both(node).upper, out);
  return storeOf(node).defaultValue(ownId(node), out);
}

bool LayeredStore::defaultValueNarrow(NodeId node, DWORD& type, std::string& out) const {
  if (isBoth(node)) return m_upper->defaultValueNarrow(both(node).upper, type, out);
  return storeOf(node).defaultValueNarrow(ownId(node), type, out);
}

bool LayeredStore::values(NodeId node, std::vector<NamedValue>& out) const {
  if (isBoth(node)) return m_upper->values(both(node).upper, out);
  return storeOf(node).values(ownId(node), out);
}

LONG LayeredStore::removeLeaf(NodeId parent, NodeId child) {
  if (!isBoth(parent)) {
    if (isBoth(child) || isUpper(parent) != isUpper(child)) return ERROR_INVALID_PARAMETER;
    if (isUpper(parent)) return m_upper->removeLeaf(ownId(parent), ownId(child));
    return m_lower->removeLeaf(parent, child);
  }
  const Both& owner = both(parent);
  LONG status;
  if (isBoth(child)) {
    const Both& entry = both(child);
    // Both copies must be removable before either goes.
    if (m_upper->childCount(entry.upper) != 0 || m_lower->childCount(entry.lower) != 0)
      return ERROR_ACCESS_DENIED;
    status = m_upper->removeLeaf(owner.upper, entry.upper);
    if (status == ERROR_SUCCESS) status = m_lower->removeLeaf(owner.lower, entry.lower);
  } else if (isUpper(child)) {
    status = m_upper->removeLeaf(owner.upper, ownId(child));
  } else {
    status = m_lower->removeLeaf(owner.lower, child);
  }
  if (status == ERROR_SUCCESS && owner.childrenKnown) {
    auto& list = owner.children;
    list.erase(std::remove(list.begin(), list.end(), child), list.end());
  }
  return status;
}

LONG LayeredStore::createKey(NodeId parent, std::string_view name, NodeId& out, bool& created) {
  out = kNoNode;
  created = false;
  if (!isLive(parent)) return ERROR_KEY_DELETED;
  if (NodeId existing = findChild(parent, name); existing != kNoNode) {
    out = existing;
    return ERROR_SUCCESS;
  }
  bool inUpper = isUpper(parent);
  NodeId own = ownId(parent);
  if (isBoth(parent)) {
    const Both& owner = both(parent);
    inUpper = m_upper->isLive(owner.upper);
    own = inUpper ? owner.upper : owner.lower;
    owner.childrenKnown = false;
    owner.children.clear();
  }
  NodeId child = kNoNode;
  LONG status = (inUpper ? *m_upper : *m_lower).createKey(own, name, child, created);
  if (status == ERROR_SUCCESS && child >= kBothBit) return ERROR_ACCESS_DENIED;  // past the ids this store can tell apart
  if (status == ERROR_SUCCESS) out = inUpper ? child | kUpperBit : child;
  return status;
}

LONG LayeredStore::setValue(NodeId node, const NamedValue& value) {
  if (!isLive(node)) return ERROR_KEY_DELETED;
  if (!isBoth(node)) return (isUpper(node) ? *m_upper : *m_lower).setValue(ownId(node), value);
  const Both& entry = both(node);
  if (m_upper->isLive(entry.upper)) return m_upper->setValue(entry.upper, value);
  return m_lower->setValue(entry.lower, value);
}

void LayeredStore::filesHolding(NodeId node, std::vector<std::string>& out) const {
  if (!isBoth(node)) return storeOf(node).filesHolding(ownId(node), out);
  m_upper->filesHolding(both(node).upper, out);
  m_lower->filesHolding(both(node).lower, out);
}

CommitResult LayeredStore::prepareSave(SaveBatch& batch) {
  if (CommitResult lower = m_lower->prepareSave(batch); lower.failure.failed()) return lower;
  return m_upper->prepareSave(batch);
}

}  // namespace comsweep::registry
