#include "machine/Machine.h"

#include <cerrno>
#include <cstring>

#include "platform/Files.h"
#include "machine/HiveMachine.h"
#include "registry/hive/HiveStore.h"
#include "registry/layered/LayeredStore.h"
#include "registry/layered/UsersClassesStore.h"
#include "registry/native/LiveRegistry.h"
#include "registry/native/LiveUsers.h"
#include "registry/native/NativeStore.h"
#include "registry/native/NativeText.h"
#include "machine/RegFileMachine.h"

namespace comsweep::registry {
namespace fs = std::filesystem;

const char* const kMachineUsage =
    "The machine: this computer's registry, or the .reg export, hive file or\n"
    "offline Windows drive that %COMSWEEP_MACHINE% names. Wine prefixes are\n"
    "cleaned by the Linux build.\n";

fs::path defaultMachinePath(const std::map<std::string, std::string>& env) {
  auto it = env.find("COMSWEEP_MACHINE");
  if (it == env.end() || it->second.empty()) return {};
  // The environment was converted to UTF-8; a narrow path would take the
  // ANSI code page.
  return fs::path(std::u8string(it->second.begin(), it->second.end()));
}

namespace {

constexpr const char* kWindowsMachines =
    "; the Windows build cleans this computer's registry, a .reg export, a hive file or an "
    "offline Windows drive";

constexpr const char* kMachineClasses = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes";
constexpr const char* kUserClasses = "HKEY_CURRENT_USER\\Software\\Classes";

// Adds this computer's users' classes (liveUsers()) to the live machine:
// a loaded user's key read and changed live, an absent user's UsrClass.dat
// through the regf engine, locked and replaced like a hive file. The views
// lay each user's classes over the machine's (`machineClasses`), not over
// LocalSystem's. Empty, else why the machine cannot be opened.
std::string addLiveUsers(Machine& machine, Store& machineClasses, std::chrono::milliseconds lockWait) {
  const std::vector<LiveUser> users = liveUsers();
  if (users.empty()) return {};
  auto store = std::make_unique<UsersClassesStore>(std::move(machine.store));
  if (machine.layers.empty()) machine.layers.push_back({&store->machine(), kMachineClasses});
  for (const LiveUser& user : users) {
    std::string error;
    if (user.loaded) {
      // A user who logged off since is left to a later run.
      auto own = std::make_unique<NativeStore>(usersTop(), user.classesKey);
      if (own->rootOpens()) addUserClasses(machine, *store, machineClasses, user.classesKey, std::move(own), {});
      continue;
    }
    platform::RunLock lock = platform::RunLock::acquire(user.usrClass, lockWait, error);
    if (!lock.held()) return error;
    machine.userLocks.push_back(std::move(lock));
    machine.userLockTargets.push_back(user.usrClass);
    std::unique_ptr<HiveStore> own = HiveStore::open(user.usrClass, HiveStore::Top::Root, error);
    if (!own) return error;
    addUserClasses(machine, *store, machineClasses, user.classesKey, std::move(own), user.usrClass.string());
  }
  machine.store = std::move(store);
  return {};
}

MachineOpenResult openLiveRegistry(std::chrono::milliseconds lockWait) {
  // Runs on the live registry share its log: the lock is taken on that.
  std::string error;
  platform::RunLock lock = platform::RunLock::acquire("C:\\9QReg.log", lockWait, error);
  if (!lock.held()) return {nullptr, error};
  auto machine = std::make_unique<Machine>();
  machine->lock = std::move(lock);
  machine->lockTarget = "C:\\9QReg.log";
  // HKEY_CLASSES_ROOT as Windows composes it: the user's classes over the
  // machine's. Composed here rather than read through the platform's merged
  // root, so that the backup names each key where it lives (reg import and
  // regedit /s restore it there); the user's classes come in only when the
  // user has some.
  auto machineClasses =
      std::make_unique<NativeStore>(comsweep_native::kLocalMachine, "Software\\Classes");
  auto userClasses =
      std::make_unique<NativeStore>(comsweep_native::kCurrentUser, "Software\\Classes");
  machine->registryRoot = kMachineClasses;
  Store& machineOnly = *machineClasses;
  if (userClasses->rootOpens()) {
    Store* lower = machineClasses.get();
    Store* upper = userClasses.get();
    machine->store =
        std::make_unique<LayeredStore>(std::move(userClasses), std::move(machineClasses));
    machine->layers = {{lower, kMachineClasses}, {upper, kUserClasses}};
  } else {
    machine->store = std::move(machineClasses);
  }
  // Run as LocalSystem (by a deployment tool), the run's own classes are
  // nobody's: every user's are cleaned besides, each as that user sees
  // HKEY_CLASSES_ROOT (the user's classes over the machine's).
  if (runsAsLocalSystem()) {
    if (std::string problem = addLiveUsers(*machine, machineOnly, lockWait); !problem.empty())
      return {nullptr, problem};
  }
  // A run connected to a named machine removes that machine's keys: its
  // backup reads them there (and names them as they live there).
  Machine* owner = machine.get();
  std::vector<Machine::Layer> local = machine->layers;
  if (local.empty()) local.push_back({machine->store.get(), kMachineClasses});
  machine->api =
      std::make_unique<LiveRegistry>(*machine->store, [owner, local](Store* remote) {
        owner->layers = remote ? std::vector<Machine::Layer>{{remote, kMachineClasses}} : local;
      });
  machine->driveC = "C:\\";
  machine->kind = "this computer's registry";
  return {std::move(machine), {}};
}

}  // namespace

MachineOpenResult openMachineOfThisBuild(const fs::path& path, std::chrono::milliseconds lockWait,
                                         std::chrono::milliseconds /*serverWait: no Wine here*/) {
  if (path.empty()) return openLiveRegistry(lockWait);
  std::error_code ec;
  fs::file_status st = fs::status(path, ec);
  if (ec || !fs::exists(st))
    return {nullptr, path.string() + ": no such file or directory (the machine to clean)"};
  std::string error;
  if (fs::is_directory(st)) {
    if (fs::exists(path / "system.reg", ec))
      return {nullptr, path.string() + ": is a Wine prefix (Linux build only)" + kWindowsMachines};
    fs::path software = findWindowsSoftwareHive(path);
    if (software.empty()) return {nullptr, path.string() + ": is a directory" + kWindowsMachines};
    platform::RunLock lock = platform::RunLock::acquire(software, lockWait, error);
    if (!lock.held()) return {nullptr, error};
    MachineOpenResult opened = openWindowsDrive(path, software, lockWait);
    if (opened.machine) {
      opened.machine->lock = std::move(lock);
      opened.machine->lockTarget = software;
    }
    return opened;
  }
  platform::FileStatus info {};
  std::string problem;
  platform::FileDescriptor fd = platform::openRegularFile(path, info, problem);
  if (!fd.valid()) return {nullptr, path.string() + ": " + problem};
  std::string head(64, '\0');
  long long n = platform::readAt(fd.get(), head.data(), head.size(), 0);
  if (n < 0) return {nullptr, path.string() + ": cannot be read: " + std::strerror(errno)};
  head.resize(static_cast<std::size_t>(n));
  fd.reset();
  const bool hive = head.rfind("regf", 0) == 0;
  if (!hive && !looksLikeRegFile(head))
    return {nullptr, path.string() + ": not a registry file (.reg export)"};
  if (!platform::ownerMayWrite(info))
    return {nullptr, path.string() +
                         ": is read-only; comsweep replaces this file when it removes keys. "
                         "Clear its read-only attribute (attrib -r) to clean it"};

  platform::RunLock lock = platform::RunLock::acquire(path, lockWait, error);
  if (!lock.held()) return {nullptr, error};
  MachineOpenResult opened = hive ? openHiveFile(path) : openRegFile(path);
  if (opened.machine) {
    opened.machine->lock = std::move(lock);
    opened.machine->lockTarget = path;
  }
  return opened;
}

}  // namespace comsweep::registry
