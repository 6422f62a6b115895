#include "scan/UserClassesScan.h"

#include <optional>

#include "registry/store/Text.h"

namespace comsweep::scan {
namespace {

constexpr std::string_view kUsersRoot = "HKEY_USERS\\";

bool namesUser(std::string_view path) {
  return path.size() > kUsersRoot.size() && registry::equalsNoCase(path.substr(0, kUsersRoot.size()), kUsersRoot);
}

// Counts on from the keys listed before this view.
class CountingOn : public ProgressSink {
 public:
  CountingOn(ProgressSink& inner, std::int32_t before) : m_inner(inner), m_before(before) {}
  void progressStep(std::string_view label, const std::string& name, std::int32_t foundSoFar) override {
    m_inner.progressStep(label, name, m_before + foundSoFar);
  }

 private:
  ProgressSink& m_inner;
  std::int32_t m_before;
};

}  // namespace

void scanUserClasses(registry::RegistryApi& machine, const std::vector<ClassesView>& views,
                     const families::PatternList& patterns, ScanResult& result, ProgressSink* progress,
                     util::Timings* timings) {
  for (const ClassesView& view : views) {
    std::optional<CountingOn> countingOn;
    if (progress) countingOn.emplace(*progress, result.found);
    ScanResult seen = scanRegistry(*view.api, registry::HKEY_CLASSES_ROOT, patterns,
                                   countingOn ? &*countingOn : nullptr, timings);
    for (std::size_t i = 1; i <= seen.keys.count(); ++i) {
      FoundKey key = seen.keys.item(i);
      key.path = view.root + "\\" + key.path;
      registry::HKEY own = 0;
      if (machine.RegOpenKeyA(registry::HKEY_CLASSES_ROOT, key.path.c_str(), &own) != 0) continue;
      machine.RegCloseKey(own);
      key.name = key.path;
      result.keys.add(std::move(key));
      ++result.found;
    }
  }
}

std::string registryPath(std::string_view path) {
  return namesUser(path) ? std::string(path) : "HKEY_CLASSES_ROOT\\" + std::string(path);
}

std::string_view pathInView(std::string_view path) {
  if (!namesUser(path)) return path;
  std::size_t cut = path.find('\\', kUsersRoot.size());
  return cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
}

}  // namespace comsweep::scan
