#pragma once
// The Win32 registry operations over a Store: 32-bit handles stand for open
// keys, HKEY_CLASSES_ROOT for the store's root. Remote machines cannot be
// reached from here: every connection to a named machine fails.

#include <vector>

#include "registry/RegistryApi.h"
#include "registry/Store.h"

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

  std::size_t openHandles() const { return m_open; }

 private:
  // Resolves a handle to its key; kNoNode with the status to return otherwise.
  NodeId resolve(HKEY key, LONG& status) const;
  // Walks a sub-path below `from`; kNoNode with the status when it fails.
  NodeId walk(NodeId from, const char* subKey, LONG& status) const;

  Store& m_store;
  std::vector<NodeId> m_slots;  // handle = (slot + 1) * 4; kNoNode when free
  std::vector<std::size_t> m_free;
  std::size_t m_open = 0;
};

}  // namespace comsweep::registry
