#include "machine/WineMachine.h"

#include <algorithm>
#include <cstdio>
#include <thread>

#include "registry/layered/LayeredStore.h"
#include "registry/wine/WineRegStore.h"
#include "registry/wine/WineServerCheck.h"

namespace comsweep::registry {
namespace {

// How to wait for the server: "wineserver -w" finds it only with the
// TMPDIR it was started with, when that is not the default.
std::string waitAdvice(const std::filesystem::path& prefix, const std::filesystem::path& serverDir) {
  std::string advice = "WINEPREFIX='" + prefix.string() + "' wineserver -w";
  // Debian's layout: <temp>/<name>/server-<dev>-<ino>; upstream's lives in /tmp.
  const std::filesystem::path temp = serverDir.parent_path().parent_path();
  if (!serverDir.empty() && serverDir.parent_path().filename().string().rfind(".wine-", 0) != 0 &&
      temp != "/tmp" && !temp.empty())
    advice = "TMPDIR='" + temp.string() + "' " + advice;
  return advice;
}

// Why the prefix must not be changed now, or empty. A running server would
// write its own copy of the registry over system.reg and undo the removal.
// A server seen running is looked at again until `wait` has passed.
std::string serverObjection(const std::filesystem::path& prefix,
                            std::chrono::milliseconds wait = {}) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + wait;
  WineServerCheck::Result r = WineServerCheck(prefix).check();
  while (r.status == WineServerCheck::Status::Running && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::min<Clock::duration>(std::chrono::milliseconds(200),
                                                          deadline - Clock::now()));
    r = WineServerCheck(prefix).check();
  }
  char waited[48] = "";
  if (wait.count() > 0) std::snprintf(waited, sizeof waited, " (waited %g s)", wait.count() / 1000.0);
  const std::string retry =
      "close the programs running in this prefix, or wait for its server to end with \"" +
      waitAdvice(prefix, r.serverDir) +
      "\", and try again; COMSWEEP_SERVER_WAIT=SECONDS makes comsweep wait that long for it.";
  switch (r.status) {
    case WineServerCheck::Status::NotRunning:
      return {};
    case WineServerCheck::Status::Running:
      return prefix.string() + ": a wineserver is running for this Wine prefix (" + r.detail +
             ")" + waited + "; it keeps the registry in memory and would overwrite any change to "
             "system.reg and user.reg: " + retry;
    case WineServerCheck::Status::Unknown:
      break;
  }
  return prefix.string() + ": cannot tell whether a wineserver is running for this Wine prefix (" +
         r.detail + "); if one is, " + retry;
}

}  // namespace

MachineOpenResult openWinePrefix(const std::filesystem::path& prefix,
                                 std::chrono::milliseconds serverWait) {
  // The log and the backup of the removed keys go to drive C:; without it a
  // run could remove keys that nothing would bring back.
  std::error_code ec;
  if (!std::filesystem::is_directory(prefix / "drive_c", ec))
    return {nullptr, prefix.string() +
                         ": this Wine prefix has no drive_c/ directory, where the log and the "
                         "backup of the removed keys go (wineboot makes it)"};
  if (std::string objection = serverObjection(prefix, serverWait); !objection.empty())
    return {nullptr, objection};
  std::string error;
  std::unique_ptr<WineRegStore> system = WineRegStore::load(prefix / "system.reg", error);
  if (!system) return {nullptr, error};
  // The server may have been started while the run was scanning.
  system->setSaveGuard([prefix] { return serverObjection(prefix); });
  auto machine = std::make_unique<Machine>();
  machine->driveC = prefix / "drive_c";
  machine->kind = "Wine prefix";
  machine->path = prefix;
  machine->registryRoot = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes";

  // The user's classes, where per-user installers register, lie over the
  // machine's. A prefix without user.reg, or whose user.reg holds no
  // classes, is read as system.reg alone.
  std::unique_ptr<WineRegStore> user;
  const std::filesystem::path userFile = prefix / "user.reg";
  if (std::filesystem::exists(std::filesystem::symlink_status(userFile, ec))) {
    user = WineRegStore::load(userFile, error, WineRegParser::Owner::User);
    if (!user) return {nullptr, error};
    if (user->childCount(user->root()) == 0) {
      user.reset();
    } else if (std::string problem = checkMachineFile(userFile); !problem.empty()) {
      return {nullptr, problem};
    }
  }
  if (!user) {
    machine->store = std::move(system);
    return {std::move(machine), {}};
  }
  user->setSaveGuard([prefix] { return serverObjection(prefix); });
  machine->layers = {{system.get(), machine->registryRoot},
                     {user.get(), "HKEY_CURRENT_USER\\Software\\Classes"}};
  machine->store = std::make_unique<LayeredStore>(std::move(user), std::move(system));
  return {std::move(machine), {}};
}

}  // namespace comsweep::registry
