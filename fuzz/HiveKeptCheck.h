#pragma once
// Judges a save that removed keys from a hive: every other key must read
// back exactly as before, by libhivex (the reference reader, a test oracle
// only) and by the store, and still name an allocated security descriptor
// and class name.

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>

namespace comsweep::fuzz {

// A key's values as one text: a line per value (name, type, data in hex).
std::string valueLine(std::string_view name, std::uint32_t type, std::string_view data);

// Every key libhivex reaches from the root, by path ("" for the root, else
// "\\A\\B"), with its values in stored order; a key whose values or
// subkeys it cannot read says so. Nullopt when it cannot open the hive.
std::optional<std::map<std::string, std::string>> hivexKeys(const std::filesystem::path& file);

// What differs between the hive before and after removing `removed` (paths
// as hivexKeys has them, with what is below them): a kept key gone, changed
// or new, a removed one still there. Empty when nothing.
// Keys below `mayGo` (removals that stopped half-way) may be gone; those
// still there must be unchanged.
std::string keptKeysChanged(const std::map<std::string, std::string>& before,
                            const std::map<std::string, std::string>& after,
                            const std::set<std::string>& removed, const std::set<std::string>& mayGo = {});

// Where the store (the hive's Classes key, else its root, as the program
// opens it) and libhivex's `oracle` read the keys the store presents
// differently; empty when they agree. `top` receives the store's top as a
// path of `oracle`.
std::string readersDisagree(const std::filesystem::path& file,
                            const std::map<std::string, std::string>& oracle, std::string* top = nullptr);

// What a hive's keys rely on, broken, read in one walk; each empty when
// sound, both the reason when the hive cannot be opened.
struct HiveFaults {
  // A key whose security descriptor (a cell with the "sk" signature) or
  // class name is not an allocated cell.
  std::string references;
  // What lookups and the release of descriptors rely on: a hash in an lh
  // list that is not its key's name's; a security descriptor that live keys
  // use but whose count of users is lower than theirs, or whose ring (each
  // descriptor names the next and the one before) does not link back, or
  // leads to a cell that is no descriptor.
  std::string indexes;
};
HiveFaults hiveFaults(const std::filesystem::path& file);

}  // namespace comsweep::fuzz
