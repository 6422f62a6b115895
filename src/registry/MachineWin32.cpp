#include "registry/Machine.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/Files.h"
#include "registry/hive/HiveMachine.h"
#include "registry/layered/LayeredStore.h"
#include "registry/native/LiveRegistry.h"
#include "registry/native/NativeStore.h"
#include "registry/native/NativeText.h"
#include "registry/regfile/RegFileMachine.h"

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
  constexpr const char* kMachineClasses = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes";
  constexpr const char* kUserClasses = "HKEY_CURRENT_USER\\Software\\Classes";
  auto machineClasses =
      std::make_unique<NativeStore>(comsweep_native::kLocalMachine, "Software\\Classes");
  auto userClasses =
      std::make_unique<NativeStore>(comsweep_native::kCurrentUser, "Software\\Classes");
  machine->registryRoot = kMachineClasses;
  if (userClasses->rootOpens()) {
    Store* lower = machineClasses.get();
    Store* upper = userClasses.get();
    machine->store =
        std::make_unique<LayeredStore>(std::move(userClasses), std::move(machineClasses));
    machine->layers = {{lower, kMachineClasses}, {upper, kUserClasses}};
  } else {
    machine->store = std::move(machineClasses);
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

MachineOpenResult openMachine(const fs::path& path, std::chrono::milliseconds lockWait,
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
    MachineOpenResult opened = openWindowsDrive(path, software);
    if (opened.machine) {
      opened.machine->lock = std::move(lock);
      opened.machine->lockTarget = software;
    }
    return opened;
  }
  struct stat info {};
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
  if ((info.st_mode & _S_IWRITE) == 0)
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
