#pragma once
// HKEY_CLASSES_ROOT of a machine with user profiles, for removing keys and
// saving: the machine's classes at the root, exactly as their own store
// answers for them, and each user's own classes below the key
// HKEY_USERS\<name>_Classes. The root does not enumerate that key, so a scan
// of the root sees the machine's classes alone; a user's key is reached by
// the path the review, the log and the backup name it by
// ("HKEY_USERS\alice_Classes\CLSID\{...}"), and removing it removes the
// user's copy only. (A root key of the machine's own that is itself named
// HKEY_USERS is shadowed by that key for lookups.)
//
// Node ids: the machine's keys keep their own ids, which must stay below
// 2^30; HKEY_USERS is kUsersKey; a user's key is an entry of this store's
// own table with the top bit set.

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "registry/store/Store.h"

namespace comsweep::registry {

class UsersClassesStore : public Store {
 public:
  // The key below HKEY_CLASSES_ROOT that holds the users' classes.
  static constexpr const char* kUsersKeyName = "HKEY_USERS";

  explicit UsersClassesStore(std::unique_ptr<Store> machine) : m_machine(std::move(machine)) {}

  // Adds a user's classes as HKEY_USERS\<keyName>; names compare without
  // regard to case and must differ.
  void addUser(std::string keyName, std::unique_ptr<Store> classes);
  Store& machine() { return *m_machine; }
  const Store& machine() const { return *m_machine; }
  std::size_t userCount() const { return m_users.size(); }
  Store& user(std::size_t index) { return *m_users[index].store; }
  const Store& user(std::size_t index) const { return *m_users[index].store; }

  NodeId root() const override { return m_machine->root(); }
  bool isLive(NodeId node) const override;
  NodeId findChild(NodeId parent, std::string_view name) const override;
  std::uint32_t childCount(NodeId node) const override;
  NodeId childAt(NodeId parent, std::uint32_t index) const override;
  std::string_view name(NodeId node) const override;
  bool defaultValue(NodeId node, RegValue& out) const override;
  bool defaultValueNarrow(NodeId node, DWORD& type, std::string& out) const override;
  bool values(NodeId node, std::vector<NamedValue>& out) const override;
  // HKEY_USERS and a user's root cannot be removed (ERROR_ACCESS_DENIED).
  LONG removeLeaf(NodeId parent, NodeId child) override;
  void filesHolding(NodeId node, std::vector<std::string>& out) const override;
  // The machine's classes first, then each user's, in the order they were
  // added; each writes only when a key of its own was removed.
  CommitResult prepareSave(SaveBatch& batch) override;

 private:
  static constexpr NodeId kUserBit = 0x80000000u;
  static constexpr NodeId kUsersKey = 0x40000000u;

  struct User {
    std::string keyName;
    std::unique_ptr<Store> store;
  };
  struct Entry {
    std::size_t user;
    NodeId own;  // the id in the user's store
  };

  static bool isUser(NodeId node) { return (node & kUserBit) != 0; }
  const Entry& entry(NodeId node) const { return m_entries[node & ~kUserBit]; }
  // This store's id for a key of the user's store.
  NodeId idOf(std::size_t user, NodeId own) const;

  std::unique_ptr<Store> m_machine;
  std::vector<User> m_users;
  mutable std::deque<Entry> m_entries;
  mutable std::map<std::pair<std::size_t, NodeId>, NodeId> m_idOf;
};

}  // namespace comsweep::registry
