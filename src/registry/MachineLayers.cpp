// What every build's machines share: which layer answers for a key, and the
// run locks of a machine of several files.
#include "registry/Machine.h"
#include "registry/Text.h"

namespace comsweep::registry {
namespace {

bool beginsWithRoot(std::string_view path, std::string_view root) {
  return path.size() > root.size() + 1 && path[root.size()] == '\\' &&
         equalsNoCase(path.substr(0, root.size()), root);
}

}  // namespace

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
