#pragma once
// The Win32 registry operations over a Store: 32-bit handles stand for open
// keys, HKEY_CLASSES_ROOT for the store's root. Remote machines cannot be
// reached from here: every connection to a named machine fails.

#include <string>
#include <string_view>
#include <vector>

#include "registry/api/RegistryApi.h"
#include "registry/store/Store.h"

namespace comsweep::registry {

class HandleTable : public RegistryApi {
 public:
  explicit HandleTable(Store& store) : m_store(store) {}

  LONG RegConnectRegistryA(const char* machineName, HKEY key, HKEY* result) override;
  LONG RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) override;
  LONG RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD cchName) override;
  LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type,
                        BYTE* data, DWORD* cbData) override;
  LONG RegCloseKey(HKEY key) override;
  LONG RegDeleteKeyA(HKEY key, const char* subKey) override;
  CommitResult commit() override { return m_store.save(); }
  std::vector<std::string> filesHolding(HKEY key, const char* subKey) override;

  std::size_t openHandles() const { return m_open; }

 private:
  // Resolves a handle to its key; kNoNode with the status to return otherwise.
  NodeId resolve(HKEY key, LONG& status) const;
  // Walks a sub-path below `from`; kNoNode with the status when it fails.
  NodeId walk(NodeId from, const char* subKey, LONG& status) const;

  // Scans open the same leading levels over and over ("CLSID", then
  // "CLSID\{id}" for each of its subkeys) and open the name they have just
  // enumerated. These remember what was resolved last, so that such opens
  // cost no search among tens of thousands of siblings. Entries whose key
  // was removed are never used.
  struct ResolvedPrefix {
    NodeId from = kNoNode;
    std::string path;
    NodeId node = kNoNode;
  };
  NodeId cachedPrefix(NodeId from, std::string_view path, std::size_t& used) const;
  void remember(NodeId from, std::string_view path, NodeId node) const;
  NodeId findChild(NodeId parent, std::string_view name) const;

  mutable ResolvedPrefix m_prefixes[8];
  mutable unsigned m_nextPrefix = 0;
  mutable NodeId m_enumParent = kNoNode;
  mutable NodeId m_enumChild = kNoNode;
  // The last default value read, in its 8-bit form: a string is read twice,
  // once for its size and once for its text.
  NodeId m_valueNode = kNoNode;
  DWORD m_valueType = REG_NONE;
  std::string m_valueBytes;

  Store& m_store;
  std::vector<NodeId> m_slots;  // handle = (slot + 1) * 4; kNoNode when free
  std::vector<std::size_t> m_free;
  std::size_t m_open = 0;
};

}  // namespace comsweep::registry
