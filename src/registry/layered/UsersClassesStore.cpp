#include "registry/layered/UsersClassesStore.h"

#include "registry/store/Text.h"

namespace comsweep::registry {

void UsersClassesStore::addUser(std::string keyName, std::unique_ptr<Store> classes) {
  m_users.push_back({std::move(keyName), std::move(classes)});
}

NodeId UsersClassesStore::idOf(std::size_t user, NodeId own) const {
  if (own == kNoNode) return kNoNode;
  auto [it, added] = m_idOf.emplace(std::pair(user, own), static_cast<NodeId>(m_entries.size()) | kUserBit);
  if (added) m_entries.push_back({user, own});
  return it->second;
}

bool UsersClassesStore::isLive(NodeId node) const {
  if (node == kNoNode) return false;
  if (node == kUsersKey) return !m_users.empty();
  if (!isUser(node)) return m_machine->isLive(node);
  if ((node & ~kUserBit) >= m_entries.size()) return false;
  const Entry& e = entry(node);
  return m_users[e.user].store->isLive(e.own);
}

NodeId UsersClassesStore::findChild(NodeId parent, std::string_view name) const {
  if (parent == kUsersKey) {
    for (std::size_t u = 0; u < m_users.size(); ++u)
      if (equalsNoCase(m_users[u].keyName, name)) return idOf(u, m_users[u].store->root());
    return kNoNode;
  }
  if (isUser(parent)) {
    const Entry& e = entry(parent);
    return idOf(e.user, m_users[e.user].store->findChild(e.own, name));
  }
  if (parent == root() && !m_users.empty() && equalsNoCase(name, kUsersKeyName)) return kUsersKey;
  return m_machine->findChild(parent, name);
}

std::uint32_t UsersClassesStore::childCount(NodeId node) const {
  if (node == kUsersKey) return static_cast<std::uint32_t>(m_users.size());
  if (!isUser(node)) return m_machine->childCount(node);
  const Entry& e = entry(node);
  return m_users[e.user].store->childCount(e.own);
}

NodeId UsersClassesStore::childAt(NodeId parent, std::uint32_t index) const {
  if (parent == kUsersKey)
    return index < m_users.size() ? idOf(index, m_users[index].store->root()) : kNoNode;
  if (!isUser(parent)) return m_machine->childAt(parent, index);
  const Entry& e = entry(parent);
  return idOf(e.user, m_users[e.user].store->childAt(e.own, index));
}

std::string_view UsersClassesStore::name(NodeId node) const {
  if (node == kUsersKey) return kUsersKeyName;
  if (!isUser(node)) return m_machine->name(node);
  const Entry& e = entry(node);
  const Store& store = *m_users[e.user].store;
  // A hive's root has a name of its own; the user's classes are known by theirs.
  return e.own == store.root() ? std::string_view(m_users[e.user].keyName) : store.name(e.own);
}

bool UsersClassesStore::defaultValue(NodeId node, RegValue& out) const {
  if (node == kUsersKey) return false;
  if (!isUser(node)) return m_machine->defaultValue(node, out);
  const Entry& e = entry(node);
  return m_users[e.user].store->defaultValue(e.own, out);
}

bool UsersClassesStore::defaultValueNarrow(NodeId node, DWORD& type, std::string& out) const {
  if (node == kUsersKey) return false;
  if (!isUser(node)) return m_machine->defaultValueNarrow(node, type, out);
  const Entry& e = entry(node);
  return m_users[e.user].store->defaultValueNarrow(e.own, type, out);
}

bool UsersClassesStore::values(NodeId node, std::vector<NamedValue>& out) const {
  out.clear();
  if (node == kUsersKey) return true;
  if (!isUser(node)) return m_machine->values(node, out);
  const Entry& e = entry(node);
  return m_users[e.user].store->values(e.own, out);
}

LONG UsersClassesStore::removeLeaf(NodeId parent, NodeId child) {
  if (parent == kUsersKey || child == kUsersKey) return ERROR_ACCESS_DENIED;
  if (isUser(parent) != isUser(child)) return ERROR_FILE_NOT_FOUND;
  if (!isUser(parent)) return m_machine->removeLeaf(parent, child);
  const Entry& p = entry(parent);
  const Entry& c = entry(child);
  if (p.user != c.user) return ERROR_FILE_NOT_FOUND;
  return m_users[p.user].store->removeLeaf(p.own, c.own);
}

void UsersClassesStore::filesHolding(NodeId node, std::vector<std::string>& out) const {
  if (node == kUsersKey) return;
  if (!isUser(node)) return m_machine->filesHolding(node, out);
  const Entry& e = entry(node);
  m_users[e.user].store->filesHolding(e.own, out);
}

CommitResult UsersClassesStore::prepareSave(SaveBatch& batch) {
  if (CommitResult machine = m_machine->prepareSave(batch); machine.failure.failed()) return machine;
  for (User& user : m_users)
    if (CommitResult own = user.store->prepareSave(batch); own.failure.failed()) return own;
  return {};
}

}  // namespace comsweep::registry
