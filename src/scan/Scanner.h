#pragma once
// The four scans of HKEY_CLASSES_ROOT, run in a fixed order: TypeLib,
// Interface, CLSID, ProgID. They only read the registry; what they find goes
// to the found-key list, lKeysFound and the type-library table.

#include <cstdint>
#include <string>
#include <string_view>

#include "app/Families.h"
#include "registry/RegistryApi.h"
#include "scan/FoundKeyList.h"
#include "scan/Matcher.h"
#include "scan/TypeLibTable.h"
#include "util/Timings.h"

namespace comsweep::scan {

// Where an interactive run shows each visited key; absent in an unattended run.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  // The node shown is the scan's label followed by the key's name (passed
  // apart, so that they are copied once, into the window's text); lDeleted
  // is the number of keys found so far.
  virtual void progressStep(std::string_view label, const std::string& name,
                            std::int32_t lDeleted) = 0;
};

struct ScanContext {
  registry::RegistryApi& api;
  registry::HKEY lRootKey;
  const app::PatternList& patterns;
  TypeLibTable& typeLibs;
  FoundKeyList& lvwKeys;
  std::int32_t& lKeysFound;
  ProgressSink* progress = nullptr;  // null when bAutoRun
  util::Timings* timings = nullptr;
};

// Runs the four scans; a fault inside one scan ends that scan only.
void ScanRegistry(ScanContext& context);

void ScanTypeLibs(ScanContext& context, const Matcher& matcher);
void ScanInterfaces(ScanContext& context);
void ScanClasses(ScanContext& context, const Matcher& matcher);
void ScanProgIds(ScanContext& context, const Matcher& matcher);

}  // namespace comsweep::scan
