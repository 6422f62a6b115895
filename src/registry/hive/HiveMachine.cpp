#include "registry/hive/HiveMachine.h"

#include "registry/Text.h"

namespace comsweep::registry {
namespace fs = std::filesystem;

fs::path findWindowsSoftwareHive(const fs::path& drive) {
  fs::path at = drive;
  for (const char* level : {"Windows", "System32", "config", "SOFTWARE"}) {
    std::error_code ec;
    fs::path found;
    for (fs::directory_iterator it(at, ec), end; !ec && it != end; it.increment(ec)) {
      if (equalsNoCase(it->path().filename().string(), level)) {
        found = it->path();
        break;
      }
    }
    if (found.empty()) return {};
    at = found;
  }
  return fs::is_regular_file(at) ? at : fs::path();
}

MachineOpenResult openHiveFile(const fs::path& file) {
  return {nullptr, file.string() + ": registry hive files are not supported yet"};
}

MachineOpenResult openWindowsDrive(const fs::path& drive, const fs::path&) {
  return {nullptr, drive.string() + ": offline Windows drives are not supported yet"};
}

}  // namespace comsweep::registry
