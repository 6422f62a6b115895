#include "registry/wine/WineMachine.h"

#include "registry/wine/WineRegStore.h"
#include "registry/wine/WineServerCheck.h"

namespace comsweep::registry {
namespace {

// Why the prefix must not be changed now, or empty. A running server would
// write its own copy of the registry over system.reg and undo the removal.
std::string serverObjection(const std::filesystem::path& prefix) {
  WineServerCheck::Result r = WineServerCheck(prefix).check();
  switch (r.status) {
    case WineServerCheck::Status::NotRunning:
      return {};
    case WineServerCheck::Status::Running:
      return prefix.string() + ": a wineserver is running for this Wine prefix (" + r.detail +
             "); it keeps the registry in memory and would overwrite any change to system.reg. "
             "Stop it with \"WINEPREFIX='" +
             prefix.string() + "' wineserver -k\" and try again.";
    case WineServerCheck::Status::Unknown:
      break;
  }
  return prefix.string() + ": cannot tell whether a wineserver is running for this Wine prefix (" +
         r.detail + "); if one is, stop it with \"WINEPREFIX='" + prefix.string() +
         "' wineserver -k\" and try again.";
}

}  // namespace

MachineOpenResult openWinePrefix(const std::filesystem::path& prefix) {
  // The log and the backup of the removed keys go to drive C:; without it a
  // run could remove keys that nothing would bring back.
  std::error_code ec;
  if (!std::filesystem::is_directory(prefix / "drive_c", ec))
    return {nullptr, prefix.string() +
                         ": this Wine prefix has no drive_c/ directory, where the log and the "
                         "backup of the removed keys go (wineboot makes it)"};
  if (std::string objection = serverObjection(prefix); !objection.empty())
    return {nullptr, objection};
  std::string error;
  std::unique_ptr<WineRegStore> store = WineRegStore::load(prefix / "system.reg", error);
  if (!store) return {nullptr, error};
  // The server may have been started while the run was scanning.
  store->setSaveGuard([prefix] { return serverObjection(prefix); });
  auto machine = std::make_unique<Machine>();
  machine->store = std::move(store);
  machine->driveC = prefix / "drive_c";
  machine->kind = "Wine prefix";
  machine->path = prefix;
  machine->registryRoot = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes";
  return {std::move(machine), {}};
}

}  // namespace comsweep::registry
