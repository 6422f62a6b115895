#include <cerrno>
#include <cstdio>
#include <random>

#include "platform/Files.h"

namespace comsweep::platform {

std::filesystem::path temporaryNameBeside(const std::filesystem::path& dir, const std::string& name) {
  static std::random_device device;
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(device()));
  return dir / ("." + name + ".comsweep-" + suffix);
}

int createTemporaryBeside(const std::filesystem::path& dir, const std::string& name, unsigned mode,
                          std::filesystem::path& made) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    made = temporaryNameBeside(dir, name);
    int fd = createNewFile(made, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

}  // namespace comsweep::platform
