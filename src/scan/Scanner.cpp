#include "scan/Scanner.h"

#include <limits>
#include <stdexcept>

#include "registry/Text.h"
#include "registry/Wrappers.h"

namespace comsweep::scan {
namespace {

using registry::EnumKey;
using registry::HKEY;
using registry::OpenKey;
using registry::QueryStringValue;

// A counter that would overflow: ends the scan that was counting.
struct ScanFault : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Closes a key handle when the step that opened it ends, however it ends.
class KeyHandle {
 public:
  explicit KeyHandle(registry::RegistryApi& api) : m_api(api) {}
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;
  ~KeyHandle() { close(); }
  bool open(HKEY parent, const std::string& path) {
    close();
    m_open = OpenKey(m_api, parent, path, m_key);
    return m_open;
  }
  void close() {
    if (m_open) m_api.RegCloseKey(m_key);
    m_open = false;
  }
  HKEY get() const { return m_key; }

 private:
  registry::RegistryApi& m_api;
  HKEY m_key = 0;
  bool m_open = false;
};

void progressStep(ScanContext& c, const char* label, const std::string& name) {
  if (c.progress) c.progress->progressStep(label, name, c.lKeysFound);
}

void AddFoundKey(ScanContext& c, std::string strName, std::string strFoundValue,
                 std::string strPath, const char* strCategory) {
  c.lvwKeys.add({std::move(strName), std::move(strFoundValue), std::move(strPath), strCategory,
                 false});
}

// Counts and lists one found key. The count is tested before anything
// changes, and raised only once the entry is in the list, so lKeysFound
// always equals the number of entries, even when a fault ends the scan.
void listFound(ScanContext& c, std::string strName, std::string strFoundValue,
               std::string strPath, const char* strCategory) {
  if (c.lKeysFound == std::numeric_limits<std::int32_t>::max())
    throw ScanFault("lKeysFound overflow");
  AddFoundKey(c, std::move(strName), std::move(strFoundValue), std::move(strPath), strCategory);
  ++c.lKeysFound;
}

}  // namespace

void ScanRegistry(ScanContext& context) {
  Matcher matcher(context.patterns);
  auto guarded = [](auto&& scan) {
    try {
      scan();
    } catch (const std::exception&) {
      // The scan ends here; what it listed stays listed.
    }
  };
  guarded([&] { ScanTypeLibs(context, matcher); });
  util::mark(context.timings, "scan TypeLib");
  guarded([&] { ScanInterfaces(context); });
  util::mark(context.timings, "scan Interface");
  guarded([&] { ScanClasses(context, matcher); });
  util::mark(context.timings, "scan CLSID");
  guarded([&] { ScanProgIds(context, matcher); });
  util::mark(context.timings, "scan ProgID");
}

void ScanTypeLibs(ScanContext& c, const Matcher& matcher) {
  KeyHandle top(c.api);
  if (!top.open(c.lRootKey, "TypeLib")) return;
  std::string id;
  for (registry::DWORD i = 0;; ++i) {
    if (EnumKey(c.api, top.get(), i, id) != 0) break;
    KeyHandle lib(c.api);
    if (!lib.open(c.lRootKey, "TypeLib\\" + id)) continue;
    progressStep(c, "TypeLib -> ", id);
    bool found = false;
    std::string fileName;
    std::string version;
    if (EnumKey(c.api, lib.get(), 0, version) == 0) {
      KeyHandle win32(c.api);
      std::string value;
      if (win32.open(c.lRootKey, "TypeLib\\" + id + "\\" + version + "\\0\\Win32") &&
          QueryStringValue(c.api, win32.get(), "", value)) {
        fileName = FileNameOf(value);
        found = matcher.MatchesPattern(fileName);
      }
    }
    lib.close();
    if (!found) continue;
    if (c.lKeysFound == std::numeric_limits<std::int32_t>::max() || c.typeLibs.full())
      throw ScanFault("type-library table full");
    c.typeLibs.add(id, fileName);
    AddFoundKey(c, id, fileName, "TypeLib\\" + id, "TYPELIB");
    ++c.lKeysFound;
  }
}

void ScanInterfaces(ScanContext& c) {
  KeyHandle top(c.api);
  if (!top.open(c.lRootKey, "Interface")) return;
  std::string id, path, value, fileName;
  // Index 0 is never examined.
  for (registry::DWORD i = 1;; ++i) {
    if (EnumKey(c.api, top.get(), i, id) != 0) break;
    KeyHandle typeLib(c.api);
    path.assign("Interface\\").append(id).append("\\TypeLib");
    if (!typeLib.open(c.lRootKey, path)) continue;
    progressStep(c, "Interface -> ", id);
    fileName.clear();
    if (QueryStringValue(c.api, typeLib.get(), "", value))
      fileName = c.typeLibs.LookupTypeLibFile(value);
    typeLib.close();
    if (fileName.empty()) continue;
    listFound(c, id, fileName, "Interface\\" + id, "INTERFACE");
  }
}

void ScanClasses(ScanContext& c, const Matcher& matcher) {
  KeyHandle top(c.api);
  if (!top.open(c.lRootKey, "CLSID")) return;
  // Kept from class to class, so that the walk reuses their storage.
  std::string id, classPath, subPath, value, sub, subValue, matched;
  // Index 0 is never examined.
  for (registry::DWORD i = 1;; ++i) {
    registry::LONG status = EnumKey(c.api, top.get(), i, id);
    // The step is shown before the end test, so the last one shows the
    // blank name of the failed step.
    progressStep(c, "CLSID -> ", id);
    if (status != 0) break;
    classPath.assign("CLSID\\").append(id);
    KeyHandle cls(c.api);
    bool found = false;
    if (cls.open(c.lRootKey, classPath) && QueryStringValue(c.api, cls.get(), "", value)) {
      if (matcher.MatchesPattern(value)) {
        found = true;
        matched = value;
      } else {
        for (registry::DWORD j = 0; !found && EnumKey(c.api, cls.get(), j, sub) == 0; ++j) {
          if (registry::compareNoCase(sub, "TYPELIB") == 0) continue;
          KeyHandle subKey(c.api);
          subPath.assign(classPath).append("\\").append(sub);
          if (subKey.open(c.lRootKey, subPath) &&
              QueryStringValue(c.api, subKey.get(), "", subValue) &&
              matcher.MatchesPattern(subValue) && subValue.find('{') == std::string::npos) {
            found = true;
            matched = subValue;
          }
        }
      }
    }
    cls.close();
    if (!found) continue;
    listFound(c, id, FileNameOf(matched), classPath, "CLSID");
  }
}

void ScanProgIds(ScanContext& c, const Matcher& matcher) {
  KeyHandle root(c.api);
  if (!root.open(c.lRootKey, "")) return;
  std::string name;
  for (registry::DWORD i = 0; EnumKey(c.api, root.get(), i, name) == 0; ++i) {
    progressStep(c, "ProgID -> ", name);
    if (!matcher.MatchesPattern(name)) continue;
    listFound(c, name, name, name, "PROGID");
  }
}

}  // namespace comsweep::scan
