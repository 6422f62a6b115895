#include "fuzz/FuzzHarness.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "fuzz/HiveKeptCheck.h"
#include "fuzz/TreeWalk.h"
#include "registry/handles/HandleTable.h"
#include "registry/store/SecondCore.h"
#include "registry/store/Text.h"
#include "machine/HiveMachine.h"
#include "machine/RegFileMachine.h"
#include "registry/wine/WineRegStore.h"
#include "removal/KeyRemoval.h"
#include "removal/Restore.h"
#include "removal/UndoFile.h"

namespace comsweep::fuzz {
namespace fs = std::filesystem;

namespace {

// At most this many subtrees are removed from one input: enough to take out
// leaves, inner keys and neighbours, few enough to keep a run fast.
constexpr std::size_t kMaxRemovals = 4;

std::string readAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes through a descriptor so that a failure is seen; false on failure.
bool writeAll(const fs::path& file, std::string_view bytes) {
  int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return ::close(fd) == 0 && bytes.empty();
}

bool within(const std::string& path, const std::string& top) {
  return path == top || (path.size() > top.size() && path.compare(0, top.size(), top) == 0 &&
                         path[top.size()] == '\\');
}

// Keys chosen for removal: every fourth key in walk order, from the second
// on, so that leaves, inner keys and keys inside an earlier choice all occur.
std::vector<std::string> chooseRemovals(const std::vector<WalkedKey>& keys) {
  std::vector<std::string> chosen;
  for (std::size_t i = 1; i < keys.size() && chosen.size() < kMaxRemovals; i += 4)
    chosen.push_back(keys[i].path);
  return chosen;
}

// Compares the tree after the removals with the tree before: what was asked
// for is gone, and everything else is there exactly as before. A removal
// that failed may have taken part of its own subtree, never more.
std::string checkRemovals(const std::vector<WalkedKey>& before, const std::vector<WalkedKey>& after,
                          const std::vector<std::pair<std::string, registry::LONG>>& removals) {
  std::map<std::string, const WalkedKey*> remaining;
  for (const WalkedKey& key : after) remaining.emplace(key.path, &key);
  std::size_t next = 0;  // `after` must be `before` with keys left out, in order
  for (const WalkedKey& key : before) {
    bool gone = false, mayGo = false;
    for (const auto& [path, status] : removals) {
      if (!within(key.path, path)) continue;
      if (status == registry::ERROR_SUCCESS) gone = true;
      else mayGo = true;
    }
    auto it = remaining.find(key.path);
    if (gone && it != remaining.end()) return "\"" + key.path + "\" is still there after its removal";
    if (!gone && !mayGo && it == remaining.end())
      return "\"" + key.path + "\" is gone although nothing removed it";
    if (it == remaining.end()) continue;
    if (next >= after.size() || !(after[next] == key))
      return "\"" + key.path + "\" changed or moved after removals elsewhere";
    ++next;
  }
  if (next != after.size()) return "keys appeared after the removals: \"" + after[next].path + "\"";
  return {};
}

}  // namespace

FuzzHarness::FuzzHarness(Reader reader, fs::path workDir)
    : m_reader(reader), m_workDir(std::move(workDir)) {
  switch (m_reader) {
    case Reader::RegFile:
      m_openPath = m_file = m_workDir / "machine.reg";
      break;
    case Reader::Hive:
      m_openPath = m_file = m_workDir / "UsrClass.dat";
      break;
    case Reader::Wine:
      m_openPath = m_workDir / "prefix";
      m_file = m_openPath / "system.reg";
      break;
  }
}

std::string FuzzHarness::prepare(Reader reader, std::string_view bytes) {
  std::string out(bytes);
  if (reader == Reader::Hive && out.size() >= 0x200) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 0x1FC; ++i)
      sum ^= static_cast<std::uint32_t>(static_cast<unsigned char>(out[i])) << (8 * (i % 4));
    for (std::size_t i = 0; i < 4; ++i) out[0x1FC + i] = static_cast<char>((sum >> (8 * i)) & 0xFF);
  }
  return out;
}

registry::MachineOpenResult FuzzHarness::open() const {
  switch (m_reader) {
    case Reader::RegFile: return registry::openRegFile(m_openPath);
    case Reader::Hive: return registry::openHiveFile(m_openPath);
    case Reader::Wine: {
      // As openWinePrefix, without its check for a running wineserver: that
      // looks at the machine's processes, never at the input, and the number
      // of them would steer a run from a fixed seed to other inputs.
      std::string error;
      std::unique_ptr<registry::WineRegStore> store = registry::WineRegStore::load(m_file, error);
      if (!store) return {nullptr, error};
      auto machine = std::make_unique<registry::Machine>();
      machine->store = std::move(store);
      return {std::move(machine), {}};
    }
  }
  return {};
}

std::string FuzzHarness::compareSplitRead(const registry::MachineOpenResult& opened) const {
  // The file read again with the work split over two cores wherever it can
  // be cut: the same tree, or the same refusal.
  registry::setSplitThreshold(0);
  registry::MachineOpenResult split = open();
  registry::resetSplitThreshold();
  if (!opened.machine || !split.machine) {
    if (!opened.machine && !split.machine && opened.failure.why == split.failure.why) return {};
    return "read on two cores: " + (split.machine ? std::string("opened") : split.failure.why) +
           "; on one: " + (opened.machine ? std::string("opened") : opened.failure.why);
  }
  std::vector<WalkedKey> one, two;
  registry::HandleTable api1(*opened.machine->store), api2(*split.machine->store);
  if (std::string fault = walkTree(*opened.machine->store, api1, one); !fault.empty()) return fault;
  if (std::string fault = walkTree(*split.machine->store, api2, two); !fault.empty())
    return "read on two cores: " + fault;
  if (one != two) return "read on two cores, the tree differs from the one read on one";
  return {};
}

std::string FuzzHarness::listing() const {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(m_workDir, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(fs::relative(it->path(), m_workDir, ec).string());
  std::sort(names.begin(), names.end());
  std::string out;
  for (const std::string& n : names) out += n + "\n";
  return out;
}

std::string FuzzHarness::run(std::string_view raw) {
  m_opened = false;
  m_keys = 0;
  const std::string input = prepare(m_reader, raw);
  std::error_code ec;
  for (fs::directory_iterator it(m_workDir, ec), end; !ec && it != end; it.increment(ec))
    fs::remove_all(it->path(), ec);
  fs::create_directories(m_file.parent_path(), ec);
  if (m_reader == Reader::Wine) fs::create_directories(m_openPath / "drive_c", ec);
  if (!writeAll(m_file, input)) return "cannot write the input to " + m_file.string();
  const std::string files = listing();

  registry::MachineOpenResult opened = open();
  if (readAll(m_file) != input) return "opening changed the file";
  if (std::string fault = compareSplitRead(opened); !fault.empty()) return fault;
  if (listing() != files) return "opening left files behind:\n" + listing();
  if (!opened.machine) {
    if (opened.failure.why.empty()) return "refused without a message";
    return {};
  }
  m_opened = true;
  // A hive is judged by libhivex as well: what it reads before the
  // removals, whether the store read the same, and whether every key names
  // its descriptor and class name.
  std::optional<std::map<std::string, std::string>> oracleBefore;
  std::string top;
  bool readersAgreed = false, referencesSound = false, indexesSound = false;
  if (m_reader == Reader::Hive && (oracleBefore = hivexKeys(m_file))) {
    readersAgreed = readersDisagree(m_file, *oracleBefore, &top).empty();
    const HiveFaults faults = hiveFaults(m_file);
    referencesSound = faults.references.empty();
    indexesSound = faults.indexes.empty();
  }
  registry::Store& store = *opened.machine->store;
  registry::HandleTable api(store);
  std::vector<WalkedKey> before;
  if (std::string fault = walkTree(store, api, before); !fault.empty()) return fault;
  m_keys = before.size();

  // The backup an undo puts back, taken before anything is removed.
  std::vector<registry::Machine::Layer> layers = opened.machine->layers;
  if (layers.empty()) layers.push_back({&store, opened.machine->registryRoot});
  bool backupComplete = true;
  std::vector<std::pair<std::size_t, std::string>> unwritable;
  const std::string backup =
      removal::UndoFile(layers, m_workDir).text(chooseRemovals(before), backupComplete, &unwritable);
  backupComplete = backupComplete && unwritable.empty();

  std::vector<std::pair<std::string, registry::LONG>> removals;
  for (const std::string& path : chooseRemovals(before)) {
    registry::LONG status = removal::deleteKeyPath(api, registry::HKEY_CLASSES_ROOT, path);
    bool inRemoved = false, inFailed = false;
    for (const auto& [earlier, earlierStatus] : removals) {
      if (!within(path, earlier)) continue;
      (earlierStatus == registry::ERROR_SUCCESS ? inRemoved : inFailed) = true;
    }
    // A key the walk found is found by the removal, one already removed is
    // not, one in a subtree whose removal stopped half-way may be either.
    // A removal may stop (a subkey name too long for the removal's buffer,
    // a write the library refuses); the tree check below holds it to its
    // own subtree.
    bool expected = inRemoved  ? status == registry::ERROR_FILE_NOT_FOUND
                    : inFailed ? true
                               : status != registry::ERROR_FILE_NOT_FOUND;
    if (!expected) return "removing \"" + path + "\" returned status " + std::to_string(status);
    if (!inRemoved) removals.emplace_back(path, status);
  }
  std::vector<WalkedKey> after;
  if (std::string fault = walkTree(store, api, after); !fault.empty())
    return "after the removals: " + fault;
  if (std::string fault = checkRemovals(before, after, removals); !fault.empty()) return fault;

  registry::CommitResult saved = api.commit();
  if (listing() != files) return "saving left files behind:\n" + listing();
  bool removedAny = after.size() != before.size();
  if (saved.failure.failed() || !removedAny) {
    if (saved.failure.failed() && saved.failure.why.empty()) return "the save failed without a message";
    if (readAll(m_file) != input)
      return !saved.failure.failed() ? "a save with nothing removed changed the file"
                      : "a failed save changed the file (" + saved.failure.why + ")";
    return {};
  }

  // What was saved must read back as the tree the removals left.
  opened.machine.reset();
  if (oracleBefore) {
    std::set<std::string> gone, mayGo;
    for (const auto& [path, status] : removals)
      (status == registry::ERROR_SUCCESS ? gone : mayGo).insert(top + "\\" + path);
    std::optional<std::map<std::string, std::string>> oracleAfter = hivexKeys(m_file);
    if (!oracleAfter) return "libhivex cannot open the saved hive";
    if (std::string fault = keptKeysChanged(*oracleBefore, *oracleAfter, gone, mayGo); !fault.empty())
      return "libhivex reads the saved hive otherwise: " + fault;
    if (std::string fault = readersDisagree(m_file, *oracleAfter); readersAgreed && !fault.empty())
      return "the store and libhivex read the saved hive differently: " + fault;
    const HiveFaults faults = hiveFaults(m_file);
    if (referencesSound && !faults.references.empty()) return "in the saved hive, " + faults.references;
    if (indexesSound && !faults.indexes.empty()) return "in the saved hive, " + faults.indexes;
  }
  registry::MachineOpenResult reopened = open();
  if (!reopened.machine) return "the saved file cannot be read back: " + reopened.failure.why;
  registry::HandleTable api2(*reopened.machine->store);
  std::vector<WalkedKey> readBack;
  if (std::string fault = walkTree(*reopened.machine->store, api2, readBack); !fault.empty())
    return "in the saved file: " + fault;
  // A key written in several blocks takes the case of its name from the
  // first; with that block removed, the next one names it. Keys are the
  // same whatever the case of their names.
  auto foldCase = [](std::vector<WalkedKey> keys) {
    for (WalkedKey& key : keys) key.path = registry::upperCase(key.path);
    return keys;
  };
  readBack = foldCase(std::move(readBack));
  after = foldCase(std::move(after));
  if (readBack != after) {
    std::size_t i = 0;
    while (i < readBack.size() && i < after.size() && readBack[i] == after[i]) ++i;
    std::string at = i < after.size() ? after[i].path : i < readBack.size() ? readBack[i].path : "";
    return "the saved file reads back as another tree (from \"" + at + "\" on)";
  }
  bool allRemoved = std::all_of(removals.begin(), removals.end(),
                                [](const auto& r) { return r.second == registry::ERROR_SUCCESS; });
  if (!backupComplete || !allRemoved) return {};
  bool undone = false;
  std::string fault = checkUndo(std::move(reopened), backup, foldCase(std::move(before)), foldCase, undone);
  // The hive the undo grew, as libhivex reads it: every key as before the
  // removals, the ones put back included.
  if (!fault.empty() || !undone || !oracleBefore || !readersAgreed) return fault;
  std::optional<std::map<std::string, std::string>> oracleUndone = hivexKeys(m_file);
  if (!oracleUndone) return "libhivex cannot open the hive the undo saved";
  if (std::string changed = keptKeysChanged(*oracleBefore, *oracleUndone, {}); !changed.empty())
    return "libhivex reads the hive the undo saved otherwise: " + changed;
  const HiveFaults faults = hiveFaults(m_file);
  if (referencesSound && !faults.references.empty()) return "in the hive the undo saved, " + faults.references;
  if (indexesSound && !faults.indexes.empty()) return "in the hive the undo saved, " + faults.indexes;
  return {};
}

// Puts back the removed keys from their backup as --undo does: the tree
// must read as it was before the removals, also once saved and read again.
std::string FuzzHarness::checkUndo(registry::MachineOpenResult machine, const std::string& backup,
                                   const std::vector<WalkedKey>& before,
                                   const std::function<std::vector<WalkedKey>(std::vector<WalkedKey>)>& foldCase,
                                   bool& undone) {
  const fs::path backupFile = m_workDir / "undo.reg";
  if (!writeAll(backupFile, backup)) return "cannot write the backup";
  std::vector<removal::BackupKey> keys;
  std::string error;
  bool read = removal::readBackup(backupFile, keys, error);
  fs::remove(backupFile);
  if (!read) return "the backup cannot be read: " + error;
  std::vector<registry::Machine::Layer> layers = machine.machine->layers;
  if (layers.empty()) layers.push_back({machine.machine->store.get(), machine.machine->registryRoot});
  if (m_reader == Reader::RegFile) removal::addMachineClassesNames(layers);
  removal::Restore restore(layers);
  removal::RestorePlan plan = restore.plan(keys);
  if (!plan.refusal.empty()) return "the undo refuses the backup: " + plan.refusal;
  restore.apply(keys, plan);
  for (const removal::RestoreItem& item : plan.items)
    if (item.state != removal::RestoreState::PutBack)
      return "the undo did not put back \"" + keys[item.key].path + "\": " +
             removal::restoreStateText(item.state, false) + " " + item.detail;
  const std::string removed = readAll(m_file);
  registry::CommitResult saved = machine.machine->store->save();
  if (saved.failure.failed()) {
    // A damaged hive may refuse a key put back (below a key whose security
    // descriptor cannot be read, say): the undo then says why and leaves
    // the file as the removals saved it.
    if (saved.failure.why.empty()) return "the undo's save failed without a message";
    if (readAll(m_file) != removed) return "a failed undo changed the file (" + saved.failure.why + ")";
    return {};
  }
  undone = true;
  machine.machine.reset();
  registry::MachineOpenResult reopened = open();
  if (!reopened.machine) return "the file the undo saved cannot be read back: " + reopened.failure.why;
  registry::HandleTable api(*reopened.machine->store);
  std::vector<WalkedKey> restored;
  if (std::string fault = walkTree(*reopened.machine->store, api, restored); !fault.empty())
    return "after the undo: " + fault;
  restored = foldCase(std::move(restored));
  if (restored != before) {
    std::size_t i = 0;
    while (i < restored.size() && i < before.size() && restored[i] == before[i]) ++i;
    std::string at = i < before.size() ? before[i].path : i < restored.size() ? restored[i].path : "";
    return "the undo gives another tree than before the removals (from \"" + at + "\" on)";
  }
  return {};
}

}  // namespace comsweep::fuzz
