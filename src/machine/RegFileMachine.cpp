#include "machine/RegFileMachine.h"

#include "registry/layered/LayeredStore.h"
#include "registry/layered/SubtreeStore.h"
#include "registry/regfile/RegFileStore.h"

namespace comsweep::registry {

bool looksLikeRegFile(std::string_view firstBytes) {
  // Any header-like start is taken, so that an unknown version is reported
  // by the parser with its line rather than as "not a registry file".
  if (firstBytes.rfind("\xFF\xFE", 0) == 0) return true;
  if (firstBytes.rfind("\xEF\xBB\xBF", 0) == 0) firstBytes.remove_prefix(3);
  return firstBytes.rfind("REGEDIT", 0) == 0 || firstBytes.rfind("Windows Registry Editor", 0) == 0;
}

MachineOpenResult openRegFile(const std::filesystem::path& file) {
  std::string error;
  std::unique_ptr<RegFileStore> store = RegFileStore::open(file, error);
  if (!store) return {nullptr, error};
  auto machine = std::make_unique<Machine>();
  machine->registryRoot = store->rootName();
  // The user's classes in the same file lie over the machine's, as
  // HKEY_CLASSES_ROOT composes them; the backup names each copy of a key
  // below the root it was read from.
  if (NodeId user = store->userClasses(); user != kNoNode && store->childCount(user) > 0) {
    auto userClasses = std::make_unique<SubtreeStore>(*store, user);
    machine->layers = {{store.get(), machine->registryRoot},
                       {userClasses.get(), "HKEY_CURRENT_USER\\Software\\Classes"}};
    machine->store = std::make_unique<LayeredStore>(std::move(userClasses), std::move(store));
  } else {
    machine->store = std::move(store);
  }
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(file, ec);
  machine->driveC = (ec ? file : absolute).parent_path();
  if (machine->driveC.empty()) machine->driveC = ".";
  machine->kind = ".reg file";
  machine->path = file;
  return {std::move(machine), {}};
}

}  // namespace comsweep::registry
