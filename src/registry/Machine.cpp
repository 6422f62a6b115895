#include "registry/Machine.h"

#include <fstream>

#include "registry/hive/HiveMachine.h"
#include "registry/regfile/RegFileMachine.h"
#include "registry/wine/WineMachine.h"

namespace comsweep::registry {
namespace fs = std::filesystem;

fs::path defaultMachinePath(const std::map<std::string, std::string>& env) {
  auto get = [&](const char* name) -> std::string {
    auto it = env.find(name);
    return it == env.end() ? std::string() : it->second;
  };
  if (std::string v = get("COMSWEEP_MACHINE"); !v.empty()) return v;
  if (std::string v = get("WINEPREFIX"); !v.empty()) return v;
  return fs::path(get("HOME")) / ".wine";
}

namespace {

// The first bytes of a file, for telling the kinds apart.
std::string head(const fs::path& path, std::size_t n, bool& readable) {
  std::ifstream in(path, std::ios::binary);
  readable = static_cast<bool>(in);
  std::string bytes(n, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(n));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

}  // namespace

MachineOpenResult openMachine(const fs::path& path) {
  std::error_code ec;
  fs::file_status st = fs::status(path, ec);
  if (ec || !fs::exists(st))
    return {nullptr, path.string() + ": no such file or directory (the machine to clean)"};
  if (fs::is_directory(st)) {
    if (fs::exists(path / "system.reg", ec)) return openWinePrefix(path);
    if (fs::path software = findWindowsSoftwareHive(path); !software.empty())
      return openWindowsDrive(path, software);
    return {nullptr, path.string() +
                         ": neither a Wine prefix (no system.reg) nor a Windows drive "
                         "(no Windows/System32/config/SOFTWARE)"};
  }
  bool readable = false;
  std::string bytes = head(path, 64, readable);
  if (!readable) return {nullptr, path.string() + ": cannot be read"};
  if (bytes.rfind("regf", 0) == 0) return openHiveFile(path);
  if (looksLikeRegFile(bytes)) return openRegFile(path);
  return {nullptr, path.string() + ": not a registry file (.reg export, Wine prefix or hive)"};
}

}  // namespace comsweep::registry
