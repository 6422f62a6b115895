#pragma once
// The four scans of HKEY_CLASSES_ROOT, run in a fixed order: TypeLib,
// Interface, CLSID, ProgID. They only read the registry.

#include <cstdint>
#include <string>
#include <string_view>

#include "families/PatternList.h"
#include "registry/RegistryApi.h"
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
  TypeLibTable typeLibs;
};

// Runs the four scans below `root`; a fault inside one scan ends that scan
// only. progress is null in an unattended run.
ScanResult scanRegistry(registry::RegistryApi& api, registry::HKEY root,
                        const families::PatternList& patterns, ProgressSink* progress = nullptr,
                        util::Timings* timings = nullptr);

}  // namespace comsweep::scan
