#pragma once
// The four scans of HKEY_CLASSES_ROOT, run in a fixed order: TypeLib,
// Interface, CLSID, ProgID. They only read the registry.
//
// Where HKEY_CLASSES_ROOT has a Wow6432Node key (a 64-bit machine's 32-bit
// view), the native view is scanned first, all four scans, and then the
// 32-bit view below Wow6432Node, all four scans again under the same rules.
// Its entries carry their full path below HKEY_CLASSES_ROOT, as their path
// and as their name ("Wow6432Node\CLSID\{...}"), so the review window, the
// progress window and the log tell the views apart; native entries keep
// their plain names. The native view never examines the first key (index 0)
// of Interface and CLSID; the 32-bit view examines it. A 32-bit interface's type library is looked up among
// the libraries found in the 32-bit view's own TypeLib, and, when that view
// has no key for the library, among those found in the native TypeLib
// (Windows 7 and later, and Wine 8, share TypeLib between the views; a
// registry may still hold a 32-bit TypeLib of its own).

#include <cstdint>
#include <string>
#include <string_view>

#include "families/PatternList.h"
#include "registry/api/RegistryApi.h"
#include "scan/FoundKeyList.h"
#include "scan/TypeLibTable.h"
#include "util/Timings.h"

namespace comsweep::scan {

// Where an interactive run shows each visited key; absent in an unattended run.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  // The node shown is the scan's label followed by the key's name (passed
  // apart, so that they are copied once, into the window's text); foundSoFar
  // is the number of keys found so far.
  virtual void progressStep(std::string_view label, const std::string& name,
                            std::int32_t foundSoFar) = 0;
};

// What the scans found. found always equals keys.count(), even when a fault
// ended a scan early.
struct ScanResult {
  FoundKeyList keys;  // in found order, unsorted
  std::int32_t found = 0;
  TypeLibTable typeLibs;       // found in the native view
  TypeLibTable wow64TypeLibs;  // found in the 32-bit view's own TypeLib
};

// The key below HKEY_CLASSES_ROOT that holds the 32-bit view.
inline constexpr const char* kWow64Key = "Wow6432Node";

// Runs the four scans below `root`; a fault inside one scan ends that scan
// only. progress is null in an unattended run.
ScanResult scanRegistry(registry::RegistryApi& api, registry::HKEY root,
                        const families::PatternList& patterns, ProgressSink* progress = nullptr,
                        util::Timings* timings = nullptr);

}  // namespace comsweep::scan
