// What every build's machines share: which layer answers for a key, the
// run locks of a machine of several files, and a refusal of files too large
// to read.
#include "machine/Machine.h"
#include "registry/handles/HandleTable.h"
#include "registry/store/Text.h"
#include "registry/layered/LayeredStore.h"
#include "registry/layered/SubtreeStore.h"
#include "registry/layered/UsersClassesStore.h"

#include <new>
#include <stdexcept>

namespace comsweep::registry {
namespace {

bool beginsWithRoot(std::string_view path, std::string_view root) {
  return path.size() > root.size() + 1 && path[root.size()] == '\\' &&
         equalsNoCase(path.substr(0, root.size()), root);
}

}  // namespace

MachineOpenResult openMachine(const std::filesystem::path& path, std::chrono::milliseconds lockWait,
                              std::chrono::milliseconds serverWait) {
  try {
    return openMachineOfThisBuild(path, lockWait, serverWait);
  } catch (const std::length_error& e) {
    return {nullptr, path.string() + ": too large to read: " + e.what()};
  } catch (const std::bad_alloc&) {
    return {nullptr, path.string() + ": too large to read: not enough memory"};
  }
}

bool layerAnswers(const std::vector<Machine::Layer>& layers, std::size_t index, std::string_view path,
                  std::string_view& below) {
  const Machine::Layer& layer = layers[index];
  if (layer.namedInFull) {
    if (!beginsWithRoot(path, layer.registryRoot)) return false;
    below = path.substr(layer.registryRoot.size() + 1);
    return true;
  }
  for (const Machine::Layer& other : layers)
    if (other.namedInFull && beginsWithRoot(path, other.registryRoot)) return false;
  below = path;
  return true;
}

void addUserClasses(Machine& machine, UsersClassesStore& users, Store& machineClasses, const std::string& keyName,
                    std::unique_ptr<Store> own, std::string file) {
  Store& ownClasses = *own;
  const std::string root = std::string(UsersClassesStore::kUsersKeyName) + "\\" + keyName;
  users.addUser(keyName, std::move(own));
  machine.layers.push_back({&ownClasses, root, true, std::move(file)});
  Machine::UserClasses classes{root, nullptr, nullptr};
  classes.view = std::make_unique<LayeredStore>(std::make_unique<SubtreeStore>(ownClasses, ownClasses.root()),
                                                std::make_unique<SubtreeStore>(machineClasses, machineClasses.root()));
  classes.api = std::make_unique<HandleTable>(*classes.view);
  machine.users.push_back(std::move(classes));
}

void releaseLocks(Machine& machine) {
  machine.lock = {};
  machine.userLocks.clear();
}

std::string retakeLocks(Machine& machine, std::chrono::milliseconds wait) {
  std::string error;
  machine.lock = platform::RunLock::acquire(machine.lockTarget, wait, error);
  if (!machine.lock.held()) return error;
  machine.userLocks.clear();
  for (const std::filesystem::path& target : machine.userLockTargets) {
    machine.userLocks.push_back(platform::RunLock::acquire(target, wait, error));
    if (!machine.userLocks.back().held()) {
      releaseLocks(machine);
      return error;
    }
  }
  return {};
}

}  // namespace comsweep::registry
