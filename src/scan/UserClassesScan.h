#pragma once
// The users' classes of a machine with user profiles, scanned after the
// machine's own: each user's HKEY_CLASSES_ROOT as Windows shows it to that
// user (the user's classes over the machine's), under the same four scans.
// A key found there is the user's when the user's own classes hold it; it is
// listed by its full name, "HKEY_USERS\<name>_Classes\" and its path, as its
// path and as its name, so that the review, the log and the backup say whose
// it is and the removal takes the user's copy only. A key of the machine's
// alone was found by the machine's own scan.

#include <string>
#include <string_view>
#include <vector>

#include "families/PatternList.h"
#include "registry/api/RegistryApi.h"
#include "scan/Scanner.h"

namespace comsweep::scan {

struct ClassesView {
  std::string root;            // "HKEY_USERS\<name>_Classes"
  registry::RegistryApi* api;  // answers for the user's view below HKEY_CLASSES_ROOT
};

// Adds the keys of each view to `result`, in view order. `machine` is the
// run's own registry, in which a user's own key is at "<root>\<path>" below
// HKEY_CLASSES_ROOT. Progress counts on from the keys found so far.
void scanUserClasses(registry::RegistryApi& machine, const std::vector<ClassesView>& views,
                     const families::PatternList& patterns, ScanResult& result,
                     ProgressSink* progress = nullptr, util::Timings* timings = nullptr);

// The name of a listed key in a .reg file and the log: a user's key as it is
// listed, every other below HKEY_CLASSES_ROOT.
std::string registryPath(std::string_view path);
// The path below the classes root of the view a key was found in.
std::string_view pathInView(std::string_view path);

}  // namespace comsweep::scan
