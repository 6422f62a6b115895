#include "fuzz/TreeWalk.h"

#include <cstring>

#include "registry/store/Text.h"

namespace comsweep::fuzz {
namespace {

using registry::BYTE;
using registry::DWORD;
using registry::HKEY;
using registry::LONG;
using registry::NodeId;

bool isStringType(DWORD type) {
  return type == registry::REG_SZ || type == registry::REG_EXPAND_SZ ||
         type == registry::REG_MULTI_SZ;
}

std::string shown(const std::string& path) { return path.empty() ? "the root" : "\"" + path + "\""; }

// Reads the default value twice, once for its size and once for its bytes,
// as the scans do, and once more into a buffer one byte short.
std::string readValue(registry::Store& store, registry::HandleTable& api, HKEY key, NodeId node,
                      WalkedKey& out) {
  DWORD type = 0, size = 0;
  LONG status = api.RegQueryValueExA(key, nullptr, nullptr, &type, nullptr, &size);
  registry::RegValue stored;
  bool has = store.defaultValue(node, stored);
  if (status == registry::ERROR_FILE_NOT_FOUND && !has) return {};
  if (status != registry::ERROR_SUCCESS || !has)
    return "the default value of " + shown(out.path) + " reads with status " +
           std::to_string(status) + " although the store " + (has ? "has" : "has no") + " value";
  if (type != stored.type) return "the default value of " + shown(out.path) + " changes its type";

  std::string data(size, '\0');
  DWORD type2 = 0, size2 = size;
  status = api.RegQueryValueExA(key, "", nullptr, &type2, reinterpret_cast<BYTE*>(data.data()),
                                &size2);
  if (status != registry::ERROR_SUCCESS || type2 != type || size2 != size)
    return "the default value of " + shown(out.path) + " reads differently the second time";
  if (isStringType(type) && (data.empty() || data.back() != '\0'))
    return "the string value of " + shown(out.path) + " is returned without its terminator";
  // Stores that keep text as UTF-8 or as the file spells it answer the
  // 8-bit call without the stored bytes: it must read as their conversion.
  std::string converted;
  if (!store.Store::defaultValueNarrow(node, type2, converted) || converted != data)
    return "the default value of " + shown(out.path) + " reads otherwise than its bytes convert";
  if (size > 0) {
    DWORD shortSize = size - 1;
    std::string small(shortSize, '\0');
    status = api.RegQueryValueExA(key, nullptr, nullptr, nullptr,
                                  reinterpret_cast<BYTE*>(small.data()), &shortSize);
    if (status != registry::ERROR_MORE_DATA || shortSize != size)
      return "the default value of " + shown(out.path) + " overflows a buffer one byte short";
  }
  out.hasValue = true;
  out.type = type;
  out.value = std::move(data);
  return {};
}

// Checks the enumerated name against the store and against its predecessor.
std::string checkName(registry::Store& store, NodeId parent, NodeId child, const char* name,
                      const std::string& previous, bool first, const std::string& parentPath) {
  std::string_view stored = store.name(child);
  std::string where = "a subkey of " + shown(parentPath);
  if (std::strlen(name) != stored.size() || stored != name)
    return where + " is enumerated with a name other than its own";
  if (stored.empty()) return where + " has an empty name";
  if (stored.find('\\') != std::string_view::npos)
    return where + " has a name with a backslash: \"" + std::string(stored) + "\"";
  if (!first && registry::compareNoCase(previous, stored) >= 0)
    return where + " breaks the order or repeats a name: \"" + previous + "\", then \"" +
           std::string(stored) + "\"";
  if (store.findChild(parent, stored) != child)
    return where + " named \"" + std::string(stored) + "\" opens another key by that name";
  return {};
}

}  // namespace

std::string walkTree(registry::Store& store, registry::HandleTable& api,
                     std::vector<WalkedKey>& keys) {
  struct Frame {
    HKEY handle;
    NodeId node;
    std::string path;
    DWORD next = 0;
    std::string previous;  // the name enumerated last
  };
  keys.clear();
  std::vector<Frame> stack;
  std::vector<char> name(1 << 17);
  const DWORD room = static_cast<DWORD>(name.size());

  HKEY root = 0;
  if (LONG status = api.RegOpenKeyA(registry::HKEY_CLASSES_ROOT, "", &root); status != 0)
    return "the root cannot be opened (status " + std::to_string(status) + ")";
  keys.emplace_back();
  if (std::string fault = readValue(store, api, root, store.root(), keys.back()); !fault.empty())
    return fault;
  stack.push_back({root, store.root(), {}, 0, {}});

  std::string fault;
  while (!stack.empty() && fault.empty()) {
    Frame& f = stack.back();
    LONG status = api.RegEnumKeyA(f.handle, f.next, name.data(), room);
    if (status == registry::ERROR_NO_MORE_ITEMS) {
      if (f.next != store.childCount(f.node))
        fault = shown(f.path) + " enumerates " + std::to_string(f.next) + " of " +
                std::to_string(store.childCount(f.node)) + " subkeys";
      else if (api.RegCloseKey(f.handle) != 0)
        fault = "the handle of " + shown(f.path) + " cannot be closed";
      stack.pop_back();
      continue;
    }
    if (status != registry::ERROR_SUCCESS) {
      fault = "enumerating " + shown(f.path) + " fails with status " + std::to_string(status);
      break;
    }
    NodeId child = store.childAt(f.node, f.next);
    fault = checkName(store, f.node, child, name.data(), f.previous, f.next == 0, f.path);
    if (!fault.empty()) break;
    // A buffer that holds the name but not its terminator must be refused.
    auto length = static_cast<DWORD>(std::strlen(name.data()));
    std::vector<char> tight(length);
    if (api.RegEnumKeyA(f.handle, f.next, tight.data(), length) != registry::ERROR_MORE_DATA) {
      fault = "a subkey of " + shown(f.path) + " overflows a buffer without room for its NUL";
      break;
    }
    f.previous.assign(name.data(), length);
    ++f.next;

    HKEY handle = 0;
    status = api.RegOpenKeyA(f.handle, name.data(), &handle);
    std::string path = f.path.empty() ? f.previous : f.path + "\\" + f.previous;
    if (status != 0) {
      fault = "the enumerated key \"" + path + "\" cannot be opened (status " +
              std::to_string(status) + ")";
      break;
    }
    keys.emplace_back().path = path;
    fault = readValue(store, api, handle, child, keys.back());
    stack.push_back({handle, child, std::move(path), 0, {}});
  }
  for (const Frame& f : stack) api.RegCloseKey(f.handle);
  if (fault.empty() && api.openHandles() != 0) fault = "the walk leaves handles open";
  return fault;
}

}  // namespace comsweep::fuzz
