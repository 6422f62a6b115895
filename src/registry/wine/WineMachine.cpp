#include "registry/wine/WineMachine.h"

namespace comsweep::registry {

MachineOpenResult openWinePrefix(const std::filesystem::path& prefix) {
  return {nullptr, prefix.string() + ": Wine prefixes are not supported yet"};
}

}  // namespace comsweep::registry
