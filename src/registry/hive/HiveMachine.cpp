#include "registry/hive/HiveMachine.h"

#include "registry/Text.h"
#include "registry/hive/HiveStore.h"

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
  return at;
}

namespace {

MachineOpenResult openHive(const fs::path& hive, HiveStore::Top top, fs::path driveC,
                           std::string kind, const fs::path& opened) {
  std::string error;
  std::unique_ptr<HiveStore> store = HiveStore::open(hive, top, error);
  if (!store) return {nullptr, error};
  auto machine = std::make_unique<Machine>();
  if (!store->topIsRoot()) machine->registryRoot = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes";
  machine->store = std::move(store);
  machine->backupTextAsciiOnly = true;
  machine->driveC = std::move(driveC);
  machine->kind = std::move(kind);
  machine->path = opened;
  return {std::move(machine), {}};
}

}  // namespace

MachineOpenResult openHiveFile(const fs::path& file) {
  fs::path dir = file.parent_path();
  return openHive(file, HiveStore::Top::ClassesIfPresent, dir.empty() ? fs::path(".") : dir,
                  "hive", file);
}

MachineOpenResult openWindowsDrive(const fs::path& drive, const fs::path& softwareHive) {
  return openHive(softwareHive, HiveStore::Top::ClassesRequired, drive, "Windows drive", drive);
}

}  // namespace comsweep::registry
