#pragma once
// A Windows machine that lives on Linux: where its HKEY_CLASSES_ROOT comes
// from and where its drive C: is. Opening decides the kind from what the
// path names (see the README, "Choosing the machine").

#include <filesystem>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/RunLock.h"
#include "registry/api/RegistryApi.h"
#include "registry/store/Store.h"
#include "util/Failure.h"

namespace comsweep::registry {

class UsersClassesStore;

struct Machine {
  std::unique_ptr<Store> store;
  // Set when the machine answers the registry operations itself (the live
  // registry on Windows); otherwise a HandleTable over `store` answers them,
  // and `store` is what the backup reads in either case.
  std::unique_ptr<RegistryApi> api;
  std::filesystem::path driveC;  // the directory that stands for C:\ .
  std::string kind;              // ".reg file", "Wine prefix", ...
  std::filesystem::path path;    // what was opened
  // Where HKEY_CLASSES_ROOT physically lives, as a .reg file names it, so
  // that the backup of removed keys can be imported back with standard tools.
  std::string registryRoot = "HKEY_CLASSES_ROOT";
  // Where the keys physically live when HKEY_CLASSES_ROOT is composed of
  // several stores (a Wine prefix's user classes over its machine classes):
  // each store with the name of its root in a .reg file. Empty: `store`
  // alone, named registryRoot. An undo adds each key into the layer its
  // backup names, so the layers name the stores for writing too.
  struct Layer {
    Layer(Store* layerStore, std::string root, bool inFull = false, std::string layerFile = {})
        : store(layerStore), registryRoot(std::move(root)), namedInFull(inFull), file(std::move(layerFile)) {}
    Store* store;
    std::string registryRoot;
    // A user's own classes on a machine with user profiles: the run names
    // its keys in full, beginning with registryRoot ("HKEY_USERS\alice_Classes\CLSID\..."),
    // and the other layers never answer for such a path.
    bool namedInFull = false;
    std::string file;  // the file it is kept in, when not the machine's own
  };
  std::vector<Layer> layers;
  // The users' classes of a machine with user profiles, each as Windows
  // shows HKEY_CLASSES_ROOT to that user (the user's classes over the
  // machine's), to be scanned after the machine's own; a key found there
  // belongs to the user when the user's own classes hold it, and is then
  // named registryRoot + "\\" + its path. Empty for every other machine.
  struct UserClasses {
    std::string registryRoot;  // "HKEY_USERS\<name>_Classes"
    std::unique_ptr<Store> view;
    std::unique_ptr<RegistryApi> api;  // over `view`
  };
  std::vector<UserClasses> users;
  // The backup writes string values outside ASCII as hex data: the tools
  // that merge it into a hive take quoted text as bytes, not as UTF-8.
  bool backupTextAsciiOnly = false;
  // Held for as long as the machine is open: no other run reads or writes it.
  // An interactive start lets it go while the main window waits and takes it
  // again on `lockTarget` when the run starts.
  platform::RunLock lock;
  std::filesystem::path lockTarget;
  // The users' files of a machine with user profiles, locked as `lock` is.
  std::vector<platform::RunLock> userLocks;
  std::vector<std::filesystem::path> userLockTargets;
};

// Whether `layers[index]` holds the key a run names `path` (see
// Machine::Layer::namedInFull), with the path below that layer's root in
// `below`.
bool layerAnswers(const std::vector<Machine::Layer>& layers, std::size_t index, std::string_view path,
                  std::string_view& below);

// Adds a user's own classes `own`, kept in `file` (empty: in the live
// registry), to a machine whose store is `users` (taken from the machine
// for the time being): as HKEY_USERS\<keyName> of `users`, as a layer named
// in full, and as that user's view, `own` over `machineClasses`.
void addUserClasses(Machine& machine, UsersClassesStore& users, Store& machineClasses, const std::string& keyName,
                    std::unique_ptr<Store> own, std::string file);

// Lets go of the machine's run locks, or takes them again (waiting up to
// `wait` for each); empty when all are held, else why not.
void releaseLocks(Machine& machine);
std::string retakeLocks(Machine& machine, std::chrono::milliseconds wait);

struct MachineOpenResult {
  MachineOpenResult() = default;
  // An opened machine, or null and why not (one line, names the path).
  MachineOpenResult(std::unique_ptr<Machine> opened, std::string why)
      : machine(std::move(opened)) {
    if (!machine) failure = {"opening the machine", std::move(why)};
  }

  std::unique_ptr<Machine> machine;  // null on failure
  util::Failure failure;             // empty when `machine` is set
};

// The path of the local machine: COMSWEEP_MACHINE, else WINEPREFIX, else
// ~/.wine, taken from `env` (a variable that is set but empty counts as unset).
// On Windows COMSWEEP_MACHINE, else the empty path: this computer's registry.
std::filesystem::path defaultMachinePath(const std::map<std::string, std::string>& env);

// The paragraph of the usage text that says which machine a run cleans.
extern const char* const kMachineUsage;

// How long a run waits for another run on the same machine to end.
inline constexpr std::chrono::seconds kDefaultLockWait{10};

// The file a run replaces when it removes keys: a regular file, and one its
// owner may write (a file made read-only is not to be replaced behind the
// owner's back). Empty when it may be used, else why not. `head`, when
// given, receives the file's first 64 bytes.
std::string checkMachineFile(const std::filesystem::path& file, std::string* head = nullptr);

// Opens the machine at `path` and locks it for this run (waiting up to
// `lockWait` for another run to end). Every file it reads must be a regular
// file; the file a run would replace must be writable by its owner. The
// Windows build opens its own registry and .reg exports only. A Wine prefix
// whose server runs is refused once `serverWait` has passed without the
// server ending. A file too large for the key tree (see TextArena) or for
// this computer's memory is refused with that reason.
MachineOpenResult openMachine(const std::filesystem::path& path,
                              std::chrono::milliseconds lockWait = kDefaultLockWait,
                              std::chrono::milliseconds serverWait = {});
// openMachine without that guard: one for each build.
MachineOpenResult openMachineOfThisBuild(const std::filesystem::path& path, std::chrono::milliseconds lockWait,
                                         std::chrono::milliseconds serverWait);

}  // namespace comsweep::registry
