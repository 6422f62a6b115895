#include "scan/Scanner.h"

#include <limits>
#include <stdexcept>
#include <unordered_set>

#include "registry/store/Text.h"
#include "registry/api/Wrappers.h"
#include "scan/Matcher.h"

namespace comsweep::scan {
namespace {

using registry::EnumKey;
using registry::HKEY;
using registry::OpenKey;
using registry::QueryStringValue;

// One view's run of the scans: where they read, where they report, what they
// found. The 32-bit view reads below its own root and lists every key by its
// full path below HKEY_CLASSES_ROOT.
struct ScanContext {
  registry::RegistryApi& api;
  HKEY root;            // HKEY_CLASSES_ROOT, or its Wow6432Node key
  std::string prefix;   // "" for the native view, "Wow6432Node\\" for the 32-bit view
  ProgressSink* progress;
  ScanResult& result;
  TypeLibTable& typeLibs;                // the libraries this view's TypeLib scan found
  const TypeLibTable* sharedTypeLibs;    // the native view's, for the 32-bit view
  // The 32-bit view: every library key its TypeLib holds, found or not,
  // upper-cased. Taken from the enumeration rather than by opening the key,
  // so that a TypeLib that is a link to the shared one (Wine's live
  // registry) holds nothing of its own, as it reads from Wine's files.
  std::unordered_set<std::string>* heldTypeLibs = nullptr;
};

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

// Shows a visited key: by its name in the native view, by its full path
// below HKEY_CLASSES_ROOT in the 32-bit view. `folder` is the scan's key
// ("CLSID\\", "" at the root); a blank name (a failed step) stays blank.
void progressStep(ScanContext& c, const char* label, const char* folder, const std::string& name,
                  bool blank = false) {
  if (!c.progress) return;
  if (c.prefix.empty() || blank)
    c.progress->progressStep(label, name, c.result.found);
  else
    c.progress->progressStep(label, c.prefix + folder + name, c.result.found);
}

// `path` is below the view's root; the entry names its full path below
// HKEY_CLASSES_ROOT, and a 32-bit entry shows that path as its name too.
void addFoundKey(ScanContext& c, std::string name, std::string foundValue, std::string path,
                 const char* category) {
  if (!c.prefix.empty()) {
    path.insert(0, c.prefix);
    name = path;
  }
  c.result.keys.add({std::move(name), std::move(foundValue), std::move(path), category, false});
}

// Counts and lists one found key. The count is tested before anything
// changes, and raised only once the entry is in the list, so the count
// always equals the number of entries, even when a fault ends the scan.
void listFound(ScanContext& c, std::string name, std::string foundValue, std::string path,
               const char* category) {
  if (c.result.found == std::numeric_limits<std::int32_t>::max())
    throw ScanFault("found-key count overflow");
  addFoundKey(c, std::move(name), std::move(foundValue), std::move(path), category);
  ++c.result.found;
}

// The native view never examines index 0 of Interface and CLSID. The 32-bit
// view does: on a fresh 64-bit Wine prefix its keys are empty, so its first
// registration is at index 0.
registry::DWORD firstExamined(const ScanContext& c) { return c.prefix.empty() ? 1 : 0; }

void scanTypeLibs(ScanContext& c, const Matcher& matcher) {
  KeyHandle top(c.api);
  if (!top.open(c.root, "TypeLib")) return;
  std::string id;
  for (registry::DWORD i = 0;; ++i) {
    if (EnumKey(c.api, top.get(), i, id) != 0) break;
    if (c.heldTypeLibs) c.heldTypeLibs->insert(registry::upperCase(id));
    KeyHandle lib(c.api);
    if (!lib.open(c.root, "TypeLib\\" + id)) continue;
    progressStep(c, "TypeLib -> ", "TypeLib\\", id);
    bool found = false;
    std::string fileName;
    std::string version;
    if (EnumKey(c.api, lib.get(), 0, version) == 0) {
      KeyHandle win32(c.api);
      std::string value;
      if (win32.open(c.root, "TypeLib\\" + id + "\\" + version + "\\0\\Win32") &&
          QueryStringValue(c.api, win32.get(), "", value)) {
        fileName = fileNameOf(value);
        found = matcher.matches(fileName);
      }
    }
    lib.close();
    if (!found) continue;
    if (c.result.found == std::numeric_limits<std::int32_t>::max() || c.typeLibs.full())
      throw ScanFault("type-library table full");
    c.typeLibs.add(id, fileName);
    addFoundKey(c, id, fileName, "TypeLib\\" + id, "TYPELIB");
    ++c.result.found;
  }
}

void scanInterfaces(ScanContext& c) {
  KeyHandle top(c.api);
  if (!top.open(c.root, "Interface")) return;
  std::string id, path, value, fileName;
  for (registry::DWORD i = firstExamined(c);; ++i) {
    if (EnumKey(c.api, top.get(), i, id) != 0) break;
    KeyHandle typeLib(c.api);
    path.assign("Interface\\").append(id).append("\\TypeLib");
    if (!typeLib.open(c.root, path)) continue;
    progressStep(c, "Interface -> ", "Interface\\", id);
    fileName.clear();
    if (QueryStringValue(c.api, typeLib.get(), "", value)) {
      fileName = c.typeLibs.lookupTypeLibFile(value);
      // A library the 32-bit view does not hold is the shared one, as the
      // 32-bit view of 64-bit Windows sees it since TypeLib stopped being
      // redirected; one it holds is its own, found or not.
      if (fileName.empty() && c.sharedTypeLibs &&
          !c.heldTypeLibs->count(registry::upperCase(value)))
        fileName = c.sharedTypeLibs->lookupTypeLibFile(value);
    }
    typeLib.close();
    if (fileName.empty()) continue;
    listFound(c, id, fileName, "Interface\\" + id, "INTERFACE");
  }
}

void scanClasses(ScanContext& c, const Matcher& matcher) {
  KeyHandle top(c.api);
  if (!top.open(c.root, "CLSID")) return;
  // Kept from class to class, so that the walk reuses their storage.
  std::string id, classPath, subPath, value, sub, subValue, matched;
  for (registry::DWORD i = firstExamined(c);; ++i) {
    registry::LONG status = EnumKey(c.api, top.get(), i, id);
    // The step is shown before the end test, so the last one shows the
    // blank name of the failed step.
    progressStep(c, "CLSID -> ", "CLSID\\", id, status != 0);
    if (status != 0) break;
    classPath.assign("CLSID\\").append(id);
    KeyHandle cls(c.api);
    bool found = false;
    if (cls.open(c.root, classPath) && QueryStringValue(c.api, cls.get(), "", value)) {
      if (matcher.matches(value)) {
        found = true;
        matched = value;
      } else {
        for (registry::DWORD j = 0; !found && EnumKey(c.api, cls.get(), j, sub) == 0; ++j) {
          if (registry::compareNoCase(sub, "TYPELIB") == 0) continue;
          KeyHandle subKey(c.api);
          subPath.assign(classPath).append("\\").append(sub);
          if (subKey.open(c.root, subPath) &&
              QueryStringValue(c.api, subKey.get(), "", subValue) &&
              matcher.matches(subValue) && subValue.find('{') == std::string::npos) {
            found = true;
            matched = subValue;
          }
        }
      }
    }
    cls.close();
    if (!found) continue;
    listFound(c, id, fileNameOf(matched), classPath, "CLSID");
  }
}

void scanProgIds(ScanContext& c, const Matcher& matcher) {
  KeyHandle root(c.api);
  if (!root.open(c.root, "")) return;
  std::string name;
  for (registry::DWORD i = 0; EnumKey(c.api, root.get(), i, name) == 0; ++i) {
    progressStep(c, "ProgID -> ", "", name);
    if (!matcher.matches(name)) continue;
    listFound(c, name, name, name, "PROGID");
  }
}

}  // namespace

ScanResult scanRegistry(registry::RegistryApi& api, HKEY root, const families::PatternList& patterns,
                        ProgressSink* progress, util::Timings* timings) {
  ScanResult result;
  ScanContext native{api, root, {}, progress, result, result.typeLibs, nullptr};
  Matcher matcher(patterns);
  auto guarded = [](auto&& scan) {
    try {
      scan();
    } catch (const std::exception&) {
      // The scan ends here; what it listed stays listed.
    }
  };
  guarded([&] { scanTypeLibs(native, matcher); });
  util::mark(timings, "scan TypeLib");
  guarded([&] { scanInterfaces(native); });
  util::mark(timings, "scan Interface");
  guarded([&] { scanClasses(native, matcher); });
  util::mark(timings, "scan CLSID");
  guarded([&] { scanProgIds(native, matcher); });
  util::mark(timings, "scan ProgID");

  KeyHandle wow64(api);
  if (!wow64.open(root, kWow64Key)) return result;
  std::unordered_set<std::string> held;
  ScanContext view32{api, wow64.get(), std::string(kWow64Key) + "\\", progress,
                     result, result.wow64TypeLibs, &result.typeLibs, &held};
  guarded([&] { scanTypeLibs(view32, matcher); });
  guarded([&] { scanInterfaces(view32); });
  guarded([&] { scanClasses(view32, matcher); });
  guarded([&] { scanProgIds(view32, matcher); });
  util::mark(timings, "scan 32-bit view");
  return result;
}

}  // namespace comsweep::scan
