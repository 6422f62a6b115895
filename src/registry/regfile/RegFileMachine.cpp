#include "registry/regfile/RegFileMachine.h"

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
  machine->store = std::move(store);
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(file, ec);
  machine->driveC = (ec ? file : absolute).parent_path();
  if (machine->driveC.empty()) machine->driveC = ".";
  machine->kind = ".reg file";
  machine->path = file;
  return {std::move(machine), {}};
}

}  // namespace comsweep::registry
