#include "machine/HiveMachine.h"

#include <algorithm>

#include "registry/store/Text.h"
#include "registry/hive/HiveStore.h"
#include "registry/layered/UsersClassesStore.h"

namespace comsweep::registry {
namespace fs = std::filesystem;

namespace {

// The entry of `dir` named `name`, compared without regard to case, or the empty path.
fs::path findEntry(const fs::path& dir, std::string_view name) {
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    if (equalsNoCase(it->path().filename().string(), name)) return it->path();
  return {};
}

fs::path findBelow(fs::path at, std::initializer_list<const char*> levels) {
  for (const char* level : levels) {
    at = findEntry(at, level);
    if (at.empty()) return {};
  }
  return at;
}

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

// Adds the users' classes to a drive's machine: each file checked and
// locked, each user's view of HKEY_CLASSES_ROOT composed over the machine's
// classes. Empty, else why the drive cannot be opened.
std::string addUsers(Machine& machine, const std::vector<UserClassesHive>& users,
                     std::chrono::milliseconds lockWait) {
  auto store = std::make_unique<UsersClassesStore>(std::move(machine.store));
  machine.layers = {{&store->machine(), machine.registryRoot}};
  for (const UserClassesHive& user : users) {
#ifndef _WIN32
    if (std::string problem = checkMachineFile(user.file); !problem.empty()) return problem;
#endif
    std::string error;
    platform::RunLock lock = platform::RunLock::acquire(user.file, lockWait, error);
    if (!lock.held()) return error;
    machine.userLocks.push_back(std::move(lock));
    machine.userLockTargets.push_back(user.file);
    std::unique_ptr<HiveStore> hive = HiveStore::open(user.file, HiveStore::Top::Root, error);
    if (!hive) return error;
    addUserClasses(machine, *store, store->machine(), user.name + "_Classes", std::move(hive), user.file.string());
  }
  machine.store = std::move(store);
  return {};
}

}  // namespace

fs::path findWindowsSoftwareHive(const fs::path& drive) {
  return findBelow(drive, {"Windows", "System32", "config", "SOFTWARE"});
}

std::vector<UserClassesHive> findUserClassesHives(const fs::path& drive, std::string& error) {
  std::vector<UserClassesHive> found;
  const fs::path users = findEntry(drive, "Users");
  if (users.empty()) return found;
  std::error_code ec;
  for (fs::directory_iterator it(users, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code kind;
    // Junctions ("All Users", "Default User") name profiles found by their own names.
    if (it->is_symlink(kind) || !it->is_directory(kind)) continue;
    fs::path file = findBelow(it->path(), {"AppData", "Local", "Microsoft", "Windows", "UsrClass.dat"});
    if (file.empty()) continue;
    found.push_back({it->path().filename().string(), file});
  }
  std::sort(found.begin(), found.end(),
            [](const UserClassesHive& a, const UserClassesHive& b) { return compareNoCase(a.name, b.name) < 0; });
  for (std::size_t i = 0; i < found.size(); ++i) {
    if (found[i].name.find('\\') != std::string::npos) {
      error = found[i].file.string() + ": the profile's name holds a backslash, which no registry path can name";
      return {};
    }
    if (i > 0 && equalsNoCase(found[i - 1].name, found[i].name)) {
      error = found[i].file.string() + ": two profiles named " + found[i].name +
              " apart from letter case; Windows cannot tell them apart";
      return {};
    }
  }
  return found;
}

MachineOpenResult openHiveFile(const fs::path& file) {
  fs::path dir = file.parent_path();
  return openHive(file, HiveStore::Top::ClassesIfPresent, dir.empty() ? fs::path(".") : dir,
                  "hive", file);
}

MachineOpenResult openWindowsDrive(const fs::path& drive, const fs::path& softwareHive,
                                   std::chrono::milliseconds lockWait) {
  std::string error;
  const std::vector<UserClassesHive> users = findUserClassesHives(drive, error);
  if (!error.empty()) return {nullptr, error};
  MachineOpenResult opened =
      openHive(softwareHive, HiveStore::Top::ClassesRequired, drive, "Windows drive", drive);
  if (!opened.machine || users.empty()) return opened;
  if (error = addUsers(*opened.machine, users, lockWait); !error.empty()) return {nullptr, error};
  return opened;
}

}  // namespace comsweep::registry
