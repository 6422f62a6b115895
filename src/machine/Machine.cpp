#include "machine/Machine.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/Files.h"
#include "machine/HiveMachine.h"
#include "machine/RegFileMachine.h"
#include "machine/WineMachine.h"

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

const char* const kMachineUsage =
    "The machine: $COMSWEEP_MACHINE, else $WINEPREFIX, else ~/.wine. It may name a\n"
    "Wine prefix, an offline Windows drive, a registry hive file or a .reg export.\n";

namespace {

enum class Kind { WinePrefix, WindowsDrive, Hive, RegFile };

}  // namespace

std::string checkMachineFile(const fs::path& file, std::string* head) {
  platform::FileStatus st {};
  std::string problem;
  platform::FileDescriptor fd = platform::openRegularFile(file, st, problem);
  if (!fd.valid()) return file.string() + ": " + problem;
  if (!platform::ownerMayWrite(st)) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return file.string() + ": is read-only (mode " + mode +
           "); comsweep replaces this file when it removes keys. Make it writable "
           "(chmod u+w) to clean it";
  }
  if (head) {
    head->resize(64);
    long long n = platform::readAt(fd.get(), head->data(), head->size(), 0);
    if (n < 0) return file.string() + ": cannot be read: " + std::strerror(errno);
    head->resize(static_cast<std::size_t>(n));
  }
  return {};
}

MachineOpenResult openMachineOfThisBuild(const fs::path& path, std::chrono::milliseconds lockWait,
                                         std::chrono::milliseconds serverWait) {
  std::error_code ec;
  fs::file_status st = fs::status(path, ec);
  if (ec || !fs::exists(st))
    return {nullptr, path.string() + ": no such file or directory (the machine to clean)"};

  Kind kind;
  fs::path file = path;        // the file the run would replace
  fs::path lockTarget = path;  // what the run lock is taken on
  if (fs::is_directory(st)) {
    fs::path software;
    if (fs::exists(fs::symlink_status(path / "system.reg", ec))) {
      kind = Kind::WinePrefix;
      file = path / "system.reg";
      // Wine writes its files by replacing them: the prefix is the lasting thing.
      lockTarget = path;
    } else if (software = findWindowsSoftwareHive(path); !software.empty()) {
      kind = Kind::WindowsDrive;
      file = lockTarget = software;
    } else {
      return {nullptr, path.string() +
                           ": neither a Wine prefix (no system.reg) nor a Windows drive "
                           "(no Windows/System32/config/SOFTWARE)"};
    }
    if (std::string problem = checkMachineFile(file); !problem.empty()) return {nullptr, problem};
  } else {
    std::string head;
    if (std::string problem = checkMachineFile(path, &head); !problem.empty())
      return {nullptr, problem};
    if (head.rfind("regf", 0) == 0)
      kind = Kind::Hive;
    else if (looksLikeRegFile(head))
      kind = Kind::RegFile;
    else if (head.rfind("WINE REGISTRY", 0) == 0)
      return {nullptr, path.string() +
                           ": a registry file of a Wine prefix; name the prefix itself (" +
                           (path.has_parent_path() ? path.parent_path() : fs::path(".")).string() +
                           "), whose system.reg and user.reg " +
                           "are read and written together"};
    else
      return {nullptr, path.string() + ": not a registry file (.reg export, Wine prefix or hive)"};
  }

  std::string error;
  platform::RunLock lock = platform::RunLock::acquire(lockTarget, lockWait, error);
  if (!lock.held()) return {nullptr, error};
  MachineOpenResult opened;
  switch (kind) {
    case Kind::WinePrefix: opened = openWinePrefix(path, serverWait); break;
    case Kind::WindowsDrive: opened = openWindowsDrive(path, file, lockWait); break;
    case Kind::Hive: opened = openHiveFile(path); break;
    case Kind::RegFile: opened = openRegFile(path); break;
  }
  if (opened.machine) {
    opened.machine->lock = std::move(lock);
    opened.machine->lockTarget = lockTarget;
  }
  return opened;
}

}  // namespace comsweep::registry
