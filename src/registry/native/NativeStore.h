#pragma once
// One key of the live registry and everything below it, as a Store (Windows
// only): this computer's machine classes or the user's, which a
// LayeredStore composes into HKEY_CLASSES_ROOT. Names are UTF-8; values are
// given exactly as the registry holds them (type, embedded NULs, odd sizes),
// for the backup. Removing a key removes it from the registry at once, so
// saving has nothing left to do.
//
// A node is a key the engine has named (found, or enumerated), known by its
// parent and name; a key enumerated is opened only when asked about. Open
// keys are kept for the next question, up to a limit: past it every open
// key but the root is closed and reopened by name when asked about again,
// so that a scan of a large registry holds a bounded number of handles.

#include <cstddef>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "registry/store/Store.h"

namespace comsweep::registry {

class NativeStore : public Store {
 public:
  // `top` is an advapi32 predefined key (HKEY_LOCAL_MACHINE,
  // HKEY_CURRENT_USER) or a connected machine's, which the store closes
  // when `ownsTop`; the root is `path` below it.
  NativeStore(void* top, std::string path, std::size_t openLimit = 4096, bool ownsTop = false);
  ~NativeStore() override;
  NativeStore(const NativeStore&) = delete;
  NativeStore& operator=(const NativeStore&) = delete;

  // False when the root key cannot be opened (the user has no classes of
  // their own, or may not read them).
  bool rootOpens() const { return open(0) != nullptr; }
  std::size_t openKeys() const { return m_openCount; }

  NodeId root() const override { return 0; }
  bool isLive(NodeId node) const override;
  NodeId findChild(NodeId parent, std::string_view name) const override;
  std::uint32_t childCount(NodeId node) const override;
  NodeId childAt(NodeId parent, std::uint32_t index) const override;
  std::string_view name(NodeId node) const override;
  bool defaultValue(NodeId node, RegValue& out) const override;
  bool values(NodeId node, std::vector<NamedValue>& out) const override;
  LONG removeLeaf(NodeId parent, NodeId child) override;
  // Written to the registry at once, as a removal is; a key is created in
  // the 64-bit view, so that a Wow6432Node path lands where it is named.
  LONG createKey(NodeId parent, std::string_view name, NodeId& out, bool& created) override;
  LONG setValue(NodeId node, const NamedValue& value) override;

 private:
  struct Key {
    NodeId parent;
    std::string name;
    void* key = nullptr;  // an advapi32 HKEY while open
    bool removed = false;
    // The name as the registry spells it: a key found by a name in another
    // case learns its spelling when its parent is enumerated.
    bool spelled = true;
  };
  // The node for `name` below `parent`, the same one each time it is named
  // in any case; `spelled` when the name comes from the registry.
  NodeId nodeFor(NodeId parent, std::string name, bool spelled) const;
  // The key's handle, opened (through its parents) when it is not open;
  // null when it cannot be. Valid until the next call.
  void* open(NodeId node) const;
  void* openThroughParents(NodeId node) const;
  void close(NodeId node) const;
  // The key's handle opened again for writing; the caller closes it.
  void* openForWriting(NodeId node) const;

  void* m_top;
  bool m_ownsTop;
  std::size_t m_openLimit;
  mutable std::deque<Key> m_keys;  // grows without moving the names handed out
  mutable std::unordered_map<std::string, NodeId> m_nodeOfName;  // parent id + upper-cased name
  mutable std::vector<NodeId> m_open;  // nodes whose key is open, the root excepted
  mutable std::size_t m_openCount = 0;
};

}  // namespace comsweep::registry
