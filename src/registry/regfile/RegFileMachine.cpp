#include "registry/regfile/RegFileMachine.h"

namespace comsweep::registry {

bool looksLikeRegFile(std::string_view firstBytes) {
  return firstBytes.rfind("REGEDIT4", 0) == 0 ||
         firstBytes.rfind("Windows Registry Editor Version 5.00", 0) == 0 ||
         firstBytes.rfind("\xFF\xFE", 0) == 0;
}

MachineOpenResult openRegFile(const std::filesystem::path& file) {
  return {nullptr, file.string() + ": .reg files are not supported yet"};
}

}  // namespace comsweep::registry
