#pragma once
// A whole store seen through the registry operations, the way the scans see
// it: every key opened by the name it was enumerated with, every default
// value read as RegQueryValueExA returns it. Each step is checked against
// the store it runs over.

#include <string>
#include <vector>

#include "registry/handles/HandleTable.h"
#include "registry/store/Store.h"

namespace comsweep::fuzz {

struct WalkedKey {
  std::string path;  // below HKEY_CLASSES_ROOT; "" for the root itself
  bool hasValue = false;
  registry::DWORD type = registry::REG_NONE;
  std::string value;  // the default value's bytes as the 8-bit call returns them

  bool operator==(const WalkedKey&) const = default;
};

// Walks every key, parents before children, children in enumeration order.
// Returns an empty string, or the first inconsistency found: a name that is
// empty, holds a backslash or a NUL, repeats or breaks the order, or opens a
// key other than the one enumerated; a value whose size or bytes change from
// one read to the next; a handle that cannot be opened or closed.
std::string walkTree(registry::Store& store, registry::HandleTable& api,
                     std::vector<WalkedKey>& keys);

}  // namespace comsweep::fuzz
