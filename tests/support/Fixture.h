#pragma once
// Small machines for the tests, built in memory from (path, default value)
// pairs, and a handle table that refuses chosen operations.

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "registry/handles/HandleTable.h"
#include "registry/memory/MemoryStore.h"

namespace comsweep::test {

struct FixtureKey {
  std::string path;
  std::optional<std::string> value;  // REG_SZ default value, UTF-8
};

std::unique_ptr<registry::MemoryStore> makeStore(const std::vector<FixtureKey>& keys);
// Paths of every key below the root, depth first, in registry order.
std::vector<std::string> allKeys(const registry::Store& store);

// A handle table whose RegDeleteKeyA of the listed paths (relative to the
// handle given, compared exactly) answers `status`, and that counts its commits.
class RefusingApi : public registry::HandleTable {
 public:
  using HandleTable::HandleTable;

  std::set<std::string> refuseDelete;
  registry::LONG status = registry::ERROR_ACCESS_DENIED;
  int commits = 0;

  registry::LONG RegDeleteKeyA(registry::HKEY k, const char* s) override {
    return refuseDelete.count(s) ? status : HandleTable::RegDeleteKeyA(k, s);
  }
  registry::CommitResult commit() override {
    ++commits;
    return HandleTable::commit();
  }
};

}  // namespace comsweep::test
