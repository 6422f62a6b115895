#pragma once
// The live registry read as a Store, for the backup only (Windows only): it
// walks the keys about to be removed through advapi32's "W" calls and gives
// their values exactly as the registry holds them (type, embedded NULs,
// odd sizes), names as UTF-8. Its root is the classes root the
// NativeRegistry uses. It removes and saves nothing: the NativeRegistry does.

#include <string>
#include <vector>

#include "registry/Store.h"

namespace comsweep::registry {

class NativeKeyReader : public Store {
 public:
  NativeKeyReader() = default;
  ~NativeKeyReader() override;
  NativeKeyReader(const NativeKeyReader&) = delete;
  NativeKeyReader& operator=(const NativeKeyReader&) = delete;

  NodeId root() const override;
  bool isLive(NodeId node) const override;
  NodeId findChild(NodeId parent, std::string_view name) const override;
  std::uint32_t childCount(NodeId node) const override;
  NodeId childAt(NodeId parent, std::uint32_t index) const override;
  std::string_view name(NodeId node) const override;
  bool defaultValue(NodeId node, RegValue& out) const override;
  bool values(NodeId node, std::vector<NamedValue>& out) const override;
  LONG removeLeaf(NodeId parent, NodeId child) override;
  CommitResult save() override { return {}; }

 private:
  struct Key {
    void* key = nullptr;  // an advapi32 HKEY
    std::string name;
  };
  // Each lookup opens the key anew as a node of its own; they are closed
  // when the reader goes.
  NodeId add(void* key, std::string name) const;
  mutable std::vector<Key> m_keys;
};

}  // namespace comsweep::registry
