#pragma once
// Small machines for the tests, built in memory from (path, default value)
// pairs, and a registry decorator that refuses chosen operations.

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "registry/HandleTable.h"
#include "registry/memory/MemoryStore.h"

namespace comsweep::test {

struct FixtureKey {
  std::string path;
  std::optional<std::string> value;  // REG_SZ default value, UTF-8
};

std::unique_ptr<registry::MemoryStore> makeStore(const std::vector<FixtureKey>& keys);
// Paths of every key below the root, depth first, in registry order.
std::vector<std::string> allKeys(const registry::Store& store);

// Passes every call through, except RegDeleteKeyA of the listed paths
// (relative to the handle given, compared exactly), which answers `status`,
// and commit(), which fails when failCommit is set.
class RefusingApi : public registry::RegistryApi {
 public:
  explicit RefusingApi(registry::RegistryApi& inner) : m_inner(inner) {}

  std::set<std::string> refuseDelete;
  registry::LONG status = registry::ERROR_ACCESS_DENIED;
  bool failCommit = false;
  int commits = 0;

  registry::LONG RegConnectRegistryA(const char* m, registry::HKEY k, registry::HKEY* r) override {
    return m_inner.RegConnectRegistryA(m, k, r);
  }
  registry::LONG RegOpenKeyA(registry::HKEY k, const char* s, registry::HKEY* r) override {
    return m_inner.RegOpenKeyA(k, s, r);
  }
  registry::LONG RegEnumKeyA(registry::HKEY k, registry::DWORD i, char* n,
                             registry::DWORD c) override {
    return m_inner.RegEnumKeyA(k, i, n, c);
  }
  registry::LONG RegQueryValueExA(registry::HKEY k, const char* v, registry::DWORD* r,
                                  registry::DWORD* t, registry::BYTE* d,
                                  registry::DWORD* c) override {
    return m_inner.RegQueryValueExA(k, v, r, t, d, c);
  }
  registry::LONG RegCloseKey(registry::HKEY k) override { return m_inner.RegCloseKey(k); }
  registry::LONG RegDeleteKeyA(registry::HKEY k, const char* s) override {
    if (refuseDelete.count(s)) return status;
    return m_inner.RegDeleteKeyA(k, s);
  }
  registry::CommitResult commit() override {
    ++commits;
    if (failCommit) return {false, "disk full"};
    return m_inner.commit();
  }

 private:
  registry::RegistryApi& m_inner;
};

}  // namespace comsweep::test
